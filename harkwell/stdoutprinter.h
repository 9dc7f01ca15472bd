// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/datagram.h"

#include <QIODevice>
#include <QList>

namespace korvane::harkwell {

// Writes datagrams as lines for scripts: the datagram's text alone by default, or with the arrival time and the
// sender in front when verbose. The text is escaped (see appendEscaped) so that one datagram is always exactly
// one line and a reader can still recover its exact bytes.
// Appends text with every byte that would break or hide in a line escaped: CR, LF and tab as \r, \n and \t,
// a backslash as \\, any other control byte (0x00 to 0x1F, 0x7F) as \xNN with two lower-case hex digits.
// Every other byte, UTF-8 or not, is kept as it came.
void appendEscaped(QByteArray& out, QByteArrayView text);

class StdoutPrinter
{
public:
    StdoutPrinter(QIODevice& out, bool verbose) : m_out(out), m_verbose(verbose) {}

    // Writes one line per datagram and flushes once per batch, so that a reader of a pipe sees the lines as
    // they arrive without a flush for every line. False when the output refuses the bytes (disk full, closed).
    [[nodiscard]] bool print(const QList<Datagram>& batch);

    [[nodiscard]] QString errorString() const { return m_out.errorString(); }

private:
    QIODevice& m_out;
    bool m_verbose;
};

} // namespace korvane::harkwell
