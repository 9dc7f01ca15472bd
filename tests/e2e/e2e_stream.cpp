// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Korvane feeding rsyslog over TCP and TLS with standard syslog headers: rsyslog files every line
// under the right host, severity and facility, a CA that does not vouch for the receiver gets it
// nothing, a receiver restarted during a run gets lines again without a click, a receiver that never
// answers the TLS handshake does not hold korvane-cli up, and a client key that is not the
// certificate's is refused before any line.
#include "rsyslogkit.h"
#include "testpki.h"

using namespace korvane::e2e;

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

// A TCP listener on 127.0.0.1 that accepts every connection and never sends a byte: a TLS client
// waits for the server's half of the handshake for ever.
class SilentListener
{
public:
    SilentListener()
    {
        for (int attempt = 0; attempt < 500 && m_fd < 0; ++attempt) {
            m_port = static_cast<quint16>(QRandomGenerator::global()->bounded(lowestTestPort, highestTestPort));
            m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(m_port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                ::listen(m_fd, 16) != 0) {
                ::close(m_fd);
                m_fd = -1;
            }
        }
        if (m_fd >= 0) {
            m_thread = std::thread([this] { accept(); });
        }
    }

    ~SilentListener()
    {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        for (const int fd : m_accepted) {
            ::close(fd);
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    bool ok() const { return m_fd >= 0; }
    quint16 port() const { return m_port; }

    // When each connection was accepted.
    QList<SteadyTime> connections() const
    {
        std::lock_guard lock(m_mutex);
        return m_times;
    }

private:
    void accept()
    {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                continue;
            }
            const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            std::lock_guard lock(m_mutex);
            m_accepted.append(fd); // kept open and unread: the client hears nothing
            m_times.append(std::chrono::steady_clock::now());
        }
    }

    int m_fd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QList<int> m_accepted;
    QList<SteadyTime> m_times;
};

// Templates whose rewriting draws nothing that shows, with their levels.
const QList<QByteArray> messages = {
    "%PIX-6-611101: User authentication succeeded: Uname: 'PIX_User'",
    "%PIX-4-733100: Object drop rate exceeded for session 10 after 10 seconds",
    "%PIX-2-106001: Inbound TCP connection denied, flags SYN on interface outside",
    "%PIX-7-711001: debug trace from the lab",
};

} // namespace

class E2eStream : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rsyslogFilesEveryLineRight_data();
    void rsyslogFilesEveryLineRight();
    void untrustedReceiverGetsNothing();
    void restartedReceiverGetsLinesAgain();
    void unansweredHandshakeIsAbandonedAndTriedAgain();
    void clientKeyOfAnotherCertificateIsRefusedAtOnce();

private:
    std::unique_ptr<QTemporaryDir> m_pkiFolder;
    std::unique_ptr<korvane::test::TestPki> m_pki;
    QString m_rsyslogd;
};

void E2eStream::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    m_rsyslogd = rsyslogdPath();
    QVERIFY2(!m_rsyslogd.isEmpty(), "rsyslogd is not installed (scripts/test installs rsyslog)");
    m_pkiFolder = std::make_unique<QTemporaryDir>();
    m_pki = std::make_unique<korvane::test::TestPki>(m_pkiFolder->path());
    QVERIFY2(m_pki->ok(), qPrintable(m_pki->error()));
}

void E2eStream::rsyslogFilesEveryLineRight_data()
{
    QTest::addColumn<RsyslogInput>("input");
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<bool>("rfc5424");

    QTest::newRow("TCP, line feeds, RFC 3164")
        << RsyslogInput::Tcp << Keys{{"Protocol", "TCP"}, {"SyslogFormat", "1"}} << false;
    QTest::newRow("TCP, octet counting, RFC 5424")
        << RsyslogInput::Tcp << Keys{{"Protocol", "tcp"}, {"TCP_Framing", "1"}, {"SyslogFormat", "2"}} << true;
    QTest::newRow("TLS, RFC 5424, facility local0")
        << RsyslogInput::Tls << Keys{{"Protocol", "TLS"}, {"SyslogFormat", "2"}, {"Facility", "16"}} << true;
}

