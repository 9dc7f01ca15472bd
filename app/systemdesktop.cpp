// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/systemdesktop.h"

#include "platform/programlauncher.h"

namespace korvane {

SystemDesktop::SystemDesktop() : m_help(QUrl(QStringLiteral("qrc:/help/korvane.html"))) {}

Result<> SystemDesktop::launchCompanion(const QStringList& arguments)
{
    return launchDetached(QStringLiteral("harkwell"), arguments);
}

void SystemDesktop::showHelp(const QString& helpFile)
{
    // Where no viewer for the compiled help file exists, the same help comes from inside Korvane.
    m_help.show(QStringLiteral("Korvane 2.0 Help - %1").arg(helpFile));
}

} // namespace korvane
