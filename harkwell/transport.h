// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QString>

#include <memory>

class QSslConfiguration;

namespace korvane::harkwell {

class Listener;

// What a listener receives over.
enum class Transport
{
    Udp, // datagrams, one message each
    Tcp, // connections, each a stream of framed messages
    Tls, // TCP connections under TLS
};

// "UDP", "TCP" or "TLS", as the window and the program's messages name them.
[[nodiscard]] QString transportName(Transport transport);

// A listener, not yet listening, for transport; tls is what a TLS listener presents (see loadTlsIdentity).
[[nodiscard]] std::unique_ptr<Listener> makeListener(Transport transport, const QSslConfiguration& tls);

} // namespace korvane::harkwell
