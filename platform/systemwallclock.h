#pragma once

#include "engine/linecomposer.h"

namespace korvane {

// The local date and time of the machine.
class SystemWallClock final : public WallClock
{
public:
    CivilDateTime now() override;
};

} // namespace korvane
