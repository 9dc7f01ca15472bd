// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/ratemeter.h"
#include "harkwell/sequencecounter.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QHostAddress>
#include <QStringList>

#include <memory>
#include <vector>

namespace korvane::harkwell {

// What came from one sender: one source address and one host named in the messages' headers (see headerHost), so
// that many firewalls behind one address are told apart, as is one firewall that sends from two.
struct SenderRow
{
    QHostAddress address; // IPv4 as plain IPv4, also when it came through a dual-stack socket
    QByteArray host;      // empty when the messages name none
    quint64 received = 0;
    qint64 rate = 0;    // messages during the last second
    qint64 firstMs = 0; // when the first and the last message came, on the listener's clock
    qint64 lastMs = 0;
    bool hasSequence = false; // some messages carried a sequence id, and sequence tells what they say
    SequenceFigures sequence;
};

// Counts the messages of every sender and follows the sequence ids of those that carry one ([meta sequenceId="N"]),
// each sender on its own: the port is not part of a sender, so one that connects again keeps its figures (the port
// only tells a new run; see SequenceTracker). Each message costs one hash lookup, without copying its host.
// Memory is bounded against a flood of forged senders: at most maxSenders are told apart (the messages of further
// ones are only counted as untracked), and the sequence ids of at most maxSequenced of them are followed (8 KiB
// each; further ids are only counted).
class SenderTally
{
public:
    static constexpr int kMaxSenders = 65536;
    static constexpr int kMaxSequenced = 16384;

    explicit SenderTally(int maxSenders = kMaxSenders, int maxSequenced = kMaxSequenced);
    ~SenderTally();
    SenderTally(const SenderTally&) = delete;
    SenderTally& operator=(const SenderTally&) = delete;

    // Counts message, with or without its line end, come from sender:port at nowMs (a monotonic clock in
    // milliseconds).
    void record(const QHostAddress& sender, quint16 port, QByteArrayView message, qint64 nowMs);
    void clear();

    [[nodiscard]] qsizetype size() const { return qsizetype(m_entries.size()); }
    // Every sender, in the order they first came, with the rate at nowMs.
    [[nodiscard]] std::vector<SenderRow> rows(qint64 nowMs) const;
    // Messages from senders beyond the ones told apart.
    [[nodiscard]] quint64 untrackedCount() const { return m_untracked; }
    // Messages with a sequence id from senders whose ids are not followed.
    [[nodiscard]] quint64 unsequencedCount() const { return m_unsequenced; }

private:
    // A sender as the hash finds it: the address in its IPv6 form (IPv4 mapped), and the host.
    struct Key
    {
        quint64 high = 0;
        quint64 low = 0;
        QByteArray host;

        friend bool operator==(const Key& left, const Key& right)
        {
            return left.high == right.high && left.low == right.low && left.host == right.host;
        }
        friend size_t qHash(const Key& key, size_t seed) { return qHashMulti(seed, key.high, key.low, key.host); }
    };
    struct Entry
    {
        QHostAddress address;
        QByteArray host;
        quint64 received = 0;
        RateMeter rate;
        qint64 firstMs = 0;
        qint64 lastMs = 0;
        quint16 port = 0;                          // of the last message
        std::unique_ptr<SequenceTracker> sequence; // from the first sequence id on
    };

    [[nodiscard]] static Key keyOf(const QHostAddress& sender, QByteArrayView host);
    // The index of the sender's entry, made if need be; -1 when no more senders are told apart.
    qsizetype entryFor(const QHostAddress& sender, QByteArrayView host);

    int m_maxSenders;
    int m_maxSequenced;
    std::vector<Entry> m_entries; // in the order the senders first came
    QHash<Key, qsizetype> m_index;
    qsizetype m_sequenced = 0;
    // The last sender looked up, by its key without the host, and its entry: a batch mostly comes from one.
    quint64 m_lastHigh = 0;
    quint64 m_lastLow = 0;
    qsizetype m_last = -1;
    quint64 m_untracked = 0;
    quint64 m_unsequenced = 0;
};

// Whether left comes before right: IPv4 before IPv6, each in address order, then by host.
[[nodiscard]] bool senderComesBefore(const SenderRow& left, const SenderRow& right);

// The sender as "127.0.0.1 gate-7", "-" standing for no host.
[[nodiscard]] QString senderName(const SenderRow& row);

// The end of a run in a few lines: one per sender, in the order of senderComesBefore,
//   "from 127.0.0.1 gate-7: received 120 (10.0 lines/s), missing 2, duplicated 0, out of order 1"
// the rate over the time from its first message to its last (at least a second), the sequence figures only for a
// sender whose messages carried ids; then the whole, "from 2 senders: received ..." (the sequence figures summed,
// if any sender had them); then "from senders not told apart: N messages" and "sequence ids not followed: N
// messages" if there were any. Empty when nothing came.
[[nodiscard]] QStringList senderSummary(const SenderTally& tally, qint64 nowMs);

} // namespace korvane::harkwell
