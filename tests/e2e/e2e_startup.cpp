// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Start-up of the real program in a real X window: where the window appears, what the settings file
// holds afterwards, and the refusal of a second copy.

#include "e2ekit.h"

using namespace korvane::e2e;

namespace {

// The keys a start writes into a settings file that holds none of them, in the order it writes them.
Keys repairedKeys()
{
    return {{"RealLogFile", "0"},
            {"Delay", "1"},
            {"onetime", "0"},
            {"SRC_IP_1", "194.98.65.10"},
            {"SRC_IP_2", "193.10.22.23"},
            {"SRC_IP_3", "193.50.60.70"},
            {"SRC_IP_4", "195.60.61.62"},
            {"SRC_IP_5", "193.99.98.99"},
            {"DST_IP_1", "10.10.12.12"},
            {"DST_IP_2", "10.10.12.20"},
            {"DST_IP_3", "10.10.12.30"},
            {"DST_IP_4", "10.10.12.40"},
            {"DST_IP_5", "10.11.11.1"},
            {"GTW_IP", "10.11.11.11"},
            {"UserName", "PIX_User"},
            {"SessionNum", "10"},
            {"ElapsedTime", "10"},
            {"FirewallName", "Pix-Inside-Demo"},
            {"SyslogFile", "0"}};
}

QString describe(const Keys& keys)
{
    QStringList parts;
    for (const auto& [k, v] : keys) {
        parts.append(QString::fromLatin1(k + '=' + v));
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

class E2eStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void opensAtStoredPlaceAndRepairsSettings_data();
    void opensAtStoredPlaceAndRepairsSettings();
    void secondCopyIsRefusedAndFirstGoesOn();
    void lockOfKilledCopyIsTakenOver();

private:
    std::unique_ptr<XServer> m_server;
};

void E2eStartup::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    m_server = std::make_unique<XServer>();
    QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
}

void E2eStartup::opensAtStoredPlaceAndRepairsSettings_data()
{
    QTest::addColumn<QByteArray>("iniBefore"); // empty: no settings file at all
    QTest::addColumn<QPoint>("windowPlace");
    QTest::addColumn<Keys>("iniAfter");

    const Keys repaired = repairedKeys();
    QTest::newRow("stored place in twips becomes pixels")
        << iniText({{"PositionX", "1440"}, {"PositionY", "720"}}) << QPoint(96, 48)
        << (Keys{{"PositionX", "1440"}, {"PositionY", "720"}} + repaired);
    QTest::newRow("left edge off the screen keeps its sign")
        << iniText({{"PositionX", "-300"}, {"PositionY", "450"}}) << QPoint(-20, 30)
        << (Keys{{"PositionX", "-300"}, {"PositionY", "450"}} + repaired);
    QTest::newRow("first start without a settings file opens at the origin")
        << QByteArray() << QPoint(0, 0) << (repaired + Keys{{"PositionX", "0"}, {"PositionY", "0"}});
}

void E2eStartup::opensAtStoredPlaceAndRepairsSettings()
{
    QFETCH(QByteArray, iniBefore);
    QFETCH(QPoint, windowPlace);
    QFETCH(Keys, iniAfter);

    Workspace ws;
    QVERIFY(ws.ok());
    if (!iniBefore.isEmpty()) {
        QVERIFY(ws.write(QStringLiteral("korvane.ini"), iniBefore));
    }
    Desktop desktop(*m_server);
    Korvane korvane(ws, *m_server);
    QVERIFY(korvane.started());

    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
    const auto geometry = desktop.geometry(window);
    QVERIFY(geometry);
    QCOMPARE(geometry->topLeft(), windowPlace);
    QCOMPARE(geometry->size(), client::compactSize);
    // The output file is there, and empty, as soon as the window is.
    QVERIFY(ws.exists(QStringLiteral("GENERATE.TXT")));

    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY2(korvane.waitForExit(), "Alt+E did not end the program");
    QCOMPARE(korvane.exitCode(), 0);

    const Keys after = iniKeys(ws.read(QStringLiteral("korvane.ini")));
    QVERIFY2(after == iniAfter,
             qPrintable(QStringLiteral("got:      %1\nexpected: %2").arg(describe(after), describe(iniAfter))));
    QVERIFY(ws.exists(QStringLiteral("GENERATE.TXT")));
    QCOMPARE(ws.read(QStringLiteral("GENERATE.TXT")), QByteArray());
}

void E2eStartup::secondCopyIsRefusedAndFirstGoesOn()
{
    Workspace ws;
    QVERIFY(ws.ok());
    QVERIFY(
        ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys({{"PositionX", "2250"}, {"PositionY", "900"}}))));
    Desktop desktop(*m_server);
    Korvane first(ws, *m_server, QStringLiteral("first.log"));
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + first.log()));

    Korvane second(ws, *m_server, QStringLiteral("second.log"));
    QVERIFY(second.started());
    const quint64 box = desktop.waitForWindow(QStringLiteral("^Error$"));
    QVERIFY2(box != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + second.log()));
    QCOMPARE(desktop.windowPid(box), second.pid());
    // The refused copy shows no main window of its own.
    QCOMPARE(desktop.windows(mainWindowName), QList<quint64>{window});

    desktop.key(box, QStringLiteral("Return"));
    QVERIFY2(second.waitForExit(), "the refused copy did not end after OK");
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(desktop.waitForNoWindow(QStringLiteral("^Error$")));

    // The first copy goes on where it was and still answers the user.
    QVERIFY(first.running());
    const auto geometry = desktop.geometry(window);
    QVERIFY(geometry);
    QCOMPARE(geometry->topLeft(), QPoint(150, 60));
    QVERIFY(desktop.openFullView(window));

    QVERIFY(desktop.move(window, QPoint(200, 100)));
    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY2(first.waitForExit(), "Alt+E did not end the first copy");
    QCOMPARE(first.exitCode(), 0);
    const QByteArray ini = ws.read(QStringLiteral("korvane.ini"));
    QCOMPARE(iniValue(ini, "PositionX").value_or("(absent)"), QByteArray("3000"));
    QCOMPARE(iniValue(ini, "PositionY").value_or("(absent)"), QByteArray("1500"));
}

void E2eStartup::lockOfKilledCopyIsTakenOver()
{
    Workspace ws;
    QVERIFY(ws.ok());
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys({}))));
    Desktop desktop(*m_server);
    {
        Korvane killed(ws, *m_server, QStringLiteral("killed.log"));
        QVERIFY2(desktop.waitForWindow(mainWindowName) != 0, qPrintable(killed.log()));
        killed.signal(SIGKILL);
        QVERIFY(killed.waitForExit());
        QCOMPARE(killed.exitCode(), -1);
    }
    QVERIFY(desktop.waitForNoWindow(mainWindowName));

    // The next start finds the output file of the killed one and asks whether to append.
    Korvane next(ws, *m_server, QStringLiteral("next.log"));
    QVERIFY2(desktop.answer(QStringLiteral("^No File$"), QStringLiteral("alt+y")),
             qPrintable(desktop.describe() + QLatin1Char('\n') + next.log()));
    const quint64 window = desktop.waitForWindow(mainWindowName);
    QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + next.log()));
    QVERIFY(desktop.windows(QStringLiteral("^Error$")).isEmpty());
    desktop.key(window, QStringLiteral("alt+e"));
    QVERIFY(next.waitForExit());
    QCOMPARE(next.exitCode(), 0);
}

QTEST_GUILESS_MAIN(E2eStartup)
#include "e2e_startup.moc"
