// The real program feeding a real syslog receiver: rsyslogd in the foreground with a private
// configuration, storing each datagram exactly as it came.

#include "e2ekit.h"

#include <QStandardPaths>

using namespace korvane::e2e;

namespace {

// Templates whose rewriting draws nothing that shows: the expected message is known to the letter.
const QList<std::pair<QByteArray, QByteArray>> templatesAndMessages = {
    {"%PIX-6-611101: User authentication succeeded: Uname: 'user'",
     "%PIX-6-611101: User authentication succeeded: Uname: 'PIX_User'"},
    {"%PIX-4-733100: Object drop rate exceeded for session session_num after num_seconds seconds",
     "%PIX-4-733100: Object drop rate exceeded for session 10 after 10 seconds"},
    {"%PIX-5-304001: gateway gaddr IP_addr accessed the policy on interface dec",
     "%PIX-5-304001: gateway gaddr 10.11.11.11 accessed the policy on interface Eth0"},
    {"%PIX-3-199011: Close on bad channel in process/fiber unknown", //
     "%PIX-3-199011: Close on bad channel in process/fiber unknown"},
    {"a note without a message tag is skipped", ""},
    {"%PIX-2-106001: Inbound TCP connection denied, flags SYN on interface outside",
     "%PIX-2-106001: Inbound TCP connection denied, flags SYN on interface outside"},
};

// rsyslogd in the foreground with a configuration of its own: UDP on 127.0.0.1, every message stored
// raw in out.log of the given folder.
class Rsyslog
{
public:
    Rsyslog(const QString& program, const QString& folder, quint16 port)
        : m_program(program), m_folder(folder), m_port(port)
    {
        QDir(folder).mkpath(QStringLiteral("work"));
        QFile conf(configPath());
        if (conf.open(QIODevice::WriteOnly)) {
            conf.write(QStringLiteral("global(workDirectory=\"%1/work\")\n"
                                      "module(load=\"imudp\")\n"
                                      "template(name=\"Raw\" type=\"string\" string=\"%rawmsg%\\n\")\n"
                                      "ruleset(name=\"k\") { action(type=\"omfile\" file=\"%1/out.log\" "
                                      "template=\"Raw\") }\n"
                                      "input(type=\"imudp\" address=\"127.0.0.1\" port=\"%2\" ruleset=\"k\" "
                                      "rcvbufSize=\"8m\")\n")
                           .arg(folder)
                           .arg(port)
                           .toUtf8());
        }
    }

    ~Rsyslog() { stop(); }

    QString configPath() const { return m_folder + QStringLiteral("/rsyslog.conf"); }
    QString outPath() const { return m_folder + QStringLiteral("/out.log"); }

    // rsyslogd's own check of the configuration.
    ToolResult check() const
    {
        return runTool(m_program, {QStringLiteral("-N1"), QStringLiteral("-f"), configPath()},
                       QProcessEnvironment::systemEnvironment());
    }

    bool start()
    {
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(m_folder + QStringLiteral("/rsyslogd.log"));
        m_process.setStandardErrorFile(m_folder + QStringLiteral("/rsyslogd.log"));
        m_process.start(m_program, {QStringLiteral("-n"), QStringLiteral("-f"), configPath(), QStringLiteral("-i"),
                                    m_folder + QStringLiteral("/rsyslogd.pid")});
        return m_process.waitForStarted(toolTimeoutMs);
    }

    // Sends probes until one is stored: then rsyslogd listens and writes.
    bool waitUntilStoring(int timeoutMs)
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const QByteArray probe = "korvane-e2e-probe";
        const bool stored = waitUntil(
            [&] {
                if (m_process.state() != QProcess::Running)
                    return true;
                ::sendto(fd, probe.constData(), size_t(probe.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                         sizeof to);
                return storedText().contains(probe);
            },
            timeoutMs, 100);
        ::close(fd);
        return stored && m_process.state() == QProcess::Running;
    }

