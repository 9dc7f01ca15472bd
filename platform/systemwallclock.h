// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linecomposer.h"

#include <ctime>

namespace korvane {

// The local date and time of the machine.
class SystemWallClock final : public WallClock
{
public:
    CivilDateTime now() override;

private:
    std::time_t m_second = -1; // the second m_fields hold
    CivilDateTime m_fields;
};

} // namespace korvane
