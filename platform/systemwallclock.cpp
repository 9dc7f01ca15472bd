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
    std::tm t{};
    localtime_r(&now.tv_sec, &t);
    constexpr long kNanosecondsPerMillisecond = 1000000;
    const int millisecond = static_cast<int>(now.tv_nsec / kNanosecondsPerMillisecond);
    return {{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday},
            {t.tm_hour, t.tm_min, t.tm_sec, millisecond},
            static_cast<int>(t.tm_gmtoff / 60)};
}

} // namespace korvane
