// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/datagram.h"
#include "harkwell/ratemeter.h"
#include "harkwell/sendertally.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <functional>
#include <vector>

namespace korvane::harkwell {

// What the window and the standard-output mode need of a listener, whatever it listens on: it binds, hands on
// what it receives in batches, and keeps the counts and the rate. Counts run from the last listen() or
// resetCounters().
class Listener : public QObject
{
    Q_OBJECT

public:
    // A monotonic clock in milliseconds; tests inject one to make the rate deterministic.
    using Clock = std::function<qint64()>;

    explicit Listener(QObject* parent = nullptr);

    void setClock(Clock clock);

    // Binds to address:port (port 0 lets the system choose), after closing anything open before. False when the
    // port cannot be had; errorString() then says why.
    [[nodiscard]] virtual bool listen(const QHostAddress& address, quint16 port) = 0;
    virtual void close() = 0;

    [[nodiscard]] virtual bool isListening() const = 0;
    [[nodiscard]] virtual QHostAddress address() const = 0;
    [[nodiscard]] virtual quint16 port() const = 0;
    [[nodiscard]] QString errorString() const { return m_errorString; }

    [[nodiscard]] quint64 datagramCount() const { return m_datagramCount; }
    [[nodiscard]] quint64 byteCount() const { return m_byteCount; }
    // Messages handed on cut short because their connection ended inside their frame; only streams cut any.
    [[nodiscard]] quint64 cutCount() const { return m_cutCount; }
    // Messages that reached this computer but were discarded by the system; only UDP loses any.
    [[nodiscard]] virtual quint64 droppedCount() const { return 0; }
    // The messages of each sender (address and host), with what their sequence ids tell.
    [[nodiscard]] const SenderTally& senders() const { return m_senders; }
    // Every sender, in the order they first came, with its rate now.
    [[nodiscard]] std::vector<SenderRow> senderRows() const { return m_senders.rows(m_clock()); }
    // The end of a run, sender by sender (see harkwell::senderSummary).
    [[nodiscard]] QStringList senderSummary() const { return harkwell::senderSummary(m_senders, m_clock()); }
    // Messages received during the last second.
    [[nodiscard]] qint64 ratePerSecond() const;
    virtual void resetCounters();

    // Reads what is waiting and hands it on at once: called at shutdown, so that what was received is not lost.
    virtual void readPending() = 0;

signals:
    // Messages in the order they were received; a batch shares its arrival time.
    void datagramsReceived(const QList<korvane::harkwell::Datagram>& batch);
    // Something went wrong with one peer (a failed TLS handshake, a connection closed for bad framing) while the
    // listener itself goes on.
    void peerProblem(const QString& text);

protected:
    // Counts batch, whose payloads hold bytes bytes, and emits it.
    void deliver(const QList<Datagram>& batch, quint64 bytes);
    void setErrorString(const QString& text) { m_errorString = text; }

private:
    QElapsedTimer m_elapsed;
    Clock m_clock;
    RateMeter m_rate;
    SenderTally m_senders;
    quint64 m_datagramCount = 0;
    quint64 m_byteCount = 0;
    quint64 m_cutCount = 0;
    QString m_errorString;
};

} // namespace korvane::harkwell
