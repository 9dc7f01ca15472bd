// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

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
