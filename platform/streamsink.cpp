// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/streamsink.h"

#include "platform/sourceaddress.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>

#include <algorithm>
#include <charconv>

#include <fcntl.h>
#include <linux/sockios.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

// Why the certificate of `certFile` and the key of `keyFile` cannot work together, "" when they
// can: the key must be the private half of the key the certificate was made for.
QString keyPairProblem(const TlsSettings& tls)
{
    QFile certFile(tls.certFile);
    QFile keyFile(tls.keyFile);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        return {}; // already read once; what they hold is the handshake's to judge
    }
    const QByteArray certPem = certFile.readAll();
    const QByteArray keyPem = keyFile.readAll();
    BIO* certBio = BIO_new_mem_buf(certPem.constData(), int(certPem.size()));
    BIO* keyBio = BIO_new_mem_buf(keyPem.constData(), int(keyPem.size()));
    X509* certificate = certBio ? PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr) : nullptr;
    // No pass phrase is ever asked for: the key is unencrypted, or it was refused already.
    const auto noPassPhrase = [](char*, int, int, void*) { return 0; };
    EVP_PKEY* key = keyBio ? PEM_read_bio_PrivateKey(keyBio, nullptr, noPassPhrase, nullptr) : nullptr;
    const bool together = certificate && key && X509_check_private_key(certificate, key) == 1;
    EVP_PKEY_free(key);
    X509_free(certificate);
    BIO_free(keyBio);
    BIO_free(certBio);
    if (together) {
        return {};
    }
    return QStringLiteral("the key of %1 (TLS_KeyFile) is not the one the certificate of %2 (TLS_CertFile) "
                          "was made for")
        .arg(tls.keyFile, tls.certFile);
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
        if (const QString problem = keyPairProblem(tls); !problem.isEmpty()) {
            return problem;
        }
        config.setLocalCertificateChain(certificates);
        config.setPrivateKey(key);
    }
    socket.setSslConfiguration(config);
    socket.setPeerVerifyName(tls.peerName);
    return {};
}

// The size of a queue limit, for the operator: "64 MiB", "12 bytes".
QString sizeText(std::size_t bytes)
{
    constexpr std::size_t kMiB = 1024 * 1024;
    if (bytes >= kMiB && bytes % kMiB == 0) {
        return QStringLiteral("%1 MiB").arg(bytes / kMiB);
    }
    return QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace

StreamSink::StreamSink(QObject* parent) : QObject(parent)
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &StreamSink::connectNow);
    m_handshakeTimer.setSingleShot(true);
    connect(&m_handshakeTimer, &QTimer::timeout, this, [this] {
        const double seconds = std::chrono::duration<double>(m_handshakeTimeout).count();
        const bool shaking = m_tls && m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
        connectionLost((shaking ? QStringLiteral("the TLS handshake did not finish within %1 s")
                                : QStringLiteral("no connection within %1 s"))
                           .arg(seconds, 0, 'g', 3));
    });
    m_acknowledgementTimer.setInterval(kAcknowledgementPoll);
    connect(&m_acknowledgementTimer, &QTimer::timeout, this, &StreamSink::pump);
}

StreamSink::~StreamSink()
{
    close();
}

QString StreamSink::where() const
{
    return QStringLiteral("%1 %2:%3").arg(m_tls ? QStringLiteral("TLS") : QStringLiteral("TCP"), m_host).arg(m_port);
}

Result<> StreamSink::start(const QString& host, quint16 port, StreamFraming framing,
                           const std::optional<TlsSettings>& tls)
{
    close();
    m_host = host;
    m_port = port;
    m_framing = framing;
    m_tls = tls.has_value();
    m_lastProblem.clear();
    if (!m_source.isEmpty()) {
        if (const Result<SourceAddress> bindable = bindableSourceAddress(m_source.toStdString(), SOCK_STREAM);
            !bindable) {
            m_failure = QStringLiteral("%1: %2").arg(where(), QString::fromStdString(bindable.reason())).toStdString();
            return Failure{m_failure};
        }
    }
    m_socket = std::make_unique<QSslSocket>();
    if (m_tls) {
        const QString why = configureTls(*m_socket, *tls);
        if (!why.isEmpty()) {
            m_failure = QStringLiteral("%1: %2").arg(where(), why).toStdString();
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
    forgetConnection();
    m_retryTimer.stop();
    m_handshakeTimer.stop();
    m_acknowledgementTimer.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket.reset();
    }
    discardQueue();
    m_started = false;
    m_connected = false;
    m_givenUp = false;
    m_nextRetry = kFirstRetry;
    m_failure.clear();
}

void StreamSink::discardQueue()
{
    m_undelivered += static_cast<std::int64_t>(m_lengths.size());
    m_queue.clear();
    m_head = 0;
    m_lengths.clear();
    m_inFlight = 0;
    m_inFlightBytes = 0;
    m_toResend = 0;
    m_queueFull = false;
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
        ++m_dropped; // Korvane's own queue is full, see dropReason()
        if (!m_queueFull) {
            m_queueFull = true;
            statusChanged();
        }
        return Delivery::Dropped;
    }
    appendFramed(m_queue, m_framing, line);
    m_lengths.push_back(static_cast<std::uint32_t>(size));
    // Lines come in batches: one hand-over to the socket after the batch, not one per line.
    if (m_connected && !m_givenUp && m_lengths.size() == m_inFlight + 1) {
        QMetaObject::invokeMethod(this, &StreamSink::pump, Qt::QueuedConnection);
    }
    return Delivery::Sent;
}

