#include "session/runoutput.h"

#include <filesystem>
#include <system_error>

namespace korvane {

bool RunOutput::fileExists()
{
    std::error_code ec;
    return std::filesystem::exists(kFileName, ec);
}

QString RunOutput::prepare(const RunConfig& config, FileSink::Mode mode)
{
    m_kind = config.output;
    if (m_kind == OutputKind::Tcp || m_kind == OutputKind::Tls) {
        const QString host = QString::fromStdString(config.host);
        m_destination = QStringLiteral("%1:%2").arg(host).arg(config.port);
        std::optional<TlsSettings> tls;
        if (m_kind == OutputKind::Tls) {
            tls = TlsSettings{QString::fromStdString(config.tlsCaFile), QString::fromStdString(config.tlsCertFile),
                              QString::fromStdString(config.tlsKeyFile), QString::fromStdString(config.tlsPeerName)};
        }
        return m_stream.start(host, config.port, config.framing, tls);
    }
    if (m_kind == OutputKind::Udp) {
        const QString host = QString::fromStdString(config.host);
        m_destination = QStringLiteral("%1:%2").arg(host).arg(config.port);
        if (!m_udp.configure(host, config.port)) {
            return QStringLiteral("UDP %1: %2").arg(m_destination, m_udp.error());
        }
        return {};
    }
    m_destination = QString::fromLatin1(kFileName);
    if (!m_file.open(kFileName, mode)) {
        return QStringLiteral("%1: %2").arg(m_destination, QString::fromStdString(m_file.error()));
    }
    return {};
}

LineSink& RunOutput::sink()
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

} // namespace korvane
