// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The real programs feeding a real syslog receiver: rsyslogd in the foreground with a private
// configuration, started once with a listener per case. One pass of the shipped templates in each
// SyslogFormat over each transport arrives whole, line for line; real logs keep their own host and
// message tag; the window's datagrams are stored exactly as they came.

#include "rsyslogkit.h"
#include "testpki.h"

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
    void cleanupTestCase();
    void onePassArrivesWholeLineForLine_data();
    void onePassArrivesWholeLineForLine();
    void realLogsKeepTheirOwnHostAndTag();
    void rsyslogStoresEveryLineAsSent();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<korvane::test::TestPki> m_pki;
    std::unique_ptr<Rsyslog> m_rsyslog;
    int m_realLogsListener = 0;
    int m_windowListener = 0;
    QHash<int, qsizetype> m_seen; // the lines each listener held when its case was checked
};

void E2eRsyslog::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    const QString rsyslogd = rsyslogdPath();
    QVERIFY2(!rsyslogd.isEmpty(), "rsyslogd is not installed (the Debian package rsyslog; scripts/test installs it)");
    m_folder = std::make_unique<QTemporaryDir>();
    m_pki = std::make_unique<korvane::test::TestPki>(m_folder->path());
    QVERIFY2(m_pki->ok(), qPrintable(m_pki->error()));

    // One rsyslogd for all: a listener per case of a pass, then one for the real logs, one for the window.
    QList<RsyslogListener> listeners;
    for (const WireCase& c : wireCases()) {
        listeners.append({c.transport, rawMessage});
    }
    m_realLogsListener = static_cast<int>(listeners.size());
    listeners.append({RsyslogInput::Tcp, parsedFields});
    m_windowListener = static_cast<int>(listeners.size());
    listeners.append({RsyslogInput::Udp, rawMessage});
    QString why;
    m_rsyslog = startRsyslog(rsyslogd, m_folder->path(), listeners,
                             {m_pki->caFile(), m_pki->serverCertFile(), m_pki->serverKeyFile()}, why);
    QVERIFY2(m_rsyslog, qPrintable(why));
}

// Nothing came after a case was checked: each listener still holds exactly what its case saw.
void E2eRsyslog::cleanupTestCase()
{
    if (!m_rsyslog) {
        return;
    }
    QVERIFY(m_rsyslog->stop());
    for (auto it = m_seen.cbegin(); it != m_seen.cend(); ++it) {
        QCOMPARE(m_rsyslog->lines(it.key()).size(), it.value());
    }
}

void E2eRsyslog::onePassArrivesWholeLineForLine_data()
{
    addWireRows();
}

// Only Protocol is set, so each format goes with its default framing; rsyslog stores the message
// as it read it (without the framing), which must be the line of the same pass into GENERATE.TXT.
void E2eRsyslog::onePassArrivesWholeLineForLine()
{
    QFETCH(Transport, transport);
    QFETCH(int, format);
    QFETCH(int, listener);
    QList<QByteArray> sent;
    qsizetype kept = -1; // set once the listener held the whole pass
    const QString mismatch = checkOnePass(
        format, transport, m_rsyslog->port(listener), m_pki->caFile(), [&] { return m_rsyslog->lines(listener); },
        [&] { return m_rsyslog->log(); }, sent, kept);
    if (kept >= 0) {
        m_seen.insert(listener, kept);
    }
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
}

// A real log line already carries a header of its own ("Dec  6 04:47:51 10.1.1.1 %PIX-1-106021: ...");
// with an RFC 3164 header rsyslog must read the line's own host and message tag, not its date.
void E2eRsyslog::realLogsKeepTheirOwnHostAndTag()
{
    Workspace ws;
    const QList<QByteArray> source = textLines(shippedFile(QStringLiteral("KORVANE.TXT")));
    QVERIFY(!source.isEmpty());
    QVERIFY(ws.write(QStringLiteral("KORVANE.TXT"), crlfLines(source)));
    const quint16 port = m_rsyslog->port(m_realLogsListener);
    const CliResult r = networkPass(ws, passKeys(1, true), Transport::Tcp, port, {});
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    QVERIFY2(waitUntil([&] { return m_rsyslog->lines(m_realLogsListener).size() >= source.size(); }, 10000),
             qPrintable(m_rsyslog->log()));
    const QList<QByteArray> stored = m_rsyslog->lines(m_realLogsListener);
    m_seen.insert(m_realLogsListener, stored.size());
    QCOMPARE(stored.size(), source.size());
    for (qsizetype i = 0; i < source.size(); ++i) {
        // Month, day, time, host, tag, text.
        const QList<QByteArray> words = source[i].simplified().split(' ');
        const QByteArray& host = words[3];
        const QByteArray& tag = words[4];
        const QByteArray text = source[i].mid(source[i].indexOf(tag) + tag.size());
        QCOMPARE(stored[i], host + '|' + tag + '|' + tag.mid(5, 1) + "|20|" + text);
    }
}

void E2eRsyslog::rsyslogStoresEveryLineAsSent()
{
    XServer server;
    QVERIFY2(server.ok(), qPrintable(server.error()));
    Workspace ws;
    QVERIFY(ws.ok());
    const quint16 port = m_rsyslog->port(m_windowListener);
    const auto storedByWindow = [&] { return m_rsyslog->lines(m_windowListener); };

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

    Desktop desktop(server);
    Korvane korvane(ws, server);
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
    QVERIFY(desktop.openFullView(window));
    QVERIFY(desktop.click(window, client::play));
    QVERIFY2(waitUntil([&] { return storedByWindow().size() >= messages.size(); }, 30000),
             qPrintable(m_rsyslog->log() + korvane.log()));
    QTest::qWait(1000);
    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY(korvane.waitForExit());
    QCOMPARE(korvane.exitCode(), 0);

    // rsyslog parses these lines its own way; the raw message is the datagram as korvane sent it.
    const QList<QByteArray> stored = storedByWindow();
    m_seen.insert(m_windowListener, stored.size());
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
