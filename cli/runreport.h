// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "session/runsession.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::cli {

// The exit statuses of korvane-cli.
enum ExitStatus : int
{
    kAllDelivered = 0,   // every emitted line was handed over
    kRunFailed = 1,      // the run failed, or could not start
    kUsageError = 2,     // the command line is wrong
    kNotAllDelivered = 3 // the run ended as asked, but lines were dropped or not delivered
};

// The status of a run that ended (`failed`: it failed), from its counts after the end of the run.
[[nodiscard]] ExitStatus exitStatusOf(bool failed, const RunProgress& progress);

// The line that ends every run: "5000 lines in 1.204 s (4153 lines/s) to DESTINATION; 4990
// delivered, 10 not delivered", with the dropped, undelivered and resent lines where there are
// any. Lines to a file are "written" or "not written".
[[nodiscard]] std::string summaryLine(const RunProgress& progress, const QString& destination);

// The status line of a run under way: lines, rate, time, drops, and the share done of `total`.
[[nodiscard]] std::string progressLine(const RunProgress& progress, std::optional<std::int64_t> total);

// `line` cut to fit a terminal `columns` wide without wrapping (its last column stays free, where
// some terminals wrap at once); whole when the width is not known (0).
[[nodiscard]] std::string_view fitToWidth(std::string_view line, int columns);

} // namespace korvane::cli