    // The stored lines, probes left out.
    QList<QByteArray> lines() const
    {
        QList<QByteArray> kept;
        for (const QByteArray& line : storedText().split('\n')) {
            if (!line.isEmpty() && !line.startsWith("korvane-e2e-probe"))
                kept.append(line);
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
        if (m_process.state() == QProcess::NotRunning)
            return true;
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        if (m_process.waitForFinished(toolTimeoutMs))
            return true;
        m_process.kill();
        m_process.waitForFinished(5000);
        return false;
    }

private:
    QByteArray storedText() const
    {
        QFile file(outPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString m_program;
    QString m_folder;
    quint16 m_port;
    QProcess m_process;
};

} // namespace

class E2eRsyslog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rsyslogStoresEveryLineAsSent();

private:
    std::unique_ptr<XServer> m_server;
    QString m_rsyslogd;
};

void E2eRsyslog::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    m_rsyslogd = QStandardPaths::findExecutable(QStringLiteral("rsyslogd"));
    if (m_rsyslogd.isEmpty())
        m_rsyslogd = QStandardPaths::findExecutable(QStringLiteral("rsyslogd"), {QStringLiteral("/usr/sbin")});
    if (m_rsyslogd.isEmpty())
        QSKIP("rsyslogd is not installed (the Debian package rsyslog; scripts/test installs it)");
    m_server = std::make_unique<XServer>();
    QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
}

void E2eRsyslog::rsyslogStoresEveryLineAsSent()
{
    Workspace ws;
    QVERIFY(ws.ok());
    std::unique_ptr<Rsyslog> rsyslog;
    quint16 port = 0;
    // Another test may take the free port between the probe and rsyslogd's bind: then try another.
    for (int attempt = 0; attempt < 5 && !rsyslog; ++attempt) {
        port = freeUdpPort();
        QVERIFY(port != 0);
        const QString folder = ws.root() + QStringLiteral("/rsyslog%1").arg(attempt);
        rsyslog = std::make_unique<Rsyslog>(m_rsyslogd, folder, port);
        const ToolResult checked = rsyslog->check();
        QVERIFY2(checked.ok(), checked.err.constData());
        QVERIFY(rsyslog->start());
        if (!rsyslog->waitUntilStoring(30000)) {
            qWarning("rsyslogd did not store on port %u: %s", port, qPrintable(rsyslog->log()));
            rsyslog.reset();
        }
    }
    QVERIFY2(rsyslog, "rsyslogd could not be started on a free port");

    QList<QByteArray> templates;
    QList<QByteArray> messages;
    for (const auto& [line, message] : templatesAndMessages) {
        templates.append(line);
        if (!message.isEmpty())
            messages.append(message);
    }
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys({{"SyslogFile", "1"},
                                                                          {"HostIP", "127.0.0.1"},
                                                                          {"UDP_Port_Syslog", QByteArray::number(port)},
                                                                          {"Delay", "0.1"},
                                                                          {"onetime", "1"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(templates)));

    Desktop desktop(*m_server);
    Korvane korvane(ws, *m_server);
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
    QVERIFY(desktop.openFullView(window));
    QVERIFY(desktop.click(window, client::play));
    QVERIFY2(waitUntil([&] { return rsyslog->lines().size() >= messages.size(); }, 30000),
             qPrintable(rsyslog->log() + korvane.log()));
    QTest::qWait(1000);
    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY(korvane.waitForExit());
    QCOMPARE(korvane.exitCode(), 0);
    QVERIFY(rsyslog->stop());

    // rsyslog parses these lines its own way; the raw message is the datagram as korvane sent it.
    const QList<QByteArray> stored = rsyslog->lines();
    QCOMPARE(stored.size(), messages.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QByteArray& line = stored[i];
        // The header of date and time (20 characters) and two blanks, then the name and the message.
        QCOMPARE(line.mid(22), "Pix-Inside-Demo " + messages[i]);
        QVERIFY2(composedLinePattern().match(QString::fromLatin1(line)).hasMatch(), line.constData());
        const QDateTime stamped = headerTime(line);
        QVERIFY2(stamped.isValid() && qAbs(stamped.secsTo(QDateTime::currentDateTime())) <= 120, line.constData());
    }
}

QTEST_GUILESS_MAIN(E2eRsyslog)
#include "e2e_rsyslog.moc"
