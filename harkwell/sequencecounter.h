// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

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

// "received 120, missing 2, duplicated 0, out of order 1".
QString figuresText(const SequenceFigures& figures);

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

// A sender's tracker and the port its last message came from.
struct SenderSequence
{
    SequenceTracker tracker;
    quint16 port = 0;
};

// The figures of one sender, by its address.
struct SenderFigures
{
    QHostAddress sender;
    SequenceFigures figures;
};

// Follows the sequence ids of every sender, one sequence per source address: the port is not part of it, so a
// sender that connects again keeps its figures (the port only tells a new run; see SequenceTracker). Messages without a
// sequence id are not counted at all. At most a given number of senders are followed, so that a flood of forged
// addresses cannot take the memory; the messages of any further sender are only counted as untracked.
class SequenceCounter
{
public:
    static constexpr int kMaxSenders = 1024;

    explicit SequenceCounter(int maxSenders = kMaxSenders) : m_maxSenders(maxSenders) {}
    // It keeps a pointer into its own table.
    SequenceCounter(const SequenceCounter&) = delete;
    SequenceCounter& operator=(const SequenceCounter&) = delete;

    // Counts message, with or without its line end, if it carries a sequence id.
    void record(const QHostAddress& sender, quint16 port, QByteArrayView message);
    void clear();

    [[nodiscard]] bool isEmpty() const { return m_trackers.isEmpty() && m_untracked == 0; }
    // Every sender followed, IPv4 before IPv6, each in address order.
    [[nodiscard]] QList<SenderFigures> senders() const;
    // Messages with a sequence id from senders beyond the ones followed.
    [[nodiscard]] quint64 untrackedCount() const { return m_untracked; }

private:
    int m_maxSenders;
    QHash<QHostAddress, SenderSequence> m_trackers;
    // The sender of the last message counted, as it came, and its tracker; an insertion may move the others.
    QHostAddress m_lastSender;
    SenderSequence* m_lastTracker = nullptr;
    quint64 m_untracked = 0;
};

// One line per sender, "127.0.0.1: received 120, missing 2, duplicated 0, out of order 1", in the order of
// senders(); beyond maxLines senders, the last line sums up the rest ("7 more senders: received ..."). Then
// "senders not followed: N messages" if there were any. Empty when no message carried a sequence id.
[[nodiscard]] QStringList sequenceSummary(const SequenceCounter& counter, qsizetype maxLines);

} // namespace korvane::harkwell
