// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/relpsink.h"

#include "platform/sourceaddress.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>

extern "C" {
#include <librelp.h>
}

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace korvane {

namespace {

// librelp writes its debugging output through a function it must be given.
void quiet(char*, ...) {}

std::string secondsText(std::chrono::milliseconds wait)
{
    char text[16];
    std::snprintf(text, sizeof text, "%g", std::chrono::duration<double>(wait).count());
    return text;
}

// The size of a queue limit, for the operator: "64 MiB", "12 bytes".
std::string sizeText(std::size_t bytes)
{
    constexpr std::size_t kMiB = 1024 * 1024;
    if (bytes >= kMiB && bytes % kMiB == 0) {
        return std::to_string(bytes / kMiB) + " MiB";
    }
    return std::to_string(bytes) + " bytes";
}

} // namespace

RelpSink::RelpSink(QObject* parent) : QObject(parent) {}

RelpSink::~RelpSink()
{
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    if (m_sender.joinable()) {
        m_sender.join();
    }
    if (m_engine) {
        relpEngineDestruct(&m_engine);
    }
}

std::string RelpSink::where() const
{
    return "RELP " + m_host + ":" + m_port;
}

Result<> RelpSink::start(const QString& host, quint16 port)
{
    if (m_started) {
        return Failure{"the RELP sink is already started"};
    }
    m_host = host.trimmed().toStdString();
    m_port = std::to_string(port);
    m_portNumber = port;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int resolved = port == 0 ? EAI_SERVICE : ::getaddrinfo(m_host.c_str(), m_port.c_str(), &hints, &found);
    if (resolved != 0 || !found) {
        m_failure = where() + ": " + (port == 0 ? "port 0 takes no connections" : ::gai_strerror(resolved));
        return Failure{m_failure};
    }
    char numeric[NI_MAXHOST];
    ::getnameinfo(found->ai_addr, found->ai_addrlen, numeric, sizeof numeric, nullptr, 0, NI_NUMERICHOST);
    m_address = numeric;
    m_family = found->ai_family;
    std::memcpy(&m_sockaddr, found->ai_addr, found->ai_addrlen);
    m_sockaddrLength = found->ai_addrlen;
    ::freeaddrinfo(found);

    if (!m_source.empty()) {
        if (const Result<SourceAddress> bindable = bindableSourceAddress(m_source, SOCK_STREAM); !bindable) {
            m_failure = where() + ": " + bindable.reason();
            return Failure{m_failure};
        }
    }
    if (relpEngineConstruct(&m_engine) != RELP_RET_OK) {
        m_failure = where() + ": librelp could not be set up";
        return Failure{m_failure};
    }
    relpEngineSetDbgprint(m_engine, quiet);
    relpEngineSetEnableCmd(m_engine, reinterpret_cast<unsigned char*>(const_cast<char*>("syslog")),
                           eRelpCmdState_Required);
    relpEngineSetOnErr(m_engine, onRelpError);
    m_stateText = "connecting to " + m_host + ":" + m_port;
    m_started = true;
    m_sender = std::thread([this] { senderLoop(); });
    return {};
}

void RelpSink::onRelpError(void* sink, char*, char* message, int code)
{
    auto* self = static_cast<RelpSink*>(sink);
    self->m_relpError = code;
    self->m_relpErrorText = message ? message : "";
}

SinkResult RelpSink::write(std::string_view line)
{
    if (!m_failure.empty()) {
        return Failure{m_failure};
    }
    if (!m_started) {
        return Failure{"the connection to the receiver is not set up"};
    }
    if (m_finishing.load(std::memory_order_relaxed)) {
        const std::lock_guard lock(m_mutex);
        ++m_undelivered; // given up on: nothing more goes out
        return Delivery::Sent;
    }
    if (m_queuedBytes.load(std::memory_order_relaxed) + m_writing.bytes.size() + line.size() > m_queueLimit) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        if (!m_queueFull.exchange(true)) {
            statusChanged();
        }
        return Delivery::Dropped;
    }
    m_writing.append(line);
    if (m_writing.bytes.size() >= kHandOverBytes) {
        handOver();
    }
    return Delivery::Sent;
}

