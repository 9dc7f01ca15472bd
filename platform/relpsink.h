// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"
#include "platform/linebatch.h"
#include "settings/result.h"

#include <QObject>
#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include <sys/socket.h>

struct relpEngine_s; // librelp's
struct relpClt_s;

namespace korvane {

// Each line as one syslog message over RELP (librelp's client) to a receiver that acknowledges
// every message. Writing never waits for the network: lines join a bounded queue, and a sender
// thread of the sink's own hands them to the receiver in order, connecting by itself and, when the
// receiver is down, refuses or goes away, again and again, waiting longer after each failure
// (kFirstRetry up to kLongestRetry).
//
// librelp keeps to itself which messages the receiver has acknowledged, but it sends a message
// only while fewer than kWindow are unacknowledged, and a receiver answers the messages of a
// session in the order they came: once a message is sent, every one kWindow places or more before
// it on the same session is acknowledged. The last ones are known to be acknowledged when the
// session is closed the orderly way (the receiver answers the close after all of them): the sender
// does so when nothing more has come for kIdleConfirm, and opens a new session at once. A line
// counts as delivered only when it is known to be acknowledged; until then it stays in the queue.
// When a session breaks, the lines not known to be acknowledged go again, in order, on the next
// one (counted as resent; a receiver may see some twice, none is lost to the break). librelp's own
// resending on reconnection is not used, so that the queue is the only record of what is owed.
// An idle session that the receiver drops is noticed when the next line goes out.
class RelpSink final : public QObject, public LineSink
{
    Q_OBJECT

public:
    static constexpr std::size_t kQueueLimitBytes = std::size_t{64} * 1024 * 1024;
    static constexpr std::chrono::milliseconds kFirstRetry{100};
    static constexpr std::chrono::milliseconds kLongestRetry{5000};
    // How long a connection, and the receiver's answer to a message or to the close, may take.
    static constexpr std::chrono::seconds kTimeout{10};
    // Messages on their way before the sender waits for acknowledgements (librelp's window).
    static constexpr int kWindow = 128;
    // How long the sender waits for more lines before it confirms the last ones by a close.
    static constexpr std::chrono::milliseconds kIdleConfirm{250};
    // Lines written are handed to the sender at a flush, or once they hold this many bytes.
    static constexpr std::size_t kHandOverBytes = 256 * 1024;

    explicit RelpSink(QObject* parent = nullptr);
    ~RelpSink() override;
    RelpSink(const RelpSink&) = delete;
    RelpSink& operator=(const RelpSink&) = delete;

    // Resolves `host` and starts connecting in the background. On failure returns the reason,
    // naming the address ("RELP host:port: ..."); the sink then fails every line with it.
    Result<> start(const QString& host, quint16 port);
    // Every session is opened from `address` (SourceAddress, librelp's client address); empty lets the
    // system choose. Before start(), which fails naming an address that cannot be bound.
    void setSourceAddress(const std::string& address) { m_source = address; }
    // Bytes the queue may hold; kQueueLimitBytes unless a test asks for less. Before start().
    void setQueueLimit(std::size_t bytes) { m_queueLimit = bytes; }
    // kTimeout unless a test asks for less (whole seconds, as librelp counts). Before start().
    void setTimeout(std::chrono::seconds timeout) { m_timeout = std::max(timeout, std::chrono::seconds{1}); }

    SinkResult write(std::string_view line) override;
    FlushResult flush() override;
    // Delivered: lines known to be acknowledged. Dropped: lines the full queue refused.
    // Undelivered: lines still queued after finish(). Resent: lines sent again after a break.
    DeliveryCounts counts() const override;
    SinkStatus status() const override;
    // No new session and no further message; a session that is up is closed the orderly way (which
    // confirms what it carried), and what is still queued then counts as undelivered. False while
    // that close is under way: the status turns Closed when it is done.
    bool finish() override;

private:
    static void onRelpError(void* sink, char* object, char* message, int code);

    void senderLoop();
    // Takes the lines handed over into the sender's own queue; false when there are none and none
    // wait to go.
    void takeHandedOver();
    bool connect();
    // Sends the lines not yet on this session; false when the session broke.
    bool sendPending();
    // Closes the session the orderly way; true when the receiver answered the close.
    bool closeOrderly();
    void abandon();
    // The first `lines` of the sender's queue are acknowledged.
    void confirm(std::size_t lines);
    void handOver();
    // Why the connection to the receiver could not be made, as the system tells.
    std::string connectFailure() const;
    // Why the session broke, from what librelp returned.
    std::string sessionFailure(int code) const;
    // Waits on the sender's thread until lines are handed over, finish() is called, or the time is up.
    void waitForWork(std::chrono::milliseconds longest);
    // Waits until lines are handed over or finish() is called.
    void waitForWork();
    // Waits until finish() is called or the time is up.
    void waitForFinish(std::chrono::milliseconds longest);
    void setConnection(SinkStatus::State state, const std::string& text, const std::string& problem);
    void announce(); // statusChanged() on the thread that writes, soon
    std::string where() const;

    // Set at start(), read by the sender.
    std::string m_host;    // as given, for the operator
    std::string m_address; // resolved, numeric
    std::string m_port;
    std::string m_source; // SourceAddress; empty for the system's choice
    int m_family = 0;
    sockaddr_storage m_sockaddr{}; // to ask the system why a connection fails
    socklen_t m_sockaddrLength = 0;
    quint16 m_portNumber = 0;
    std::size_t m_queueLimit = kQueueLimitBytes;
    std::chrono::seconds m_timeout = kTimeout;
    std::string m_failure; // set at start(): every line fails with it
    bool m_started = false;

    // The writer's own.
    LineBatch m_writing;

    // Shared with the sender thread.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake; // lines handed over, or finish()
    std::deque<LineBatch> m_handed;
    std::atomic<bool> m_finishing{false};
    bool m_closedAtFinish = false; // no session was up when finish() came
    bool m_senderDone = false;
    SinkStatus::State m_state = SinkStatus::State::Connecting;
    std::string m_stateText;
    std::string m_problem;
    std::int64_t m_delivered = 0;
    std::int64_t m_undelivered = 0;
    std::int64_t m_resent = 0;
    std::int64_t m_queuedLines = 0; // taken and not yet delivered nor undelivered
    std::atomic<std::size_t> m_queuedBytes{0};
    std::atomic<std::int64_t> m_dropped{0};
    std::atomic<bool> m_queueFull{false}; // a line was dropped, and the queue has not emptied to half since
    std::atomic<bool> m_announcing{false};

    // The sender's own: the lines not yet known to be acknowledged, in order.
    std::string m_lines;
    std::size_t m_head = 0; // of the first line in m_lines
    std::deque<std::uint32_t> m_lengths;
    std::size_t m_onSession = 0; // the first lines, sent on the current session
    std::size_t m_onSessionBytes = 0;
    std::size_t m_sentOnSession = 0; // messages sent on the current session since it opened
    std::size_t m_sentBefore = 0;    // the first lines, sent on a session that broke
    int m_relpError = 0;             // the last error librelp reported on the current session
    std::string m_relpErrorText;

    relpEngine_s* m_engine = nullptr; // made at start(), then the sender's
    relpClt_s* m_client = nullptr;    // the sender's: the current session
    std::thread m_sender;
};

} // namespace korvane
