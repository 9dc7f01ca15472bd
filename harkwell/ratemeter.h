// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QtGlobal>

#include <array>
#include <limits>

namespace korvane::harkwell {

// Counts events over a sliding second kept in ten slices of 100 ms: the rate follows a change within a tenth of
// a second and the meter uses the same small memory at any rate.
class RateMeter
{
public:
    // Adds count events that happened at nowMs (a monotonic clock in milliseconds, from 0).
    void record(qint64 nowMs, qint64 count);

    // Events recorded in the slice holding nowMs and the nine slices before it.
    [[nodiscard]] qint64 rate(qint64 nowMs) const;

private:
    static constexpr int kSliceCount = 10;
    static constexpr qint64 SliceMs = 100;
    static constexpr qint64 NoSlice = std::numeric_limits<qint64>::min();

    std::array<qint64, kSliceCount> m_counts{};
    std::array<qint64, kSliceCount> m_sliceOfCell = filled(NoSlice);

    static constexpr std::array<qint64, kSliceCount> filled(qint64 value)
    {
        std::array<qint64, kSliceCount> cells{};
        cells.fill(value);
        return cells;
    }
};

} // namespace korvane::harkwell