DeliveryCounts StreamSink::counts() const
{
    DeliveryCounts counts;
    counts.delivered = m_delivered;
    counts.dropped = m_dropped;
    counts.undelivered = m_undelivered + (m_givenUp ? static_cast<std::int64_t>(m_lengths.size()) : 0);
    counts.resent = m_resent;
    return counts;
}

bool StreamSink::finish()
{
    m_retryTimer.stop();
    m_handshakeTimer.stop();
    if (m_givenUp || !m_socket) {
        return !m_connected;
    }
    m_givenUp = true;
    if (!m_connected) {
        m_socket->abort();
        setState(false, QStringLiteral("closed"));
        return true;
    }
    takeAcknowledged();
    if (!m_lengths.empty() && !m_queueFull) {
        m_lastProblem = QStringLiteral("the receiver had not acknowledged them yet");
    }
    if (m_inFlight == 0) {
        m_socket->disconnectFromHost();
    } // else once what is in flight is acknowledged (pump)
    return !m_connected;
}

QString StreamSink::queueFullText() const
{
    return QStringLiteral("Korvane's own queue of %1 for the receiver is full: %2")
        .arg(sizeText(m_queueLimit), m_connected ? QStringLiteral("the receiver does not read as fast as lines come")
                                                 : QStringLiteral("the receiver is not connected"));
}

SinkStatus StreamSink::status() const
{
    SinkStatus s;
    if (!m_failure.empty()) {
        s.state = SinkStatus::State::Failed;
    } else if (m_connected) {
        s.state = SinkStatus::State::Open;
    } else {
        s.state = m_givenUp ? SinkStatus::State::Closed : SinkStatus::State::Connecting;
    }
    s.text = stateText().toStdString();
    s.problem = m_failure.empty() ? lastProblem().toStdString() : m_failure;
    s.dropReason = dropReason().toStdString();
    s.queued = m_givenUp ? 0 : static_cast<std::int64_t>(m_lengths.size()); // given up on: undelivered
    return s;
}

QString StreamSink::stateText() const
{
    if (m_queueFull && m_failure.empty()) {
        return QStringLiteral("%1; %2, new lines are dropped").arg(m_stateText, queueFullText());
    }
    return m_stateText;
}

QString StreamSink::lastProblem() const
{
    if (m_connected && m_queueFull) {
        return queueFullText();
    }
    return m_lastProblem;
}

QString StreamSink::dropReason() const
{
    return queueFullText();
}

void StreamSink::connectNow()
{
    if (!m_socket || !m_failure.empty() || m_givenUp) {
        return;
    }
    setState(false, QStringLiteral("connecting to %1:%2").arg(m_host).arg(m_port));
    m_handshakeTimer.start(m_handshakeTimeout);
    // The binding goes with the connection: each new attempt binds again.
    if (!m_source.isEmpty() && !m_socket->bind(QHostAddress(m_source))) {
        onSocketError();
        return;
    }
    if (m_tls) {
        m_socket->connectToHostEncrypted(m_host, m_port, m_socket->peerVerifyName());
    } else {
        m_socket->connectToHost(m_host, m_port);
    }
}

