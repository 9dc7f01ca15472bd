// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/runreport.h"

#include "session/deliverytext.h"

#include <algorithm>
#include <cstdio>

namespace korvane::cli {

namespace {

// "3.5 s", "2 min 05 s", "1 h 02 min".
std::string elapsedText(double seconds)
{
    char text[32];
    const auto whole = static_cast<long long>(seconds);
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else if (seconds < 3600) {
        std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld h %02lld min", whole / 3600, whole / 60 % 60);
    }
    return text;
}

} // namespace

ExitStatus exitStatusOf(bool failed, const RunProgress& progress)
{
    if (failed) {
        return kRunFailed;
    }
    return progress.delivered == progress.emitted ? kAllDelivered : kNotAllDelivered;
}

std::string summaryLine(const RunProgress& p, const QString& destination)
{
    char head[64];
    std::snprintf(head, sizeof head, "%lld lines in %.3f s (%.0f lines/s) to ", static_cast<long long>(p.emitted),
                  p.seconds, p.rate());
    return head + destination.toStdString() + "; " + deliveryText(p).toStdString();
}

std::string progressLine(const RunProgress& p, std::optional<std::int64_t> total)
{
    char line[160];
    int used = std::snprintf(line, sizeof line, "%lld lines  %.0f lines/s  %s", static_cast<long long>(p.emitted),
                             p.rate(), elapsedText(p.seconds).c_str());
    if (p.dropped > 0 && used < int(sizeof line)) {
        used += std::snprintf(line + used, sizeof line - used, "  %lld dropped", static_cast<long long>(p.dropped));
    }
    if (total && *total > 0 && used < int(sizeof line)) {
        const double done = 100.0 * std::min<double>(1, double(p.emitted) / double(*total));
        std::snprintf(line + used, sizeof line - used, "  %3.0f%%", done);
    }
    return line;
}

std::string_view fitToWidth(std::string_view line, int columns)
{
    if (columns <= 0) {
        return line;
    }
    return line.substr(0, static_cast<std::size_t>(columns - 1));
}

} // namespace korvane::cli
