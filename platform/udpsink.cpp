// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/udpsink.h"

#include <cerrno>
#include <cstring>

#include "platform/sourceaddress.h"

#include <netinet/in.h>
#include <unistd.h>

namespace korvane {

namespace {

// The system's words come in the locale's encoding; a reason is UTF-8.
Failure socketFailure(int error)
{
    Failure failure = systemFailure({}, error);
    failure.reason = QString::fromLocal8Bit(failure.reason).toStdString();
    return failure;
}

} // namespace

UdpSink::~UdpSink()
{
    closeSocket();
}

void UdpSink::closeSocket()
{
    stopSender();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Result<> UdpSink::configure(const QString& host, quint16 port, const QString& source)
{
    // The lines written so far go to the receiver they were meant for.
    if (m_configured && !m_writing.empty()) {
        handOver();
    }
    stopSender();
    m_writing = {};
    m_senderFailure.reset();
    m_senderFailed = false;
    m_dropped = 0;
    m_configured = false;
    QHostAddress address;
    if (!address.setAddress(host.trimmed())) {
        m_failure = {QStringLiteral("\"%1\" is not an IP address").arg(host).toStdString()};
        return m_failure;
    }
    if (port == 0) {
        m_failure = {"port 0 cannot receive datagrams"};
        return m_failure;
    }

    sockaddr_storage receiver{};
    socklen_t length = 0;
    const int family = address.protocol() == QAbstractSocket::IPv6Protocol ? AF_INET6 : AF_INET;
    if (family == AF_INET6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&receiver);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        in6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&receiver);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    }

    std::optional<SourceAddress> from;
    if (!source.isEmpty()) {
        Result<SourceAddress> bindable = bindableSourceAddress(source.trimmed().toStdString());
        if (!bindable) {
            m_failure = bindable.failure();
            return m_failure;
        }
        if (bindable.value().family != family) {
            m_failure = {QStringLiteral("SourceAddress %1 cannot send to %2: another family of addresses")
                             .arg(source, host)
                             .toStdString()};
            return m_failure;
        }
        from = bindable.value();
    }
    // A socket of one family cannot send to the other, nor a bound one from elsewhere: open afresh
    // when either changes.
    if (m_fd >= 0 && (m_family != family || from || m_bound)) {
        closeSocket();
    }
    if (m_fd < 0) {
        // Never blocking: a send the kernel cannot take now (a full buffer, a neighbour still being
        // resolved) must not hold up the only thread, where the window answers clicks.
        const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            m_failure = socketFailure(errno);
            return m_failure;
        }
        // Any free local port: the receiver sees one steady sender.
        sockaddr_storage local{};
        local.ss_family = static_cast<sa_family_t>(family);
        if (from) {
            local = from->address;
        }
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), length) != 0) {
            m_failure = socketFailure(errno);
            ::close(fd);
            return m_failure;
        }
        m_fd = fd;
        m_family = family;
        m_bound = from.has_value();
    }
    m_receiver = receiver;
    m_receiverLength = length;
    // The longest payload a UDP datagram carries over each family.
    m_longestDatagram = family == AF_INET6 ? 65527 : 65507;
    m_configured = true;
    m_failure = {};
    return {};
}

quint16 UdpSink::localPort() const
{
    if (m_fd < 0) {
        return 0;
    }
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    if (local.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
}

void UdpSink::sendFrom(std::size_t members, std::vector<std::uint32_t> sources)
{
    m_members = members;
    m_sources.clear();
    for (const std::uint32_t address : sources) {
        m_sources.push_back(htonl(address));
    }
    m_memberDelivered = std::make_unique<std::atomic<std::int64_t>[]>(members);
    m_memberDropped = std::make_unique<std::atomic<std::int64_t>[]>(members);
}

SinkResult UdpSink::writeFrom(std::uint32_t member, std::string_view line)
{
    SinkResult result = append(line);
    if (result) {
        m_writing.members.push_back(member);
        if (m_writing.lines.lines() >= kBatchLines || m_writing.lines.bytes.size() >= kBatchBytes) {
            handOver();
        }
    }
    return result;
}

DeliveryCounts UdpSink::countsOf(std::uint32_t member) const
{
    DeliveryCounts counts;
    if (member < m_members) {
        counts.delivered = m_memberDelivered[member].load(std::memory_order_relaxed);
        counts.dropped = m_memberDropped[member].load(std::memory_order_relaxed);
    }
    return counts;
}

SinkResult UdpSink::write(std::string_view line)
{
    SinkResult result = append(line);
    if (result && (m_writing.lines.lines() >= kBatchLines || m_writing.lines.bytes.size() >= kBatchBytes)) {
        handOver();
    }
    return result;
}

SinkResult UdpSink::append(std::string_view line)
{
    if (!m_configured) {
        return m_failure;
    }
    if (m_senderFailed.load(std::memory_order_acquire)) {
        return *sendFailureMet();
    }
    if (line.size() > m_longestDatagram) {
        return systemFailure({}, EMSGSIZE);
    }
    m_writing.lines.append(line);
    return Delivery::Sent;
}

FlushResult UdpSink::flush()
{
    if (!m_writing.empty()) {
        handOver();
    }
    if (m_senderFailed.load(std::memory_order_acquire)) {
        return *sendFailureMet();
    }
    return Flushed{m_dropped.exchange(0)};
}

FlushResult UdpSink::flushAndWait()
{
    if (!m_writing.empty()) {
        handOver();
    }
    stopSender(); // once every line handed over is sent
    return flush();
}

std::optional<Failure> UdpSink::sendFailureMet()
{
    const std::lock_guard lock(m_mutex);
    return m_senderFailure;
}

void UdpSink::handOver()
{
    std::unique_lock lock(m_mutex);
    if (!m_sender.joinable()) {
        m_sender = std::thread([this] { senderLoop(); });
    }
    m_room.wait(lock, [this] { return m_queue.size() < kQueuedBatches; });
    m_queue.push_back(std::move(m_writing));
    if (m_spare.empty()) {
        m_writing = {};
    } else {
        m_writing = std::move(m_spare.back());
        m_spare.pop_back();
    }
    lock.unlock();
    m_work.notify_one();
}

void UdpSink::stopSender()
{
    if (!m_sender.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_work.notify_one();
    m_sender.join();
    m_stopping = false;
}

void UdpSink::senderLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
        if (m_queue.empty()) {
            return; // stopping, and everything handed over is sent
        }
        Batch batch = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        send(batch);
        batch.clear();
        lock.lock();
        m_spare.push_back(std::move(batch));
        m_room.notify_one();
    }
}

