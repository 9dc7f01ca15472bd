// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/streamsink.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

#include <algorithm>
#include <charconv>

namespace korvane {

void appendFramed(std::string& out, StreamFraming framing, std::string_view line)
{
    if (framing == StreamFraming::LineFeed) {
        out.append(line);
        out.push_back('\n');
        return;
    }
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, line.size());
    out.append(digits, end);
    out.push_back(' ');
    out.append(line);
}

namespace {

// The size of `line` once framed.
std::size_t framedSize(StreamFraming framing, std::size_t lineSize)
{
    if (framing == StreamFraming::LineFeed) {
        return lineSize + 1;
    }
    std::size_t digits = 1;
    for (std::size_t rest = lineSize; rest >= 10; rest /= 10) {
        ++digits;
    }
    return digits + 1 + lineSize;
}

QString readFailure(const QString& path, const QString& what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    }
    return QStringLiteral("%1: no %2 could be read from it").arg(path, what);
}

// The private key of a PEM file, whatever its algorithm.
QSslKey readKey(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray pem = file.readAll();
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull()) {
            return key;
        }
    }
    return {};
}

// The TLS set-up of `tls`, or the reason it cannot be made.
QString configureTls(QSslSocket& socket, const TlsSettings& tls)
{
    if (!QSslSocket::supportsSsl()) {
        return QStringLiteral("TLS is not available: no TLS library could be loaded");
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setProtocol(QSsl::TlsV1_2OrLater);
    if (!tls.caFile.isEmpty()) {
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(tls.caFile, QSsl::Pem);
        if (authorities.isEmpty()) {
            return readFailure(tls.caFile, QStringLiteral("certificate"));
        }
        config.setCaCertificates(authorities);
    }
    if (tls.certFile.isEmpty() != tls.keyFile.isEmpty()) {
        return QStringLiteral("TLS_CertFile and TLS_KeyFile go together, and only one of them is set");
    }
    if (!tls.certFile.isEmpty()) {
        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(tls.certFile, QSsl::Pem);
        if (certificates.isEmpty()) {
            return readFailure(tls.certFile, QStringLiteral("certificate"));
        }
        const QSslKey key = readKey(tls.keyFile);
        if (key.isNull()) {
            return readFailure(tls.keyFile, QStringLiteral("unencrypted private key"));
        }
        config.setLocalCertificateChain(certificates);
        config.setPrivateKey(key);
    }
    socket.setSslConfiguration(config);
    socket.setPeerVerifyName(tls.peerName);
    return {};
}

} // namespace

StreamSink::StreamSink(QObject* parent) : QObject(parent)
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &StreamSink::connectNow);
}

StreamSink::~StreamSink()
{
    close();
}

Result<> StreamSink::start(const QString& host, quint16 port, StreamFraming framing,
                           const std::optional<TlsSettings>& tls)
{
    close();
    m_host = host;
    m_port = port;
    m_framing = framing;
    m_tls = tls.has_value();
    m_socket = std::make_unique<QSslSocket>();
    const QString where = QStringLiteral("%1 %2:%3")
                              .arg(m_tls ? QStringLiteral("TLS") : QStringLiteral("TCP"), host, QString::number(port));
    if (m_tls) {
        const QString why = configureTls(*m_socket, *tls);
        if (!why.isEmpty()) {
            m_failure = QStringLiteral("%1: %2").arg(where, why).toStdString();
            m_socket.reset();
            return Failure{m_failure};
        }
        connect(m_socket.get(), &QSslSocket::encrypted, this, &StreamSink::onConnected);
        connect(m_socket.get(), &QSslSocket::sslErrors, this, &StreamSink::onTlsErrors);
    } else {
        connect(m_socket.get(), &QAbstractSocket::connected, this, &StreamSink::onConnected);
    }
    connect(m_socket.get(), &QAbstractSocket::disconnected, this, &StreamSink::onDisconnected);
    connect(m_socket.get(), &QAbstractSocket::errorOccurred, this, &StreamSink::onSocketError);
    connect(m_socket.get(), &QIODevice::bytesWritten, this, &StreamSink::pump);
    if (m_tls) {
        connect(m_socket.get(), &QSslSocket::encryptedBytesWritten, this, &StreamSink::pump);
    }
    m_started = true;
    connectNow();
    return {};
}

void StreamSink::close()
{
    m_retryTimer.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket.reset();
    }
    m_started = false;
    m_connected = false;
    m_finishing = false;
    m_nextRetry = kFirstRetry;
    m_failure.clear();
    m_queue.clear();
    m_head = 0;
    m_lengths.clear();
}

