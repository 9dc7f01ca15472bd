// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/sendertally.h"

#include "harkwell/syslogheader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace korvane::harkwell {

namespace {

constexpr qint64 kShortestSpanMs = 1000;

// The same sender whether it came over IPv4 or as IPv4 seen through a dual-stack socket.
QHostAddress plainAddress(const QHostAddress& address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return isIPv4 && address.protocol() != QAbstractSocket::IPv4Protocol ? QHostAddress(ipv4) : address;
}

bool addressComesBefore(const QHostAddress& left, const QHostAddress& right)
{
    const bool leftIsIPv4 = left.protocol() == QAbstractSocket::IPv4Protocol;
    const bool rightIsIPv4 = right.protocol() == QAbstractSocket::IPv4Protocol;
    if (leftIsIPv4 != rightIsIPv4) {
        return leftIsIPv4;
    }
    if (leftIsIPv4) {
        return left.toIPv4Address() < right.toIPv4Address();
    }
    const Q_IPV6ADDR leftBytes = left.toIPv6Address();
    const Q_IPV6ADDR rightBytes = right.toIPv6Address();
    return std::memcmp(leftBytes.c, rightBytes.c, sizeof leftBytes.c) < 0;
}

// "received 120 (10.0 lines/s)", then the sequence figures when there are any.
QString countsText(quint64 received, qint64 firstMs, qint64 lastMs, const SequenceFigures* sequence)
{
    const double seconds = double(std::max(lastMs - firstMs, kShortestSpanMs)) / 1000.0;
    QString text = QStringLiteral("received %1 (%2 lines/s)").arg(received).arg(double(received) / seconds, 0, 'f', 1);
    if (sequence != nullptr) {
        text += QStringLiteral(", ") + gapsText(*sequence);
    }
    return text;
}

} // namespace

SenderTally::SenderTally(int maxSenders, int maxSequenced) : m_maxSenders(maxSenders), m_maxSequenced(maxSequenced) {}

SenderTally::~SenderTally() = default;

SenderTally::Key SenderTally::keyOf(const QHostAddress& sender, QByteArrayView host)
{
    // IPv4 in its mapped form, so that it and the same address through a dual-stack socket are one key.
    const Q_IPV6ADDR bytes = sender.toIPv6Address();
    Key key;
    std::memcpy(&key.high, bytes.c, sizeof key.high);
    std::memcpy(&key.low, bytes.c + sizeof key.high, sizeof key.low);
    // Looked up without a copy; a new entry's key takes the entry's own.
    key.host = QByteArray::fromRawData(host.data(), host.size());
    return key;
}

qsizetype SenderTally::entryFor(const QHostAddress& sender, QByteArrayView host)
{
    Key key = keyOf(sender, host);
    if (m_last >= 0 && key.high == m_lastHigh && key.low == m_lastLow &&
        QByteArrayView(m_entries[size_t(m_last)].host) == host) {
        return m_last;
    }
    qsizetype at = -1;
    if (const auto found = m_index.constFind(key); found != m_index.cend()) {
        at = *found;
    } else {
        if (size() >= m_maxSenders) {
            return -1;
        }
        at = size();
        Entry& entry = m_entries.emplace_back();
        entry.address = plainAddress(sender);
        entry.host = host.toByteArray();
        key.host = entry.host;
        m_index.insert(key, at);
    }
    m_lastHigh = key.high;
    m_lastLow = key.low;
    m_last = at;
    return at;
}

void SenderTally::record(const QHostAddress& sender, quint16 port, QByteArrayView message, qint64 nowMs)
{
    const qsizetype at = entryFor(sender, headerHost(withoutLineEnd(message)));
    if (at < 0) {
        ++m_untracked;
        return;
    }
    Entry& entry = m_entries[size_t(at)];
    if (entry.received == 0) {
        entry.firstMs = nowMs;
        entry.port = port;
    }
    ++entry.received;
    entry.lastMs = nowMs;
    entry.rate.record(nowMs, 1);
    const bool fromNewSource = port != entry.port;
    entry.port = port;

    const std::optional<quint32> id = sequenceIdOf(message);
    if (!id) {
        return;
    }
    if (!entry.sequence) {
        if (m_sequenced >= m_maxSequenced) {
            ++m_unsequenced;
            return;
        }
        entry.sequence = std::make_unique<SequenceTracker>();
        ++m_sequenced;
    }
    entry.sequence->record(*id, fromNewSource);
}

void SenderTally::clear()
{
    m_entries.clear();
    m_index.clear();
    m_sequenced = 0;
    m_last = -1;
    m_untracked = 0;
    m_unsequenced = 0;
}

std::vector<SenderRow> SenderTally::rows(qint64 nowMs) const
{
    std::vector<SenderRow> rows;
    rows.reserve(m_entries.size());
    for (const Entry& entry : m_entries) {
        rows.push_back({entry.address, entry.host, entry.received, entry.rate.rate(nowMs), entry.firstMs, entry.lastMs,
                        entry.sequence != nullptr, entry.sequence ? entry.sequence->figures() : SequenceFigures()});
    }
    return rows;
}

bool senderComesBefore(const SenderRow& left, const SenderRow& right)
{
    if (left.address != right.address) {
        return addressComesBefore(left.address, right.address);
    }
    return left.host < right.host;
}

QString senderName(const SenderRow& row)
{
    return row.address.toString() + u' ' + (row.host.isEmpty() ? QStringLiteral("-") : QString::fromUtf8(row.host));
}

QStringList senderSummary(const SenderTally& tally, qint64 nowMs)
{
    std::vector<SenderRow> rows = tally.rows(nowMs);
    std::sort(rows.begin(), rows.end(), senderComesBefore);
    QStringList lines;
    quint64 received = 0;
    qint64 firstMs = std::numeric_limits<qint64>::max();
    qint64 lastMs = std::numeric_limits<qint64>::min();
    SequenceFigures sequence;
    bool hasSequence = false;
    for (const SenderRow& row : rows) {
        lines.append(QStringLiteral("from ") + senderName(row) + QStringLiteral(": ") +
                     countsText(row.received, row.firstMs, row.lastMs, row.hasSequence ? &row.sequence : nullptr));
        received += row.received;
        firstMs = std::min(firstMs, row.firstMs);
        lastMs = std::max(lastMs, row.lastMs);
        sequence += row.sequence;
        hasSequence = hasSequence || row.hasSequence;
    }
    if (!rows.empty()) {
        const QString senders =
            rows.size() == 1 ? QStringLiteral("from 1 sender") : QStringLiteral("from %1 senders").arg(rows.size());
        lines.append(senders + QStringLiteral(": ") +
                     countsText(received, firstMs, lastMs, hasSequence ? &sequence : nullptr));
    }
    if (tally.untrackedCount() > 0) {
        lines.append(QStringLiteral("from senders not told apart: %1 messages").arg(tally.untrackedCount()));
    }
    if (tally.unsequencedCount() > 0) {
        lines.append(QStringLiteral("sequence ids not followed: %1 messages").arg(tally.unsequencedCount()));
    }
    return lines;
}

} // namespace korvane::harkwell
