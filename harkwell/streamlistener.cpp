// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/streamlistener.h"

#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include <vector>

namespace korvane::harkwell {

namespace {

// "address:port" of a connection's peer, as the window and the output show senders.
QString peerText(const QHostAddress& address, quint16 port)
{
    return senderText(Datagram{{}, address, port, {}});
}

// Set on a socket whose failed handshake was reported.
constexpr char kReportedProperty[] = "harkwellReported";

} // namespace

struct StreamListener::Connection
{
    // Kept from the start: a socket forgets its peer once it is disconnected.
    Peer peer;
    FrameSplitter splitter;
};

StreamListener::StreamListener(QObject* parent) : Listener(parent) {}

StreamListener::~StreamListener()
{
    close();
}

bool StreamListener::listen(const QHostAddress& address, quint16 port)
{
    close();
    resetCounters();
    if (m_tls) {
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(*m_tls);
        server->setHandshakeTimeout(kHandshakeTimeoutMs);
        connect(server.get(), &QSslServer::startedEncryptionHandshake, this, [this](QSslSocket* socket) {
            m_handshakePeers[socket] = Peer{socket->peerAddress(), socket->peerPort()};
            connect(socket, &QObject::destroyed, this, [this](QObject* gone) { m_handshakePeers.erase(gone); });
        });
        // Only the handshake's failures come here: an encrypted connection is the listener's like any other.
        connect(server.get(), &QSslServer::errorOccurred, this,
                [this](QSslSocket* socket, QAbstractSocket::SocketError error) {
                    // One failure may be signalled more than once, the later ones saying less.
                    if (socket->property(kReportedProperty).toBool()) {
                        return;
                    }
                    socket->setProperty(kReportedProperty, true);
                    // A peer that never began a handshake was not noted, and its socket is closed by now.
                    const Peer peer = peerOf(socket);
                    const QString who =
                        peer.address.isNull() ? QStringLiteral("a peer") : peerText(peer.address, peer.port);
                    const QString why = error == QAbstractSocket::SocketTimeoutError
                                            ? QStringLiteral("none within %1 s").arg(kHandshakeTimeoutMs / 1000)
                                            : socket->errorString();
                    emit peerProblem(QStringLiteral("TLS handshake with %1 failed: %2").arg(who, why));
                });
        m_server = std::move(server);
    } else {
        m_server = std::make_unique<QTcpServer>();
    }
    // Not newConnection: a TLS server signals that when a connection comes in, and nothing when it is ready to be
    // taken after the handshake.
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &StreamListener::acceptPending);
    connect(m_server.get(), &QTcpServer::acceptError, this, [this] {
        emit peerProblem(QStringLiteral("cannot accept a connection: %1").arg(m_server->errorString()));
    });
    if (!m_server->listen(address, port)) {
        setErrorString(m_server->errorString());
        m_server.reset();
        return false;
    }
    setErrorString({});
    return true;
}

void StreamListener::close()
{
    for (const auto& [socket, connection] : m_connections) {
        socket->disconnect(this);
    }
    m_connections.clear();
    m_server.reset(); // its sockets are its children
    m_handshakePeers.clear();
}

bool StreamListener::isListening() const
{
    return m_server != nullptr && m_server->isListening();
}

QHostAddress StreamListener::address() const
{
    return isListening() ? m_server->serverAddress() : QHostAddress();
}

quint16 StreamListener::port() const
{
    return isListening() ? m_server->serverPort() : 0;
}

void StreamListener::acceptPending()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        const Peer peer = peerOf(socket);
        m_handshakePeers.erase(socket);
        if (connectionCount() >= kMaxConnections) {
            emit peerProblem(QStringLiteral("refused a connection from %1: %2 connections are open already")
                                 .arg(peerText(peer.address, peer.port))
                                 .arg(kMaxConnections));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->peer = peer;
        m_connections.emplace(socket, std::move(connection));
        socket->setReadBufferSize(kReadBufferBytes);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { finishConnection(socket); });
        // What came with the connection, or its end, may have been signalled before anyone listened.
        if (socket->state() != QAbstractSocket::ConnectedState) {
            finishConnection(socket);
        } else if (socket->bytesAvailable() > 0) {
            readFrom(socket);
        }
    }
}

StreamListener::Peer StreamListener::peerOf(QTcpSocket* socket) const
{
    const auto noted = m_handshakePeers.find(socket);
    return noted != m_handshakePeers.end() ? noted->second : Peer{socket->peerAddress(), socket->peerPort()};
}

bool StreamListener::readFrom(QTcpSocket* socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end()) {
        return false;
    }
    Connection& connection = *found->second;
    // As for datagrams, one clock reading for what was waiting together.
    const QDateTime arrival = QDateTime::currentDateTime();
    QList<Datagram> batch;
    quint64 bytes = 0;
    // The socket holds at most kReadBufferBytes, so a flooding peer cannot keep this loop going.
    while (socket->bytesAvailable() > 0 && !connection.splitter.hasFailed()) {
        for (QByteArray& message : connection.splitter.feed(socket->read(kReadBufferBytes))) {
            bytes += static_cast<quint64>(message.size());
            batch.append(Datagram{arrival, connection.peer.address, connection.peer.port, std::move(message)});
        }
    }
    const QString failure =
        connection.splitter.hasFailed()
            ? QStringLiteral("closed the connection from %1: %2")
                  .arg(peerText(connection.peer.address, connection.peer.port), connection.splitter.errorString())
            : QString();
    if (!failure.isEmpty()) {
        forget(socket);
    }
    deliver(batch, bytes);
    if (!failure.isEmpty()) {
        emit peerProblem(failure);
        return false;
    }
    return true;
}

void StreamListener::finishConnection(QTcpSocket* socket)
{
    if (!readFrom(socket)) {
        return;
    }
    const std::unique_ptr<Connection> connection = std::move(m_connections.at(socket));
    forget(socket);
    QList<Datagram> batch;
    quint64 bytes = 0;
    const QDateTime arrival = QDateTime::currentDateTime();
    for (QByteArray& message : connection->splitter.finish()) {
        bytes += static_cast<quint64>(message.size());
        batch.append(Datagram{arrival, connection->peer.address, connection->peer.port, std::move(message)});
    }
    deliver(batch, bytes);
}

void StreamListener::forget(QTcpSocket* socket)
{
    m_connections.erase(socket);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void StreamListener::readPending()
{
    std::vector<QTcpSocket*> sockets;
    for (const auto& [socket, connection] : m_connections) {
        sockets.push_back(socket);
    }
    for (QTcpSocket* socket : sockets) {
        // Takes from the system what the event loop has not yet taken, without waiting; readyRead then frames it.
        if (m_connections.contains(socket)) {
            socket->waitForReadyRead(0);
        }
    }
}

} // namespace korvane::harkwell
