// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/ratemeter.h"

#include <algorithm>

namespace korvane::harkwell {

void RateMeter::record(qint64 nowMs, qint64 count)
{
    const qint64 slice = std::max<qint64>(nowMs, 0) / SliceMs;
    const auto cell = static_cast<std::size_t>(slice % kSliceCount);
    if (m_sliceOfCell[cell] != slice) {
        m_sliceOfCell[cell] = slice;
        m_counts[cell] = 0;
    }
    m_counts[cell] += count;
}

qint64 RateMeter::rate(qint64 nowMs) const
{
    const qint64 slice = std::max<qint64>(nowMs, 0) / SliceMs;
    qint64 total = 0;
    for (std::size_t cell = 0; cell < m_counts.size(); ++cell) {
        const qint64 cellSlice = m_sliceOfCell[cell];
        if (cellSlice != NoSlice && cellSlice <= slice && cellSlice > slice - kSliceCount) {
            total += m_counts[cell];
        }
    }
    return total;
}

} // namespace korvane::harkwell