void E2eStream::rsyslogFilesEveryLineRight()
{
    QFETCH(RsyslogInput, input);
    QFETCH(Keys, keys);
    QFETCH(bool, rfc5424);

    Workspace ws;
    QString why;
    const Rsyslog::Tls tls{m_pki->caFile(), m_pki->serverCertFile(), m_pki->serverKeyFile()};
    const auto rsyslog = startRsyslog(m_rsyslogd, ws.root(), input, parsedFields, tls, why);
    QVERIFY2(rsyslog, qPrintable(why));

    keys += Keys{{"SyslogFile", "1"}, {"HostIP", "127.0.0.1"}, {"UDP_Port_Syslog", QByteArray::number(rsyslog->port())},
                 {"Delay", "0.001"},  {"onetime", "1"},        {"TLS_CAFile", m_pki->caFile().toUtf8()}};
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys(keys))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(messages)));
    Cli cli(ws.folder(), {});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    QVERIFY2(waitUntil([&] { return rsyslog->lines().size() >= messages.size(); }, 10000), qPrintable(rsyslog->log()));
    QVERIFY(rsyslog->stop());

    const QByteArray facility = keys.contains({"Facility", "16"}) ? "16" : "20";
    const QList<QByteArray> stored = rsyslog->lines();
    QCOMPARE(stored.size(), messages.size());
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QByteArray& message = messages[i];
        const QByteArray severity = message.mid(5, 1);
        // RFC 3164: rsyslog takes the message's own tag as the tag, the rest as the text.
        const QByteArray tagAndText = rfc5424 ? "PIX|" + severity + "|" + facility + "|" + message
                                              : message.left(message.indexOf(' ')) + "|" + severity + "|" + facility +
                                                    "|" + message.mid(message.indexOf(' '));
        QCOMPARE(stored[i], "Pix-Inside-Demo|" + tagAndText);
    }
}

void E2eStream::untrustedReceiverGetsNothing()
{
    Workspace ws;
    QString why;
    const Rsyslog::Tls tls{m_pki->caFile(), m_pki->serverCertFile(), m_pki->serverKeyFile()};
    const auto rsyslog = startRsyslog(m_rsyslogd, ws.root(), RsyslogInput::Tls, parsedFields, tls, why);
    QVERIFY2(rsyslog, qPrintable(why));

    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"HostIP", "127.0.0.1"},
                                           {"UDP_Port_Syslog", QByteArray::number(rsyslog->port())},
                                           {"Protocol", "TLS"},
                                           {"TLS_CAFile", m_pki->otherCaFile().toUtf8()},
                                           {"Delay", "0.001"},
                                           {"onetime", "1"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(messages)));
    Cli cli(ws.folder(), {});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished && r.exitCode == 1, qPrintable(r.errors));
    QVERIFY2(r.errors.contains(QStringLiteral("the run failed: TLS 127.0.0.1:%1: ").arg(rsyslog->port())),
             qPrintable(r.errors));
    QTest::qWait(500);
    QVERIFY(rsyslog->lines().isEmpty());
}

void E2eStream::restartedReceiverGetsLinesAgain()
{
    XServer server;
    QVERIFY2(server.ok(), qPrintable(server.error()));
    Workspace ws;
    QString why;
    const auto rsyslog = startRsyslog(m_rsyslogd, ws.root(), RsyslogInput::Tcp, rawMessage, {}, why);
    QVERIFY2(rsyslog, qPrintable(why));
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"HostIP", "127.0.0.1"},
                                           {"UDP_Port_Syslog", QByteArray::number(rsyslog->port())},
                                           {"Protocol", "TCP"},
                                           {"SyslogFormat", "1"},
                                           {"Delay", "0.02"},
                                           {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(messages)));

    Desktop desktop(server);
    Korvane korvane(ws, server);
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
    QVERIFY(desktop.openFullView(window));
    QVERIFY(desktop.click(window, client::play));
    QVERIFY2(waitUntil([&] { return rsyslog->lines().size() >= 10; }, 30000), qPrintable(korvane.log()));

    QVERIFY(rsyslog->stop());
    const qsizetype before = rsyslog->lines().size();
    QTest::qWait(1000);
    QVERIFY(rsyslog->start());
    QVERIFY2(waitUntil([&] { return rsyslog->lines().size() >= before + 10; }, 30000),
             qPrintable(rsyslog->log() + korvane.log()));
    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY(korvane.waitForExit());
    QCOMPARE(korvane.exitCode(), 0);
    QVERIFY(rsyslog->stop());

    // Every stored line is whole: a header and one of the messages, nothing cut or run together.
    const QRegularExpression whole(
        QStringLiteral("^<\\d+>[A-Z][a-z]{2} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d Pix-Inside-Demo (.*)$"));
    for (const QByteArray& line : rsyslog->lines()) {
        const QRegularExpressionMatch match = whole.match(QString::fromLatin1(line));
        QVERIFY2(match.hasMatch() && messages.contains(match.captured(1).toLatin1()), line.constData());
    }
}

