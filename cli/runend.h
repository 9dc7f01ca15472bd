// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "cli/clirun.h"
#include "platform/terminationsignals.h"
#include "session/drainableoutput.h"
#include "session/manifest.h"
#include "session/ratesampler.h"
#include "settings/result.h"

#include <QString>

#include <functional>
#include <string>

namespace korvane::cli {

// What the end of a run needs, for one firewall or a fleet alike.
struct RunEnd
{
    DrainableOutput& output;
    CliRun& view;
    RateSampler& rates;
    TerminationSignals& termination;
    bool signalled = false; // a signal came during the run
    bool halted = false;    // the run failed
    QString rateLogPath;    // absolute, empty for none
    QString manifestPath;   // empty for none
    std::function<RunProgress()> progress;
    std::function<std::string()> failure;                         // why the run halted
    std::function<Result<Manifest>(const RunProgress&)> manifest; // once the counts are final
};

// Once the run's lines stop: lines on their way to a receiver get a few seconds to go out (half a
// second once a signal came), then the connections are closed in order and what could not go is
// said; a connection that failed for good (TLS refused) fails the run, even one that ended before
// the refusal. Then the rate log, the drops, the summary line, the failure and the manifest (not
// written is a failed run). Returns the exit status.
[[nodiscard]] int finishRun(const RunEnd& end);

} // namespace korvane::cli
