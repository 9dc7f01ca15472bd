// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// rsyslogd as a real receiver: in the foreground with a private configuration on 127.0.0.1, over
// UDP, TCP (both framings on one port) or TLS with the gtls driver, storing every message through
// a template of the test's choice.

#include "e2ekit.h"

#include <QStandardPaths>

namespace korvane::e2e {

enum class RsyslogInput
{
    Udp,
    Tcp,
    Tls
};

// What rsyslog read of each message: "host|tag|severity|facility|msg".
inline const QString parsedFields = QStringLiteral("%hostname%|%syslogtag%|%syslogseverity%|%syslogfacility%|%msg%");
// The message exactly as it came.
inline const QString rawMessage = QStringLiteral("%rawmsg%");

// The path of rsyslogd, or "" when it is not installed.
inline QString rsyslogdPath()
{
    QString path = QStandardPaths::findExecutable(QStringLiteral("rsyslogd"));
    if (path.isEmpty()) {
        path = QStandardPaths::findExecutable(QStringLiteral("rsyslogd"), {QStringLiteral("/usr/sbin")});
    }
    return path;
}

class Rsyslog
{
public:
    struct Tls
    {
        QString caFile;
        QString certFile;
        QString keyFile;
    };

    Rsyslog(const QString& program, const QString& folder, quint16 port, RsyslogInput input = RsyslogInput::Udp,
            const QString& fields = rawMessage, const Tls& tls = {})
        : m_program(program), m_folder(folder), m_port(port), m_input(input)
    {
        QDir(folder).mkpath(QStringLiteral("work"));
        QString global = QStringLiteral("workDirectory=\"%1/work\"").arg(folder);
        QString module;
        QString listener;
        switch (input) {
        case RsyslogInput::Udp:
            module = QStringLiteral("module(load=\"imudp\")\n");
            listener = QStringLiteral("input(type=\"imudp\" address=\"127.0.0.1\" port=\"%1\" ruleset=\"k\" "
                                      "rcvbufSize=\"8m\")\n")
                           .arg(port);
            break;
        case RsyslogInput::Tls:
            global += QStringLiteral(" DefaultNetstreamDriver=\"gtls\" DefaultNetstreamDriverCAFile=\"%1\" "
                                     "DefaultNetstreamDriverCertFile=\"%2\" DefaultNetstreamDriverKeyFile=\"%3\"")
                          .arg(tls.caFile, tls.certFile, tls.keyFile);
            module = QStringLiteral("module(load=\"imtcp\" StreamDriver.Name=\"gtls\" StreamDriver.Mode=\"1\" "
                                    "StreamDriver.AuthMode=\"anon\")\n");
            listener =
                QStringLiteral("input(type=\"imtcp\" address=\"127.0.0.1\" port=\"%1\" ruleset=\"k\")\n").arg(port);
            break;
        case RsyslogInput::Tcp:
            module = QStringLiteral("module(load=\"imtcp\")\n");
            listener =
                QStringLiteral("input(type=\"imtcp\" address=\"127.0.0.1\" port=\"%1\" ruleset=\"k\")\n").arg(port);
            break;
        }
        QFile conf(configPath());
        if (conf.open(QIODevice::WriteOnly)) {
            conf.write(QStringLiteral("global(%1)\n%2"
                                      "template(name=\"T\" type=\"string\" string=\"%3\\n\")\n"
                                      "ruleset(name=\"k\") { action(type=\"omfile\" file=\"%4\" template=\"T\") }\n"
                                      "%5")
                           .arg(global, module, fields, outPath(), listener)
                           .toUtf8());
        }
    }

    ~Rsyslog() { stop(); }
    Rsyslog(const Rsyslog&) = delete;
    Rsyslog& operator=(const Rsyslog&) = delete;

    QString configPath() const { return m_folder + QStringLiteral("/rsyslog.conf"); }
    QString outPath() const { return m_folder + QStringLiteral("/out.log"); }
    quint16 port() const { return m_port; }

    // rsyslogd's own check of the configuration.
    ToolResult check() const
    {
        return runTool(m_program, {QStringLiteral("-N1"), QStringLiteral("-f"), configPath()},
                       QProcessEnvironment::systemEnvironment());
    }

    bool start()
    {
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(m_folder + QStringLiteral("/rsyslogd.log"), QIODevice::Append);
        m_process.setStandardErrorFile(m_folder + QStringLiteral("/rsyslogd.log"), QIODevice::Append);
        m_process.start(m_program, {QStringLiteral("-n"), QStringLiteral("-f"), configPath(), QStringLiteral("-i"),
                                    m_folder + QStringLiteral("/rsyslogd.pid")});
        return m_process.waitForStarted(toolTimeoutMs);
    }

    // Until rsyslogd listens: UDP probes until one is stored; for TCP and TLS, until a connection
    // is accepted (a probe would need TLS of its own).
    bool waitUntilReady(int timeoutMs)
    {
        const bool ready = waitUntil([&] { return m_process.state() != QProcess::Running || probe(); }, timeoutMs, 100);
        return ready && m_process.state() == QProcess::Running;
    }

    // The stored lines, probes left out.
    QList<QByteArray> lines() const
    {
        QList<QByteArray> kept;
        QFile file(outPath());
        const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        for (const QByteArray& line : text.split('\n')) {
            if (!line.isEmpty() && !line.contains(probeText)) {
                kept.append(line);
            }
        }
        return kept;
    }

    QString log() const
    {
        QFile file(m_folder + QStringLiteral("/rsyslogd.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

    // Ends it with SIGTERM; true when it ended by itself.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning) {
            return true;
        }
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        if (m_process.waitForFinished(toolTimeoutMs)) {
            return true;
        }
        m_process.kill();
        m_process.waitForFinished(5000);
        return false;
    }

private:
    static constexpr const char* probeText = "korvane-e2e-probe";

    bool probe()
    {
        const bool udp = m_input == RsyslogInput::Udp;
        const int fd = ::socket(AF_INET, (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return false;
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
        if (connected && udp) {
            ::send(fd, probeText, std::strlen(probeText), 0);
        }
        ::close(fd);
        if (!udp) {
            return connected;
        }
        QFile file(outPath());
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(probeText);
    }

    QString m_program;
    QString m_folder;
    quint16 m_port;
    RsyslogInput m_input;
    QProcess m_process;
};

// An rsyslogd that listens, on a port that was free; another test may take a free port between
// the probe and rsyslogd's bind, so a few ports are tried. Null (and `why` set) when none works.
inline std::unique_ptr<Rsyslog> startRsyslog(const QString& program, const QString& root, RsyslogInput input,
                                             const QString& fields, const Rsyslog::Tls& tls, QString& why)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const quint16 port = freeUdpPort(); // a TCP port of the same number is as likely free
        const QString folder = root + QStringLiteral("/rsyslog%1").arg(attempt);
        auto rsyslog = std::make_unique<Rsyslog>(program, folder, port, input, fields, tls);
        const ToolResult checked = rsyslog->check();
        if (!checked.ok()) {
            why = QString::fromLocal8Bit(checked.err);
            return nullptr;
        }
        if (rsyslog->start() && rsyslog->waitUntilReady(30000)) {
            return rsyslog;
        }
        why = rsyslog->log();
    }
    return nullptr;
}

} // namespace korvane::e2e
