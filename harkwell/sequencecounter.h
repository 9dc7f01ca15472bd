// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace korvane::harkwell {

// What the sequence ids of one sender's messages tell about their delivery.
struct SequenceFigures
{
    quint64 received = 0;   // messages that carried a sequence id, duplicates included
    quint64 missing = 0;    // ids skipped and not come since
    quint64 duplicated = 0; // ids that came again
    quint64 outOfOrder = 0; // ids that came after a higher one

    SequenceFigures& operator+=(const SequenceFigures& other);
};

// "missing 2, duplicated 0, out of order 1".
[[nodiscard]] QString gapsText(const SequenceFigures& figures);

// The sequence id of a message in the version 1 syslog form: the parameter sequenceId of its structured data
// element "meta", 1 to kMaxSequenceId. Nothing when the message has none, or a value that is no such number.
inline constexpr quint32 kMaxSequenceId = 2147483647;
[[nodiscard]] std::optional<quint32> sequenceIdOf(QByteArrayView message);

// Follows the sequence ids of one sender. The ids run from 1 to kMaxSequenceId and then from 1 again, so an id is
// placed by its distance from the highest one seen, counted around that circle: up to half of it forward is ahead
// (from 2147483647 to 3 is three ahead, a wrap), anything else is behind (from 3 to 2147483647 is four behind).
//   - The first id only sets where the sequence stands: nothing before it counts as missing.
//   - Id 1 behind the highest, from a new source (a sender's new run sends from a new port), is that run's first
//     id: the sequence starts over there, the figures go on adding up.
//   - An id one ahead of the highest is the next one; further ahead, the ids between are missing.
//   - The highest id again, or an id behind it that was seen already, is duplicated.
//   - An id behind the highest that was not seen yet came out of order; if it was counted missing, it is missing
//     no longer.
// Which ids were seen is kept for the last kWindowIds of them only (a bit each, 8 KiB), so memory stays the same
// however long the run: an id further behind than that is counted out of order, and the gap it belonged to stays
// missing, since whether it came already can no longer be told.
class SequenceTracker
{
public:
    static constexpr quint64 kWindowIds = 65536;

    // fromNewSource: the message came from another port than the one before.
    void record(quint32 id, bool fromNewSource = false);
    [[nodiscard]] const SequenceFigures& figures() const { return m_figures; }

private:
    [[nodiscard]] bool isSeen(quint64 position) const;
    void setSeen(quint64 position, bool seen);

    SequenceFigures m_figures;
    quint32 m_highest = 0; // 0 until the first id
    // Ids are placed on an endless line, the first at kWindowIds, so that the window's bits need no care for a
    // wrap and no position within it is below 0.
    quint64 m_highestPosition = 0;
    quint64 m_firstPosition = 0;
    std::vector<quint64> m_seen; // bit (position % kWindowIds) for the last kWindowIds positions
};

} // namespace korvane::harkwell
