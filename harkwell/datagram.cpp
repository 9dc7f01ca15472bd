// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/datagram.h"

#include "harkwell/syslogheader.h"

namespace korvane::harkwell {

QByteArray lineText(const QByteArray& payload)
{
    qsizetype end = payload.size();
    if (end > 0 && payload.at(end - 1) == '\n') {
        --end;
    }
    if (end > 0 && payload.at(end - 1) == '\r') {
        --end;
    }
    return payload.left(end);
}

QString senderText(const Datagram& datagram)
{
    bool isIPv4 = false;
    const quint32 ipv4 = datagram.sender.toIPv4Address(&isIPv4);
    const QString port = QString::number(datagram.senderPort);
    if (isIPv4) {
        return QStringLiteral("%1:%2").arg(QHostAddress(ipv4).toString(), port);
    }
    return QStringLiteral("[%1]:%2").arg(datagram.sender.toString(), port);
}

QByteArray arrivalColumns(const Datagram& datagram)
{
    return QStringLiteral("%1  %2  ")
        .arg(datagram.arrival.toString(QStringLiteral("HH:mm:ss.zzz")), senderText(datagram))
        .toLatin1();
}

QByteArray headerColumns(QByteArrayView line)
{
    const SyslogHeader header = decodeSyslogHeader(line);
    QByteArray columns;
    if (header.hasPriority) {
        columns += QByteArray::number(header.facility).rightJustified(2) + "  " + QByteArray::number(header.severity);
    } else {
        columns += " -  -";
    }
    columns += "  ";
    columns += header.host.isEmpty() ? QByteArray("-") : header.host;
    columns += "  ";
    return columns;
}

QByteArray describePrefix(const Datagram& datagram)
{
    return arrivalColumns(datagram) + headerColumns(lineText(datagram.payload));
}

QByteArray describe(const Datagram& datagram)
{
    return describePrefix(datagram) + lineText(datagram.payload);
}

} // namespace korvane::harkwell
