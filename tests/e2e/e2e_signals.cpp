// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Termination signals sent to the real program: it ends as a close would, promptly, with every line
// written whole and the window's place stored.

#include "e2ekit.h"

using namespace korvane::e2e;

namespace {

// Many more lines than a run gets through before the signal, each one telling its place.
QList<QByteArray> manyRealLogs(int count)
{
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i) {
        lines.append("Dec  6 04:47:51 10.1.1.1 %PIX-6-302015: Built outbound UDP connection " + QByteArray::number(i) +
                     " for outside:203.0.113.53/53 (203.0.113.53/53) to inside:10.1.2.7/33001 (198.51.100.7/33001)");
    }
    return lines;
}

} // namespace

class E2eSignals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signalEndsRunWithWholeLines_data();
    void signalEndsRunWithWholeLines();
    void signalDuringTheAppendQuestionWritesNothing();

private:
    std::unique_ptr<XServer> m_server;
};

void E2eSignals::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    m_server = std::make_unique<XServer>();
    QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
}

void E2eSignals::signalEndsRunWithWholeLines_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("linesBefore"); // lines to wait for before the signal; 0: no run at all

    QTest::newRow("SIGTERM during a run") << int(SIGTERM) << 20;
    QTest::newRow("SIGINT during a run") << int(SIGINT) << 20;
    QTest::newRow("SIGHUP during a run") << int(SIGHUP) << 20;
    QTest::newRow("SIGTERM with no run") << int(SIGTERM) << 0;
}

void E2eSignals::signalEndsRunWithWholeLines()
{
    QFETCH(int, signalNumber);
    QFETCH(int, linesBefore);

    constexpr int total = 2000;
    const QList<QByteArray> source = manyRealLogs(total);
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys({{"SyslogFile", "0"},
                                                                          {"RealLogFile", "1"},
                                                                          {"GenerationType", "0"},
                                                                          {"Delay", "0.05"},
                                                                          {"onetime", "1"}}))));
    QVERIFY(ws.write(QStringLiteral("KORVANE.TXT"), crlfLines(source)));
    Desktop desktop(*m_server);
    Korvane korvane(ws, *m_server);
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
    QVERIFY(desktop.openFullView(window));
    QVERIFY(desktop.move(window, QPoint(200, 100)));
    QVERIFY(waitUntil([&] { return desktop.geometry(window)->topLeft() == QPoint(200, 100); }, 10000));

    const QString name = QStringLiteral("GENERATE.TXT");
    if (linesBefore > 0) {
        QVERIFY(desktop.click(window, client::play));
        QVERIFY2(waitUntil([&] { return ws.read(name).count("\r\n") >= linesBefore; }, 60000),
                 qPrintable(korvane.log()));
    }

    QElapsedTimer sinceSignal;
    sinceSignal.start();
    korvane.signal(signalNumber);
    QVERIFY2(korvane.waitForExit(10000), "the program did not end after the signal");
    QVERIFY2(sinceSignal.elapsed() < 3000, qPrintable(QStringLiteral("it took %1 ms").arg(sinceSignal.elapsed())));
    QCOMPARE(korvane.exitCode(), 0);

    // Every line the run wrote is whole and in source order, up to where the signal stopped it.
    const QByteArray text = ws.read(name);
    if (linesBefore == 0) {
        QCOMPARE(text, QByteArray());
    } else {
        QVERIFY2(text.endsWith("\r\n"), qPrintable(QString::fromLatin1(text.right(200))));
        QCOMPARE(text.count('\n'), text.count("\r\n"));
        QCOMPARE(text.count('\r'), text.count("\r\n"));
        const QList<QByteArray> written = text.chopped(2).replace("\r\n", "\n").split('\n');
        QVERIFY(written.size() >= linesBefore);
        QVERIFY(written.size() < total);
        for (qsizetype i = 0; i < written.size(); ++i) {
            QCOMPARE(written[i], source[i]);
        }
    }

    const QByteArray ini = ws.read(QStringLiteral("korvane.ini"));
    QCOMPARE(iniValue(ini, "PositionX").value_or("(absent)"), QByteArray("3000"));
    QCOMPARE(iniValue(ini, "PositionY").value_or("(absent)"), QByteArray("1500"));
}

void E2eSignals::signalDuringTheAppendQuestionWritesNothing()
{
    Workspace ws;
    const QByteArray ini = iniText(completeKeys({{"SyslogFile", "0"}}));
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), ini));
    QVERIFY(ws.write(QStringLiteral("GENERATE.TXT"), "kept\r\n"));
    Desktop desktop(*m_server);
    Korvane korvane(ws, *m_server);
    QVERIFY2(desktop.waitForWindow(QStringLiteral("^No File$")) != 0,
             qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));

    korvane.signal(SIGTERM);
    QVERIFY2(korvane.waitForExit(5000), "the program did not end after the signal");
    QCOMPARE(korvane.exitCode(), 0);
    QCOMPARE(ws.read(QStringLiteral("GENERATE.TXT")), QByteArray("kept\r\n"));
    QCOMPARE(ws.read(QStringLiteral("korvane.ini")), ini);

    // The lock went with it: the next start is no second copy.
    Korvane next(ws, *m_server, QStringLiteral("next.log"));
    QVERIFY(desktop.answer(QStringLiteral("^No File$"), QStringLiteral("alt+y")));
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + next.log()));
    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY(next.waitForExit());
}

QTEST_GUILESS_MAIN(E2eSignals)
#include "e2e_signals.moc"
