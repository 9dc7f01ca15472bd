// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The real program feeding a real syslog receiver: rsyslogd in the foreground with a private
// configuration, storing each datagram exactly as it came.

#include "rsyslogkit.h"

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
    m_rsyslogd = rsyslogdPath();
    if (m_rsyslogd.isEmpty()) {
        QSKIP("rsyslogd is not installed (the Debian package rsyslog; scripts/test installs it)");
    }
    m_server = std::make_unique<XServer>();
    QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
}

void E2eRsyslog::rsyslogStoresEveryLineAsSent()
{
    Workspace ws;
    QVERIFY(ws.ok());
    QString why;
    const std::unique_ptr<Rsyslog> rsyslog =
        startRsyslog(m_rsyslogd, ws.root(), RsyslogInput::Udp, rawMessage, {}, why);
    QVERIFY2(rsyslog, qPrintable(why));
    const quint16 port = rsyslog->port();

    QList<QByteArray> templates;
    QList<QByteArray> messages;
    for (const auto& [line, message] : templatesAndMessages) {
        templates.append(line);
        if (!message.isEmpty()) {
            messages.append(message);
        }
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
