// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// The UDP receiver of the tests and the benchmarks: a socket on 127.0.0.1 with a large receive
// buffer, drained by a thread of its own with recvmmsg(), so that it keeps up with korvane's fastest
// rate. It counts every datagram, in one-second bins laid from the first one since resetBins(), and
// keeps what the kernel says it dropped (SO_RXQ_OVFL). A test keeps each datagram too, with the
// kernel's time of arrival, so that a test busy with other things does not skew them; a benchmark
// keeps the times only, or only counts, which costs the receiver nothing per datagram. No Qt, so
// that plain programs use it.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace korvane::test {

// korvane takes ports 1 to 32000 only (a larger one is replaced by 514): tests draw from the top of it.
inline constexpr std::uint16_t lowestTestPort = 20000;
inline constexpr std::uint16_t highestTestPort = 32000;

// A UDP socket bound to 127.0.0.1:port; -1 when the port is taken.
inline int bindLoopbackUdp(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct BoundSocket
{
    int fd = -1;
    std::uint16_t port = 0;
};

// A socket on a random port of the test range that was free; fd -1 when none was found.
inline BoundSocket bindFreeTestPort(int attempts = 500)
{
    static std::mutex guard;
    static std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> draw(lowestTestPort, highestTestPort - 1);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::uint16_t port = 0;
        {
            std::lock_guard lock(guard);
            port = std::uint16_t(draw(random));
        }
        if (const int fd = bindLoopbackUdp(port); fd >= 0) {
            return {fd, port};
        }
    }
    return {};
}

// A UDP port of the test range that was free a moment ago. Another test may take it before the
// caller does, so callers that hand it to another program retry on a bind failure.
inline std::uint16_t freeUdpPort()
{
    const BoundSocket bound = bindFreeTestPort();
    if (bound.fd >= 0) {
        ::close(bound.fd);
    }
    return bound.port;
}

// One received datagram and the moment the kernel took it in.
struct Datagram
{
    std::string payload;
    std::chrono::system_clock::time_point at;
    std::uint32_t from = 0; // the sender's IPv4 address, host byte order
};

class UdpReceiver
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int maxBins = 256;

    enum class Keep
    {
        Datagrams, // each payload and its time of arrival (tests)
        Times,     // the time of arrival of each datagram, no payload (rate benchmarks)
        CountOnly, // counts only (speed benchmarks: nothing kept, no time stamps asked of the kernel)
    };

    explicit UdpReceiver(Keep keep = Keep::Datagrams, int bufferBytes = 32 << 20) : m_keep(keep)
    {
        const BoundSocket bound = bindFreeTestPort();
        m_fd = bound.fd;
        m_port = bound.port;
        if (m_fd < 0) {
            return;
        }
        // Forcing past the system's limit needs privileges; the plain request is capped by it.
        if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &bufferBytes, sizeof bufferBytes) != 0) {
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
        }
        socklen_t length = sizeof m_buffer;
        ::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &m_buffer, &length);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
        if (m_keep != Keep::CountOnly) {
            ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            // Room for a run of seconds at a high rate, so that the list seldom moves while it grows.
            m_times.reserve(1 << 20);
        }
        // The wait for a datagram ends now and then, to see whether to stop.
        const timeval tick{0, 50'000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
        m_thread = std::thread([this] { loop(); });
    }

    ~UdpReceiver()
    {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    bool ok() const { return m_fd >= 0; }
    std::uint16_t port() const { return m_port; }
    int bufferBytes() const { return m_buffer; }
    // Datagrams received since the start, and dropped by the kernel for want of room.
    std::uint64_t total() const { return m_total; }
    std::uint64_t drops() const { return m_drops; }

    // What came so far, in order (Keep::Datagrams only).
    std::vector<Datagram> datagrams() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<Datagram> all;
        for (std::size_t i = 0; i < m_payloads.size(); ++i) {
            all.push_back({m_payloads[i], m_times[i], m_senders[i]});
        }
        return all;
    }

    // When each datagram came so far, in order (Keep::Datagrams and Keep::Times).
    std::vector<std::chrono::system_clock::time_point> arrivalTimes() const
    {
        std::lock_guard lock(m_mutex);
        return m_times;
    }

    // Empty bins, laid from the next datagram. Called only while nothing arrives.
    void resetBins()
    {
        for (auto& bin : m_bins) {
            bin = 0;
        }
        m_originNs = 0;
    }

    // The moment of the first datagram since resetBins(), once it came within the time.
    std::optional<Clock::time_point> firstArrival(std::chrono::milliseconds timeout) const
    {
        const auto deadline = Clock::now() + timeout;
        while (m_originNs == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (m_originNs == 0) {
            return std::nullopt;
        }
        return Clock::time_point(std::chrono::nanoseconds(m_originNs.load()));
    }

    // Datagrams per second from the first one, for the first `count` seconds.
    std::vector<long> bins(int count) const
    {
        std::vector<long> counts;
        for (int i = 0; i < count && i < maxBins; ++i) {
            counts.push_back(m_bins[std::size_t(i)]);
        }
        return counts;
    }

    // Returns once nothing has come for `quiet` (at most after `bound`), so that the stragglers of
    // one sender fall into no count of the next.
    void waitQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(300),
                   std::chrono::milliseconds bound = std::chrono::seconds(10)) const
    {
        const auto deadline = Clock::now() + bound;
        std::uint64_t seen = m_total;
        auto quietSince = Clock::now();
        while (Clock::now() < deadline && Clock::now() - quietSince < quiet) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (m_total != seen) {
                seen = m_total;
                quietSince = Clock::now();
            }
        }
    }

