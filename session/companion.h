// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/runconfig.h"

#include <QString>
#include <QStringList>

namespace korvane {

// How the companion listener, Harkwell, is started so that it hears the lines of `config`: on
// the transport and port in force. A TLS listener needs a server certificate and key, which
// korvane.ini does not hold, so for TLS there is no launch. Lines that go to GENERATE.TXT reach
// no listener; Harkwell then starts as it always has, on its own defaults.
struct CompanionLaunch
{
    bool possible = true;
    QStringList arguments; // for harkwell, when possible
    QString description;   // what the launch does, or why there is none
};

CompanionLaunch companionLaunch(const RunConfig& config);

} // namespace korvane
