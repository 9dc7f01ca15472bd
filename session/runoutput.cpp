// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/runoutput.h"

#include <filesystem>
#include <system_error>

namespace korvane {

namespace {

// A sink's failure with the file or the address it concerns in front.
Failure naming(const QString& where, const Result<>& failed)
{
    return {QStringLiteral("%1: %2").arg(where, QString::fromStdString(failed.reason())).toStdString(),
            failed.systemError()};
}

} // namespace

bool RunOutput::fileExists()
{
    std::error_code ec;
    return std::filesystem::exists(kFileName, ec);
}

Result<> RunOutput::prepare(const RunConfig& config, FileSink::Mode mode)
{
    m_kind = config.output;
    m_named.target = &chosen();
    m_named.name.clear();
    if (m_kind == OutputKind::Tcp || m_kind == OutputKind::Tls) {
        const QString host = QString::fromStdString(config.host);
        m_destination = QStringLiteral("%1:%2").arg(host).arg(config.port);
        std::optional<TlsSettings> tls;
        if (m_kind == OutputKind::Tls) {
            tls = TlsSettings{QString::fromStdString(config.tlsCaFile), QString::fromStdString(config.tlsCertFile),
                              QString::fromStdString(config.tlsKeyFile), QString::fromStdString(config.tlsPeerName)};
        }
        return m_stream.start(host, config.port, config.framing, tls); // it names the address itself
    }
    if (m_kind == OutputKind::Udp) {
        const QString host = QString::fromStdString(config.host);
        m_destination = QStringLiteral("%1:%2").arg(host).arg(config.port);
        m_named.name = QStringLiteral("UDP %1").arg(m_destination).toStdString();
        if (const Result<> configured = m_udp.configure(host, config.port); !configured) {
            return naming(QStringLiteral("UDP ") + m_destination, configured);
        }
        return {};
    }
    m_destination = QString::fromLatin1(kFileName);
    m_named.name = kFileName;
    if (const Result<> opened = m_file.open(kFileName, mode); !opened) {
        return naming(m_destination, opened);
    }
    return {};
}

LineSink& RunOutput::chosen()
{
    switch (m_kind) {
    case OutputKind::Udp:
        return m_udp;
    case OutputKind::Tcp:
    case OutputKind::Tls:
        return m_stream;
    case OutputKind::File:
        break;
    }
    return m_file;
}

Failure RunOutput::NamingSink::named(const Failure& failure) const
{
    if (name.empty()) {
        return failure;
    }
    return {name + ": " + failure.reason, failure.systemError};
}

SinkResult RunOutput::NamingSink::write(std::string_view line)
{
    SinkResult result = target->write(line);
    return result ? result : SinkResult(named(result.failure()));
}

FlushResult RunOutput::NamingSink::flush()
{
    FlushResult result = target->flush();
    return result ? result : FlushResult(named(result.failure()));
}

FlushResult RunOutput::NamingSink::flushAndWait()
{
    FlushResult result = target->flushAndWait();
    return result ? result : FlushResult(named(result.failure()));
}

} // namespace korvane
