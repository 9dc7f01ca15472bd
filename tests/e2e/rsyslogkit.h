// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// rsyslogd as a real receiver: in the foreground with a private configuration on 127.0.0.1, with
// one or more listeners over UDP, TCP (both framings on one port), TLS with the gtls driver or RELP,
// each storing every message through a template of the test's choice in a file of its own.

#include "receiverkit.h"

#include <QStandardPaths>

namespace korvane::e2e {

using RsyslogInput = Transport;

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

struct RsyslogListener
{
    RsyslogInput input = RsyslogInput::Udp;
    QString fields = rawMessage;
    QString receiveBuffer = QStringLiteral("8m"); // imudp's socket buffer
};

class Rsyslog
{
public:
    struct Tls
    {
        QString caFile;
        QString certFile;
        QString keyFile;
    };

    Rsyslog(const QString& program, const QString& folder, const QList<RsyslogListener>& listeners,
            const QList<quint16>& ports, const Tls& tls = {})
        : m_program(program), m_folder(folder), m_listeners(listeners), m_ports(ports)
    {
        QDir(folder).mkpath(QStringLiteral("work"));
        QString text = QStringLiteral("global(workDirectory=\"%1/work\")\n").arg(folder);
        // Only the modules in use: rsyslogd refuses a module without listeners.
        const auto uses = [&](RsyslogInput input) {
            return std::any_of(listeners.begin(), listeners.end(),
                               [input](const RsyslogListener& l) { return l.input == input; });
        };
        if (uses(RsyslogInput::Udp)) {
            text += QStringLiteral("module(load=\"imudp\")\n");
        }
        if (uses(RsyslogInput::Tcp) || uses(RsyslogInput::Tls)) {
            text += QStringLiteral("module(load=\"imtcp\")\n");
        }
        if (uses(RsyslogInput::Relp)) {
            text += QStringLiteral("module(load=\"imrelp\")\n");
        }
        for (qsizetype i = 0; i < listeners.size(); ++i) {
            const RsyslogListener& l = listeners[i];
            text += QStringLiteral("template(name=\"t%1\" type=\"string\" string=\"%2\\n\")\n"
                                   "ruleset(name=\"k%1\") { action(type=\"omfile\" file=\"%3\" template=\"t%1\") }\n")
                        .arg(i)
                        .arg(l.fields, outPath(i));
            const QString common =
                QStringLiteral("address=\"127.0.0.1\" port=\"%1\" ruleset=\"k%2\"").arg(ports[i]).arg(i);
            switch (l.input) {
            case RsyslogInput::Udp:
                text += QStringLiteral("input(type=\"imudp\" %1 rcvbufSize=\"%2\")\n").arg(common, l.receiveBuffer);
                break;
            case RsyslogInput::Tcp:
                text += QStringLiteral("input(type=\"imtcp\" %1)\n").arg(common);
                break;
            case RsyslogInput::Tls:
                text += QStringLiteral("input(type=\"imtcp\" %1 streamDriver.name=\"gtls\" streamDriver.mode=\"1\" "
                                       "streamDriver.authMode=\"anon\" streamDriver.CAFile=\"%2\" "
                                       "streamDriver.CertFile=\"%3\" streamDriver.KeyFile=\"%4\")\n")
                            .arg(common, tls.caFile, tls.certFile, tls.keyFile);
                break;
            case RsyslogInput::Relp:
                text += QStringLiteral("input(type=\"imrelp\" %1)\n").arg(common);
                break;
            }
        }
        QFile conf(configPath());
        if (conf.open(QIODevice::WriteOnly)) {
            conf.write(text.toUtf8());
        }
    }

    Rsyslog(const Rsyslog&) = delete;
    Rsyslog& operator=(const Rsyslog&) = delete;

    QString configPath() const { return m_folder + QStringLiteral("/rsyslog.conf"); }
    QString outPath(qsizetype listener = 0) const { return m_folder + QStringLiteral("/out%1.log").arg(listener); }
    quint16 port(qsizetype listener = 0) const { return m_ports[listener]; }

    // rsyslogd's own check of the configuration.
    ToolResult check() const
    {
        return runTool(m_program, {QStringLiteral("-N1"), QStringLiteral("-f"), configPath()},
                       QProcessEnvironment::systemEnvironment());
    }

    bool start()
    {
        return m_daemon.start(m_program,
                              {QStringLiteral("-n"), QStringLiteral("-f"), configPath(), QStringLiteral("-i"),
                               m_folder + QStringLiteral("/rsyslogd.pid")},
                              QProcessEnvironment::systemEnvironment(), m_folder + QStringLiteral("/rsyslogd.log"));
    }

    // Until every listener takes what is sent to it.
    bool waitUntilReady(int timeoutMs)
    {
        for (qsizetype i = 0; i < m_listeners.size(); ++i) {
            const bool ready = waitUntil(
                [&] { return !m_daemon.running() || probeListener(m_listeners[i].input, m_ports[i], outPath(i)); },
                timeoutMs, 100);
            if (!ready || !m_daemon.running()) {
                return false;
            }
        }
        return true;
    }

    // The lines a listener stored, probes left out.
    QList<QByteArray> lines(qsizetype listener = 0) const { return storedLines(outPath(listener)); }
    QString log() const { return m_daemon.log(); }
    bool stop() { return m_daemon.stop(); }

private:
    QString m_program;
    QString m_folder;
    QList<RsyslogListener> m_listeners;
    QList<quint16> m_ports;
    Daemon m_daemon;
};

// An rsyslogd whose listeners all listen, on ports that were free; another test may take a free
// port between the probe and rsyslogd's bind, so a few sets of ports are tried. Null (and `why`
// set) when none works.
inline std::unique_ptr<Rsyslog> startRsyslog(const QString& program, const QString& root,
                                             const QList<RsyslogListener>& listeners, const Rsyslog::Tls& tls,
                                             QString& why)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QString folder = root + QStringLiteral("/rsyslog%1").arg(attempt);
        auto rsyslog = std::make_unique<Rsyslog>(program, folder, listeners, freePorts(listeners.size()), tls);
        const ToolResult checked = rsyslog->check();
        if (!checked.ok()) {
            why = QString::fromLocal8Bit(checked.err);
            return nullptr;
        }
        if (rsyslog->start() && rsyslog->waitUntilReady(30000)) {
            return rsyslog;
        }
        rsyslog->stop();
        why = rsyslog->log();
    }
    return nullptr;
}

// The same with one listener.
inline std::unique_ptr<Rsyslog> startRsyslog(const QString& program, const QString& root, RsyslogInput input,
                                             const QString& fields, const Rsyslog::Tls& tls, QString& why)
{
    return startRsyslog(program, root, {RsyslogListener{input, fields}}, tls, why);
}

} // namespace korvane::e2e
