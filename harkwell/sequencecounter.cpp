// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/sequencecounter.h"

#include "harkwell/syslogheader.h"

#include <algorithm>
#include <string_view>

namespace korvane::harkwell {

namespace {

constexpr quint64 kBitsPerWord = 64;
// Forward distances up to this are ahead, longer ones behind.
constexpr quint64 kHalfCircle = kMaxSequenceId / 2;

} // namespace

SequenceFigures& SequenceFigures::operator+=(const SequenceFigures& other)
{
    received += other.received;
    missing += other.missing;
    duplicated += other.duplicated;
    outOfOrder += other.outOfOrder;
    return *this;
}

QString gapsText(const SequenceFigures& figures)
{
    return QStringLiteral("missing %1, duplicated %2, out of order %3")
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

} // namespace korvane::harkwell