void StreamSink::onConnected()
{
    m_handshakeTimer.stop();
    // A descriptor of the sink's own for the same connection: the kernel can still be asked what
    // the receiver acknowledged after Qt has closed its descriptor on a break.
    forgetConnection();
    m_connection = ::fcntl(static_cast<int>(m_socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    m_nextRetry = kFirstRetry;
    setState(true, QStringLiteral("connected to %1:%2").arg(m_host).arg(m_port));
    pump();
}

void StreamSink::onDisconnected()
{
    if (m_givenUp) {
        m_acknowledgementTimer.stop();
        takeAcknowledged();
        forgetConnection();
        setState(false, QStringLiteral("closed"));
    } else if (m_failure.empty() && !m_retryTimer.isActive()) {
        connectionLost(QStringLiteral("the receiver closed the connection"));
    }
}

void StreamSink::onSocketError()
{
    if (!m_socket || !m_failure.empty() || m_givenUp) {
        return;
    }
    // A handshake that fails is not cured by trying again: the same certificate or protocols
    // meet the same refusal.
    if (m_socket->error() == QAbstractSocket::SslHandshakeFailedError) {
        failWith(QStringLiteral("%1: %2").arg(where(), m_socket->errorString()).toStdString());
        m_socket->abort();
        return;
    }
    if (!m_retryTimer.isActive()) {
        connectionLost(m_socket->errorString());
    }
}

void StreamSink::onTlsErrors()
{
    QStringList reasons;
    for (const QSslError& error : m_socket->sslHandshakeErrors()) {
        reasons << error.errorString();
    }
    failWith(QStringLiteral("%1: %2").arg(where(), reasons.join(QStringLiteral("; "))).toStdString());
}

void StreamSink::failWith(const std::string& reason)
{
    m_failure = reason;
    m_retryTimer.stop();
    m_handshakeTimer.stop();
    m_acknowledgementTimer.stop();
    forgetConnection();
    discardQueue(); // nothing queued will ever go, and every later line fails
    m_lastProblem = QString::fromStdString(reason);
    setState(false, m_lastProblem);
}

void StreamSink::connectionLost(const QString& why)
{
    m_handshakeTimer.stop();
    m_acknowledgementTimer.stop();
    takeAcknowledged(); // the last word on what the receiver took
    forgetConnection();
    // What the receiver did not acknowledge goes again, from the first such message on.
    m_toResend += m_inFlight;
    m_inFlight = 0;
    m_inFlightBytes = 0;
    m_lastProblem = why;
    const double seconds = std::chrono::duration<double>(m_nextRetry).count();
    m_retryTimer.start(m_nextRetry);
    m_nextRetry = std::min(m_nextRetry * 2, kLongestRetry);
    setState(
        false,
        QStringLiteral("%1:%2: %3; trying again in %4 s").arg(m_host).arg(m_port).arg(why).arg(seconds, 0, 'g', 2));
    m_socket->abort();
}

void StreamSink::takeAcknowledged()
{
    if (m_inFlightBytes == 0 || !m_socket || m_connection < 0) {
        return;
    }
    int unacknowledged = 0; // by the receiver, as the kernel counts them (Linux)
    if (::ioctl(m_connection, SIOCOUTQ, &unacknowledged) != 0 || unacknowledged < 0) {
        return;
    }
    // For TLS the kernel holds records, never shorter than their text: with what Qt still holds,
    // an upper bound of the text not acknowledged, so that a break only ever sends too much again.
    const auto pending = static_cast<std::size_t>(unacknowledged) +
                         static_cast<std::size_t>(m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite());
    if (pending >= m_inFlightBytes) {
        return;
    }
    std::size_t acknowledged = m_inFlightBytes - pending;
    while (m_inFlight > 0 && m_lengths.front() <= acknowledged) {
        const std::uint32_t length = m_lengths.front();
        m_lengths.pop_front();
        acknowledged -= length;
        m_head += length;
        m_inFlightBytes -= length;
        --m_inFlight;
        ++m_delivered;
    }
}

void StreamSink::forgetConnection()
{
    if (m_connection >= 0) {
        ::close(m_connection);
        m_connection = -1;
    }
}

void StreamSink::pump()
{
    // Writing and flushing may report written bytes or a broken connection at once, which would
    // call this again in the middle of a hand-over.
    if (m_pumping) {
        return;
    }
    m_pumping = true;
    takeAcknowledged();
    while (m_connected && !m_givenUp && m_socket && m_inFlight < m_lengths.size() &&
           m_socket->bytesToWrite() < kSocketBacklogBytes) {
        std::size_t chunk = 0;
        std::size_t messages = 0;
        while (m_inFlight + messages < m_lengths.size() &&
               (chunk == 0 || chunk + m_lengths[m_inFlight + messages] <= kSocketBacklogBytes)) {
            chunk += m_lengths[m_inFlight + messages];
            ++messages;
        }
        const char* data = m_queue.data() + m_head + m_inFlightBytes;
        m_inFlight += messages;
        m_inFlightBytes += chunk;
        const std::size_t again = std::min(messages, m_toResend);
        m_resent += static_cast<std::int64_t>(again);
        m_toResend -= again;
        m_socket->write(data, static_cast<qint64>(chunk));
        m_socket->flush(); // to the system now, as far as it takes it, rather than at the next turn
    }
    m_pumping = false;
    if (m_lengths.empty()) {
        m_queue.clear();
        m_head = 0;
    } else if (m_head > m_queue.size() / 2) {
        m_queue.erase(0, m_head);
        m_head = 0;
    }
    if (m_queueFull && queuedBytes() <= m_queueLimit / 2) {
        m_queueFull = false;
        statusChanged();
    }
    if (m_connected && m_inFlight > 0) {
        if (!m_acknowledgementTimer.isActive()) {
            m_acknowledgementTimer.start();
        }
    } else {
        m_acknowledgementTimer.stop();
    }
    if (m_connected && m_givenUp && m_inFlight == 0 && m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->disconnectFromHost();
    }
    if (m_lengths.empty() && m_started && m_failure.empty()) {
        statusChanged();
    }
}

void StreamSink::setState(bool connected, const QString& text)
{
    m_connected = connected;
    m_stateText = text;
    statusChanged();
}

} // namespace korvane
