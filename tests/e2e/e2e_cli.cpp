// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// korvane-cli as a user runs it: no display, a folder with korvane.ini and the sources, receivers on
// 127.0.0.1. Its lines are the window's lines; it ends as asked and tells why when it cannot.
#include "e2ekit.h"

using namespace korvane::e2e;

namespace {

// A composed line without its time stamp ("dd Mmm yyyy hh:mm:ss").
QByteArray withoutStamp(const QByteArray& line)
{
    return line.mid(20);
}

} // namespace

class E2eCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void passToUdpMatchesTheWindowLineForLine();
    void countEndsTheRunAndAppends();
    void signalEndsAnEndlessRunWithWholeLines();
    void replayKeepsTheLogsPaceWithFreshStamps();
    void failuresSayWhy_data();
    void failuresSayWhy();
};

void E2eCli::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
}

void E2eCli::passToUdpMatchesTheWindowLineForLine()
{
    constexpr int lines = 40;
    UdpReceiver byWindow;
    UdpReceiver byCli;
    QVERIFY(byWindow.ok() && byCli.ok());
    Workspace ws;
    const auto ini = [&](quint16 port) {
        return iniText(completeKeys({{"SyslogFile", "1"},
                                     {"HostIP", "127.0.0.1"},
                                     {"UDP_Port_Syslog", QByteArray::number(port)},
                                     {"Delay", "0.01"},
                                     {"onetime", "1"},
                                     {"GenerationType", "0"}}));
    };
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(lines))));

    // The window's pass.
    {
        XServer server;
        QVERIFY2(server.ok(), qPrintable(server.error()));
        QVERIFY(ws.write(QStringLiteral("korvane.ini"), ini(byWindow.port())));
        Desktop desktop(server);
        Korvane korvane(ws, server);
        const quint64 window = desktop.waitForWindow(mainWindowName);
        QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
        QVERIFY(desktop.openFullView(window));
        QVERIFY(desktop.click(window, client::play));
        QVERIFY2(byWindow.waitForCount(lines, 30000), qPrintable(korvane.log()));
        desktop.key(window, QStringLiteral("alt+e"));
        QVERIFY(korvane.waitForExit());
    }

    // The same folder from the command line.
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), ini(byCli.port())));
    Cli cli(ws.folder(), {});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    QVERIFY(byCli.waitForCount(lines, 5000));
    QTest::qWait(100);
    QCOMPARE(byCli.count(), lines);
    const QList<QByteArray> window = byWindow.payloads();
    const QList<QByteArray> command = byCli.payloads();
    for (int i = 0; i < lines; ++i) {
        QCOMPARE(withoutStamp(command[i]), withoutStamp(window[i]));
    }
    QVERIFY2(r.errors.contains(QStringLiteral("korvane-cli: %1 lines in").arg(lines)), qPrintable(r.errors));
    QVERIFY2(r.errors.contains(QStringLiteral("to 127.0.0.1:%1").arg(byCli.port())), qPrintable(r.errors));
    // The window's own keys are the window's: neither read nor written.
    QCOMPARE(ws.read(QStringLiteral("korvane.ini")), ini(byCli.port()));
}

void E2eCli::countEndsTheRunAndAppends()
{
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"Delay", "0.000001"}, {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(7))));
    QVERIFY(ws.write(QStringLiteral("GENERATE.TXT"), "kept\r\n"));

    Cli cli(ws.folder(), {QStringLiteral("--count"), QStringLiteral("1000")});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    const QByteArray text = ws.read(QStringLiteral("GENERATE.TXT"));
    QVERIFY(text.startsWith("kept\r\n"));
    QCOMPARE(text.count("\r\n"), 1001);
    QVERIFY2(r.errors.contains(QStringLiteral("1000 lines in")), qPrintable(r.errors));

    Cli fresh(ws.folder(), {QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--new")});
    QCOMPARE(fresh.wait().exitCode, 0);
    QCOMPARE(ws.read(QStringLiteral("GENERATE.TXT")).count("\r\n"), 3);
}

void E2eCli::signalEndsAnEndlessRunWithWholeLines()
{
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"Delay", "0.001"}, {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(7))));
    Cli cli(ws.folder(), {QStringLiteral("--quiet")});
    QVERIFY(waitUntil([&] { return ws.read(QStringLiteral("GENERATE.TXT")).count("\r\n") >= 50; }, 10000));
    cli.signal(SIGINT);
    const CliResult r = cli.wait(5000);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    const QByteArray text = ws.read(QStringLiteral("GENERATE.TXT"));
    QVERIFY(text.endsWith("\r\n"));
    QVERIFY2(r.errors.contains(QStringLiteral("%1 lines in").arg(text.count("\r\n"))), qPrintable(r.errors));
}

