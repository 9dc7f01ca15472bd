// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/framesplitter.h"
#include "harkwell/listener.h"

#include <QSslConfiguration>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>

class QSslSocket;
class QTcpServer;
class QTcpSocket;

namespace korvane::harkwell {

// Listens on TCP, or TLS over TCP, and hands on each message that a connection frames (see FrameSplitter) as
// one item, stamped with the connection's peer. Connections are independent: one that closes, breaks its
// framing, floods or says nothing only loses itself. The memory one connection holds is bounded
// (kReadBufferBytes unread, about one message being assembled), and so is the number of connections.
// Over TLS, every peer is watched from its first byte: one that is no TLS client, fails its handshake or takes
// too long over it is closed and reported, and peers in their handshake never keep served ones out.
class StreamListener : public Listener
{
    Q_OBJECT

public:
    // Connections served at once (TCP ones, TLS ones once encrypted); a further one is closed as soon as it is
    // accepted, or its handshake done, and reported.
    static constexpr int kMaxConnections = 256;
    // TLS connections in their handshake at once, besides those served; a further one is closed at once, and
    // reported.
    static constexpr int kMaxHandshakes = 256;
    // Bytes the socket may hold unread; past it, TCP makes the peer wait.
    static constexpr qint64 kReadBufferBytes = 64 * 1024;
    // A TLS peer that has not completed its handshake this long after connecting is closed, and reported.
    static constexpr int kHandshakeTimeoutMs = 10000;
    // A served connection that sends nothing for this long is closed, and reported, so that the place of a
    // peer that went away without a word is given back.
    static constexpr int kIdleTimeoutMs = 60000;

    explicit StreamListener(QObject* parent = nullptr);
    ~StreamListener() override;

    // Serves TLS with this configuration from the next listen() on; plain TCP without it.
    void setTlsConfiguration(const QSslConfiguration& configuration) { m_tls = configuration; }
    // From the next listen() on; tests shorten them.
    void setTimeouts(int handshakeMs, int idleMs);

    [[nodiscard]] bool listen(const QHostAddress& address, quint16 port) override;
    void close() override;

    [[nodiscard]] bool isListening() const override;
    [[nodiscard]] QHostAddress address() const override;
    [[nodiscard]] quint16 port() const override;
    // Connections being served.
    [[nodiscard]] int connectionCount() const;
    // TLS connections not yet through their handshake.
    [[nodiscard]] int handshakeCount() const;

    // Reads what each served connection has waiting, in the socket or in the system.
    void readPending() override;

private:
    struct Connection;

    void acceptPending();
    void onReadyRead(QTcpSocket* socket);
    void onDisconnected(QTcpSocket* socket);
    // A TLS connection's first bytes came: the handshake starts if they begin one.
    void checkHello(QSslSocket* socket);
    void onEncrypted(QSslSocket* socket);
    // Closes connections whose handshake or silence has lasted too long.
    void watch();
    // Reads and frames what socket has; false when the connection had to be closed for bad framing.
    bool readFrom(QTcpSocket* socket);
    // Hands on what the connection's end completes; why, when not empty, is reported as the reason for closing.
    void finishConnection(QTcpSocket* socket, const QString& why = {});
    void failHandshake(QTcpSocket* socket, const QString& why);
    // Closes the connection and reports text.
    void drop(QTcpSocket* socket, const QString& text);
    void forget(QTcpSocket* socket);

    std::optional<QSslConfiguration> m_tls;
    int m_handshakeTimeoutMs = kHandshakeTimeoutMs;
    int m_idleTimeoutMs = kIdleTimeoutMs;
    std::unique_ptr<QTcpServer> m_server;
    std::map<QTcpSocket*, std::unique_ptr<Connection>> m_connections;
    QTimer m_watch;
};

} // namespace korvane::harkwell
