// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The companion listener button, the F1 help and the keyboard focus order of the window.
#include "windowtest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

using Keys = std::vector<std::pair<QByteArray, QByteArray>>;
Q_DECLARE_METATYPE(Keys)

namespace {

// A started, shown and active window in the full view, over a folder with a template source.
struct DesktopWindow
{
    explicit DesktopWindow(const QByteArray& delay = "1", const Keys& more = {})
    {
        Keys keys{{"Delay", delay}, {"onetime", "1"}, {"GenerationType", "0"}};
        keys.insert(keys.end(), more.begin(), more.end());
        env.folder.writeSettings(keys);
        env.folder.write(QStringLiteral("SAMPLE.TXT"), "%PIX-6-199001: Line one\r\n%PIX-6-199002: Line two\r\n"
                                                       "%PIX-6-199003: Line three\r\n");
    }
    bool start()
    {
        if (window.load() != KorvaneFRM::LoadOutcome::Shown || !showAndActivate(window)) {
            return false;
        }
        clickThrough(window, control(window, "Picture1"));
        return !window.isCompact();
    }
    void companion() { clickThrough(window, control(window, "CMD_Harkwell")); }

    WindowServices env;
    KorvaneFRM window{env.services()};
};

QString focusName()
{
    const QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QStringLiteral("<none>");
}

} // namespace

class DesktopTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quietToolkitNotices(); }

    void companionStartsOnEveryClick();
    void companionListensWhereTheLinesGo_data();
    void companionListensWhereTheLinesGo();
    void companionIsNotStartedForTls();
    void companionFailureIsReportedAndTheWindowGoesOn();
    void companionAccessKey();
    void f1OpensTheHelp_data();
    void f1OpensTheHelp();
    void tabFollowsTheFocusOrder_data();
    void tabFollowsTheFocusOrder();
};

void DesktopTest::companionStartsOnEveryClick()
{
    DesktopWindow w;
    QVERIFY(w.start());

    w.companion();
    QCOMPARE(w.env.desktop.launches, 1);
    w.companion();
    QCOMPARE(w.env.desktop.launches, 2);
    QVERIFY(w.env.messages.calls.isEmpty());
}

void DesktopTest::companionListensWhereTheLinesGo_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("tooltip");

    const Keys network{{"SyslogFile", "1"}, {"HostIP", "127.0.0.1"}, {"UDP_Port_Syslog", "5516"}};
    Keys tcp = network;
    tcp.push_back({"Protocol", "TCP"});
    QTest::newRow("TCP") << tcp << QStringList{"--tcp", "--port", "5516"}
                         << "Starts Harkwell listening on TCP port 5516";
    QTest::newRow("UDP") << network << QStringList{"--port", "5516"} << "Starts Harkwell listening on UDP port 5516";
    QTest::newRow("the output file: Harkwell on its own defaults")
        << Keys{{"SyslogFile", "0"}} << QStringList{}
        << "Starts Harkwell (the lines go to GENERATE.TXT, not to a listener)";
}

void DesktopTest::companionListensWhereTheLinesGo()
{
    QFETCH(Keys, keys);
    QFETCH(QStringList, arguments);
    QFETCH(QString, tooltip);

    DesktopWindow w("1", keys);
    QVERIFY(w.start());
    const QWidget* button = control(w.window, "CMD_Harkwell");
    QVERIFY(button->isEnabled());
    QCOMPARE(button->toolTip(), tooltip);
    w.companion();
    QCOMPARE(w.env.desktop.launchArguments, QList<QStringList>{arguments});
}

// A TLS listener needs a server certificate that korvane.ini does not hold: rather than start one
// that cannot hear, the button says so and starts nothing.
void DesktopTest::companionIsNotStartedForTls()
{
    DesktopWindow w("1",
                    {{"SyslogFile", "1"}, {"HostIP", "127.0.0.1"}, {"UDP_Port_Syslog", "6514"}, {"Protocol", "TLS"}});
    QVERIFY(w.start());
    const QWidget* button = control(w.window, "CMD_Harkwell");
    QVERIFY(!button->isEnabled());
    QVERIFY2(button->toolTip().contains(QLatin1String("TLS")) &&
                 button->toolTip().contains(QLatin1String("--tls-cert FILE --tls-key FILE --port 6514")),
             qPrintable(button->toolTip()));
    w.companion();
    QTest::keyClick(&w.window, Qt::Key_H, Qt::AltModifier);
    QCOMPARE(w.env.desktop.launches, 0);
    QVERIFY(w.env.messages.calls.isEmpty());
}

