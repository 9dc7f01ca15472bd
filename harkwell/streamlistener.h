// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/framesplitter.h"
#include "harkwell/listener.h"

#include <QSslConfiguration>

#include <map>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace korvane::harkwell {

// Listens on TCP, or TLS over TCP, and hands on each message that a connection frames (see FrameSplitter) as
// one item, stamped with the connection's peer. Connections are independent: one that closes, breaks its
// framing or floods only loses itself. The memory one connection holds is bounded (kReadBufferBytes unread,
// about one message being assembled), and so is the number of connections.
class StreamListener : public Listener
{
    Q_OBJECT

public:
    // Connections at once; a further one is closed as soon as it is accepted, and reported.
    static constexpr int kMaxConnections = 256;
    // Bytes the socket may hold unread; past it, TCP makes the peer wait.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;
    // A peer that connects but never completes the TLS handshake is dropped after this long.
    static constexpr int kHandshakeTimeoutMs = 10000;

    explicit StreamListener(QObject* parent = nullptr);
    ~StreamListener() override;

    // Serves TLS with this configuration from the next listen() on; plain TCP without it.
    void setTlsConfiguration(const QSslConfiguration& configuration) { m_tls = configuration; }

    [[nodiscard]] bool listen(const QHostAddress& address, quint16 port) override;
    void close() override;

    [[nodiscard]] bool isListening() const override;
    [[nodiscard]] QHostAddress address() const override;
    [[nodiscard]] quint16 port() const override;
    [[nodiscard]] int connectionCount() const { return static_cast<int>(m_connections.size()); }

    // Reads what each connection has waiting, in the socket or in the system.
    void readPending() override;

private:
    struct Connection;
    struct Peer
    {
        QHostAddress address;
        quint16 port = 0;
    };

    void acceptPending();
    // The socket's peer: noted at the start of a TLS handshake, because a peer that sends and closes at once is
    // disconnected, and the socket has forgotten its address, by the time the handshake is through.
    [[nodiscard]] Peer peerOf(QTcpSocket* socket) const;
    // Reads and frames what socket has; false when the connection had to be closed for bad framing.
    bool readFrom(QTcpSocket* socket);
    void finishConnection(QTcpSocket* socket);
    void forget(QTcpSocket* socket);

    std::optional<QSslConfiguration> m_tls;
    std::unique_ptr<QTcpServer> m_server;
    std::map<QTcpSocket*, std::unique_ptr<Connection>> m_connections;
    std::map<const QObject*, Peer> m_handshakePeers; // TLS sockets from handshake start to acceptance or end
};

} // namespace korvane::harkwell
