// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace korvane::harkwell {

// Cuts the byte stream of one TCP connection into syslog messages. The framing is chosen once, from the first
// bytes of the connection:
//  - octet counting, "LEN SP MSG" with LEN a decimal number without leading zero, when the stream starts with
//    such a length and a space (a CR or LF between frames is tolerated, as some senders add one);
//  - otherwise non-transparent framing: each message ends with LF or CR LF, empty lines are skipped, and the
//    last line may lack its end if the connection closes after it.
// A frame that the close cuts short is still handed on, marked as cut, so that nothing received is lost unseen.
// A stream that starts with two digits, a space and a month ("17 Dec 2026 ...") is read as lines: that is the
// date-first form without <PRI>, not a length.
// A message longer than kMaxMessageBytes is cut to its first kMaxMessageBytes and the rest of its frame skipped,
// so that one connection never holds more than about one message however much a peer sends. Bytes that break
// octet counting (no valid length where a frame must start) end the connection: its framing cannot be found
// again.
class FrameSplitter
{
public:
    static constexpr qsizetype kMaxMessageBytes = 64 * 1024;
    // A length of more digits is no message this splitter would keep: the stream is not octet counting.
    static constexpr int kMaxLengthDigits = 9;

    enum class Framing
    {
        Undecided,
        OctetCounting,
        NonTransparent,
    };

    // The framing that the first bytes of a stream show, or Undecided while they are too few to tell.
    [[nodiscard]] static Framing detect(QByteArrayView start);

    // Takes the next bytes of the stream; returns the messages they complete, in order.
    [[nodiscard]] QList<QByteArray> feed(QByteArrayView bytes);

    // What the end of a connection leaves.
    struct Ending
    {
        QList<QByteArray> messages; // in order
        bool lastIsCut = false;     // the last of them is a frame that the end cut short
    };

    // The connection ended: returns an unterminated last line if it is not empty and holds no NUL (a binary
    // tail is no line), or the part of a frame that came, marked as cut (empty when only its length came).
    [[nodiscard]] Ending finish();

    [[nodiscard]] Framing framing() const { return m_framing; }
    // True once the stream broke octet counting; feed() then takes nothing more.
    [[nodiscard]] bool hasFailed() const { return !m_errorString.isEmpty(); }
    [[nodiscard]] QString errorString() const { return m_errorString; }
    // Bytes held for a message not yet complete; never much more than kMaxMessageBytes.
    [[nodiscard]] qsizetype bufferedBytes() const { return m_message.size(); }

private:
    void feedLines(QByteArrayView bytes, QList<QByteArray>& messages);
    void feedCounted(QByteArrayView bytes, QList<QByteArray>& messages);

    Framing m_framing = Framing::Undecided;
    QByteArray m_message;    // the start of the stream while undecided, then the message being received
    bool m_skipping = false; // lines: the rest of an over-long line is being skipped up to its LF
    bool m_inFrame = false;  // octet counting: the length was read, the frame's bytes are coming
    qint64 m_length = 0;     // octet counting: the length being read, then the bytes of the frame still due
    int m_lengthDigits = 0;  // octet counting: digits of the length read so far
    QString m_errorString;
};

} // namespace korvane::harkwell
