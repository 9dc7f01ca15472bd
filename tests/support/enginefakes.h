// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// Stand-ins for the engine's clocks and random source, shared by the tests of every layer.

#include "engine/linecomposer.h"
#include "engine/randomsource.h"
#include "engine/runpacer.h"

#include <chrono>
#include <cstddef>
#include <utility>
#include <vector>

namespace korvane::test {

// The same date and time for every composed line.
class FixedWallClock final : public WallClock
{
public:
    CivilDateTime now() override { return {today, time}; }

    CivilDate today{2026, 12, 6};
    CivilTime time{4, 47, 51};
};

// Plays back a fixed list of draws, over and over; an empty list draws 0.
class ScriptedRandom final : public RandomSource
{
public:
    explicit ScriptedRandom(std::vector<double> draws = {}) : m_draws(std::move(draws)) {}

    double next() override
    {
        const double r = m_draws.empty() ? 0.0 : m_draws[drawn % m_draws.size()];
        ++drawn;
        return r;
    }

    std::size_t drawn = 0;

private:
    std::vector<double> m_draws;
};

// A monotonic clock that moves only when told to.
class ManualClock final : public MonotonicClock
{
public:
    std::chrono::nanoseconds now() override { return current; }
    void advance(std::chrono::nanoseconds by) { current += by; }

    std::chrono::nanoseconds current{std::chrono::hours(5)};
};

} // namespace korvane::test