void UdpSink::countSent(const Batch& batch, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to && i < batch.members.size(); ++i) {
        m_memberDelivered[batch.members[i]].fetch_add(1, std::memory_order_relaxed);
    }
}

void UdpSink::countDropped(const Batch& batch, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to && i < batch.members.size(); ++i) {
        m_memberDropped[batch.members[i]].fetch_add(1, std::memory_order_relaxed);
    }
}

void UdpSink::send(Batch& whole)
{
    LineBatch& batch = whole.lines;
    const std::size_t count = batch.lines();
    const bool fromMembers = !whole.members.empty();
    const bool fromSources = fromMembers && !m_sources.empty();
    if (m_senderFailed.load(std::memory_order_relaxed)) {
        m_undelivered += static_cast<std::int64_t>(count); // the run ends with the failure already met
        return;
    }
    m_messages.resize(count);
    m_parts.resize(count);
    if (fromSources) {
        m_controls.resize(count);
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i < count; ++i) {
        m_parts[i] = {batch.bytes.data() + start, batch.ends[i] - start};
        start = batch.ends[i];
        msghdr& header = m_messages[i].msg_hdr;
        header = {};
        header.msg_name = &m_receiver;
        header.msg_namelen = m_receiverLength;
        header.msg_iov = &m_parts[i];
        header.msg_iovlen = 1;
        if (fromSources) {
            // Each datagram leaves from its firewall's address.
            header.msg_control = m_controls[i].bytes;
            header.msg_controllen = sizeof m_controls[i].bytes;
            cmsghdr* control = CMSG_FIRSTHDR(&header);
            control->cmsg_level = IPPROTO_IP;
            control->cmsg_type = IP_PKTINFO;
            control->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
            in_pktinfo info{};
            info.ipi_spec_dst.s_addr = m_sources[whole.members[i]];
            std::memcpy(CMSG_DATA(control), &info, sizeof info);
        }
    }
    std::size_t done = 0;
    while (done < count) {
        const int sent = ::sendmmsg(m_fd, m_messages.data() + done, static_cast<unsigned>(count - done), MSG_NOSIGNAL);
        if (sent > 0) {
            if (fromMembers) {
                countSent(whole, done, done + static_cast<std::size_t>(sent));
            }
            done += static_cast<std::size_t>(sent);
            m_delivered += sent;
            continue;
        }
        const int error = sent < 0 ? errno : EIO;
        if (error == EINTR) {
            continue;
        }
        const SinkResult failed = sendFailure(error);
        if (!failed) {
            m_undelivered += static_cast<std::int64_t>(count - done);
            const std::lock_guard lock(m_mutex);
            m_senderFailure = failed.failure();
            m_senderFailed.store(true, std::memory_order_release);
            return;
        }
        if (failed.value() == Delivery::Dropped) {
            // The kernel holds too much already: the lines due now are lost, as on the wire.
            if (fromMembers) {
                countDropped(whole, done, count);
            }
            m_dropped += static_cast<std::int64_t>(count - done);
            m_droppedInAll += static_cast<std::int64_t>(count - done);
            return;
        }
        ++done; // a refusal reported for an earlier datagram: this one is passed over
        ++m_undelivered;
    }
}

SinkStatus UdpSink::status() const
{
    SinkStatus s;
    s.dropReason = "the system's send buffer was full: lines came faster than it could send them";
    if (!m_configured) {
        s.state = SinkStatus::State::Failed;
        s.problem = m_failure.reason;
    }
    return s; // a failure of the sender reaches the run with its next write or flush
}

DeliveryCounts UdpSink::counts() const
{
    DeliveryCounts counts;
    counts.delivered = m_delivered.load(std::memory_order_relaxed);
    counts.dropped = m_droppedInAll.load(std::memory_order_relaxed);
    counts.undelivered = m_undelivered.load(std::memory_order_relaxed);
    return counts;
}

SinkResult UdpSink::sendFailure(int error)
{
    switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case ENOBUFS:
        // The kernel holds too much already: this datagram is lost, as it would be on the wire.
        return Delivery::Dropped;
    case ECONNREFUSED:
        // A refusal reported for an earlier datagram (nothing listened) is no reason to stop:
        // the receiver may come up at any moment.
        return Delivery::Skipped;
    default:
        return systemFailure({}, error);
    }
}

} // namespace korvane
