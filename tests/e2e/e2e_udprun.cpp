// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Generation runs of the real program to UDP receivers on 127.0.0.1, started, paused and stopped with
// clicks on the transport buttons of its window.

#include "e2ekit.h"

using namespace korvane::e2e;
using namespace std::chrono_literals;

namespace {

// Korvane in its own folder, sending the given templates to a port on 127.0.0.1, its window expanded.
struct UdpSession
{
    Workspace ws;
    Desktop desktop;
    std::unique_ptr<Korvane> korvane;
    quint64 window = 0;

    UdpSession(const XServer& server, quint16 port, double delay, int onetime, const QList<QByteArray>& templates)
        : desktop(server)
    {
        ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys({{"SyslogFile", "1"},
                                                                      {"HostIP", "127.0.0.1"},
                                                                      {"UDP_Port_Syslog", QByteArray::number(port)},
                                                                      {"Delay", QByteArray::number(delay)},
                                                                      {"onetime", QByteArray::number(onetime)},
                                                                      {"GenerationType", "0"}})));
        ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(templates));
        korvane = std::make_unique<Korvane>(ws, server);
    }

    // Waits for the window and clicks the logo to reach the transport buttons.
    bool expand()
    {
        window = desktop.waitForWindow(mainWindowName);
        return window != 0 && desktop.click(window, client::logo) &&
               desktop.waitForClientSize(window, client::fullSize);
    }

    QString failure() const { return desktop.describe() + QLatin1Char('\n') + korvane->log(); }

    // Exit as the operator does; true when the program ended with code 0.
    bool exit()
    {
        desktop.key(window, QStringLiteral("alt+e"));
        return korvane->waitForExit() && korvane->exitCode() == 0;
    }
};

// What is wrong with a received line, or an empty text.
QString lineProblem(const QByteArray& line, int expectedIndex)
{
    const QString text = QString::fromLatin1(line);
    if (line.contains('\r') || line.contains('\n')) {
        return QStringLiteral("line end in the datagram: ") + text;
    }
    if (!composedLinePattern().match(text).hasMatch()) {
        return QStringLiteral("not a composed line: ") + text;
    }
    if (templateIndex(line) != expectedIndex) {
        return QStringLiteral("template %1 expected, got: %2").arg(expectedIndex).arg(text);
    }
    for (const char* placeholder : {"IP_addr", "/port", "%d", "'user'", "session_num", "num_seconds"}) {
        if (line.contains(placeholder)) {
            return QStringLiteral("placeholder %1 left in: %2").arg(QLatin1String(placeholder), text);
        }
    }
    const QDateTime stamped = headerTime(line);
    if (!stamped.isValid() || qAbs(stamped.secsTo(QDateTime::currentDateTime())) > 120) {
        return QStringLiteral("header time is not now: ") + text;
    }
    return {};
}

} // namespace

class E2eUdpRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sendsEveryTemplateInOrderAtDelayPace();
    void pauseHoldsLinesAndStopEndsRun();
    void exitDuringRunSendsNothingMore();
    void harkwellPrintsEveryDatagramInOrder();

private:
    std::unique_ptr<XServer> m_server;
};

void E2eUdpRun::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    m_server = std::make_unique<XServer>();
    QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
}

