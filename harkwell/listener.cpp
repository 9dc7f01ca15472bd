// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/listener.h"

#include <algorithm>

namespace korvane::harkwell {

Listener::Listener(QObject* parent) : QObject(parent)
{
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.elapsed(); };
}

void Listener::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

qint64 Listener::ratePerSecond() const
{
    return m_rate.rate(m_clock());
}

void Listener::resetCounters()
{
    m_datagramCount = 0;
    m_byteCount = 0;
    m_cutCount = 0;
    m_senders.clear();
}

void Listener::deliver(const QList<Datagram>& batch, quint64 bytes)
{
    if (batch.isEmpty()) {
        return;
    }
    m_datagramCount += static_cast<quint64>(batch.size());
    m_byteCount += bytes;
    m_cutCount += static_cast<quint64>(
        std::count_if(batch.begin(), batch.end(), [](const Datagram& message) { return message.cut; }));
    const qint64 now = m_clock();
    for (const Datagram& message : batch) {
        m_senders.record(message.sender, message.senderPort, message.payload, now);
    }
    m_rate.record(now, batch.size());
    emit datagramsReceived(batch);
}

} // namespace korvane::harkwell
