// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The window as a user meets it: the two views, the source-file view, the help, the companion listener
// and the exit that remembers the window's place.

#include "e2ekit.h"

using namespace korvane::e2e;

namespace {

const QString helpWindowName = QStringLiteral("^Korvane 2\\.0 Help");
const QString harkwellWindowName = QStringLiteral("^Harkwell( - port 514)?$");

// Pixels darker than mid-grey inside the rectangle: text drawn on the white output box.
int darkPixels(const QImage& image, const QRect& area)
{
    int dark = 0;
    for (int y = area.top(); y <= area.bottom() && y < image.height(); ++y) {
        for (int x = area.left(); x <= area.right() && x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                ++dark;
            }
        }
    }
    return dark;
}

// Korvane in its own folder with a few templates to show, its window found.
struct WindowSession
{
    Workspace ws;
    Desktop desktop;
    std::unique_ptr<Korvane> korvane;
    quint64 window = 0;

    explicit WindowSession(const XServer& server, const Keys& overrides = {}) : desktop(server)
    {
        ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys(overrides)));
        ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(12)));
        korvane = std::make_unique<Korvane>(ws, server);
        window = desktop.waitForWindow(mainWindowName);
    }

    QString failure() const { return desktop.describe() + QLatin1Char('\n') + korvane->log(); }

    bool expand() const
    {
        return desktop.click(window, client::logo) && desktop.waitForClientSize(window, client::fullSize);
    }

    int darkInOutputBox() const { return darkPixels(desktop.grab(window), client::outputText); }
};

// Ends a process that korvane started and the test does not own, by its id.
bool endProcess(qint64 pid, const Desktop& desktop, const QString& windowName)
{
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), SIGTERM) != 0) {
        return false;
    }
    return desktop.waitForNoWindow(windowName);
}

} // namespace

class E2eWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void clicksInTheStripToggleTheView_data();
    void clicksInTheStripToggleTheView();
    void lampClickLeavesTheView();
    void sourceFileButtonListsTheSource_data();
    void sourceFileButtonListsTheSource();
    void f1OpensTheHelpWindow();
    void exitEndsTheProgramWhileHelpIsOpen();
    void exitStoresTheWindowPlace_data();
    void exitStoresTheWindowPlace();
    void harkwellButtonStartsTheListener_data();
    void harkwellButtonStartsTheListener();

private:
    std::unique_ptr<XServer> m_server;
};

void E2eWindow::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    m_server = std::make_unique<XServer>();
    QVERIFY2(m_server->ok(), qPrintable(m_server->error()));
}

void E2eWindow::clicksInTheStripToggleTheView_data()
{
    QTest::addColumn<QPoint>("at");
    // The title panel starts at client x 96; its program name covers panel y 16 to 56 and the empty title
    // label lies over the name's upper part (panel y 19 to 31) from the first expansion on.
    QTest::newRow("logo") << client::logo;
    QTest::newRow("program name") << QPoint(96 + 136, 50);
    QTest::newRow("source kind label") << QPoint(96 + 51, 62);
    QTest::newRow("title panel background") << QPoint(96 + 200, 76);
    QTest::newRow("title label, over the name") << QPoint(96 + 136, 25);
}

void E2eWindow::clicksInTheStripToggleTheView()
{
    QFETCH(QPoint, at);
    WindowSession s(*m_server);
    QVERIFY2(s.window != 0, qPrintable(s.failure()));
    QCOMPARE(s.desktop.geometry(s.window)->size(), client::compactSize);

    for (const QSize expected : {client::fullSize, client::compactSize, client::fullSize, client::compactSize}) {
        QVERIFY(s.desktop.click(s.window, at));
        QVERIFY2(s.desktop.waitForClientSize(s.window, expected),
                 qPrintable(QStringLiteral("expected a height of %1, got %2")
                                .arg(expected.height())
                                .arg(s.desktop.geometry(s.window)->height())));
        // Neither the place nor the width moves.
        QCOMPARE(s.desktop.geometry(s.window)->topLeft(), QPoint(96, 48));
    }
}

void E2eWindow::lampClickLeavesTheView()
{
    WindowSession s(*m_server);
    QVERIFY2(s.window != 0, qPrintable(s.failure()));
    // The green power lamp, 4 x 4 pixels at panel 114, 67.
    QVERIFY(s.desktop.click(s.window, QPoint(96 + 115, 68)));
    QTest::qWait(500);
    QCOMPARE(s.desktop.geometry(s.window)->size(), client::compactSize);
    // The window did take the click in: the logo next to the lamp still toggles.
    QVERIFY(s.expand());
}

void E2eWindow::sourceFileButtonListsTheSource_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Alt+S") << true;
    QTest::newRow("click on Source File") << false;
}

void E2eWindow::sourceFileButtonListsTheSource()
{
    QFETCH(bool, byKey);
    WindowSession s(*m_server);
    QVERIFY2(s.window != 0, qPrintable(s.failure()));
    QVERIFY(s.expand());
    QVERIFY2(s.darkInOutputBox() < 20, "the output box is not empty after the expansion");

    if (byKey) {
        s.desktop.key(s.window, QStringLiteral("alt+s"));
    } else {
        QVERIFY(s.desktop.click(s.window, client::sourceButton));
    }
    int dark = 0;
    QVERIFY2(waitUntil(
                 [&] {
                     dark = s.darkInOutputBox();
                     return dark > 200;
                 },
                 20000),
             qPrintable(QStringLiteral("%1 dark pixels in the output box\n").arg(dark) + s.failure()));

    // Still answering: a toggle collapses, and the next one shows the box emptied.
    QVERIFY(s.desktop.click(s.window, client::logo));
    QVERIFY(s.desktop.waitForClientSize(s.window, client::compactSize));
    QVERIFY(s.expand());
    QVERIFY2(waitUntil([&] { return s.darkInOutputBox() < 20; }, 10000), "the toggle left the lines in the box");
    QVERIFY(s.korvane->running());
}

