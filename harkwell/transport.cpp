// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/transport.h"

#include "harkwell/datagramlistener.h"
#include "harkwell/streamlistener.h"

namespace korvane::harkwell {

QString transportName(Transport transport)
{
    switch (transport) {
    case Transport::Udp:
        return QStringLiteral("UDP");
    case Transport::Tcp:
        return QStringLiteral("TCP");
    case Transport::Tls:
        return QStringLiteral("TLS");
    }
    return {};
}

std::unique_ptr<Listener> makeListener(Transport transport, const QSslConfiguration& tls)
{
    if (transport == Transport::Udp) {
        return std::make_unique<DatagramListener>();
    }
    auto listener = std::make_unique<StreamListener>();
    if (transport == Transport::Tls) {
        listener->setTlsConfiguration(tls);
    }
    return listener;
}

} // namespace korvane::harkwell