private:
    static std::int64_t steadyNs()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    }

    // The kernel's time stamp and drop counter of one message, where it carries them.
    static void readControl(msghdr& header, std::optional<timespec>& stamp, std::optional<std::uint32_t>& dropped)
    {
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
            if (c->cmsg_level != SOL_SOCKET) {
                continue;
            }
            if (c->cmsg_type == SO_RXQ_OVFL) {
                std::uint32_t value = 0;
                std::memcpy(&value, CMSG_DATA(c), sizeof value);
                dropped = value;
            } else if (c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec value{};
                std::memcpy(&value, CMSG_DATA(c), sizeof value);
                stamp = value;
            }
        }
    }

    void loop()
    {
        const bool payloads = m_keep == Keep::Datagrams;
        const bool times = m_keep != Keep::CountOnly;
        // Counting needs no whole payload; a test sees every byte of the largest datagram.
        const unsigned batch = payloads ? 32 : 256;
        const std::size_t slot = payloads ? 65536 : 2048;
        constexpr std::size_t controlBytes = CMSG_SPACE(sizeof(timespec)) + CMSG_SPACE(sizeof(std::uint32_t));
        constexpr std::size_t controlWords = (controlBytes + 7) / 8; // cmsg headers want alignment
        std::vector<char> data(batch * slot);
        std::vector<std::uint64_t> control(batch * controlWords);
        std::vector<iovec> io(batch);
        std::vector<mmsghdr> messages(batch);
        for (unsigned i = 0; i < batch; ++i) {
            io[i] = {data.data() + i * slot, slot};
        }
        std::vector<std::chrono::system_clock::time_point> stamps(batch);
        std::vector<sockaddr_in> senders(batch);
        while (!m_stop) {
            for (unsigned i = 0; i < batch; ++i) {
                messages[i] = {};
                messages[i].msg_hdr.msg_iov = &io[i];
                messages[i].msg_hdr.msg_iovlen = 1;
                messages[i].msg_hdr.msg_control = control.data() + i * controlWords;
                messages[i].msg_hdr.msg_controllen = controlBytes;
                messages[i].msg_hdr.msg_name = &senders[i];
                messages[i].msg_hdr.msg_namelen = sizeof senders[i];
            }
            const int received = ::recvmmsg(m_fd, messages.data(), batch, MSG_WAITFORONE, nullptr);
            if (received <= 0) {
                continue;
            }
            const std::int64_t now = steadyNs();
            std::int64_t origin = m_originNs;
            if (origin == 0) {
                m_originNs.compare_exchange_strong(origin, now);
                origin = m_originNs;
            }
            const std::int64_t bin = (now - origin) / 1'000'000'000;
            if (bin >= 0 && bin < maxBins) {
                m_bins[std::size_t(bin)] += received;
            }
            if (times) {
                const auto arrived = std::chrono::system_clock::now();
                for (int i = 0; i < received; ++i) {
                    std::optional<timespec> stamp;
                    std::optional<std::uint32_t> dropped;
                    readControl(messages[std::size_t(i)].msg_hdr, stamp, dropped);
                    stamps[std::size_t(i)] =
                        stamp ? std::chrono::system_clock::time_point(
                                    std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                        std::chrono::seconds(stamp->tv_sec) + std::chrono::nanoseconds(stamp->tv_nsec)))
                              : arrived;
                    if (dropped) {
                        m_drops = *dropped;
                    }
                }
                std::lock_guard lock(m_mutex);
                m_times.insert(m_times.end(), stamps.begin(), stamps.begin() + received);
                for (int i = 0; payloads && i < received; ++i) {
                    m_payloads.emplace_back(data.data() + std::size_t(i) * slot, messages[std::size_t(i)].msg_len);
                    m_senders.push_back(ntohl(senders[std::size_t(i)].sin_addr.s_addr));
                }
            }
            m_total += std::uint64_t(received);
            if (!times) {
                // The counter is the socket's: the last message that carries it says it all.
                for (int i = received - 1; i >= 0; --i) {
                    std::optional<timespec> stamp;
                    std::optional<std::uint32_t> dropped;
                    readControl(messages[std::size_t(i)].msg_hdr, stamp, dropped);
                    if (dropped) {
                        m_drops = *dropped;
                        break;
                    }
                }
            }
        }
    }

    Keep m_keep;
    int m_fd = -1;
    std::uint16_t m_port = 0;
    int m_buffer = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_originNs{0};
    std::array<std::atomic<long>, maxBins> m_bins{};
    std::atomic<std::uint64_t> m_total{0};
    std::atomic<std::uint64_t> m_drops{0};
    mutable std::mutex m_mutex;
    std::vector<std::chrono::system_clock::time_point> m_times;
    std::vector<std::string> m_payloads;
    std::vector<std::uint32_t> m_senders;
    std::thread m_thread;
};

} // namespace korvane::test
