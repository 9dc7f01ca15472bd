// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/sequencecounter.h"

#include "harkwell/syslogheader.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace korvane::harkwell {

namespace {

constexpr quint64 kBitsPerWord = 64;
// Forward distances up to this are ahead, longer ones behind.
constexpr quint64 kHalfCircle = kMaxSequenceId / 2;

QByteArrayView withoutLineEnd(QByteArrayView message)
{
    if (message.endsWith('\n')) {
        message.chop(1);
    }
    if (message.endsWith('\r')) {
        message.chop(1);
    }
    return message;
}

// The same sender whether it came over IPv4 or as IPv4 seen through a dual-stack socket.
QHostAddress plainAddress(const QHostAddress& address)
{
    bool isIPv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIPv4);
    return isIPv4 && address.protocol() != QAbstractSocket::IPv4Protocol ? QHostAddress(ipv4) : address;
}

bool comesBefore(const QHostAddress& left, const QHostAddress& right)
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

} // namespace

SequenceFigures& SequenceFigures::operator+=(const SequenceFigures& other)
{
    received += other.received;
    missing += other.missing;
    duplicated += other.duplicated;
    outOfOrder += other.outOfOrder;
    return *this;
}

QString figuresText(const SequenceFigures& figures)
{
    return QStringLiteral("received %1, missing %2, duplicated %3, out of order %4")
        .arg(figures.received)
        .arg(figures.missing)
        .arg(figures.duplicated)
        .arg(figures.outOfOrder);
}

std::optional<quint32> sequenceIdOf(QByteArrayView message)
{
    // Most messages carry none: a search for the name costs far less than reading the header, and the standard
    // library's search far less than QByteArrayView's.
    if (std::string_view(message.data(), size_t(message.size())).find("sequenceId") == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<QByteArray> value = structuredDataParam(withoutLineEnd(message), "meta", "sequenceId");
    // Ten digits hold every id; the check keeps toULongLong from anything longer.
    if (!value || value->isEmpty() || value->size() > 10 ||
        !std::all_of(value->begin(), value->end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const qulonglong id = value->toULongLong();
    if (id < 1 || id > kMaxSequenceId) {
        return std::nullopt;
    }
    return static_cast<quint32>(id);
}

void SequenceTracker::record(quint32 id, bool fromNewSource)
{
    ++m_figures.received;
    const quint64 forward = (quint64(id) + kMaxSequenceId - m_highest) % kMaxSequenceId;
    if (m_highest == 0 || (id == 1 && fromNewSource && forward > kHalfCircle)) {
        m_seen.assign(kWindowIds / kBitsPerWord, 0);
        m_highest = id;
        m_highestPosition = kWindowIds;
        m_firstPosition = kWindowIds;
        setSeen(m_highestPosition, true);
        return;
    }
    if (forward == 0) {
        ++m_figures.duplicated;
        return;
    }
    if (forward <= kHalfCircle) {
        m_figures.missing += forward - 1;
        if (forward >= kWindowIds) {
            std::fill(m_seen.begin(), m_seen.end(), 0);
        } else {
            for (quint64 step = 1; step < forward; ++step) {
                setSeen(m_highestPosition + step, false);
            }
        }
        m_highestPosition += forward;
        m_highest = id;
        setSeen(m_highestPosition, true);
        return;
    }
    const quint64 behind = kMaxSequenceId - forward;
    if (behind >= kWindowIds) {
        ++m_figures.outOfOrder;
        return;
    }
    const quint64 position = m_highestPosition - behind;
    if (isSeen(position)) {
        ++m_figures.duplicated;
        return;
    }
    setSeen(position, true);
    ++m_figures.outOfOrder;
    // Only the ids after the first were counted missing when their gap opened.
    if (position > m_firstPosition) {
        --m_figures.missing;
    }
}

bool SequenceTracker::isSeen(quint64 position) const
{
    const quint64 bit = position % kWindowIds;
    return (m_seen[bit / kBitsPerWord] >> (bit % kBitsPerWord) & 1U) != 0;
}

void SequenceTracker::setSeen(quint64 position, bool seen)
{
    const quint64 bit = position % kWindowIds;
    const quint64 mask = quint64(1) << (bit % kBitsPerWord);
    quint64& word = m_seen[bit / kBitsPerWord];
    word = seen ? word | mask : word & ~mask;
}

void SequenceCounter::record(const QHostAddress& sender, quint16 port, QByteArrayView message)
{
    const std::optional<quint32> id = sequenceIdOf(message);
    if (!id) {
        return;
    }
    // A batch mostly comes from one sender: it is looked up again only on a change.
    if (m_lastTracker == nullptr || sender != m_lastSender) {
        const QHostAddress address = plainAddress(sender);
        auto tracker = m_trackers.find(address);
        if (tracker == m_trackers.end()) {
            if (m_trackers.size() >= m_maxSenders) {
                ++m_untracked;
                return;
            }
            tracker = m_trackers.insert(address, SenderSequence{SequenceTracker(), port});
        }
        m_lastSender = sender;
        m_lastTracker = &*tracker;
    }
    m_lastTracker->tracker.record(*id, port != m_lastTracker->port);
    m_lastTracker->port = port;
}

void SequenceCounter::clear()
{
    m_trackers.clear();
    m_untracked = 0;
    m_lastTracker = nullptr;
}

QList<SenderFigures> SequenceCounter::senders() const
{
    QList<SenderFigures> senders;
    senders.reserve(m_trackers.size());
    for (auto tracker = m_trackers.begin(); tracker != m_trackers.end(); ++tracker) {
        senders.append({tracker.key(), tracker->tracker.figures()});
    }
    std::sort(senders.begin(), senders.end(), [](const SenderFigures& left, const SenderFigures& right) {
        return comesBefore(left.sender, right.sender);
    });
    return senders;
}

QStringList sequenceSummary(const SequenceCounter& counter, qsizetype maxLines)
{
    const QList<SenderFigures> senders = counter.senders();
    QStringList lines;
    const qsizetype shown = senders.size() > maxLines ? maxLines - 1 : senders.size();
    for (qsizetype i = 0; i < shown; ++i) {
        lines.append(senders.at(i).sender.toString() + QStringLiteral(": ") + figuresText(senders.at(i).figures));
    }
    if (shown < senders.size()) {
        SequenceFigures rest;
        for (qsizetype i = shown; i < senders.size(); ++i) {
            rest += senders.at(i).figures;
        }
        lines.append(QStringLiteral("%1 more senders: %2").arg(senders.size() - shown).arg(figuresText(rest)));
    }
    if (counter.untrackedCount() > 0) {
        lines.append(QStringLiteral("senders not followed: %1 messages").arg(counter.untrackedCount()));
    }
    return lines;
}

} // namespace korvane::harkwell
