// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/streamlistener.h"

#include "harkwell/stdoutprinter.h"

#include <QElapsedTimer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <utility>
#include <vector>

namespace korvane::harkwell {

namespace {

// "address:port" of a connection's peer, as the window and the output show senders.
QString peerText(const QHostAddress& address, quint16 port)
{
    return senderText(Datagram{{}, address, port, {}});
}

// "10 s", "0.2 s".
QString secondsText(int ms)
{
    return QStringLiteral("%1 s").arg(QString::number(ms / 1000.0));
}

// The first byte of a TLS handshake record, which a TLS client's first bytes always are.
constexpr char kTlsHandshakeRecord = 0x16;
// How much of what a peer that is no TLS client sent its report quotes.
constexpr qint64 kQuotedBytes = 16;

// Hands on every connection as a QSslSocket not yet in a handshake, so that the listener sees each peer from its
// first byte. (QSslServer closes a peer that is no TLS client without a word, and counts the connections in
// their handshake among its pending ones, of which it accepts 30 at most.)
class TlsServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QSslSocket(this);
        if (socket->setSocketDescriptor(descriptor)) {
            addPendingConnection(socket);
        } else {
            delete socket;
        }
    }
};

} // namespace

struct StreamListener::Connection
{
    enum class Phase
    {
        Hello,     // TLS: waiting for the peer's first bytes
        Handshake, // TLS: the handshake is under way
        Open,      // served: its bytes are framed
    };

    // Kept from the start: a socket forgets its peer once it is disconnected.
    QHostAddress address;
    quint16 port = 0;
    Phase phase = Phase::Open;
    QElapsedTimer since; // since the connection came while not served, then since its last bytes
    FrameSplitter splitter;

    [[nodiscard]] QString peer() const { return peerText(address, port); }
};

StreamListener::StreamListener(QObject* parent) : Listener(parent)
{
    connect(&m_watch, &QTimer::timeout, this, &StreamListener::watch);
}

StreamListener::~StreamListener()
{
    close();
}

void StreamListener::setTimeouts(int handshakeMs, int idleMs)
{
    m_handshakeTimeoutMs = handshakeMs;
    m_idleTimeoutMs = idleMs;
}

bool StreamListener::listen(const QHostAddress& address, quint16 port)
{
    close();
    resetCounters();
    m_server = m_tls ? std::make_unique<TlsServer>() : std::make_unique<QTcpServer>();
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
    // A tenth of the shorter timeout late at most, and never more than a second.
    m_watch.start(std::clamp(std::min(m_handshakeTimeoutMs, m_idleTimeoutMs) / 10, 10, 1000));
    return true;
}

void StreamListener::close()
{
    m_watch.stop();
    for (const auto& [socket, connection] : m_connections) {
        socket->disconnect(this);
    }
    m_connections.clear();
    m_server.reset(); // its sockets are its children
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

int StreamListener::connectionCount() const
{
    return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(), [](const auto& entry) {
        return entry.second->phase == Connection::Phase::Open;
    }));
}

int StreamListener::handshakeCount() const
{
    return static_cast<int>(m_connections.size()) - connectionCount();
}

void StreamListener::acceptPending()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto connection = std::make_unique<Connection>();
        connection->address = socket->peerAddress();
        connection->port = socket->peerPort();
        auto* tls = qobject_cast<QSslSocket*>(socket);
        QString refusal;
        if (connectionCount() >= kMaxConnections) {
            refusal = QStringLiteral("%1 connections are open already").arg(kMaxConnections);
        } else if (tls != nullptr && handshakeCount() >= kMaxHandshakes) {
            refusal = QStringLiteral("%1 TLS handshakes are under way already").arg(kMaxHandshakes);
        }
        if (!refusal.isEmpty()) {
            emit peerProblem(QStringLiteral("refused a connection from %1: %2").arg(connection->peer(), refusal));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connection->phase = tls != nullptr ? Connection::Phase::Hello : Connection::Phase::Open;
        connection->since.start();
        m_connections.emplace(socket, std::move(connection));
        socket->setReadBufferSize(kReadBufferBytes);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
        if (tls != nullptr) {
            tls->setSslConfiguration(*m_tls);
            connect(tls, &QSslSocket::encrypted, this, [this, tls] { onEncrypted(tls); });
            // Once served, a connection's end is its disconnection, whatever the error said.
            connect(tls, &QAbstractSocket::errorOccurred, this, [this, tls] {
                if (const auto found = m_connections.find(tls);
                    found != m_connections.end() && found->second->phase != Connection::Phase::Open) {
                    failHandshake(tls, tls->errorString());
                }
            });
        }
        // What came with the connection, or its end, may have been signalled before anyone listened.
        if (socket->state() != QAbstractSocket::ConnectedState) {
            onDisconnected(socket);
        } else if (socket->bytesAvailable() > 0) {
            onReadyRead(socket);
        }
    }
}

void StreamListener::onReadyRead(QTcpSocket* socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end()) {
        return;
    }
    switch (found->second->phase) {
    case Connection::Phase::Hello:
        checkHello(static_cast<QSslSocket*>(socket));
        break;
    case Connection::Phase::Handshake:
        break; // the handshake takes its own bytes; the peer's messages come once it is through
    case Connection::Phase::Open:
        readFrom(socket);
        break;
    }
}

