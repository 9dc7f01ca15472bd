#include "harkwell/stdoutprinter.h"

#include <QFileDevice>

namespace korvane::harkwell {

bool StdoutPrinter::print(const QList<Datagram>& batch)
{
    QByteArray lines;
    for (const Datagram& datagram : batch) {
        lines += m_verbose ? describe(datagram) : lineText(datagram.payload);
        lines += '\n';
    }
    if (m_out.write(lines) != lines.size())
        return false;
    if (auto* file = qobject_cast<QFileDevice*>(&m_out))
        return file->flush();
    return true;
}

} // namespace korvane::harkwell
