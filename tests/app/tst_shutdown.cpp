// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Exit and closing: the window's place stored in korvane.ini (and nothing else), a minimised
// window's place kept out of it, and a run under way ended at once.
#include "windowtest.h"

#include <QAbstractButton>
#include <QTest>

#include <memory>

using namespace korvane;
using namespace korvane::test;

namespace {

QByteArray withPlace(const QByteArray& ini, const QByteArray& x, const QByteArray& y)
{
    std::string text = profileWrite(ini.toStdString(), "Settings", "PositionX", x.toStdString());
    text = profileWrite(text, "Settings", "PositionY", y.toStdString());
    return QByteArray::fromStdString(text);
}

// A started window over a folder with a template source, shown at (20, 20) in the full view.
struct ExitWindow
{
    explicit ExitWindow(const QByteArray& delay = "1")
    {
        env.folder.writeSettings(
            {{"PositionX", "300"}, {"PositionY", "300"}, {"Delay", delay}, {"onetime", "0"}, {"GenerationType", "0"}});
        env.folder.write(QStringLiteral("SAMPLE.TXT"), "%PIX-6-199001: Line one\r\n%PIX-6-199002: Line two\r\n");
    }
    bool start()
    {
        if (window.load() != KorvaneFRM::LoadOutcome::Shown || !showAndActivate(window)) {
            return false;
        }
        clickThrough(window, control(window, "Picture1"));
        return !window.isCompact() && window.pos() == QPoint(20, 20);
    }
    QByteArray ini() const { return env.folder.read(QStringLiteral("korvane.ini")); }
    int outputLines() const { return int(crlfLines(env.folder.read(QStringLiteral("GENERATE.TXT"))).size()); }
    void exit() { clickThrough(window, control(window, "CMD_Quitter")); }

    WindowServices env;
    KorvaneFRM window{env.services()};
};

} // namespace

class ShutdownTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quietToolkitNotices(); }

    void exitStoresThePlace_data();
    void exitStoresThePlace();
    void closeStoresThePlaceUnlessMinimised_data();
    void closeStoresThePlaceUnlessMinimised();
    void exitDuringARunSendsNoFurtherLine();
    void settingsDeletedDuringARunAreWrittenAfresh();
};

void ShutdownTest::exitStoresThePlace_data()
{
    QTest::addColumn<QPoint>("place");
    QTest::addColumn<QByteArray>("x");
    QTest::addColumn<QByteArray>("y");
    QTest::addColumn<bool>("accessKey");

    QTest::newRow("one inch right, half an inch down")
        << QPoint(96, 48) << QByteArray("1440") << QByteArray("720") << false;
    QTest::newRow("dragged partly off the top-left edge")
        << QPoint(-8, -16) << QByteArray("-120") << QByteArray("-240") << false;
    QTest::newRow("the screen's corner") << QPoint(0, 0) << QByteArray("0") << QByteArray("0") << false;
    QTest::newRow("Alt+E") << QPoint(96, 48) << QByteArray("1440") << QByteArray("720") << true;
}

void ShutdownTest::exitStoresThePlace()
{
    QFETCH(QPoint, place);
    QFETCH(QByteArray, x);
    QFETCH(QByteArray, y);
    QFETCH(bool, accessKey);

    ExitWindow w;
    QVERIFY(w.start());
    w.window.move(place);
    QTRY_COMPARE(w.window.pos(), place);
    const QByteArray before = w.ini();

    if (accessKey) {
        QTest::keyClick(&w.window, Qt::Key_E, Qt::AltModifier);
    } else {
        w.exit();
    }

    QTRY_VERIFY(!w.window.isVisible());
    QCOMPARE(w.window.flags().QuitRequested, true);
    QCOMPARE(w.env.folder.setting("PositionX"), QString::fromLatin1(x));
    QCOMPARE(w.env.folder.setting("PositionY"), QString::fromLatin1(y));
    QCOMPARE(w.ini(), withPlace(before, x, y)); // no other key is written

    // The next start puts the window back there.
    SingleInstanceLock nextLock(w.env.folder.lockPath() + QStringLiteral(".next"));
    KorvaneServices s = w.env.services();
    KorvaneFRM next({s.messages, s.profile, nextLock, s.random, s.wallClock, s.monotonicClock, s.desktop});
    QCOMPARE(next.load(), KorvaneFRM::LoadOutcome::Shown);
    QCOMPARE(next.pos(), place);
}

void ShutdownTest::closeStoresThePlaceUnlessMinimised_data()
{
    QTest::addColumn<bool>("minimised");

    QTest::newRow("close box stores the place") << false;
    QTest::newRow("closing while minimised keeps the stored place") << true;
}

void ShutdownTest::closeStoresThePlaceUnlessMinimised()
{
    QFETCH(bool, minimised);

    WindowServices env;
    env.folder.writeSettings({{"PositionX", "300"}, {"PositionY", "300"}});
    auto window = std::make_unique<KorvaneFRM>(env.services());
    QCOMPARE(window->load(), KorvaneFRM::LoadOutcome::Shown);
    QVERIFY(showAndActivate(*window));
    window->move(96, 48);
    QTRY_COMPARE(window->pos(), QPoint(96, 48));
    if (minimised) {
        window->setWindowState(Qt::WindowMinimized);
        if (!QTest::qWaitFor([&] { return window->isMinimized(); }, 2000)) {
            QSKIP("the offscreen platform does not minimise windows here");
        }
    }

    QVERIFY(window->close());
    QCOMPARE(window->flags().QuitRequested, true);
    QCOMPARE(env.folder.setting("PositionX"), minimised ? QStringLiteral("300") : QStringLiteral("1440"));
    QCOMPARE(env.folder.setting("PositionY"), minimised ? QStringLiteral("300") : QStringLiteral("720"));

    // The window object going away stores nothing more (in particular no minimised place).
    const QByteArray afterClose = env.folder.read(QStringLiteral("korvane.ini"));
    window.reset();
    QCOMPARE(env.folder.read(QStringLiteral("korvane.ini")), afterClose);
}

void ShutdownTest::exitDuringARunSendsNoFurtherLine()
{
    ExitWindow w("0.1");
    QVERIFY(w.start());
    clickThrough(w.window, w.window.transport()->playButton());
    QTRY_VERIFY(w.outputLines() >= 1);

    w.exit();
    const int written = w.outputLines();
    QVERIFY(!w.window.runActive());
    QVERIFY(!w.window.isVisible());
    QCOMPARE(w.window.flags().QuitRequested, true);
    QCOMPARE(w.env.folder.setting("PositionX"), QStringLiteral("300"));

    // Several delays go by without another line; the run ended without its end-of-run steps.
    QVERIFY(!QTest::qWaitFor([&] { return w.outputLines() > written; }, 600));
    QVERIFY(!w.window.transport()->playButton()->isEnabled());
}

void ShutdownTest::settingsDeletedDuringARunAreWrittenAfresh()
{
    ExitWindow w("0.1");
    QVERIFY(w.start());
    w.window.move(96, 48);
    QTRY_COMPARE(w.window.pos(), QPoint(96, 48));
    clickThrough(w.window, w.window.transport()->playButton());
    QTRY_VERIFY(w.outputLines() >= 1);

    QVERIFY(QFile::remove(w.env.folder.path(QStringLiteral("korvane.ini"))));
    w.exit();

    QCOMPARE(w.ini(), QByteArray("[Settings]\r\nPositionX=1440\r\nPositionY=720\r\n"));
}

QTEST_MAIN(ShutdownTest)
#include "tst_shutdown.moc"
