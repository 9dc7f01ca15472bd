#pragma once

#include "harkwell/datagram.h"

#include <QIODevice>
#include <QList>

namespace korvane::harkwell {

// Writes datagrams as lines for scripts: the datagram's text alone by default, so that a reader can compare
// exact bytes, or with the arrival time and the sender in front when verbose.
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
