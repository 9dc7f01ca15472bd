// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/ratelog.h"

namespace korvane {

void RateLog::sample(const RunProgress& progress)
{
    // A sample late by more than a second (the process was stopped) gives the first second all
    // that was gained, and the seconds after it none.
    while (progress.seconds >= static_cast<double>(m_rows.size() + 1)) {
        close(progress);
    }
}

void RateLog::finish(const RunProgress& progress)
{
    sample(progress);
    const bool gained = progress.emitted != m_closed.emitted || progress.delivered != m_closed.delivered ||
                        progress.dropped != m_closed.dropped;
    if (gained || progress.seconds > static_cast<double>(m_rows.size())) {
        close(progress);
    }
}

void RateLog::close(const RunProgress& progress)
{
    m_rows.push_back({static_cast<std::int64_t>(m_rows.size()), progress.emitted - m_closed.emitted,
                      progress.delivered - m_closed.delivered, progress.dropped - m_closed.dropped});
    m_closed = progress;
}

std::string RateLog::csv() const
{
    std::string text = "second,emitted,sent,dropped\n";
    for (const Row& row : m_rows) {
        text += std::to_string(row.second) + ',' + std::to_string(row.emitted) + ',' + std::to_string(row.sent) + ',' +
                std::to_string(row.dropped) + '\n';
    }
    return text;
}

} // namespace korvane