void E2eCli::replayKeepsTheLogsPaceWithFreshStamps()
{
    Workspace ws;
    UdpReceiver receiver;
    QVERIFY(receiver.ok());
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"HostIP", "127.0.0.1"},
                                           {"UDP_Port_Syslog", QByteArray::number(receiver.port())},
                                           {"RealLogFile", "1"},
                                           {"Delay", "0.2"},
                                           {"onetime", "1"},
                                           {"ReplayTiming", "1"},
                                           {"ReplaySpeed", "4"},
                                           {"ReplayMaxGap", "0.5"},
                                           {"ReplayRestamp", "1"}}))));
    // Gaps of 0, 2, 1 and 10 s in the log: 0, 0.5, 0.25 and (cut) 0.5 s at four times the speed.
    QVERIFY(ws.write(QStringLiteral("KORVANE.TXT"),
                     crlfLines({"Jan  2 10:00:00 10.1.1.1 %PIX-6-1: a", "Jan  2 10:00:00 10.1.1.1 %PIX-6-1: b",
                                "Jan  2 10:00:02 10.1.1.1 %PIX-6-1: c", "Jan  2 10:00:03 10.1.1.1 %PIX-6-1: d",
                                "Jan  2 10:00:13 10.1.1.1 %PIX-6-1: e"})));
    Cli cli(ws.folder(), {QStringLiteral("--quiet")});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    QVERIFY(receiver.waitForCount(5, 5000));

    const QList<Arrival> arrivals = receiver.arrivals();
    const QList<double> gaps = {0, 0.5, 0.25, 0.5};
    for (qsizetype i = 1; i < arrivals.size(); ++i) {
        const double gap = secondsBetween(arrivals[i - 1].at, arrivals[i].at);
        QVERIFY2(qAbs(gap - gaps[i - 1]) < 0.05, qPrintable(QStringLiteral("gap %1: %2 s").arg(i).arg(gap)));
    }
    // Each line carries the time it was sent, in the log's own form.
    const QDate date = QDate::currentDate();
    const QString today =
        QStringLiteral("%1 %2").arg(QLocale::c().monthName(date.month(), QLocale::ShortFormat)).arg(date.day(), 2);
    for (const Arrival& arrival : arrivals) {
        const QString line = QString::fromLatin1(arrival.payload);
        QVERIFY2(line.startsWith(today) && line.mid(15).startsWith(QStringLiteral(" 10.1.1.1 %PIX-6-1: ")),
                 arrival.payload.constData());
        const QTime stamped = QTime::fromString(line.mid(7, 8), QStringLiteral("hh:mm:ss"));
        QVERIFY2(stamped.isValid() && qAbs(stamped.secsTo(QTime::currentTime())) <= 5, arrival.payload.constData());
    }
}

void E2eCli::failuresSayWhy_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("generationType");
    QTest::addColumn<bool>("outputHeld"); // another run writes GENERATE.TXT
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");

    QTest::newRow("absent source") << QStringList() << QByteArray("-1") << false << 1
                                   << "The SAMPLE.TXT file doesn't exists.";
    QTest::newRow("output held by another run")
        << QStringList() << QByteArray("0") << true << 1 << "GENERATE.TXT: in use by another run of Korvane";
    QTest::newRow("folder that is not there") << QStringList{QStringLiteral("--dir"), QStringLiteral("no/such")}
                                              << QByteArray("0") << false << 1 << "no/such";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast")} << QByteArray("0") << false << 2
                                    << "korvane-cli --help";
    QTest::newRow("count that is not a whole number")
        << QStringList{QStringLiteral("--count"), QStringLiteral("2.5")} << QByteArray("0") << false << 2 << "--count";
}

void E2eCli::failuresSayWhy()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, generationType);
    QFETCH(bool, outputHeld);
    QFETCH(int, status);
    QFETCH(QString, says);

    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"GenerationType", generationType}, {"Delay", "5"}}))));
    std::unique_ptr<Cli> holder;
    if (outputHeld) {
        QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(2))));
        holder = std::make_unique<Cli>(ws.folder(), QStringList{QStringLiteral("--quiet")});
        QVERIFY(waitUntil([&] { return QFile::exists(ws.folder() + QStringLiteral("/GENERATE.TXT")); }, 5000));
        QTest::qWait(200); // its lock is taken with the file
    }
    Cli cli(ws.folder(), arguments);
    const CliResult r = cli.wait();
    QVERIFY(r.finished);
    QCOMPARE(r.exitCode, status);
    QVERIFY2(r.errors.contains(says), qPrintable(r.errors));
}

QTEST_GUILESS_MAIN(E2eCli)
#include "e2e_cli.moc"
