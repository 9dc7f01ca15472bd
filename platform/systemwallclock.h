#pragma once

#include "linecomposer.h"

namespace korvane {

// The local date and time of the machine, read separately as composed lines read them.
class SystemWallClock final : public WallClock
{
public:
    CivilDate date() override;
    CivilTime time() override;
};

} // namespace korvane
