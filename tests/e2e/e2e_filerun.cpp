// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Generation runs of the real program into GENERATE.TXT: real log lines selected by severity and cut
// at their header, the operator's append-or-empty answer at start-up, and template lines.

#include "e2ekit.h"

using namespace korvane::e2e;

namespace {

// Real log lines as a firewall's syslog would have stored them, header first.
const QList<QByteArray> realLogs = {
    "Dec  6 04:47:51 10.1.1.1 %PIX-6-302013: Built inbound TCP connection 4401 for outside:203.0.113.9/5060 "
    "(203.0.113.9/5060) to inside:10.1.2.30/5060 (198.51.100.30/5060)",
    "Dec  6 04:47:52 10.1.1.1 %PIX-4-106023: Deny udp src outside:203.0.113.77/53 dst inside:10.1.2.5/1025 by "
    "access-group \"outside_in\"",
    "Dec  6 04:47:53 10.1.1.1 %PIX-4-400011: IDS:2001 ICMP unreachable from 203.0.113.2 to 198.51.100.8 on "
    "interface outside   ",
    "Dec  6 04:47:54 10.1.1.1 %PIX-3-305005: No translation group found for tcp src inside:10.1.2.44/3312 dst "
    "outside:203.0.113.120/80",
    "Dec  6 04:47:55 10.1.1.1 %pix-4-106023: a tag in lower case is no match",
    "Dec  6 04:47:56 10.1.1.1 %PIX-4-500004: Invalid transport field for protocol=6, from 203.0.113.5/0 to "
    "198.51.100.9/0",
    "Dec  6 04:47:57 10.1.1.1 %PIX-5-111008: User 'admin' executed the 'write memory' command.",
    "Dec  6 04:47:58 10.1.1.1 %PIX-4-710005: TCP request discarded from 203.0.113.61/4222 to "
    "outside:198.51.100.2/telnet",
};

// What a run with GenerationType 4 and the header marker " %PIX" makes of them: the severity-4 lines, cut
// to begin at the message tag, trailing blanks gone.
const QList<QByteArray> severityFourCut = {
    "%PIX-4-106023: Deny udp src outside:203.0.113.77/53 dst inside:10.1.2.5/1025 by access-group \"outside_in\"",
    "%PIX-4-400011: IDS:2001 ICMP unreachable from 203.0.113.2 to 198.51.100.8 on interface outside",
    "%PIX-4-500004: Invalid transport field for protocol=6, from 203.0.113.5/0 to 198.51.100.9/0",
    "%PIX-4-710005: TCP request discarded from 203.0.113.61/4222 to outside:198.51.100.2/telnet",
};

constexpr double delay = 0.05;

Keys realLogRun()
{
    return completeKeys({{"SyslogFile", "0"},
                         {"RealLogFile", "1"},
                         {"RemoveHeader", "1"},
                         {"HeaderString", "\" %PIX\""},
                         {"GenerationType", "4"},
                         {"Delay", QByteArray::number(delay)},
                         {"onetime", "1"}});
}

QString shown(const QByteArray& text)
{
    QString s = QString::fromLatin1(text);
    s.replace(QLatin1String("\r"), QLatin1String("\\r"));
    s.replace(QLatin1String("\n"), QLatin1String("\\n\n"));
    return s;
}

} // namespace

class E2eFileRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writesSelectedLinesCutAtHeader_data();
    void writesSelectedLinesCutAtHeader();
    void secondRunFollowsTheFirst();
    void templateRunWritesComposedLines();

private:
    // Clicks Play and waits until GENERATE.TXT holds exactly the expected text, and still does a while
    // after the run has had time to write more.
    void runAndExpect(const Desktop& desktop, quint64 window, const Workspace& ws, const QByteArray& expected,
                      const Korvane& korvane);
    std::unique_ptr<XServer> m_server;
};

void E2eFileRun::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    m_server = std::make_unique<XServer>();
    QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
}

void E2eFileRun::runAndExpect(const Desktop& desktop, quint64 window, const Workspace& ws, const QByteArray& expected,
                              const Korvane& korvane)
{
    QVERIFY(desktop.click(window, client::play));
    const QString name = QStringLiteral("GENERATE.TXT");
    QVERIFY2(waitUntil([&] { return ws.read(name) == expected; }, 30000),
             qPrintable(QStringLiteral("GENERATE.TXT holds:\n%1\nexpected:\n%2\n%3")
                            .arg(shown(ws.read(name)), shown(expected), korvane.log())));
    QTest::qWait(int(4 * delay * 1000) + 500);
    QCOMPARE(shown(ws.read(name)), shown(expected));
}

