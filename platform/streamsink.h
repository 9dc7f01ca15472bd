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
// connects in the background and, when the receiver is down, refuses, goes away or does not
// answer within the handshake timeout, connects again by itself, waiting longer after each
// failure (from kFirstRetry up to kLongestRetry).
//
// A message stays in the queue until the receiver has acknowledged its bytes (the kernel tells how
// many it still holds unacknowledged); only then does it count as delivered. When a connection
// breaks, the messages not acknowledged are sent again, in order, on the next one (a receiver may
// then see some twice; none is lost to the break). Lines emitted meanwhile wait in the queue; when
// it is full (unacknowledged messages included) a new line is dropped. A TLS failure that
// retrying cannot cure (an untrusted or misnamed certificate, no common protocol) fails the next
// line with its reason, so the run ends with it; a client certificate and key that do not belong
// together fail start().
class StreamSink final : public QObject, public LineSink
{
    Q_OBJECT

public:
    static constexpr std::size_t kQueueLimitBytes = std::size_t{64} * 1024 * 1024;
    // What is handed to the socket ahead of the network: enough to keep it busy.
    static constexpr std::int64_t kSocketBacklogBytes = 256 * 1024;
    static constexpr std::chrono::milliseconds kFirstRetry{100};
    static constexpr std::chrono::milliseconds kLongestRetry{5000};
    // How long a connection, with its TLS handshake, may take before it is abandoned and tried again.
    static constexpr std::chrono::milliseconds kHandshakeTimeout{10000};
    // How often the acknowledged bytes are asked for while some are awaited and nothing else happens.
    static constexpr std::chrono::milliseconds kAcknowledgementPoll{10};

    explicit StreamSink(QObject* parent = nullptr);
    ~StreamSink() override;

    // Reads the TLS files (when `tls` is given), checks that the client certificate and key
    // belong together, and starts connecting. On failure returns the reason, naming the address
    // and the file; the sink then fails every line with it.
    Result<> start(const QString& host, quint16 port, StreamFraming framing, const std::optional<TlsSettings>& tls);
    // Every connection is made from `address` (SourceAddress), bound before it connects; empty lets
    // the system choose. Before start(), which fails naming an address that cannot be bound.
    void setSourceAddress(const QString& address) { m_source = address.trimmed(); }
    // Ends at once; the lines still queued count as undelivered.
    void close();
    // The front-end is done waiting: no new attempt and no further message follows; the
    // connection ends the orderly way (for TLS, with its closing message) once the messages already
    // handed to it are acknowledged, and the lines still queued then count as undelivered.
    // The status listener hears when it is closed.
    bool finish() override;
    // Bytes the queue may hold; kQueueLimitBytes unless a test asks for less.
    void setQueueLimit(std::size_t bytes) { m_queueLimit = bytes; }
    // kHandshakeTimeout unless a test asks for less.
    void setHandshakeTimeout(std::chrono::milliseconds timeout) { m_handshakeTimeout = timeout; }

    SinkResult write(std::string_view line) override;
    // Delivered: messages the receiver acknowledged. Dropped: lines the full queue refused.
    // Undelivered: lines queued when the sink gave up (finish(), close(), a TLS failure).
    // Resent: lines handed to a connection again after a break.
    DeliveryCounts counts() const override;
    SinkStatus status() const override;

    bool isConnected() const { return m_connected; }
    // For the operator: connected, connecting, or waiting to try again and why; and whether the
    // queue is full.
    QString stateText() const;
    // Bytes of whole messages not yet acknowledged by the receiver.
    std::size_t queuedBytes() const { return m_queue.size() - m_head; }
    std::size_t queuedMessages() const { return m_lengths.size(); }
    // Why the connection is down or was last lost, or why the receiver has not taken what is
    // queued, without what the sink will do about it ("Connection refused"); "" when nothing went
    // wrong.
    QString lastProblem() const;
    // Why a line written now would be dropped: Korvane's own queue is full.
    QString dropReason() const;
    // The failure that ended the connection for good, "" while there is none.
    const std::string& failure() const { return m_failure; }
    // True when every message written has been acknowledged by the receiver.
    bool isDrained() const { return m_lengths.empty(); }

private:
    void connectNow();
    void onConnected();
    void onDisconnected();
    void onSocketError();
    void onTlsErrors();
    // The connection broke or could not be made: what was not acknowledged goes again next time.
    void connectionLost(const QString& why);
    void failWith(const std::string& reason);
    void pump();
    // Takes the messages the receiver has acknowledged out of the queue.
    void takeAcknowledged();
    void forgetConnection(); // closes m_connection
    void discardQueue();     // what is queued counts as undelivered
    void setState(bool connected, const QString& text);
    QString where() const;
    QString queueFullText() const;

    std::unique_ptr<QSslSocket> m_socket;
    int m_connection = -1; // a duplicate of the socket's descriptor while connected, to ask the kernel
    QTimer m_retryTimer;
    QTimer m_handshakeTimer;
    QTimer m_acknowledgementTimer;
    QString m_host;
    quint16 m_port = 0;
    QString m_source; // SourceAddress; empty for the system's choice
    StreamFraming m_framing = StreamFraming::LineFeed;
    bool m_tls = false;
    bool m_started = false;
    bool m_connected = false;
    bool m_givenUp = false; // finish(): nothing more is handed over or tried
    bool m_pumping = false;
    bool m_queueFull = false; // a line was dropped, and the queue has not emptied to half since
    std::chrono::milliseconds m_nextRetry = kFirstRetry;
    std::chrono::milliseconds m_handshakeTimeout = kHandshakeTimeout;
    QString m_stateText;
    QString m_lastProblem;
    std::string m_failure; // set once: every later line fails with it
    std::size_t m_queueLimit = kQueueLimitBytes;

    std::string m_queue; // framed messages; those before m_head are acknowledged and gone
    std::size_t m_head = 0;
    std::deque<std::uint32_t> m_lengths; // of the queued messages, so that only whole ones go out
    std::size_t m_inFlight = 0;          // the first queued messages, handed to this connection
    std::size_t m_inFlightBytes = 0;
    std::size_t m_toResend = 0; // the messages after those, handed to a connection that broke

    std::int64_t m_delivered = 0;
    std::int64_t m_dropped = 0;
    std::int64_t m_undelivered = 0;
    std::int64_t m_resent = 0;
};

} // namespace korvane