FlushResult RelpSink::flush()
{
    if (!m_failure.empty()) {
        return Failure{m_failure};
    }
    handOver();
    return Flushed{};
}

void RelpSink::handOver()
{
    if (m_writing.empty()) {
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_queuedLines += static_cast<std::int64_t>(m_writing.lines());
        m_queuedBytes.fetch_add(m_writing.bytes.size(), std::memory_order_relaxed);
        m_handed.push_back(std::move(m_writing));
    }
    m_writing = {};
    m_wake.notify_one();
}

DeliveryCounts RelpSink::counts() const
{
    const std::lock_guard lock(m_mutex);
    DeliveryCounts counts;
    counts.delivered = m_delivered;
    counts.dropped = m_dropped.load(std::memory_order_relaxed);
    counts.undelivered = m_undelivered + (m_finishing ? m_queuedLines : 0);
    counts.resent = m_resent;
    return counts;
}

SinkStatus RelpSink::status() const
{
    SinkStatus status;
    if (!m_failure.empty()) {
        status.state = SinkStatus::State::Failed;
        status.text = m_failure;
        status.problem = m_failure;
        return status;
    }
    const std::lock_guard lock(m_mutex);
    const bool full = m_queueFull.load(std::memory_order_relaxed);
    const bool closed = m_finishing && (m_closedAtFinish || m_senderDone);
    status.state = closed ? SinkStatus::State::Closed : m_state;
    status.text = closed ? "closed" : m_stateText;
    status.problem = m_problem;
    status.dropReason = "Korvane's own queue of " + sizeText(m_queueLimit) + " for the receiver is full: " +
                        (m_state == SinkStatus::State::Open ? "the receiver does not acknowledge as fast as lines come"
                                                            : "the receiver is not connected");
    if (full && !m_finishing) {
        status.text += "; " + status.dropReason + ", new lines are dropped";
    }
    status.queued = m_finishing ? 0 : m_queuedLines + static_cast<std::int64_t>(m_writing.lines());
    return status;
}

bool RelpSink::finish()
{
    if (!m_started) {
        return true;
    }
    if (m_finishing) {
        const std::lock_guard lock(m_mutex);
        return m_closedAtFinish || m_senderDone;
    }
    handOver();
    bool closed = false;
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
        // A session being made now carries nothing yet: only one that is up has a close to wait for.
        m_closedAtFinish = m_state != SinkStatus::State::Open;
        closed = m_closedAtFinish;
    }
    m_wake.notify_one();
    statusChanged();
    return closed;
}

void RelpSink::announce()
{
    if (m_announcing.exchange(true)) {
        return; // one is on its way already, and reads the status when it comes
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_announcing = false;
            if (m_queueFull && m_queuedBytes.load(std::memory_order_relaxed) <= m_queueLimit / 2) {
                m_queueFull = false;
            }
            statusChanged();
        },
        Qt::QueuedConnection);
}

void RelpSink::setConnection(SinkStatus::State state, const std::string& text, const std::string& problem)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_state == state && m_stateText == text && m_problem == problem) {
            return;
        }
        m_state = state;
        m_stateText = text;
        m_problem = problem;
    }
    announce();
}

// --- The sender's thread ----------------------------------------------------------------------------

void RelpSink::waitForWork(std::chrono::milliseconds longest)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, longest, [this] { return !m_handed.empty() || m_finishing; });
}

void RelpSink::waitForFinish(std::chrono::milliseconds longest)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, longest, [this] { return m_finishing.load(); });
}

void RelpSink::waitForWork()
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return !m_handed.empty() || m_finishing; });
}

