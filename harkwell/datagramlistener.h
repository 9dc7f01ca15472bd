#pragma once

#include "harkwell/datagram.h"
#include "harkwell/ratemeter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace korvane::harkwell {

// Owns the UDP socket, reads datagrams in batches, and keeps the counts and the rate that the window and the
// standard-output mode both show, with the datagrams the system dropped because the socket's receive buffer was
// full. Counts run from the last listen() or resetCounters().
class DatagramListener : public QObject
{
    Q_OBJECT

public:
    // A monotonic clock in milliseconds; tests inject one to make the rate deterministic.
    using Clock = std::function<qint64()>;

    // Asked of the kernel so that a burst waits in the socket instead of being dropped while a batch is
    // printed or shown. A process that may (root, CAP_NET_ADMIN) gets it past net.core.rmem_max; any other
    // gets at most that limit.
    static constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;

    // Datagrams read in one go at most, so that a flood cannot keep the event loop from drawing or quitting;
    // the socket signals again for whatever is left.
    static constexpr int kMaxBatch = 10000;

    explicit DatagramListener(QObject* parent = nullptr);
    ~DatagramListener() override;

    void setClock(Clock clock);

    // The receive buffer asked for by the next listen(); tests ask for a tiny one to make the system drop.
    void setReceiveBufferBytes(int bytes) { m_receiveBufferBytes = bytes; }

    // Binds to address:port (port 0 lets the system choose), after closing any earlier socket. The port is
    // bound exclusively, so that a second listener on the same port fails instead of silently sharing it.
    // False when the port cannot be had; errorString() then says why.
    [[nodiscard]] bool listen(const QHostAddress& address, quint16 port);
    void close();

    [[nodiscard]] bool isListening() const;
    [[nodiscard]] QHostAddress address() const;
    [[nodiscard]] quint16 port() const;
    [[nodiscard]] QString errorString() const { return m_errorString; }
    // The receive buffer the kernel granted, in bytes (0 when not listening).
    [[nodiscard]] qint64 receiveBufferSize() const;

    [[nodiscard]] quint64 datagramCount() const { return m_datagramCount; }
    [[nodiscard]] quint64 byteCount() const { return m_byteCount; }
    // Datagrams that reached the socket but found its receive buffer full, so the system dropped them.
    [[nodiscard]] quint64 droppedCount() const;
    // Datagrams received during the last second.
    [[nodiscard]] qint64 ratePerSecond() const;
    void resetCounters();

    // Reads the datagrams waiting on the socket (up to kMaxBatch, many per system call) and emits them as one
    // batch. Called when the socket is readable, and at shutdown so that datagrams already received are not lost.
    void readPending();

signals:
    // Datagrams in the order they were received, all stamped with the same arrival time.
    void datagramsReceived(const QList<korvane::harkwell::Datagram>& batch);

private:
    struct ReceiveBuffers;

    // The system's drop counter for the socket: the latest of what came with the datagrams and what the socket
    // reports now, so that drops after the last datagram read are counted too.
    [[nodiscard]] quint32 kernelDrops() const;
    void noteKernelDrops(quint32 drops);

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<ReceiveBuffers> m_buffers;
    QHostAddress m_address;
    quint16 m_port = 0;
    int m_receiveBufferBytes = kReceiveBufferBytes;
    QElapsedTimer m_elapsed;
    Clock m_clock;
    RateMeter m_rate;
    quint64 m_datagramCount = 0;
    quint64 m_byteCount = 0;
    quint32 m_kernelDrops = 0;  // as the system counts, from the socket's creation; wraps at 2^32
    quint32 m_dropBaseline = 0; // m_kernelDrops at the last listen() or resetCounters()
    QString m_errorString;
};

} // namespace korvane::harkwell
