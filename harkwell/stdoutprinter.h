// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/datagram.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace korvane::harkwell {

// Appends text with every byte that would break or hide in a line escaped: CR, LF and tab as \r, \n and \t,
// a backslash as \\, any other control byte (0x00 to 0x1F, 0x7F) as \xNN with two lower-case hex digits.
// Every other byte, UTF-8 or not, is kept as it came.
void appendEscaped(QByteArray& out, QByteArrayView text);

// Writes messages as lines for scripts: the message's text alone by default, or with the arrival time, the sender
// and the syslog header in front when verbose, and kCutMark after the text of a cut message. The text is escaped
// (see appendEscaped) so that one message is always exactly one line and a reader can still recover its exact
// bytes.
// The output is never waited for, so that a reader that stops reading cannot stop the program: the descriptor is
// made non-blocking (and set back when the printer goes), what it does not take at once waits in a backlog of at
// most a given size, written whenever the descriptor has room, and a message that does not fit in the backlog
// is not printed, only counted.
class StdoutPrinter : public QObject
{
    Q_OBJECT

public:
    // A few seconds of a fast sender's lines; the longest line (a 64 KiB message, every byte escaped) fits often.
    static constexpr qsizetype kMaxBacklogBytes = 4 * 1024 * 1024;

    StdoutPrinter(int fd, bool verbose, qsizetype maxBacklogBytes = kMaxBacklogBytes);
    ~StdoutPrinter() override;
    StdoutPrinter(const StdoutPrinter&) = delete;
    StdoutPrinter& operator=(const StdoutPrinter&) = delete;

    // Puts one line per message in the backlog, in order, and writes what the output takes now.
    void print(const QList<Datagram>& batch);

    // Writes what the output takes now, without waiting, and gives up the rest: its messages (one partly written
    // among them, perhaps) are counted as not printed. Nothing is printed afterwards.
    void finish();

    // Messages that were not printed, or not completely: the backlog had no room, or finish() came first.
    [[nodiscard]] quint64 notPrintedCount() const { return m_notPrinted; }
    // Bytes waiting for the output.
    [[nodiscard]] qsizetype backlogBytes() const { return m_backlog.size() - m_written; }
    [[nodiscard]] bool hasFailed() const { return !m_errorString.isEmpty(); }
    [[nodiscard]] QString errorString() const { return m_errorString; }

signals:
    // The output refused bytes (disk full, reader gone); errorString() says why. Nothing is printed afterwards.
    void failed();

private:
    // Puts the message's line in the backlog; false when it does not fit.
    bool append(const Datagram& datagram);
    // Writes from the backlog until it is empty or the output is full.
    void writeSome();
    void giveUpBacklog();

    int m_fd;
    int m_originalFlags = -1;
    bool m_verbose;
    qsizetype m_maxBacklogBytes;
    QByteArray m_backlog; // whole lines; the first m_written bytes are out already
    qsizetype m_written = 0;
    quint64 m_notPrinted = 0;
    bool m_finished = false;
    QString m_errorString;
    std::unique_ptr<QSocketNotifier> m_writable; // enabled while the backlog waits for room
};

} // namespace korvane::harkwell
