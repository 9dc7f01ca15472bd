#include "systemwallclock.h"

#include <ctime>

namespace korvane {

namespace {

std::tm localNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return parts;
}

} // namespace

CivilDate SystemWallClock::date()
{
    const std::tm t = localNow();
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday};
}

CivilTime SystemWallClock::time()
{
    const std::tm t = localNow();
    return {t.tm_hour, t.tm_min, t.tm_sec};
}

} // namespace korvane