void E2eUdpRun::sendsEveryTemplateInOrderAtDelayPace()
{
    constexpr double delay = 0.2;
    // On a busy machine a short measurement may be thrown off; then the pace is measured over more lines.
    const QList<int> attempts{10, 30};
    for (qsizetype attempt = 0; attempt < attempts.size(); ++attempt) {
        const int lines = attempts[attempt];
        UdpReceiver receiver;
        QVERIFY(receiver.ok());
        UdpSession s(*m_server, receiver.port(), delay, 1, numberedTemplates(lines));
        QVERIFY2(s.expand(), qPrintable(s.failure()));

        const WallTime before = wallNow();
        QVERIFY(s.desktop.click(s.window, client::play));
        const WallTime after = wallNow();
        QVERIFY2(receiver.waitForCount(lines, int(lines * delay * 1000) + 30000),
                 qPrintable(QStringLiteral("%1 of %2 datagrams\n").arg(receiver.count()).arg(lines) + s.failure()));
        // One pass only: nothing follows the last line.
        QTest::qWait(int(3 * delay * 1000) + 300);
        const QList<Arrival> arrivals = receiver.arrivals();
        QCOMPARE(arrivals.size(), lines);
        for (int i = 0; i < lines; ++i) {
            const QString problem = lineProblem(arrivals[i].payload, i);
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("datagram %1: ").arg(i) + problem));
        }
        QVERIFY2(s.exit(), qPrintable(s.failure()));

        const double firstAfterBefore = secondsBetween(before, arrivals.first().at);
        const double firstAfterClick = secondsBetween(after, arrivals.first().at);
        const double meanGap = secondsBetween(arrivals.first().at, arrivals.last().at) / (lines - 1);
        const bool paced = qAbs(meanGap - delay) <= 0.1 * delay;
        const bool firstOnTime = firstAfterBefore >= delay - 0.02 && firstAfterClick <= delay + 0.25;
        const QString report = QStringLiteral("over %1 lines: mean gap %2 s for a delay of %3 s; first line %4 s "
                                              "after the click began, %5 s after it ended")
                                   .arg(lines)
                                   .arg(meanGap, 0, 'f', 4)
                                   .arg(delay)
                                   .arg(firstAfterBefore, 0, 'f', 3)
                                   .arg(firstAfterClick, 0, 'f', 3);
        if (paced && firstOnTime) {
            qInfo("%s", qPrintable(report));
            return;
        }
        if (attempt + 1 == attempts.size()) {
            QFAIL(qPrintable(report));
        }
        qWarning("timing off, measuring again over more lines: %s", qPrintable(report));
    }
}

void E2eUdpRun::pauseHoldsLinesAndStopEndsRun()
{
    constexpr double delay = 0.2;
    constexpr auto delayTime = std::chrono::milliseconds(200);
    constexpr int lines = 6;
    UdpReceiver receiver;
    QVERIFY(receiver.ok());
    UdpSession s(*m_server, receiver.port(), delay, 0, numberedTemplates(lines));
    QVERIFY2(s.expand(), qPrintable(s.failure()));

    QVERIFY(s.desktop.click(s.window, client::play));
    QVERIFY2(receiver.waitForCount(4, 30000), qPrintable(s.failure()));

    // Pause: a line whose wait was already over may still come; then nothing for more than three delays.
    QVERIFY(s.desktop.click(s.window, client::pause));
    const WallTime paused = wallNow();
    waitUntilTime(paused + delayTime + 300ms);
    const qsizetype atPause = receiver.count();
    waitUntilTime(paused + delayTime + 300ms + 4 * delayTime);
    QCOMPARE(receiver.count(), atPause);

    // Pause again: the lines go on where they stopped, none lost or repeated, passes following each other.
    QVERIFY(s.desktop.click(s.window, client::pause));
    QVERIFY2(receiver.waitForCount(atPause + lines, 30000), qPrintable(s.failure()));
    {
        const QList<Arrival> arrivals = receiver.arrivals();
        for (qsizetype k = 0; k < arrivals.size(); ++k) {
            QCOMPARE(templateIndex(arrivals[k].payload), int(k % lines));
        }
        const double gap = secondsBetween(arrivals[atPause - 1].at, arrivals[atPause].at);
        QVERIFY2(gap > 3 * delay, qPrintable(QStringLiteral("the pause lasted only %1 s").arg(gap)));
    }

    // Stop: at most the line of the current wait, then nothing.
    QVERIFY(s.desktop.click(s.window, client::stop));
    const WallTime stopped = wallNow();
    waitUntilTime(stopped + delayTime + 200ms);
    const qsizetype atStop = receiver.count();
    QTest::qWait(1000);
    QCOMPARE(receiver.count(), atStop);
    for (const Arrival& a : receiver.arrivals()) {
        QVERIFY2(a.at <= stopped + delayTime + 200ms,
                 qPrintable(QStringLiteral("a line came %1 s after Stop").arg(secondsBetween(stopped, a.at))));
    }

    // The run is over: Pause is disabled again (a press would leave the next run paused), Play enabled,
    // and the next run starts at the top of the file.
    QVERIFY(s.desktop.click(s.window, client::pause));
    QVERIFY(s.desktop.click(s.window, client::play));
    QVERIFY2(receiver.waitForCount(atStop + 2, 30000), qPrintable(s.failure()));
    const QList<Arrival> again = receiver.arrivals();
    QCOMPARE(templateIndex(again[atStop].payload), 0);
    QCOMPARE(templateIndex(again[atStop + 1].payload), 1);
    QVERIFY2(s.exit(), qPrintable(s.failure()));
}

