// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"

#include <QHostAddress>
#include <QString>

#include <sys/socket.h>

namespace korvane {

// One UDP datagram per line to the syslog receiver: the line's bytes exactly, no line end and no
// priority prefix. The socket stays unconnected, so a receiver that is absent or refuses never
// turns a later send into a failure; datagrams go out whether anything listens or not. It is a
// plain send-only socket: the program never reads it, and nothing watches it for answers (an
// event-loop notifier would wake for every "port unreachable" that comes back). Sends never
// block: a datagram the kernel cannot take at once is dropped and reported as such.
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

    // What a failed send with this errno means for the run.
    static SinkResult sendFailure(int error);

private:
    void closeSocket();

    int m_fd = -1;
    int m_family = 0;
    sockaddr_storage m_receiver{};
    socklen_t m_receiverLength = 0;
    bool m_configured = false;
    Failure m_failure{"the UDP socket is not configured"}; // why writes fail while not configured
};

} // namespace korvane
