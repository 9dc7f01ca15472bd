// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Korvane feeding rsyslog over TCP and TLS with standard syslog headers: rsyslog files every line
// under the right host, severity and facility, a CA that does not vouch for the receiver gets it
// nothing, and a receiver restarted during a run gets lines again without a click.
#include "rsyslogkit.h"
#include "testpki.h"

using namespace korvane::e2e;

Q_DECLARE_METATYPE(korvane::e2e::RsyslogInput)

namespace {

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

QTEST_GUILESS_MAIN(E2eStream)
#include "e2e_stream.moc"