void E2eUdpRun::exitDuringRunSendsNothingMore()
{
    UdpReceiver receiver;
    QVERIFY(receiver.ok());
    UdpSession s(*m_server, receiver.port(), 0.2, 0, numberedTemplates(5));
    QVERIFY2(s.expand(), qPrintable(s.failure()));
    QVERIFY(s.desktop.click(s.window, client::play));
    QVERIFY2(receiver.waitForCount(3, 30000), qPrintable(s.failure()));

    s.desktop.key(s.window, QStringLiteral("alt+e"));
    const WallTime exited = wallNow();
    QVERIFY2(s.korvane->waitForExit(), qPrintable(s.failure()));
    QCOMPARE(s.korvane->exitCode(), 0);
    const qsizetype atExit = receiver.count();
    QTest::qWait(600);
    QCOMPARE(receiver.count(), atExit);
    // Only a line whose wait ended while the key was on its way may follow the key.
    for (const Arrival& a : receiver.arrivals()) {
        QVERIFY2(a.at <= exited + 100ms,
                 qPrintable(QStringLiteral("a line came %1 s after Alt+E").arg(secondsBetween(exited, a.at))));
    }
    QCOMPARE(iniValue(s.ws.read(QStringLiteral("korvane.ini")), "PositionX").value_or("(absent)"), QByteArray("1440"));
}

void E2eUdpRun::harkwellPrintsEveryDatagramInOrder()
{
    constexpr int lines = 8;
    Workspace listenerFolder;
    std::unique_ptr<Harkwell> harkwell;
    quint16 port = 0;
    // The free port may be taken by another test between the probe and harkwell's bind: try another.
    for (int attempt = 0; attempt < 5 && !harkwell; ++attempt) {
        port = freeUdpPort();
        QVERIFY(port != 0);
        harkwell = std::make_unique<Harkwell>(listenerFolder, port, QStringLiteral("harkwell%1").arg(attempt));
        if (!harkwell->waitUntilListening()) {
            harkwell.reset();
        }
    }
    QVERIFY2(harkwell, "harkwell found no free port to listen on");
    QVERIFY(harkwell->errors().contains("listening on 127.0.0.1:" + QByteArray::number(port)));

    UdpSession s(*m_server, port, 0.1, 1, numberedTemplates(lines));
    QVERIFY2(s.expand(), qPrintable(s.failure()));
    QVERIFY(s.desktop.click(s.window, client::play));
    QVERIFY2(waitUntil([&] { return harkwell->lines().size() >= lines; }, 30000),
             qPrintable(QString::fromLatin1(harkwell->output()) + s.failure()));
    QTest::qWait(500);
    QVERIFY2(s.exit(), qPrintable(s.failure()));

    QCOMPARE(harkwell->stop(), 0);
    const QList<QByteArray> printed = harkwell->lines();
    QCOMPARE(printed.size(), lines);
    for (int i = 0; i < lines; ++i) {
        const QString problem = lineProblem(printed[i], i);
        QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("line %1: ").arg(i) + problem));
    }
}

QTEST_GUILESS_MAIN(E2eUdpRun)
#include "e2e_udprun.moc"
