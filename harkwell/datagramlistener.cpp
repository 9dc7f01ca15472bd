#include "harkwell/datagramlistener.h"

#include <QNetworkDatagram>

namespace korvane::harkwell {

DatagramListener::DatagramListener(QObject* parent) : QObject(parent)
{
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.elapsed(); };
    connect(&m_socket, &QUdpSocket::readyRead, this, &DatagramListener::readPending);
}

void DatagramListener::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

bool DatagramListener::listen(const QHostAddress& address, quint16 port)
{
    close();
    resetCounters();
    if (!m_socket.bind(address, port, QAbstractSocket::DontShareAddress)) {
        m_errorString = m_socket.errorString();
        m_socket.close();
        return false;
    }
    m_errorString.clear();
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReceiveBufferBytes);
    return true;
}

void DatagramListener::close()
{
    m_socket.close();
}

bool DatagramListener::isListening() const
{
    return m_socket.state() == QAbstractSocket::BoundState;
}

QHostAddress DatagramListener::address() const
{
    return m_socket.localAddress();
}

quint16 DatagramListener::port() const
{
    return m_socket.localPort();
}

qint64 DatagramListener::receiveBufferSize() const
{
    if (!isListening())
        return 0;
    // socketOption() is not const, although reading an option changes nothing.
    return const_cast<QUdpSocket&>(m_socket).socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toLongLong();
}

qint64 DatagramListener::ratePerSecond() const
{
    return m_rate.rate(m_clock());
}

void DatagramListener::resetCounters()
{
    m_datagramCount = 0;
    m_byteCount = 0;
}

void DatagramListener::readPending()
{
    QList<Datagram> batch;
    // One clock reading per batch: the datagrams of a batch were all waiting in the socket at the same moment.
    const QDateTime arrival = QDateTime::currentDateTime();
    while (batch.size() < MaxBatch && m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram received = m_socket.receiveDatagram();
        if (received.senderAddress().isNull())
            break; // the read failed; the datagram is gone and the socket will signal again for the next one
        batch.append(
            Datagram{arrival, received.senderAddress(), static_cast<quint16>(received.senderPort()), received.data()});
        m_byteCount += static_cast<quint64>(received.data().size());
    }
    if (batch.isEmpty())
        return;
    m_datagramCount += static_cast<quint64>(batch.size());
    m_rate.record(m_clock(), batch.size());
    emit datagramsReceived(batch);
}

} // namespace korvane::harkwell