void StreamListener::onDisconnected(QTcpSocket* socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end()) {
        return;
    }
    if (found->second->phase != Connection::Phase::Open) {
        failHandshake(socket, socket->error() == QAbstractSocket::UnknownSocketError
                                  ? QStringLiteral("the peer closed the connection")
                                  : socket->errorString());
        return;
    }
    finishConnection(socket);
}

void StreamListener::checkHello(QSslSocket* socket)
{
    // Peeked, not read: the handshake reads the same bytes again.
    const QByteArray start = socket->peek(kQuotedBytes);
    if (start.isEmpty()) {
        return;
    }
    Connection& connection = *m_connections.at(socket);
    if (start.at(0) != kTlsHandshakeRecord) {
        // A plain TCP sender, or a wrong port: what it sent says which.
        QByteArray quoted;
        appendEscaped(quoted, start);
        drop(socket, QStringLiteral("closed the connection from %1: not a TLS client (it began with \"%2\")")
                         .arg(connection.peer(), QString::fromUtf8(quoted)));
        return;
    }
    connection.phase = Connection::Phase::Handshake;
    socket->startServerEncryption();
}

void StreamListener::onEncrypted(QSslSocket* socket)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end()) {
        return;
    }
    Connection& connection = *found->second;
    if (connectionCount() >= kMaxConnections) {
        drop(socket, QStringLiteral("refused a connection from %1: %2 connections are open already")
                         .arg(connection.peer())
                         .arg(kMaxConnections));
        return;
    }
    connection.phase = Connection::Phase::Open;
    connection.since.start();
    if (socket->bytesAvailable() > 0) {
        readFrom(socket);
    }
}

void StreamListener::watch()
{
    std::vector<QTcpSocket*> lateHandshakes;
    std::vector<QTcpSocket*> silent;
    for (const auto& [socket, connection] : m_connections) {
        if (connection->phase != Connection::Phase::Open) {
            if (connection->since.hasExpired(m_handshakeTimeoutMs)) {
                lateHandshakes.push_back(socket);
            }
        } else if (connection->since.hasExpired(m_idleTimeoutMs)) {
            silent.push_back(socket);
        }
    }
    for (QTcpSocket* socket : lateHandshakes) {
        failHandshake(socket, QStringLiteral("none within %1").arg(secondsText(m_handshakeTimeoutMs)));
    }
    for (QTcpSocket* socket : silent) {
        // Bytes that came a moment ago and are not yet signalled are a sign of life, not to be lost in the close.
        socket->waitForReadyRead(0);
        const auto found = m_connections.find(socket);
        if (found != m_connections.end() && found->second->since.hasExpired(m_idleTimeoutMs)) {
            finishConnection(socket, QStringLiteral("nothing received for %1").arg(secondsText(m_idleTimeoutMs)));
        }
    }
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
    if (socket->bytesAvailable() > 0) {
        connection.since.start();
    }
    // The socket holds at most kReadBufferBytes, so a flooding peer cannot keep this loop going.
    while (socket->bytesAvailable() > 0 && !connection.splitter.hasFailed()) {
        for (QByteArray& message : connection.splitter.feed(socket->read(kReadBufferBytes))) {
            bytes += static_cast<quint64>(message.size());
            batch.append(Datagram{arrival, connection.address, connection.port, std::move(message)});
        }
    }
    const QString failure = connection.splitter.hasFailed()
                                ? QStringLiteral("closed the connection from %1: %2")
                                      .arg(connection.peer(), connection.splitter.errorString())
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

void StreamListener::finishConnection(QTcpSocket* socket, const QString& why)
{
    if (!readFrom(socket)) {
        return;
    }
    const std::unique_ptr<Connection> connection = std::move(m_connections.at(socket));
    forget(socket);
    FrameSplitter::Ending ending = connection->splitter.finish();
    QList<Datagram> batch;
    quint64 bytes = 0;
    const QDateTime arrival = QDateTime::currentDateTime();
    for (QByteArray& message : ending.messages) {
        bytes += static_cast<quint64>(message.size());
        batch.append(Datagram{arrival, connection->address, connection->port, std::move(message)});
    }
    if (ending.lastIsCut) {
        batch.last().cut = true;
    }
    deliver(batch, bytes);
    if (!why.isEmpty()) {
        emit peerProblem(QStringLiteral("closed the connection from %1: %2").arg(connection->peer(), why));
    }
}

void StreamListener::failHandshake(QTcpSocket* socket, const QString& why)
{
    drop(socket, QStringLiteral("TLS handshake with %1 failed: %2").arg(m_connections.at(socket)->peer(), why));
}

void StreamListener::drop(QTcpSocket* socket, const QString& text)
{
    forget(socket);
    emit peerProblem(text);
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
        if (connection->phase == Connection::Phase::Open) {
            sockets.push_back(socket);
        }
    }
    for (QTcpSocket* socket : sockets) {
        // Takes from the system what the event loop has not yet taken, without waiting; readyRead then frames it.
        if (m_connections.contains(socket)) {
            socket->waitForReadyRead(0);
        }
    }
}

} // namespace korvane::harkwell
