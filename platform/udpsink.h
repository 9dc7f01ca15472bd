#pragma once

#include "linesink.h"

#include <QHostAddress>
#include <QUdpSocket>

namespace korvane {

// One UDP datagram per line to the syslog receiver: the line's bytes exactly, no line end and no
// priority prefix. The socket stays unconnected, so a receiver that is absent or refuses never
// turns a later send into a failure; datagrams go out whether anything listens or not.
class UdpSink final : public LineSink
{
public:
    UdpSink() = default;

    // Gives the socket the receiver's address and port and binds it to any free local port.
    // On failure returns false and error() tells why; a later write then fails with that reason.
    [[nodiscard]] bool configure(const QString& host, quint16 port);
    bool isConfigured() const { return m_configured; }
    const QString& error() const { return m_error; }
    quint16 localPort() const { return m_socket.localPort(); }

    SinkResult write(std::string_view line) override;

private:
    QUdpSocket m_socket;
    QHostAddress m_host;
    quint16 m_port = 0;
    bool m_configured = false;
    QString m_error = QStringLiteral("the UDP socket is not configured");
};

} // namespace korvane
