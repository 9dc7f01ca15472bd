// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "cli/options.h"
#include "platform/terminationsignals.h"
#include "session/startup.h"

#include <QString>

namespace korvane::cli {

struct FleetRequest
{
    const Options& options; // with fleet > 0
    const StartupResult& startup;
    const QString& rateLogPath; // absolute, empty for none
    TerminationSignals& termination;
    const bool& signalled; // a signal came
};

// korvane-cli --fleet N [--fleet-offset K]: the firewalls K+1 to K+N of the working folder's
// settings, run together until the first end (--count lines of the fleet, --duration, a signal,
// or the end of every firewall's one pass); the summary and exit status as for one firewall, the
// manifest with an entry per firewall. Returns the exit status.
int runFleet(const FleetRequest& request);

} // namespace korvane::cli
