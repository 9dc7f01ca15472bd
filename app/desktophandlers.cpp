// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The companion listener and the help.
#include "app/korvanefrm.h"

namespace korvane {

void KorvaneFRM::onHarkwell()
{
    if (!m_companion.possible) {
        return;
    }
    if (const Result<> launched = m_services.desktop.launchCompanion(m_companion.arguments); !launched) {
        m_services.messages.notify(
            MessageService::Icon::Warning, QStringLiteral("Harkwell"),
            QStringLiteral("Harkwell could not be started: %1").arg(QString::fromStdString(launched.reason())));
    }
}

void KorvaneFRM::onHelp()
{
    m_services.desktop.showHelp(m_helpFile);
}

} // namespace korvane
