// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "app/helpviewer.h"
#include "app/korvaneservices.h"

namespace korvane {

// The desktop as Korvane uses it: the companion listener "harkwell" started detached, and the
// help shown in Korvane's own help window (the help is built into the executable).
class SystemDesktop final : public DesktopActions
{
public:
    SystemDesktop();
    Result<> launchCompanion(const QStringList& arguments) override;
    void showHelp(const QString& helpFile) override;

private:
    HelpViewer m_help;
};

} // namespace korvane
