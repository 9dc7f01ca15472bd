// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"
#include "platform/linebatch.h"

#include <QHostAddress>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace korvane {

// One UDP datagram per line to the syslog receiver: the line's bytes exactly, no line end and no
// priority prefix. The socket stays unconnected, so a receiver that is absent or refuses never
// turns a later send into a failure; datagrams go out whether anything listens or not. It is a
// plain send-only socket: the program never reads it, and nothing watches it for answers (an
// event-loop notifier would wake for every "port unreachable" that comes back). Sends never
// block: a datagram the kernel cannot take at once is dropped and counted as such.
//
// Lines written together go out together, up to kBatchLines datagrams in one system call, at the
// latest when the run flushes. The system calls are made on a sender thread of the sink's own, as
// the system's work per datagram is most of the cost of a fast run: the window's thread composes
// the next lines meanwhile (measured, this also costs less processor time per line than sending
// from the window's thread, at 100,000 lines a second as at full speed). A full or flushed batch
// goes to the sender at once, and the sender sends it at once; when the sender is kQueuedBatches
// behind, the writer waits for it. Drops and failures met by the sender are reported by a later
// write or flush; after a failure the sender discards what it is handed, and counts it.
class UdpSink final : public LineSink
{
public:
    UdpSink() = default;
    ~UdpSink() override;
    UdpSink(const UdpSink&) = delete;
    UdpSink& operator=(const UdpSink&) = delete;

    // Gives the socket the receiver's address and port and binds it to any free local port: of
    // `source` when one is given (SourceAddress), else of the address the system chooses.
    // After a failure every write fails with the same reason.
    Result<> configure(const QString& host, quint16 port, const QString& source = {});
    // Many firewalls from the one socket: each line written with writeFrom() is counted for its
    // firewall (0 to members - 1) and, when `sources` holds one address per firewall (IPv4, host
    // byte order, each local to this machine: see bindableSourceAddress), leaves from its
    // firewall's address. After configure(), before any line.
    void sendFrom(std::size_t members, std::vector<std::uint32_t> sources);
    // The line of firewall `member`.
    SinkResult writeFrom(std::uint32_t member, std::string_view line);
    // What became of the lines of firewall `member` (delivered and dropped).
    DeliveryCounts countsOf(std::uint32_t member) const;
    bool isConfigured() const { return m_configured; }
    quint16 localPort() const;

    SinkResult write(std::string_view line) override;
    FlushResult flush() override;
    FlushResult flushAndWait() override;
    // Delivered: datagrams the kernel took. Dropped: those it could not take at once.
    // Undelivered: those it refused, and every line the sender discarded after a failure.
    DeliveryCounts counts() const override;
    // Open once configured, Failed if that failed.
    SinkStatus status() const override;

    // What a failed send with this errno means for the run.
    static SinkResult sendFailure(int error);

    static constexpr std::size_t kBatchLines = 128;
    static constexpr std::size_t kBatchBytes = 256 * 1024;
    static constexpr std::size_t kQueuedBatches = 8;

private:
    // Lines handed to the sender together, and for a fleet whose line each is.
    struct Batch
    {
        LineBatch lines;
        std::vector<std::uint32_t> members;
        bool empty() const { return lines.empty(); }
        void clear()
        {
            lines.clear();
            members.clear();
        }
    };
    // Room for one IPv4 source address per datagram.
    struct alignas(cmsghdr) SourceControl
    {
        unsigned char bytes[CMSG_SPACE(sizeof(in_pktinfo))];
    };

    SinkResult append(std::string_view line);
    void closeSocket();
    void stopSender(); // after the lines handed over are sent
    // Gives the batch being written to the sender, waiting while the sender is too far behind.
    void handOver();
    void senderLoop();
    // Sends one batch; drops are counted, a failure that ends the run is kept for the writer.
    void send(Batch& batch);
    void countSent(const Batch& batch, std::size_t from, std::size_t to);
    void countDropped(const Batch& batch, std::size_t from, std::size_t to);
    // The failure the sender met, if any.
    std::optional<Failure> sendFailureMet();

    int m_fd = -1;
    int m_family = 0;
    sockaddr_storage m_receiver{};
    socklen_t m_receiverLength = 0;
    bool m_configured = false;
    bool m_bound = false; // to a SourceAddress
    std::size_t m_longestDatagram = 0;
    Batch m_writing; // the lines written since the last hand-over
    // A fleet's: each firewall's address (network byte order) and counts.
    std::vector<std::uint32_t> m_sources; // empty: the system chooses
    std::size_t m_members = 0;
    std::unique_ptr<std::atomic<std::int64_t>[]> m_memberDelivered;
    std::unique_ptr<std::atomic<std::int64_t>[]> m_memberDropped;

    // Shared with the sender thread.
    std::mutex m_mutex;
    std::condition_variable m_work; // a batch to send, or the end
    std::condition_variable m_room; // a batch sent
    std::deque<Batch> m_queue;      // handed over, not yet sent
    std::vector<Batch> m_spare;     // sent, their storage kept for reuse
    bool m_stopping = false;
    std::optional<Failure> m_senderFailure;
    std::atomic<bool> m_senderFailed{false};
    std::atomic<std::int64_t> m_dropped{0}; // since the last flush
    std::atomic<std::int64_t> m_delivered{0};
    std::atomic<std::int64_t> m_droppedInAll{0};
    std::atomic<std::int64_t> m_undelivered{0};
    std::thread m_sender;

    // The sender's own.
    std::vector<mmsghdr> m_messages;
    std::vector<iovec> m_parts;
    std::vector<SourceControl> m_controls;
    Failure m_failure{"the UDP socket is not configured"}; // why writes fail while not configured
};

} // namespace korvane