void E2eWindow::f1OpensTheHelpWindow()
{
    WindowSession s(*m_server);
    QVERIFY2(s.window != 0, qPrintable(s.failure()));
    QVERIFY(s.desktop.windows(helpWindowName).isEmpty());
    s.desktop.key(s.window, QStringLiteral("F1"));
    const quint64 help = s.desktop.waitForWindow(helpWindowName);
    QVERIFY2(help != 0, qPrintable(s.failure()));
    QCOMPARE(s.desktop.windowPid(help), s.korvane->pid());
    QVERIFY(s.korvane->running());
}

void E2eWindow::exitEndsTheProgramWhileHelpIsOpen()
{
    WindowSession s(*m_server, {{"PositionX", "2250"}, {"PositionY", "900"}});
    QVERIFY2(s.window != 0, qPrintable(s.failure()));
    s.desktop.key(s.window, QStringLiteral("F1"));
    QVERIFY2(s.desktop.waitForWindow(helpWindowName) != 0, qPrintable(s.failure()));

    // The program ends when its window closes, whatever else it has open.
    s.desktop.key(s.window, QStringLiteral("alt+e"));
    QVERIFY2(s.desktop.waitForNoWindow(mainWindowName), qPrintable(s.failure()));
    QVERIFY2(s.korvane->waitForExit(15000),
             qPrintable(QStringLiteral("the main window closed but the process still runs; ") + s.failure()));
    QCOMPARE(s.korvane->exitCode(), 0);
}

void E2eWindow::exitStoresTheWindowPlace_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Alt+E") << true;
    QTest::newRow("click on Exit") << false;
}

void E2eWindow::exitStoresTheWindowPlace()
{
    QFETCH(bool, byKey);
    WindowSession s(*m_server);
    QVERIFY2(s.window != 0, qPrintable(s.failure()));
    QVERIFY(s.expand());
    QVERIFY(s.desktop.move(s.window, QPoint(150, 60)));
    QVERIFY(waitUntil([&] { return s.desktop.geometry(s.window)->topLeft() == QPoint(150, 60); }, 10000));

    if (byKey) {
        s.desktop.key(s.window, QStringLiteral("alt+e"));
    } else {
        QVERIFY(s.desktop.click(s.window, client::exitButton));
    }
    QVERIFY2(s.korvane->waitForExit(), qPrintable(s.failure()));
    QCOMPARE(s.korvane->exitCode(), 0);
    const QByteArray ini = s.ws.read(QStringLiteral("korvane.ini"));
    QCOMPARE(iniValue(ini, "PositionX").value_or("(absent)"), QByteArray("2250"));
    QCOMPARE(iniValue(ini, "PositionY").value_or("(absent)"), QByteArray("900"));
    // Nothing else is written at exit.
    QVERIFY(iniKeys(ini) == completeKeys({{"PositionX", "2250"}, {"PositionY", "900"}}));
}

void E2eWindow::harkwellButtonStartsTheListener_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<Keys>("overrides");
    QTest::addColumn<QString>("listenerName");
    QTest::newRow("Alt+H") << true << Keys{} << harkwellWindowName;
    QTest::newRow("click on Harkwell") << false << Keys{} << harkwellWindowName;
    // Over TCP, the listener hears on the transport and port in force.
    const QByteArray port = QByteArray::number(freeUdpPort());
    QTest::newRow("TCP output: Harkwell listens on TCP at that port")
        << false << Keys{{"SyslogFile", "1"}, {"Protocol", "TCP"}, {"HostIP", "127.0.0.1"}, {"UDP_Port_Syslog", port}}
        << QStringLiteral("^Harkwell - TCP port %1$").arg(QString::fromLatin1(port));
}

void E2eWindow::harkwellButtonStartsTheListener()
{
    QFETCH(bool, byKey);
    QFETCH(Keys, overrides);
    QFETCH(QString, listenerName);
    WindowSession s(*m_server, overrides);
    QVERIFY2(s.window != 0, qPrintable(s.failure()));
    QVERIFY(s.expand());
    QVERIFY(s.desktop.windows(listenerName).isEmpty());

    if (byKey) {
        s.desktop.key(s.window, QStringLiteral("alt+h"));
    } else {
        QVERIFY(s.desktop.click(s.window, client::harkwellButton));
    }
    const quint64 listener = s.desktop.waitForWindow(listenerName);
    QVERIFY2(listener != 0, qPrintable(s.failure()));
    const qint64 listenerPid = s.desktop.windowPid(listener);
    QVERIFY(listenerPid > 0);
    QVERIFY(listenerPid != s.korvane->pid());

    // The listener is a program of its own: it outlives korvane.
    s.desktop.key(s.window, QStringLiteral("alt+e"));
    QVERIFY2(s.korvane->waitForExit(), qPrintable(s.failure()));
    QCOMPARE(s.korvane->exitCode(), 0);
    QCOMPARE(s.desktop.windows(listenerName), QList<quint64>{listener});
    QVERIFY(endProcess(listenerPid, s.desktop, listenerName));
}

QTEST_GUILESS_MAIN(E2eWindow)
#include "e2e_window.moc"
