// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/destination.h"

#include <QDir>

namespace korvane {

QString formatName(SyslogFormat format)
{
    switch (format) {
    case SyslogFormat::Rfc3164:
        return QStringLiteral("RFC 3164");
    case SyslogFormat::Rfc5424:
        return QStringLiteral("RFC 5424");
    case SyslogFormat::Device:
        return QStringLiteral("device format");
    case SyslogFormat::Plain:
        break;
    }
    return QStringLiteral("plain lines");
}

QString destinationText(const RunConfig& config)
{
    const QString form = formatName(config.run.format);
    const QString address = QStringLiteral("%1:%2").arg(QString::fromStdString(config.host)).arg(config.port);
    const QString framing = config.framing == StreamFraming::OctetCounting ? QStringLiteral("octet counting")
                                                                           : QStringLiteral("line feeds");
    switch (config.output) {
    case OutputKind::Udp:
        return QStringLiteral("UDP %1, %2").arg(address, form);
    case OutputKind::Tcp:
        return QStringLiteral("TCP %1, %2, %3").arg(address, framing, form);
    case OutputKind::Tls:
        return QStringLiteral("TLS %1, %2, %3").arg(address, framing, form);
    case OutputKind::File:
        break;
    }
    return QStringLiteral("%1, %2").arg(QDir::current().absoluteFilePath(QStringLiteral("GENERATE.TXT")), form);
}

} // namespace korvane
