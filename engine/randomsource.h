// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <cstdint>
#include <random>

namespace korvane {

// Uniform draws in [0, 1). One source serves the whole process (random line choice and
// template rewriting draw from it in a fixed order); tests substitute their own draws.
class RandomSource
{
public:
    virtual ~RandomSource() = default;
    virtual double next() = 0;
};

// The process's generator: std::mt19937 with its default seed, r = x / 2^32. Its sequence is
// fixed by the C++ standard, so every start of the program on every platform draws the same
// values; it is never seeded from the clock.
class DefaultRandomSource final : public RandomSource
{
public:
    double next() override { return static_cast<double>(m_engine()) / 4294967296.0; }

private:
    std::mt19937 m_engine;
};

} // namespace korvane