void RelpSink::takeHandedOver()
{
    std::deque<LineBatch> taken;
    {
        const std::lock_guard lock(m_mutex);
        taken.swap(m_handed);
    }
    for (const LineBatch& batch : taken) {
        m_lines.append(batch.bytes);
        std::size_t start = 0;
        for (const std::size_t end : batch.ends) {
            m_lengths.push_back(static_cast<std::uint32_t>(end - start));
            start = end;
        }
    }
}

void RelpSink::senderLoop()
{
    // librelp writes to the socket without asking the system to spare it SIGPIPE when the receiver
    // has gone: on this thread the signal stays pending, and the write fails as it should.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    const std::string address = m_host + ":" + m_port;
    std::chrono::milliseconds retry = kFirstRetry;
    std::string problem;
    bool reopening = false; // after an orderly close, which is no news for the operator
    const auto waitToRetry = [&](const std::string& why) {
        problem = why;
        setConnection(SinkStatus::State::Connecting,
                      "waiting " + secondsText(retry) + " s to try " + address + " again: " + why, problem);
        waitForFinish(retry); // lines that come meanwhile wait: the receiver is not tried sooner
        retry = std::min(retry * 2, kLongestRetry);
    };
    while (!m_finishing) {
        takeHandedOver();
        if (!m_client) {
            if (!reopening) {
                setConnection(SinkStatus::State::Connecting, "connecting to " + address, problem);
            }
            reopening = false;
            if (!connect()) {
                const std::string why = m_finishing ? std::string() : connectFailure();
                waitToRetry(why);
                continue;
            }
            retry = kFirstRetry;
            setConnection(SinkStatus::State::Open, "connected to " + address, problem);
        }
        if (m_onSession < m_lengths.size()) {
            if (!sendPending()) {
                const std::string why = sessionFailure(m_relpError);
                abandon();
                waitToRetry(why);
            }
            continue;
        }
        if (m_onSession == 0) {
            waitForWork(); // everything is acknowledged
            continue;
        }
        // The last messages are not known to be acknowledged until the session is closed.
        waitForWork(kIdleConfirm);
        const bool more = [this] {
            const std::lock_guard lock(m_mutex);
            return !m_handed.empty() || m_finishing;
        }();
        if (more) {
            continue;
        }
        reopening = closeOrderly();
        if (!reopening) {
            waitToRetry(sessionFailure(m_relpError));
        }
    }
    if (m_client && !closeOrderly()) {
        abandon();
    }
    {
        const std::lock_guard lock(m_mutex);
        m_undelivered += m_queuedLines;
        m_queuedLines = 0;
        m_senderDone = true;
    }
    announce();
}

bool RelpSink::connect()
{
    m_relpError = 0;
    m_relpErrorText.clear();
    if (relpEngineCltConstruct(m_engine, &m_client) != RELP_RET_OK) {
        m_client = nullptr;
        return false;
    }
    relpCltSetUsrPtr(m_client, this);
    const auto seconds = static_cast<int>(m_timeout.count());
    relpCltSetTimeout(m_client, static_cast<unsigned>(seconds));
    relpCltSetConnTimeout(m_client, seconds);
    relpCltSetWindowSize(m_client, kWindow);
    if (!m_source.empty()) {
        relpCltSetClientIP(m_client, reinterpret_cast<unsigned char*>(m_source.data()));
    }
    const relpRetVal connected = relpCltConnect(m_client, m_family, reinterpret_cast<unsigned char*>(m_port.data()),
                                                reinterpret_cast<unsigned char*>(m_address.data()));
    if (connected != RELP_RET_OK) {
        m_relpError = connected;
        relpEngineCltDestruct(m_engine, &m_client);
        m_client = nullptr;
        return false;
    }
    m_sentOnSession = 0;
    return true;
}

