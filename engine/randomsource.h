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
    // How many draws the source has made since it was made, for a record of the run that must be
    // repeated later (the repetition discards as many first); 0 from a source that does not count.
    virtual std::uint64_t draws() const { return 0; }
};

// The process's generator: std::mt19937 with its default seed, r = x / 2^32. Its sequence is
// fixed by the C++ standard, so every start of the program on every platform draws the same
// values; it is never seeded from the clock.
class DefaultRandomSource final : public RandomSource
{
public:
    DefaultRandomSource() = default;
    // Another stream of the same generator, for one of many firewalls run together.
    explicit DefaultRandomSource(std::uint32_t seed) : m_engine(seed) {}
    double next() override
    {
        ++m_draws;
        return static_cast<double>(m_engine()) / 4294967296.0;
    }
    std::uint64_t draws() const override { return m_draws; }
    // Moves on as `count` draws would, without making them.
    void discard(std::uint64_t count)
    {
        m_engine.discard(count);
        m_draws += count;
    }

private:
    // std::mt19937 itself, with its words kept in 32 bits rather than the 64 of uint_fast32_t: the
    // same numbers in half the room, which counts when ten thousand firewalls each hold one.
    using Engine = std::mersenne_twister_engine<std::uint32_t, 32, 624, 397, 31, 0x9908b0df, 11, 0xffffffff, 7,
                                                0x9d2c5680, 15, 0xefc60000, 18, 1812433253>;
    Engine m_engine;
    std::uint64_t m_draws = 0;
};

} // namespace korvane