SinkResult StreamSink::write(std::string_view line)
{
    if (!m_failure.empty()) {
        return Failure{m_failure};
    }
    if (!m_started) {
        return Failure{"the connection to the receiver is not set up"};
    }
    const std::size_t size = framedSize(m_framing, line.size());
    if (queuedBytes() + size > m_queueLimit) {
        return Delivery::Dropped; // the queue of lines waiting for the receiver is full
    }
    appendFramed(m_queue, m_framing, line);
    m_lengths.push_back(static_cast<std::uint32_t>(size));
    // Lines come in batches: one hand-over to the socket after the batch, not one per line.
    if (m_connected && m_lengths.size() == 1) {
        QMetaObject::invokeMethod(this, &StreamSink::pump, Qt::QueuedConnection);
    }
    return Delivery::Sent;
}

void StreamSink::finish()
{
    m_retryTimer.stop();
    m_finishing = true;
    if (m_socket) {
        m_socket->disconnectFromHost();
    }
}

bool StreamSink::isDrained() const
{
    return m_lengths.empty() &&
           (!m_socket || (m_socket->bytesToWrite() == 0 && m_socket->encryptedBytesToWrite() == 0));
}

void StreamSink::connectNow()
{
    if (!m_socket || !m_failure.empty()) {
        return;
    }
    setState(false, QStringLiteral("connecting to %1:%2").arg(m_host).arg(m_port));
    if (m_tls) {
        m_socket->connectToHostEncrypted(m_host, m_port, m_socket->peerVerifyName());
    } else {
        m_socket->connectToHost(m_host, m_port);
    }
}

void StreamSink::onConnected()
{
    m_nextRetry = kFirstRetry;
    setState(true, QStringLiteral("connected to %1:%2").arg(m_host).arg(m_port));
    pump();
}

void StreamSink::onDisconnected()
{
    if (m_finishing) {
        setState(false, QStringLiteral("closed"));
    } else if (m_failure.empty() && !m_retryTimer.isActive()) {
        retryLater(QStringLiteral("the receiver closed the connection"));
    }
}

void StreamSink::onSocketError()
{
    if (!m_socket || !m_failure.empty() || m_finishing) {
        return;
    }
    // A handshake that fails is not cured by trying again: the same certificate or protocols
    // meet the same refusal.
    if (m_socket->error() == QAbstractSocket::SslHandshakeFailedError) {
        m_failure = QStringLiteral("TLS %1:%2: %3").arg(m_host).arg(m_port).arg(m_socket->errorString()).toStdString();
        m_retryTimer.stop();
        setState(false, QString::fromStdString(m_failure));
        m_socket->abort();
        return;
    }
    retryLater(m_socket->errorString());
}

void StreamSink::onTlsErrors()
{
    QStringList reasons;
    for (const QSslError& error : m_socket->sslHandshakeErrors()) {
        reasons << error.errorString();
    }
    m_failure =
        QStringLiteral("TLS %1:%2: %3").arg(m_host).arg(m_port).arg(reasons.join(QStringLiteral("; "))).toStdString();
    m_retryTimer.stop();
    setState(false, QString::fromStdString(m_failure));
}

void StreamSink::retryLater(const QString& why)
{
    const double seconds = std::chrono::duration<double>(m_nextRetry).count();
    m_retryTimer.start(m_nextRetry);
    m_nextRetry = std::min(m_nextRetry * 2, kLongestRetry);
    setState(
        false,
        QStringLiteral("%1:%2: %3; trying again in %4 s").arg(m_host).arg(m_port).arg(why).arg(seconds, 0, 'g', 2));
    // What the socket still held is lost with the connection; the queue starts at a whole message.
    m_socket->abort();
}

void StreamSink::pump()
{
    // Writing and flushing may report written bytes or a broken connection at once, which would
    // call this again in the middle of a hand-over.
    if (m_pumping) {
        return;
    }
    m_pumping = true;
    while (m_connected && m_socket && !m_lengths.empty() && m_socket->bytesToWrite() < kSocketBacklogBytes) {
        std::size_t chunk = 0;
        while (!m_lengths.empty() && (chunk == 0 || chunk + m_lengths.front() <= kSocketBacklogBytes)) {
            chunk += m_lengths.front();
            m_lengths.pop_front();
        }
        const char* data = m_queue.data() + m_head;
        m_head += chunk;
        m_socket->write(data, static_cast<qint64>(chunk));
        m_socket->flush(); // to the system now, as far as it takes it, rather than at the next turn
    }
    m_pumping = false;
    if (m_lengths.empty()) {
        m_queue.clear();
        m_head = 0;
        if (isDrained()) {
            emit drained();
        }
    } else if (m_head > m_queue.size() / 2) {
        m_queue.erase(0, m_head);
        m_head = 0;
    }
}

void StreamSink::setState(bool connected, const QString& text)
{
    m_connected = connected;
    m_stateText = text;
    emit stateChanged();
}

} // namespace korvane
