// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// Small helpers for the tests that talk UDP to a listener on 127.0.0.1.

#include "udpreceiver.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QUdpSocket>

namespace harkwelltest {

// A port that was free a moment ago, as every test draws one (tests/support/udpreceiver.h).
using korvane::test::freeUdpPort;

// Sends each payload as one datagram from sender to 127.0.0.1:port; true when every one was handed to the
// system whole.
inline bool sendAll(QUdpSocket& sender, quint16 port, const QList<QByteArray>& payloads)
{
    for (const QByteArray& payload : payloads) {
        if (sender.writeDatagram(payload, QHostAddress::LocalHost, port) != payload.size()) {
            return false;
        }
    }
    return true;
}

// "line 0000" ... : numbered payloads whose order shows in the text.
inline QList<QByteArray> numberedLines(int first, int count)
{
    QList<QByteArray> lines;
    for (int i = first; i < first + count; ++i) {
        lines.append(QByteArray("<13>harkwell test line ") + QByteArray::number(i).rightJustified(5, '0'));
    }
    return lines;
}

} // namespace harkwelltest
