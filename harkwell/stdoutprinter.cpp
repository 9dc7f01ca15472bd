// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/stdoutprinter.h"

#include <QFileDevice>

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

bool StdoutPrinter::print(const QList<Datagram>& batch)
{
    QByteArray lines;
    for (const Datagram& datagram : batch) {
        if (m_verbose) {
            lines += describePrefix(datagram);
        }
        appendEscaped(lines, lineText(datagram.payload));
        lines += '\n';
    }
    if (m_out.write(lines) != lines.size()) {
        return false;
    }
    if (auto* file = qobject_cast<QFileDevice*>(&m_out)) {
        return file->flush();
    }
    return true;
}

} // namespace korvane::harkwell