void DesktopTest::companionFailureIsReportedAndTheWindowGoesOn()
{
    DesktopWindow w("0.05");
    w.env.desktop.launchWorks = false;
    w.env.desktop.launchError = QStringLiteral("harkwell: No such file or directory");
    QVERIFY(w.start());
    QSignalSpy ended(&w.window, &KorvaneFRM::runEnded);
    clickThrough(w.window, w.window.transport()->playButton());

    w.companion(); // while the run waits for its first line

    QCOMPARE(w.env.desktop.launches, 1);
    QCOMPARE(w.env.messages.calls.size(), 1);
    const FakeMessages::Call& message = w.env.messages.calls.first();
    QVERIFY(!message.question);
    QVERIFY2(message.text.contains(QStringLiteral("harkwell: No such file or directory")), qPrintable(message.text));
    // The run does not notice: all three lines go out, and the window stays as it was.
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
    QCOMPARE(crlfLines(w.env.folder.read(QStringLiteral("GENERATE.TXT"))).size(), 3);
    QVERIFY(w.window.isVisible());
    QCOMPARE(w.window.flags().QuitRequested, false);
    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Log's Generation"));
}

void DesktopTest::companionAccessKey()
{
    DesktopWindow w;
    QVERIFY(w.start());
    QTest::keyClick(&w.window, Qt::Key_H, Qt::AltModifier);
    QTRY_COMPARE(w.env.desktop.launches, 1);
}

void DesktopTest::f1OpensTheHelp_data()
{
    QTest::addColumn<QByteArray>("focus");

    QTest::newRow("focus on Exit") << QByteArray("CMD_Quitter");
    QTest::newRow("focus in the output box") << QByteArray("TXT_OutPut");
}

void DesktopTest::f1OpensTheHelp()
{
    QFETCH(QByteArray, focus);

    DesktopWindow w;
    QVERIFY(w.start());
    control(w.window, focus.constData())->setFocus();
    QTRY_COMPARE(focusName(), QString::fromLatin1(focus));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    QCOMPARE(w.env.desktop.helpFiles, QStringList{QStringLiteral("Korvane.chm")});
    QTest::keyClick(&w.window, Qt::Key_F1);
    QCOMPARE(w.env.desktop.helpFiles.size(), 2);
}

void DesktopTest::tabFollowsTheFocusOrder_data()
{
    QTest::addColumn<bool>("duringRun");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("idle: Play is the transport's stop")
        << false << QStringList{"CMD_Quitter", "TXT_OutPut", "CMD_ReadPixFile", "Play", "CMD_Harkwell", "CMD_Quitter"};
    QTest::newRow("during a run: disabled buttons are skipped")
        << true << QStringList{"CMD_Quitter", "TXT_OutPut", "Pause", "Stop", "CMD_Harkwell", "CMD_Quitter"};
}

void DesktopTest::tabFollowsTheFocusOrder()
{
    QFETCH(bool, duringRun);
    QFETCH(QStringList, order);

    DesktopWindow w("5");
    QVERIFY(w.start());
    QCOMPARE(focusName(), QStringLiteral("CMD_Quitter")); // where focus starts
    if (duringRun) {
        QTest::mouseClick(w.window.transport()->playButton(), Qt::LeftButton);
        QVERIFY(w.window.runActive());
        control(w.window, "CMD_Quitter")->setFocus();
    }

    QStringList visited{focusName()};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(focusName());
    }
    QCOMPARE(visited, order);
    QVERIFY(w.window.outputBox()->toPlainText().isEmpty()); // Tab moved on rather than typing
}

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
