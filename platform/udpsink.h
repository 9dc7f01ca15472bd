// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"

#include <QHostAddress>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/uio.h>

namespace korvane {

// One UDP datagram per line to the syslog receiver: the line's bytes exactly, no line end and no
// priority prefix. The socket stays unconnected, so a receiver that is absent or refuses never
// turns a later send into a failure; datagrams go out whether anything listens or not. It is a
// plain send-only socket: the program never reads it, and nothing watches it for answers (an
// event-loop notifier would wake for every "port unreachable" that comes back). Sends never
// block: a datagram the kernel cannot take at once is dropped and counted as such. Lines written
// together go out together, up to kBatchLines datagrams in one system call, at the latest when
// the run flushes.
class UdpSink final : public LineSink
{
public:
    UdpSink() = default;
    ~UdpSink() override;
    UdpSink(const UdpSink&) = delete;
    UdpSink& operator=(const UdpSink&) = delete;

    // Gives the socket the receiver's address and port and binds it to any free local port.
    // After a failure every write fails with the same reason.
    Result<> configure(const QString& host, quint16 port);
    bool isConfigured() const { return m_configured; }
    quint16 localPort() const;

    SinkResult write(std::string_view line) override;
    FlushResult flush() override;

    // What a failed send with this errno means for the run.
    static SinkResult sendFailure(int error);

    static constexpr std::size_t kBatchLines = 64;
    static constexpr std::size_t kBatchBytes = 256 * 1024;

private:
    void closeSocket();
    // Sends the lines kept; a failure that ends the run is returned, and the lines are gone.
    Result<> sendKept();

    int m_fd = -1;
    int m_family = 0;
    sockaddr_storage m_receiver{};
    socklen_t m_receiverLength = 0;
    bool m_configured = false;
    std::string m_kept;                  // the lines written since the last send, back to back
    std::vector<std::size_t> m_keptEnds; // where each of them ends in m_kept
    std::vector<mmsghdr> m_messages;     // reused from batch to batch
    std::vector<iovec> m_parts;
    std::int64_t m_dropped = 0;                            // since the last flush
    Failure m_failure{"the UDP socket is not configured"}; // why writes fail while not configured
};

} // namespace korvane