// The handshake is given up after 10 s and the connection made again; the run still ends when asked,
// with its lines counted as not delivered.
void E2eStream::unansweredHandshakeIsAbandonedAndTriedAgain()
{
    SilentListener receiver;
    QVERIFY(receiver.ok());
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"HostIP", "127.0.0.1"},
                                           {"UDP_Port_Syslog", QByteArray::number(receiver.port())},
                                           {"Protocol", "TLS"},
                                           {"TLS_CAFile", m_pki->caFile().toUtf8()},
                                           {"Delay", "0.5"},
                                           {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(messages)));
    Cli cli(ws.folder(), {QStringLiteral("--quiet")});
    QVERIFY(waitUntil([&] { return receiver.connections().size() >= 1; }, 10000));
    QVERIFY2(waitUntil([&] { return receiver.connections().size() >= 2; }, 25000),
             "korvane-cli still waits for the first handshake after 25 s");
    const QList<SteadyTime> at = receiver.connections();
    const double waited = std::chrono::duration<double>(at[1] - at[0]).count();
    QVERIFY2(waited >= 9.0, qPrintable(QStringLiteral("the handshake was given up after %1 s").arg(waited)));

    cli.signal(SIGTERM);
    const CliResult r = cli.wait(20000);
    QVERIFY2(r.finished, "korvane-cli did not end when asked");
    QVERIFY2(r.exitCode == 3, qPrintable(QStringLiteral("exit status %1: %2").arg(r.exitCode).arg(r.errors)));
}

// A certificate and a key that do not belong together cannot make a handshake: the run fails before
// its first line and the reason names both files.
void E2eStream::clientKeyOfAnotherCertificateIsRefusedAtOnce()
{
    SilentListener receiver;
    QVERIFY(receiver.ok());
    Workspace ws;
    const QString cert = ws.path(QStringLiteral("client.pem"));
    const QString key = ws.path(QStringLiteral("client.key"));
    QVERIFY(QFile::copy(m_pki->caFile(), cert));       // a certificate ...
    QVERIFY(QFile::copy(m_pki->serverKeyFile(), key)); // ... and the key of another
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"HostIP", "127.0.0.1"},
                                           {"UDP_Port_Syslog", QByteArray::number(receiver.port())},
                                           {"Protocol", "TLS"},
                                           {"TLS_CAFile", m_pki->caFile().toUtf8()},
                                           {"TLS_CertFile", cert.toUtf8()},
                                           {"TLS_KeyFile", key.toUtf8()},
                                           {"Delay", "0.001"},
                                           {"onetime", "1"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(messages)));
    Cli cli(ws.folder(), {QStringLiteral("--quiet")});
    const CliResult r = cli.wait(5000);
    QVERIFY2(r.finished, "korvane-cli still runs after 5 s");
    QVERIFY2(r.exitCode == 1, qPrintable(QStringLiteral("exit status %1: %2").arg(r.exitCode).arg(r.errors)));
    QVERIFY2(r.errors.contains(QStringLiteral("client.pem")) && r.errors.contains(QStringLiteral("client.key")),
             qPrintable(r.errors));
}

QTEST_GUILESS_MAIN(E2eStream)
#include "e2e_stream.moc"
