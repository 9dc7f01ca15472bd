// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"
#include "settings/outputformat.h"
#include "settings/result.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

class QSslSocket;

namespace korvane {

// `line` as one message on a syslog stream: followed by LF, or preceded by its length in bytes and a space.
void appendFramed(std::string& out, StreamFraming framing, std::string_view line);

// What a TLS connection trusts and shows. Empty file names take the defaults: the system's
// authorities, no client certificate.
struct TlsSettings
{
    QString caFile;
    QString certFile;
    QString keyFile;
    QString peerName; // the name the server's certificate must carry
};

// Framed messages over TCP, or TLS, to a syslog receiver. Writing never waits for the network:
// a line joins a bounded queue and goes out as the connection takes it, in order. The sink
// connects in the background and, when the receiver is down, refuses or goes away, connects
// again by itself, waiting longer after each failure (from kFirstRetry up to kLongestRetry).
// Lines emitted meanwhile wait in the queue; when it is full a new line is dropped and reported
// as such. A TLS failure that retrying cannot cure (an untrusted or misnamed certificate, no
// common protocol) fails the next line with its reason, so the run ends with it.
class StreamSink final : public QObject, public LineSink
{
    Q_OBJECT

public:
    static constexpr std::size_t kQueueLimitBytes = std::size_t{64} * 1024 * 1024;
    // What is handed to the socket ahead of the network: enough to keep it busy, little to lose
    // when the connection breaks.
    static constexpr std::int64_t kSocketBacklogBytes = 256 * 1024;
    static constexpr std::chrono::milliseconds kFirstRetry{100};
    static constexpr std::chrono::milliseconds kLongestRetry{5000};

    explicit StreamSink(QObject* parent = nullptr);
    ~StreamSink() override;

    // Reads the TLS files (when `tls` is given) and starts connecting. On failure returns the
    // reason, naming the file; the sink then fails every line with it.
    Result<> start(const QString& host, quint16 port, StreamFraming framing, const std::optional<TlsSettings>& tls);
    void close();
    // Ends the connection the orderly way (for TLS, with its closing message) once what the socket
    // holds is sent; no new attempt follows. stateChanged() tells when it is done.
    void finish();
    // Bytes the queue may hold; kQueueLimitBytes unless a test asks for less.
    void setQueueLimit(std::size_t bytes) { m_queueLimit = bytes; }

    SinkResult write(std::string_view line) override;

    bool isConnected() const { return m_connected; }
    // For the operator: connected, connecting, or waiting to try again and why.
    QString stateText() const { return m_stateText; }
    // Bytes of whole messages not yet handed to the connection.
    std::size_t queuedBytes() const { return m_queue.size() - m_head; }
    std::size_t queuedMessages() const { return m_lengths.size(); }
    // Why the connection is down or was last lost, without what the sink will do about it
    // ("connection refused"); "" when it never was.
    QString lastProblem() const { return m_lastProblem; }
    // The failure that ended the connection for good, "" while there is none.
    const std::string& failure() const { return m_failure; }
    // True when every message written has been handed to the system.
    bool isDrained() const;

signals:
    // The connection came up, went down, or is being tried again: isConnected(), stateText() and
    // failure() tell.
    void stateChanged();
    // The queue and the socket's buffer became empty.
    void drained();

private:
    void connectNow();
    void onConnected();
    void onDisconnected();
    void onSocketError();
    void onTlsErrors();
    void retryLater(const QString& why);
    void pump();
    void setState(bool connected, const QString& text);

    std::unique_ptr<QSslSocket> m_socket;
    QTimer m_retryTimer;
    QString m_host;
    quint16 m_port = 0;
    StreamFraming m_framing = StreamFraming::LineFeed;
    bool m_tls = false;
    bool m_started = false;
    bool m_connected = false;
    bool m_finishing = false;
    bool m_pumping = false;
    std::chrono::milliseconds m_nextRetry = kFirstRetry;
    QString m_stateText;
    QString m_lastProblem;
    std::string m_failure; // set once: every later line fails with it
    std::size_t m_queueLimit = kQueueLimitBytes;

    std::string m_queue; // framed messages; those before m_head are gone
    std::size_t m_head = 0;
    std::deque<std::uint32_t> m_lengths; // of the queued messages, so that only whole ones go out
};

} // namespace korvane
