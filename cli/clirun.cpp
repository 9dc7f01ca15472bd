// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/clirun.h"

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

CliRun::CliRun(QString destination, std::optional<std::int64_t> total, bool showProgress)
    : m_destination(std::move(destination)), m_total(total), m_showProgress(showProgress)
{
    m_timer.setInterval(250);
    connect(&m_timer, &QTimer::timeout, this, &CliRun::drawProgress);
}

void CliRun::startProgress()
{
    if (m_showProgress) {
        m_timer.start();
    }
}

void CliRun::drawProgress()
{
    const RunProgress p = m_session->progress();
    char line[160];
    int used = std::snprintf(line, sizeof line, "\r%lld lines  %.0f lines/s  %s", static_cast<long long>(p.emitted),
                             p.rate(), elapsedText(p.seconds).c_str());
    if (p.dropped > 0 && used < int(sizeof line)) {
        used += std::snprintf(line + used, sizeof line - used, "  %lld dropped", static_cast<long long>(p.dropped));
    }
    if (m_total && *m_total > 0 && used < int(sizeof line)) {
        const double done = 100.0 * std::min<double>(1, double(p.emitted) / double(*m_total));
        used += std::snprintf(line + used, sizeof line - used, "  %3.0f%%", done);
    }
    std::fputs(line, stderr);
    std::fputs("\x1b[K", stderr); // the rest of an earlier, longer line
    std::fflush(stderr);
    m_drawn = true;
}

void CliRun::finish()
{
    m_timer.stop();
    if (m_drawn) {
        std::fputs("\r\x1b[K", stderr);
    }
    const RunProgress p = m_session->progress();
    std::string dropped;
    if (p.dropped > 0) {
        dropped = ", " + std::to_string(p.dropped) + " dropped by the system";
    }
    std::fprintf(stderr, "korvane-cli: %lld lines in %.3f s (%.0f lines/s) to %s%s\n",
                 static_cast<long long>(p.emitted), p.seconds, p.rate(), qPrintable(m_destination), dropped.c_str());
    std::fflush(stderr);
}

} // namespace korvane::cli
