// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/rateprofile.h"
#include "settings/runsettings.h"

#include <cstdint>
#include <optional>

namespace korvane {

// The traffic model's clock: the time a run's line is scheduled for, in seconds after Play, from
// its number alone, so that every run of the same settings tells the same times. Line n (from 1)
// is at n delays, or where the rate profile puts its n-th line; a run that falls behind, or waits
// in a pause, does not move it.
class TrafficClock
{
public:
    explicit TrafficClock(const RunSettings& settings);

    // Lines are asked for in order; the same line again gives the same time.
    double timeOf(std::int64_t line);

private:
    double m_delay;
    std::optional<LineSchedule> m_schedule;
    std::int64_t m_line = 0;
    double m_time = 0;
};

} // namespace korvane
