// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// syslog-ng as a second real receiver, unpacked by scripts/fetch-syslog-ng (never installed: it
// conflicts with rsyslog): in the foreground with a private configuration on 127.0.0.1, one source
// per listener storing each message whole ($MSG of a source that does not parse), and for the
// listeners that ask for it what the configuration library's cisco-parser() reads of it.

#include "receiverkit.h"

namespace korvane::e2e {

// The sources of syslog-ng, by the framing they read.
enum class SyslogNgSource
{
    Udp,       // network(), one message per datagram
    TcpLines,  // network() over TCP: one message per line
    TcpOctets, // syslog() over TCP: octet counting
    Tls        // syslog() over TLS: octet counting
};

struct SyslogNgListener
{
    SyslogNgSource source = SyslogNgSource::Udp;
    bool cisco = false; // also store ".cisco.facility|.cisco.severity|.cisco.mnemonic" of each message
};

// Where scripts/fetch-syslog-ng unpacked it: KORVANE_SYSLOGNG_DIR, or build/syslog-ng of the sources.
inline QString syslogNgFolder()
{
    const QString dir = qEnvironmentVariable("KORVANE_SYSLOGNG_DIR");
    return dir.isEmpty() ? qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/build/syslog-ng") : dir;
}

class SyslogNg
{
public:
    struct Tls
    {
        QString certFile;
        QString keyFile;
    };

    SyslogNg(const QString& unpacked, const QString& folder, const QList<SyslogNgListener>& listeners,
             const QList<quint16>& ports, const Tls& tls)
        : m_unpacked(unpacked), m_folder(folder), m_listeners(listeners), m_ports(ports)
    {
        QDir().mkpath(folder);
        QString text =
            QStringLiteral("@version: 3.38\n@include \"scl/cisco/plugin.conf\"\noptions { stats-freq(0); };\n");
        for (qsizetype i = 0; i < listeners.size(); ++i) {
            const QString at = QStringLiteral("ip(127.0.0.1) port(%1) flags(no-parse)").arg(ports[i]);
            QString source;
            switch (listeners[i].source) {
            case SyslogNgSource::Udp:
                source = QStringLiteral("network(%1 transport(udp) so-rcvbuf(8388608))").arg(at);
                break;
            case SyslogNgSource::TcpLines:
                source = QStringLiteral("network(%1 transport(tcp))").arg(at);
                break;
            case SyslogNgSource::TcpOctets:
                source = QStringLiteral("syslog(%1 transport(tcp))").arg(at);
                break;
            case SyslogNgSource::Tls:
                source = QStringLiteral("syslog(%1 transport(tls) tls(key-file(\"%2\") cert-file(\"%3\") "
                                        "peer-verify(optional-untrusted)))")
                             .arg(at, tls.keyFile, tls.certFile);
                break;
            }
            text += QStringLiteral("source s%1 { %2; };\n"
                                   "destination d%1 { file(\"%3\" template(\"${MSG}\\n\")); };\n"
                                   "log { source(s%1); destination(d%1); };\n")
                        .arg(i)
                        .arg(source, outPath(i));
            if (listeners[i].cisco) {
                text += QStringLiteral("destination c%1 { file(\"%2\" template(\"${.cisco.facility}|"
                                       "${.cisco.severity}|${.cisco.mnemonic}\\n\")); };\n"
                                       "log { source(s%1); parser { cisco-parser(); }; destination(c%1); };\n")
                            .arg(i)
                            .arg(ciscoPath(i));
            }
        }
        QFile conf(configPath());
        if (conf.open(QIODevice::WriteOnly)) {
            conf.write(text.toUtf8());
        }
    }

    SyslogNg(const SyslogNg&) = delete;
    SyslogNg& operator=(const SyslogNg&) = delete;

    QString program() const { return m_unpacked + QStringLiteral("/usr/sbin/syslog-ng"); }
    QString configPath() const { return m_folder + QStringLiteral("/syslog-ng.conf"); }
    QString outPath(qsizetype listener) const { return m_folder + QStringLiteral("/out%1.log").arg(listener); }
    QString ciscoPath(qsizetype listener) const { return m_folder + QStringLiteral("/cisco%1.log").arg(listener); }
    quint16 port(qsizetype listener) const { return m_ports[listener]; }

    // The unpacked libraries, and its modules and configuration library found under the prefix.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_LIBRARY_PATH"), m_unpacked + QStringLiteral("/usr/lib/x86_64-linux-gnu:") +
                                                          m_unpacked + QStringLiteral("/usr/lib/syslog-ng"));
        env.insert(QStringLiteral("SYSLOGNG_PREFIX"), m_unpacked + QStringLiteral("/usr"));
        return env;
    }

    ToolResult check() const
    {
        return runTool(program(), {QStringLiteral("--syntax-only"), QStringLiteral("--cfgfile=") + configPath()},
                       environment());
    }

    // Its state files in the test's folder, not the system's.
    bool start()
    {
        return m_daemon.start(program(),
                              {QStringLiteral("--foreground"), QStringLiteral("--stderr"), QStringLiteral("--no-caps"),
                               QStringLiteral("--cfgfile=") + configPath(),
                               QStringLiteral("--persist-file=") + m_folder + QStringLiteral("/persist"),
                               QStringLiteral("--pidfile=") + m_folder + QStringLiteral("/pid"),
                               QStringLiteral("--control=") + m_folder + QStringLiteral("/ctl")},
                              environment(), m_folder + QStringLiteral("/syslog-ng.log"));
    }

    bool waitUntilReady(int timeoutMs)
    {
        for (qsizetype i = 0; i < m_listeners.size(); ++i) {
            const Transport transport = m_listeners[i].source == SyslogNgSource::Udp ? Transport::Udp : Transport::Tcp;
            const bool ready =
                waitUntil([&] { return !m_daemon.running() || probeListener(transport, m_ports[i], outPath(i)); },
                          timeoutMs, 100);
            if (!ready || !m_daemon.running()) {
                return false;
            }
        }
        return true;
    }

    QList<QByteArray> lines(qsizetype listener) const { return storedLines(outPath(listener)); }
    QList<QByteArray> ciscoFields(qsizetype listener) const { return storedLines(ciscoPath(listener)); }
    QString log() const { return m_daemon.log(); }
    bool stop() { return m_daemon.stop(); }

private:
    QString m_unpacked;
    QString m_folder;
    QList<SyslogNgListener> m_listeners;
    QList<quint16> m_ports;
    Daemon m_daemon;
};

// A syslog-ng whose listeners all listen, on ports that were free (a few sets are tried, as another
// test may take a port meanwhile). Null (and `why` set) when none works.
inline std::unique_ptr<SyslogNg> startSyslogNg(const QString& unpacked, const QString& root,
                                               const QList<SyslogNgListener>& listeners, const SyslogNg::Tls& tls,
                                               QString& why)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QString folder = root + QStringLiteral("/syslog-ng%1").arg(attempt);
        auto syslogNg = std::make_unique<SyslogNg>(unpacked, folder, listeners, freePorts(listeners.size()), tls);
        const ToolResult checked = syslogNg->check();
        if (!checked.ok()) {
            why = QString::fromLocal8Bit(checked.out + checked.err);
            return nullptr;
        }
        if (syslogNg->start() && syslogNg->waitUntilReady(30000)) {
            return syslogNg;
        }
        syslogNg->stop();
        why = syslogNg->log();
    }
    return nullptr;
}

} // namespace korvane::e2e