void E2eFileRun::writesSelectedLinesCutAtHeader_data()
{
    QTest::addColumn<QByteArray>("before"); // empty: no GENERATE.TXT at start
    QTest::addColumn<QString>("answer");    // the keys that answer the start-up question, if one comes
    QTest::addColumn<QByteArray>("after");

    const QByteArray run = crlfLines(severityFourCut);
    const QByteArray earlier = "01 Dec 2026 10:00:00  Pix-Inside-Demo %PIX-6-199002: an earlier line\r\n";
    QTest::newRow("absent output file is created without a question") << QByteArray() << QString() << run;
    QTest::newRow("Yes appends after the earlier lines") << earlier << QStringLiteral("alt+y") << earlier + run;
    QTest::newRow("No empties the file first") << earlier << QStringLiteral("alt+n") << run;
}

void E2eFileRun::writesSelectedLinesCutAtHeader()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, answer);
    QFETCH(QByteArray, after);

    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), iniText(realLogRun())));
    QVERIFY(ws.write(QStringLiteral("KORVANE.TXT"), crlfLines(realLogs)));
    if (!before.isEmpty()) {
        QVERIFY(ws.write(QStringLiteral("GENERATE.TXT"), before));
    }
    Desktop desktop(*m_server);
    Korvane korvane(ws, *m_server);
    if (!answer.isEmpty()) {
        QVERIFY2(desktop.answer(QStringLiteral("^No File$"), answer),
                 qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
    }
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
    // The answer alone decides: the file is emptied or kept before any run.
    QCOMPARE(shown(ws.read(QStringLiteral("GENERATE.TXT"))),
             shown(answer == QLatin1String("alt+n") ? QByteArray() : before));

    QVERIFY(desktop.openFullView(window));
    runAndExpect(desktop, window, ws, after, korvane);
    if (QTest::currentTestFailed()) {
        return;
    }

    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY(korvane.waitForExit());
    QCOMPARE(korvane.exitCode(), 0);
    QCOMPARE(shown(ws.read(QStringLiteral("GENERATE.TXT"))), shown(after));
}

void E2eFileRun::secondRunFollowsTheFirst()
{
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), iniText(realLogRun())));
    QVERIFY(ws.write(QStringLiteral("KORVANE.TXT"), crlfLines(realLogs)));
    Desktop desktop(*m_server);
    Korvane korvane(ws, *m_server);
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
    QVERIFY(desktop.openFullView(window));

    const QByteArray one = crlfLines(severityFourCut);
    runAndExpect(desktop, window, ws, one, korvane);
    if (QTest::currentTestFailed()) {
        return;
    }
    // The first run ended by itself, so Play is enabled again; its lines follow directly.
    runAndExpect(desktop, window, ws, one + one, korvane);
    if (QTest::currentTestFailed()) {
        return;
    }
    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY(korvane.waitForExit());
    QCOMPARE(korvane.exitCode(), 0);
}

void E2eFileRun::templateRunWritesComposedLines()
{
    constexpr int lines = 9;
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"Delay", QByteArray::number(delay)}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(lines))));
    Desktop desktop(*m_server);
    Korvane korvane(ws, *m_server);
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
    QVERIFY(desktop.openFullView(window));
    QVERIFY(desktop.click(window, client::play));

    const QString name = QStringLiteral("GENERATE.TXT");
    QVERIFY2(waitUntil([&] { return ws.read(name).count("\r\n") >= lines; }, 30000),
             qPrintable(shown(ws.read(name)) + korvane.log()));
    QTest::qWait(int(4 * delay * 1000) + 500);
    const QByteArray text = ws.read(name);
    QVERIFY2(text.endsWith("\r\n"), qPrintable(shown(text)));
    // Every line ends in CR LF, and no CR or LF stands alone.
    QCOMPARE(text.count('\n'), text.count("\r\n"));
    QCOMPARE(text.count('\r'), text.count("\r\n"));
    const QList<QByteArray> written = text.chopped(2).replace("\r\n", "\n").split('\n');
    QCOMPARE(written.size(), lines);
    for (int i = 0; i < lines; ++i) {
        const QByteArray& line = written[i];
        QVERIFY2(composedLinePattern().match(QString::fromLatin1(line)).hasMatch(), line.constData());
        QCOMPARE(templateIndex(line), i);
        QVERIFY2(!line.contains("IP_addr") && !line.contains("/port"), line.constData());
    }
    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY(korvane.waitForExit());
    QCOMPARE(korvane.exitCode(), 0);
}

QTEST_GUILESS_MAIN(E2eFileRun)
#include "e2e_filerun.moc"
