// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/datagramlistener.h"

#include <QSocketNotifier>
#include <QUdpSocket>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvane::harkwell {

namespace {

// Datagrams asked of one recvmmsg call: enough to make the calls few at any rate, few enough that the buffers
// (one largest datagram each) stay at 2 MiB.
constexpr int kMessagesPerCall = 32;
// Room for the largest UDP payload over IPv6 (65527 bytes); IPv4's largest is 65507.
constexpr std::size_t kMaxPayload = 65536;

// True when counter a is past b, on a counter that wraps at 2^32.
bool isAfter(quint32 a, quint32 b)
{
    return static_cast<qint32>(a - b) > 0;
}

quint16 portOf(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

} // namespace

// What one recvmmsg call fills: a payload buffer, a sender address and a control buffer per datagram.
struct DatagramListener::ReceiveBuffers
{
    std::vector<char> payloads = std::vector<char>(kMessagesPerCall * kMaxPayload);
    std::array<mmsghdr, kMessagesPerCall> headers{};
    std::array<iovec, kMessagesPerCall> vectors{};
    std::array<sockaddr_storage, kMessagesPerCall> senders{};
    std::array<std::array<char, CMSG_SPACE(sizeof(quint32))>, kMessagesPerCall> controls{};

    // Sets every header up again: the kernel overwrites the lengths it fills.
    void prepare(int count)
    {
        for (int i = 0; i < count; ++i) {
            vectors[i] = {payloads.data() + i * kMaxPayload, kMaxPayload};
            msghdr& header = headers[i].msg_hdr;
            header = {};
            header.msg_name = &senders[i];
            header.msg_namelen = sizeof(sockaddr_storage);
            header.msg_iov = &vectors[i];
            header.msg_iovlen = 1;
            header.msg_control = controls[i].data();
            header.msg_controllen = controls[i].size();
            headers[i].msg_len = 0;
        }
    }
};

DatagramListener::DatagramListener(QObject* parent) : Listener(parent) {}

DatagramListener::~DatagramListener()
{
    close();
}

bool DatagramListener::listen(const QHostAddress& address, quint16 port)
{
    close();
    resetCounters();
    // Qt binds (with its dual-stack handling and its error texts); the socket is then read through a duplicate
    // of its descriptor, because Qt's own reads take one datagram per call and drop the ancillary data that
    // carries the system's drop counter.
    QUdpSocket binder;
    if (!binder.bind(address, port, QAbstractSocket::DontShareAddress)) {
        setErrorString(binder.errorString());
        return false;
    }
    const int fd = ::fcntl(static_cast<int>(binder.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_address = binder.localAddress();
    m_port = binder.localPort();
    binder.close();
    m_fd = fd;
    setErrorString({});

    // Past net.core.rmem_max when the process may; otherwise as much of the request as the limit allows.
    const int bytes = m_receiveBufferBytes;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    const int on = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    resetCounters();

    m_buffers = std::make_unique<ReceiveBuffers>();
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &DatagramListener::readPending);
    return true;
}

void DatagramListener::close()
{
    m_notifier.reset();
    m_buffers.reset();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_address.clear();
    m_port = 0;
    m_kernelDrops = 0;
    m_dropBaseline = 0;
}

bool DatagramListener::isListening() const
{
    return m_fd >= 0;
}

QHostAddress DatagramListener::address() const
{
    return m_address;
}

quint16 DatagramListener::port() const
{
    return m_port;
}

qint64 DatagramListener::receiveBufferSize() const
{
    if (!isListening()) {
        return 0;
    }
    int bytes = 0;
    socklen_t length = sizeof bytes;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0) {
        return 0;
    }
    return bytes;
}

quint32 DatagramListener::kernelDrops() const
{
    quint32 drops = m_kernelDrops;
    if (m_fd < 0) {
        return drops;
    }
    std::array<quint32, SK_MEMINFO_VARS> memory{};
    socklen_t length = sizeof memory;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_MEMINFO, memory.data(), &length) == 0 &&
        length >= (SK_MEMINFO_DROPS + 1) * sizeof(quint32) && isAfter(memory[SK_MEMINFO_DROPS], drops)) {
        drops = memory[SK_MEMINFO_DROPS];
    }
    return drops;
}

void DatagramListener::noteKernelDrops(quint32 drops)
{
    if (isAfter(drops, m_kernelDrops)) {
        m_kernelDrops = drops;
    }
}

quint64 DatagramListener::droppedCount() const
{
    return kernelDrops() - m_dropBaseline;
}

void DatagramListener::resetCounters()
{
    Listener::resetCounters();
    m_kernelDrops = kernelDrops();
    m_dropBaseline = m_kernelDrops;
}

void DatagramListener::readPending()
{
    if (m_fd < 0) {
        return;
    }
    QList<Datagram> batch;
    // One clock reading per batch: the datagrams of a batch were all waiting in the socket at the same moment.
    const QDateTime arrival = QDateTime::currentDateTime();
    // Senders repeat: the address of the previous datagram is reused when the next one comes from it too.
    sockaddr_storage lastSender{};
    socklen_t lastSenderLength = 0;
    QHostAddress sender;
    quint64 bytes = 0;
    while (batch.size() < kMaxBatch) {
        const int wanted = static_cast<int>(std::min<qsizetype>(kMessagesPerCall, kMaxBatch - batch.size()));
        m_buffers->prepare(wanted);
        const int got =
            ::recvmmsg(m_fd, m_buffers->headers.data(), static_cast<unsigned>(wanted), MSG_DONTWAIT, nullptr);
        if (got <= 0) {
            break; // nothing left (EAGAIN), or a failed read: the notifier fires again while datagrams wait
        }
        for (int i = 0; i < got; ++i) {
            const msghdr& header = m_buffers->headers[i].msg_hdr;
            const sockaddr_storage& from = m_buffers->senders[i];
            if (header.msg_namelen != lastSenderLength || std::memcmp(&from, &lastSender, header.msg_namelen) != 0) {
                std::memcpy(&lastSender, &from, header.msg_namelen);
                lastSenderLength = header.msg_namelen;
                sender = QHostAddress(reinterpret_cast<const sockaddr*>(&from));
            }
            for (const cmsghdr* control = CMSG_FIRSTHDR(&header); control != nullptr;
                 control = CMSG_NXTHDR(const_cast<msghdr*>(&header), const_cast<cmsghdr*>(control))) {
                if (control->cmsg_level == SOL_SOCKET && control->cmsg_type == SO_RXQ_OVFL) {
                    quint32 drops = 0;
                    std::memcpy(&drops, CMSG_DATA(control), sizeof drops);
                    noteKernelDrops(drops);
                }
            }
            const auto length = static_cast<qsizetype>(m_buffers->headers[i].msg_len);
            batch.append(Datagram{arrival, sender, portOf(from),
                                  QByteArray(static_cast<const char*>(header.msg_iov->iov_base), length)});
            bytes += static_cast<quint64>(length);
        }
        if (got < wanted) {
            break; // the socket had no more
        }
    }
    deliver(batch, bytes);
}

} // namespace korvane::harkwell