bool RelpSink::sendPending()
{
    std::int64_t again = 0;
    bool intact = true;
    // A bounded stretch at a time, so that new lines and finish() are seen.
    for (std::size_t stretch = 0; stretch < 4096 && m_onSession < m_lengths.size() && !m_finishing; ++stretch) {
        const std::uint32_t length = m_lengths[m_onSession];
        auto* message = reinterpret_cast<unsigned char*>(m_lines.data() + m_head + m_onSessionBytes);
        const relpRetVal sent = relpCltSendSyslog(m_client, message, length);
        if (sent != RELP_RET_OK) {
            m_relpError = sent;
            intact = false;
            break;
        }
        again += m_onSession < m_sentBefore ? 1 : 0;
        ++m_onSession;
        m_onSessionBytes += length;
        ++m_sentOnSession;
        if (m_onSession > static_cast<std::size_t>(kWindow)) {
            confirm(m_onSession - kWindow);
        }
    }
    if (again > 0) {
        const std::lock_guard lock(m_mutex);
        m_resent += again;
    }
    return intact;
}

bool RelpSink::closeOrderly()
{
    m_relpError = 0;
    relpEngineCltDestruct(m_engine, &m_client);
    m_client = nullptr;
    const bool answered = m_relpError == 0;
    if (answered) {
        confirm(m_onSession);
    } else {
        m_sentBefore = std::max(m_sentBefore, m_onSession);
    }
    m_onSession = 0;
    m_onSessionBytes = 0;
    return answered;
}

void RelpSink::abandon()
{
    if (m_client) {
        relpEngineCltDestruct(m_engine, &m_client);
        m_client = nullptr;
    }
    m_sentBefore = std::max(m_sentBefore, m_onSession);
    m_onSession = 0;
    m_onSessionBytes = 0;
}

void RelpSink::confirm(std::size_t lines)
{
    if (lines == 0) {
        return;
    }
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < lines; ++i) {
        bytes += m_lengths.front();
        m_lengths.pop_front();
    }
    m_head += bytes;
    m_onSession -= lines;
    m_onSessionBytes -= bytes;
    m_sentBefore -= std::min(m_sentBefore, lines);
    if (m_lengths.empty()) {
        m_lines.clear();
        m_head = 0;
    } else if (m_head > m_lines.size() / 2) {
        m_lines.erase(0, m_head);
        m_head = 0;
    }
    bool drained = false;
    {
        const std::lock_guard lock(m_mutex);
        m_delivered += static_cast<std::int64_t>(lines);
        m_queuedLines -= static_cast<std::int64_t>(lines);
        drained = m_queuedLines == 0;
    }
    const std::size_t left = m_queuedBytes.fetch_sub(bytes, std::memory_order_relaxed) - bytes;
    if (drained || (m_queueFull.load(std::memory_order_relaxed) && left <= m_queueLimit / 2)) {
        announce();
    }
}

std::string RelpSink::sessionFailure(int code) const
{
    if (code == RELP_RET_TIMED_OUT) {
        return "the receiver did not answer within " + std::to_string(m_timeout.count()) + " s";
    }
    if (code == RELP_RET_RSP_STATE_ERR) {
        return "the receiver refused a message";
    }
    if (code == RELP_RET_SESSION_CLOSED || m_relpErrorText.find("server closed") != std::string::npos) {
        return "the receiver closed the connection";
    }
    return "the connection to the receiver broke";
}

std::string RelpSink::connectFailure() const
{
    // librelp does not say why; a plain connection to the same address tells what the system says.
    const int fd = ::socket(m_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return std::strerror(errno);
    }
    int error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&m_sockaddr), m_sockaddrLength) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd writable{fd, POLLOUT, 0};
            const int ready = ::poll(&writable, 1, static_cast<int>(m_timeout.count() * 1000));
            socklen_t length = sizeof error;
            error = ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 ? error : ETIMEDOUT;
        }
    }
    ::close(fd);
    if (error != 0) {
        return std::strerror(error);
    }
    if (m_relpError == RELP_RET_TIMED_OUT) {
        return "the receiver took the connection but opened no RELP session within " +
               std::to_string(m_timeout.count()) + " s";
    }
    return "the receiver took the connection but opened no RELP session";
}

} // namespace korvane
