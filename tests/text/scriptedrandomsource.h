// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/randomsource.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace korvane {

// A random source that hands out a fixed list of values and counts how many were taken.
// Past the end of the list it repeats the last value, so a test that asks for too many
// draws shows up as a wrong count rather than a crash.
class ScriptedRandomSource final : public RandomSource
{
public:
    explicit ScriptedRandomSource(std::vector<double> values) : m_values(std::move(values)) {}

    double next() override
    {
        const std::size_t at = m_taken < m_values.size() ? m_taken : m_values.size() - 1;
        ++m_taken;
        return m_values.empty() ? 0.0 : m_values[at];
    }

    std::size_t taken() const { return m_taken; }

private:
    std::vector<double> m_values;
    std::size_t m_taken = 0;
};

} // namespace korvane
