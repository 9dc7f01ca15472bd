// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "app/messageservice.h"
#include "engine/linecomposer.h"
#include "engine/randomsource.h"
#include "engine/runpacer.h"
#include "platform/singleinstance.h"
#include "settings/profile.h"
#include "settings/result.h"

#include <QString>
#include <QStringList>

namespace korvane {

// Launches the companion listener and opens the help; the window asks through this interface
// so that tests can stand in.
class DesktopActions
{
public:
    virtual ~DesktopActions() = default;
    // Starts the companion listener with these arguments; fails when it cannot be found or started.
    virtual Result<> launchCompanion(const QStringList& arguments) = 0;
    virtual void showHelp(const QString& helpFile) = 0;
};

// Everything the window takes from outside: the operator's answers, the settings store, the
// single-copy lock, randomness, clocks and desktop actions.
struct KorvaneServices
{
    MessageService& messages;
    ProfileStore& profile;
    SingleInstanceLock& instanceLock;
    RandomSource& random;
    WallClock& wallClock;
    MonotonicClock& monotonicClock;
    DesktopActions& desktop;
};

} // namespace korvane
