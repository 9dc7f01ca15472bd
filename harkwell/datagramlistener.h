// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/listener.h"

#include <memory>

class QSocketNotifier;

namespace korvane::harkwell {

// Owns the UDP socket, reads datagrams in batches, and counts beside them the datagrams the system dropped
// because the socket's receive buffer was full.
class DatagramListener : public Listener
{
    Q_OBJECT

public:
    // Asked of the kernel so that a burst waits in the socket instead of being dropped while a batch is
    // printed or shown. A process that may (root, CAP_NET_ADMIN) gets it past net.core.rmem_max; any other
    // gets at most that limit.
    static constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;

    // Datagrams read in one go at most, so that a flood cannot keep the event loop from drawing or quitting;
    // the socket signals again for whatever is left.
    static constexpr int kMaxBatch = 10000;

    explicit DatagramListener(QObject* parent = nullptr);
    ~DatagramListener() override;

    // The receive buffer asked for by the next listen(); tests ask for a tiny one to make the system drop.
    void setReceiveBufferBytes(int bytes) { m_receiveBufferBytes = bytes; }

    // Binds to address:port (port 0 lets the system choose), after closing any earlier socket. The port is
    // bound exclusively, so that a second listener on the same port fails instead of silently sharing it.
    // False when the port cannot be had; errorString() then says why.
    [[nodiscard]] bool listen(const QHostAddress& address, quint16 port) override;
    void close() override;

    [[nodiscard]] bool isListening() const override;
    [[nodiscard]] QHostAddress address() const override;
    [[nodiscard]] quint16 port() const override;
    // The receive buffer the kernel granted, in bytes (0 when not listening).
    [[nodiscard]] qint64 receiveBufferSize() const;

    // Datagrams that reached the socket but found its receive buffer full, so the system dropped them.
    [[nodiscard]] quint64 droppedCount() const override;
    void resetCounters() override;

    // Reads the datagrams waiting on the socket (up to kMaxBatch, many per system call) and emits them as one
    // batch. Called when the socket is readable, and at shutdown so that datagrams already received are not lost.
    void readPending() override;

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
    quint32 m_kernelDrops = 0;  // as the system counts, from the socket's creation; wraps at 2^32
    quint32 m_dropBaseline = 0; // m_kernelDrops at the last listen() or resetCounters()
};

} // namespace korvane::harkwell
