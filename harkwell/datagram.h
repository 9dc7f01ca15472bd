// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QString>

namespace korvane::harkwell {

// One received message as a listener hands it on: a UDP datagram, or one message framed in a TCP stream.
struct Datagram
{
    QDateTime arrival; // when the batch that holds it was read from the socket
    QHostAddress sender;
    quint16 senderPort = 0;
    QByteArray payload;
    bool cut = false; // the connection ended inside the message's frame: payload is the part that came
};

// Follows the text of a cut message wherever it is shown: a tab, which standard output writes as \t in any
// message, so that the mark cannot be taken for the message's own text there.
inline constexpr char kCutMark[] = "\t[cut]";

// The payload as one line of output: a single trailing line end (LF, CR LF or CR), which many syslog senders
// append, is dropped so that one datagram stays one line; every other byte is kept as it came.
QByteArray lineText(const QByteArray& payload);

// The sender as "address:port" ("[address]:port" for IPv6); an IPv4 sender seen through a dual-stack socket is
// shown as plain IPv4.
QString senderText(const Datagram& datagram);

// "hh:mm:ss.zzz  sender  ": when and from where, the first columns of describePrefix().
QByteArray arrivalColumns(const Datagram& datagram);

// "facility  severity  host  " as the syslog header at the start of line (see decodeSyslogHeader) gives them:
// the facility right-aligned in two places so that the columns after it line up, "-" for each one missing.
QByteArray headerColumns(QByteArrayView line);

// "hh:mm:ss.zzz  sender  facility  severity  host  ": what describe() puts before the text.
QByteArray describePrefix(const Datagram& datagram);

// "hh:mm:ss.zzz  sender  facility  severity  host  text": the form the window shows.
QByteArray describe(const Datagram& datagram);

} // namespace korvane::harkwell
