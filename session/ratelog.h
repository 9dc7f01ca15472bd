// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "session/runsession.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// The rate a run achieved, second by second since Play: the lines emitted, sent (delivered) and
// dropped within each second. It is fed the run's running totals, sampled often on the event
// loop; each second gets what the totals gained up to the first sample at or after its end, so
// a row is off by at most one sampling interval's lines, which the next row then carries.
class RateLog
{
public:
    struct Row
    {
        std::int64_t second = 0; // from 0: the first second after Play
        std::int64_t emitted = 0;
        std::int64_t sent = 0;
        std::int64_t dropped = 0;
        friend bool operator==(const Row&, const Row&) = default;
    };

    // How often a front-end samples the totals.
    static constexpr std::chrono::milliseconds kSampleEvery{10};

    // The totals at `progress.seconds` since Play: closes every second that ended by then.
    void sample(const RunProgress& progress);
    // The run is over: what the totals gained since the last whole second is its last row.
    void finish(const RunProgress& progress);

    const std::vector<Row>& rows() const { return m_rows; }
    // "second,emitted,sent,dropped" and a line per row.
    std::string csv() const;

private:
    void close(const RunProgress& progress);

    std::vector<Row> m_rows;
    RunProgress m_closed; // the totals at the end of the last row
};

} // namespace korvane
