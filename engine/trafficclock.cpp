// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/trafficclock.h"

namespace korvane {

TrafficClock::TrafficClock(const RunSettings& settings) : m_delay(settings.delay)
{
    if (!settings.rateProfile.empty()) {
        if (const std::optional<RateProfile> profile = RateProfile::parse(settings.rateProfile)) {
            m_schedule.emplace(*profile, settings.scheduleStream);
        }
    }
}

double TrafficClock::timeOf(std::int64_t line)
{
    if (!m_schedule) {
        return static_cast<double>(line) * m_delay;
    }
    while (m_line < line) {
        m_time = m_schedule->next();
        ++m_line;
    }
    return m_time;
}

} // namespace korvane
