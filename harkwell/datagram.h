#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QString>

namespace korvane::harkwell {

// One received datagram as the listener hands it on.
struct Datagram
{
    QDateTime arrival; // when the batch that holds it was read from the socket
    QHostAddress sender;
    quint16 senderPort = 0;
    QByteArray payload;
};

// The payload as one line of output: a single trailing line end (LF, CR LF or CR), which many syslog senders
// append, is dropped so that one datagram stays one line; every other byte is kept as it came.
QByteArray lineText(const QByteArray& payload);

// The sender as "address:port" ("[address]:port" for IPv6); an IPv4 sender seen through a dual-stack socket is
// shown as plain IPv4.
QString senderText(const Datagram& datagram);

// "hh:mm:ss.zzz  sender  ": what describe() puts before the text.
QByteArray describePrefix(const Datagram& datagram);

// "hh:mm:ss.zzz  sender  text": the form the window shows.
QByteArray describe(const Datagram& datagram);

} // namespace korvane::harkwell
