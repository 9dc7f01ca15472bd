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

QString outputName(const RunConfig& config)
{
    const Transport* transport = transportOf(config.output);
    if (transport == nullptr) {
        return QStringLiteral("GENERATE.TXT");
    }
    return QStringLiteral("%1 %2:%3")
        .arg(QLatin1String(transport->name.data(), static_cast<qsizetype>(transport->name.size())),
             QString::fromStdString(config.host))
        .arg(config.port);
}

QString destinationText(const RunConfig& config)
{
    const QString form = formatName(config.run.format);
    const Transport* transport = transportOf(config.output);
    if (transport == nullptr) {
        return QStringLiteral("%1, %2").arg(QDir::current().absoluteFilePath(outputName(config)), form);
    }
    if (!transport->framed) {
        return QStringLiteral("%1, %2").arg(outputName(config), form);
    }
    const QString framing = config.framing == StreamFraming::OctetCounting ? QStringLiteral("octet counting")
                                                                           : QStringLiteral("line feeds");
    return QStringLiteral("%1, %2, %3").arg(outputName(config), framing, form);
}

} // namespace korvane
