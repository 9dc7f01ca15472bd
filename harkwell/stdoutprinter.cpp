// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/stdoutprinter.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace korvane::harkwell {

namespace {

bool needsEscape(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f || c == '\\';
}

} // namespace

void appendEscaped(QByteArray& out, QByteArrayView text)
{
    static constexpr char kHexDigits[] = "0123456789abcdef";
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!needsEscape(c)) {
            continue;
        }
        // Runs of ordinary bytes go in whole: most datagrams hold no byte to escape.
        out.append(text.sliced(plainFrom, i - plainFrom));
        plainFrom = i + 1;
        switch (c) {
        case '\r':
            out.append("\\r");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\\':
            out.append("\\\\");
            break;
        default: {
            const auto byte = static_cast<unsigned char>(c);
            const char escaped[] = {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xf]};
            out.append(escaped, sizeof escaped);
            break;
        }
        }
    }
    out.append(text.sliced(plainFrom));
}

StdoutPrinter::StdoutPrinter(int fd, bool verbose, qsizetype maxBacklogBytes)
    : m_fd(fd), m_verbose(verbose), m_maxBacklogBytes(maxBacklogBytes)
{
    m_originalFlags = ::fcntl(fd, F_GETFL);
    if (m_originalFlags < 0 || ::fcntl(fd, F_SETFL, m_originalFlags | O_NONBLOCK) < 0) {
        m_errorString = QString::fromLocal8Bit(std::strerror(errno));
        m_originalFlags = -1;
        return;
    }
    m_writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    m_writable->setEnabled(false);
    connect(m_writable.get(), &QSocketNotifier::activated, this, &StdoutPrinter::writeSome);
}

StdoutPrinter::~StdoutPrinter()
{
    // The descriptor may be shared (a terminal, a pipe another program writes to too): it is left as it came.
    if (m_originalFlags >= 0 && (m_originalFlags & O_NONBLOCK) == 0) {
        ::fcntl(m_fd, F_SETFL, m_originalFlags);
    }
}

void StdoutPrinter::print(const QList<Datagram>& batch)
{
    for (const Datagram& datagram : batch) {
        if (m_finished || hasFailed()) {
            ++m_notPrinted;
            continue;
        }
        if (append(datagram)) {
            continue;
        }
        // No room: unless the output is known to be full, writing what waits may make some.
        if (!m_writable->isEnabled()) {
            writeSome();
            if (!hasFailed() && append(datagram)) {
                continue;
            }
        }
        ++m_notPrinted;
    }
    if (!m_finished && !hasFailed()) {
        writeSome();
    }
}

bool StdoutPrinter::append(const Datagram& datagram)
{
    // Formatted in place, and taken back whole if it does not fit: a line is printed entirely or not at all.
    const qsizetype lineStart = m_backlog.size();
    if (m_verbose) {
        m_backlog += describePrefix(datagram);
    }
    appendEscaped(m_backlog, lineText(datagram.payload));
    if (datagram.cut) {
        m_backlog += kCutMark;
    }
    m_backlog += '\n';
    if (m_backlog.size() - m_written > m_maxBacklogBytes) {
        m_backlog.truncate(lineStart);
        return false;
    }
    return true;
}

void StdoutPrinter::finish()
{
    if (!m_finished && !hasFailed()) {
        writeSome();
    }
    giveUpBacklog();
    m_finished = true;
}

void StdoutPrinter::writeSome()
{
    while (m_written < m_backlog.size()) {
        const ssize_t written =
            ::write(m_fd, m_backlog.constData() + m_written, static_cast<size_t>(m_backlog.size() - m_written));
        if (written > 0) {
            m_written += written;
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            break; // full: the notifier says when there is room
        }
        m_errorString = QString::fromLocal8Bit(std::strerror(errno));
        giveUpBacklog();
        emit failed();
        return;
    }
    if (m_written == m_backlog.size()) {
        m_backlog.resize(0); // keeps its storage for the next lines
        m_written = 0;
    } else if (m_written >= m_backlog.size() / 2) {
        m_backlog.remove(0, m_written);
        m_written = 0;
    }
    if (m_writable) {
        m_writable->setEnabled(m_written < m_backlog.size());
    }
}

void StdoutPrinter::giveUpBacklog()
{
    // Each line ends with the only LF it holds, so the LFs not yet out count the lines not wholly printed.
    m_notPrinted += static_cast<quint64>(QByteArrayView(m_backlog).sliced(m_written).count('\n'));
    m_backlog.resize(0);
    m_written = 0;
    if (m_writable) {
        m_writable->setEnabled(false);
    }
}

} // namespace korvane::harkwell
