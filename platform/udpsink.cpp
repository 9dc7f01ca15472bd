#include "udpsink.h"

namespace korvane {

bool UdpSink::configure(const QString& host, quint16 port)
{
    m_configured = false;
    QHostAddress address;
    if (!address.setAddress(host.trimmed())) {
        m_error = QStringLiteral("\"%1\" is not an IP address").arg(host);
        return false;
    }
    if (port == 0) {
        m_error = QStringLiteral("port 0 cannot receive datagrams");
        return false;
    }
    const QHostAddress local =
        address.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4;
    if (m_socket.state() != QAbstractSocket::BoundState && !m_socket.bind(local, 0)) {
        m_error = m_socket.errorString();
        return false;
    }
    m_host = address;
    m_port = port;
    m_configured = true;
    m_error.clear();
    return true;
}

SinkResult UdpSink::write(std::string_view line)
{
    if (!m_configured)
        return SinkResult::failed(m_error.toStdString());
    const qint64 sent = m_socket.writeDatagram(line.data(), static_cast<qint64>(line.size()), m_host, m_port);
    if (sent == static_cast<qint64>(line.size()))
        return SinkResult::delivered();
    // A refusal reported for an earlier datagram (nothing listened) is no reason to stop: the
    // receiver may come up at any moment.
    if (m_socket.error() == QAbstractSocket::ConnectionRefusedError)
        return SinkResult::skipped(m_socket.errorString().toStdString());
    return SinkResult::failed(m_socket.errorString().toStdString());
}

} // namespace korvane
