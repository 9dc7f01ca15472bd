// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/framesplitter.h"

#include "harkwell/syslogheader.h"

#include <algorithm>
#include <utility>

namespace korvane::harkwell {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "dd Mmm ": how many bytes detect() needs after two digits and a space to tell a date from a length.
constexpr qsizetype kMonthAndSpace = 4;

} // namespace

FrameSplitter::Framing FrameSplitter::detect(QByteArrayView start)
{
    if (start.isEmpty()) {
        return Framing::Undecided;
    }
    if (start[0] < '1' || start[0] > '9') {
        return Framing::NonTransparent; // "<PRI>...", a leading zero as in "07 Dec", text
    }
    qsizetype digits = 1;
    while (digits < start.size() && isDigit(start[digits])) {
        ++digits;
    }
    if (digits > kMaxLengthDigits) {
        return Framing::NonTransparent;
    }
    if (digits == start.size()) {
        return Framing::Undecided;
    }
    if (start[digits] != ' ') {
        return Framing::NonTransparent;
    }
    if (digits == 2) {
        // A length of 10 or more guarantees the bytes that tell "17 Dec 2026 ..." from "17 <13>...".
        const QByteArrayView after = start.sliced(3);
        if (after.size() < kMonthAndSpace) {
            return Framing::Undecided;
        }
        if (isMonthAbbreviation(after.first(3)) && after[3] == ' ') {
            return Framing::NonTransparent;
        }
    }
    return Framing::OctetCounting;
}

QList<QByteArray> FrameSplitter::feed(QByteArrayView bytes)
{
    QList<QByteArray> messages;
    if (hasFailed()) {
        return messages;
    }
    if (m_framing == Framing::Undecided) {
        // Held only until detect() decides, which it does within the first few bytes.
        m_message += bytes;
        m_framing = detect(m_message);
        if (m_framing == Framing::Undecided) {
            return messages;
        }
        const QByteArray start = std::exchange(m_message, {});
        return feed(start);
    }
    if (m_framing == Framing::OctetCounting) {
        feedCounted(bytes, messages);
    } else {
        feedLines(bytes, messages);
    }
    return messages;
}

void FrameSplitter::feedLines(QByteArrayView bytes, QList<QByteArray>& messages)
{
    while (!bytes.isEmpty()) {
        const qsizetype end = bytes.indexOf('\n');
        const QByteArrayView part = end < 0 ? bytes : bytes.first(end);
        if (!m_skipping) {
            // Room for one byte more than a message: the CR of a CR LF that may follow.
            const qsizetype room = kMaxMessageBytes + 1 - m_message.size();
            m_message += part.first(std::min(room, part.size()));
            if (part.size() > room) {
                m_message.truncate(kMaxMessageBytes);
                messages.append(std::exchange(m_message, {}));
                m_skipping = true;
            }
        }
        if (end < 0) {
            return;
        }
        bytes = bytes.sliced(end + 1);
        if (std::exchange(m_skipping, false)) {
            continue; // the LF that ends an over-long line
        }
        if (m_message.endsWith('\r')) {
            m_message.chop(1);
        }
        m_message.truncate(kMaxMessageBytes); // a line of exactly one byte too many, not ended by CR LF
        if (!m_message.isEmpty()) {
            messages.append(std::exchange(m_message, {}));
        }
    }
}

void FrameSplitter::feedCounted(QByteArrayView bytes, QList<QByteArray>& messages)
{
    while (!bytes.isEmpty()) {
        if (m_inFrame) {
            const auto take = static_cast<qsizetype>(std::min<qint64>(bytes.size(), m_length));
            const qsizetype keep = std::clamp<qsizetype>(kMaxMessageBytes - m_message.size(), 0, take);
            m_message += bytes.first(keep);
            bytes = bytes.sliced(take);
            m_length -= take;
            if (m_length == 0) {
                messages.append(std::exchange(m_message, {}));
                m_inFrame = false;
                m_lengthDigits = 0;
            }
            continue;
        }
        const char c = bytes[0];
        bytes = bytes.sliced(1);
        if (m_lengthDigits == 0 && (c == '\n' || c == '\r')) {
            continue;
        }
        if (isDigit(c) && !(m_lengthDigits == 0 && c == '0') && m_lengthDigits < kMaxLengthDigits) {
            m_length = m_length * 10 + (c - '0');
            ++m_lengthDigits;
            continue;
        }
        if (c == ' ' && m_lengthDigits > 0) {
            m_inFrame = true;
            continue;
        }
        m_errorString = QStringLiteral("framing lost: byte 0x%1 where a frame length (1 to %2 digits, no leading "
                                       "zero, then a space) was due")
                            .arg(static_cast<uchar>(c), 2, 16, QLatin1Char('0'))
                            .arg(kMaxLengthDigits);
        m_message.clear();
        return;
    }
}

FrameSplitter::Ending FrameSplitter::finish()
{
    Ending ending;
    if (m_framing == Framing::Undecided) {
        // Too few bytes ever came to look like a length: they are lines.
        m_framing = Framing::NonTransparent;
        feedLines(std::exchange(m_message, {}), ending.messages);
    }
    QByteArray tail = std::exchange(m_message, {});
    if (m_framing == Framing::OctetCounting) {
        // A length alone, or a length and part of its frame: a message began, and what came of it is shown.
        if (!hasFailed() && (m_inFrame || m_lengthDigits > 0)) {
            ending.messages.append(tail);
            ending.lastIsCut = true;
        }
        m_inFrame = false;
        m_length = 0;
        m_lengthDigits = 0;
        return ending;
    }
    if (m_skipping) {
        return ending;
    }
    tail.truncate(kMaxMessageBytes);
    if (!tail.isEmpty() && !tail.contains('\0')) {
        ending.messages.append(tail);
    }
    return ending;
}

} // namespace korvane::harkwell
