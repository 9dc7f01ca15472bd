// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/systemwallclock.h"

#include <ctime>

namespace korvane {

CivilDateTime SystemWallClock::now()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // The calendar fields change once a second (a change of offset too happens on a whole
    // second): a fast run reuses them rather than converting the time for every line.
    if (now.tv_sec != m_second) {
        std::tm t{};
        localtime_r(&now.tv_sec, &t);
        m_second = now.tv_sec;
        m_fields = {{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday},
                    {t.tm_hour, t.tm_min, t.tm_sec, 0},
                    static_cast<int>(t.tm_gmtoff / 60)};
    }
    constexpr long kNanosecondsPerMillisecond = 1000000;
    CivilDateTime stamp = m_fields;
    stamp.time.millisecond = static_cast<int>(now.tv_nsec / kNanosecondsPerMillisecond);
    return stamp;
}

} // namespace korvane
