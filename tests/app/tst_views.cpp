// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The compact and full views: clicks in the top strip, delivered through the window as a user's
// clicks are, switch the height and swap the two title labels; in the compact view nothing
// below the strip can be reached.
#include "app/outputbox.h"
#include "windowtest.h"

#include <QAbstractButton>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

constexpr int compactHeight = 84; // 1260 twips of client area
constexpr int fullHeight = 274;   // 4110 twips
constexpr int windowWidth = 376;  // 5640 twips

// Where a click on a control of the strip lands, in window coordinates. LBL_ProgName is clicked
// low down, below the band that LBL_titre covers once it is shown; FRM_Vert in its top-left
// corner, on its own background.
QPoint stripPoint(const QWidget& window, const char* name)
{
    const QWidget* widget = control(window, name);
    if (widget == nullptr) {
        return {};
    }
    if (qstrcmp(name, "LBL_ProgName") == 0) {
        return windowPoint(window, widget, QPoint(widget->width() / 2, widget->height() - 4));
    }
    if (qstrcmp(name, "FRM_Vert") == 0) {
        return windowPoint(window, widget, QPoint(4, 4));
    }
    return windowPoint(window, widget);
}

// A started, shown and active window over a folder with a three-line template source.
struct ShownWindow
{
    ShownWindow()
    {
        env.folder.writeSettings({{"Delay", "1"}, {"onetime", "1"}});
        env.folder.write(QStringLiteral("SAMPLE.TXT"), "a\r\nb\r\nc\r\n");
    }
    bool start()
    {
        return window.load() == KorvaneFRM::LoadOutcome::Shown && showAndActivate(window) &&
               window.height() == compactHeight;
    }

    WindowServices env;
    KorvaneFRM window{env.services()};
};

} // namespace

class ViewsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quietToolkitNotices(); }

    void logoClickTogglesByHeight_data();
    void logoClickTogglesByHeight();
    void everyStripControlToggles_data();
    void everyStripControlToggles();
    void doubleClickSwitchesOnce_data();
    void doubleClickSwitchesOnce();
    void titleClickCollapses_data();
    void titleClickCollapses();
    void titleLabelsSwapWithTheView();
    void lampClickDoesNotToggle_data();
    void lampClickDoesNotToggle();
    void lowerControlsAreOutOfReachWhenCompact_data();
    void lowerControlsAreOutOfReachWhenCompact();
    void outputBoxShowsTheNewestLines_data();
    void outputBoxShowsTheNewestLines();
};

void ViewsTest::logoClickTogglesByHeight_data()
{
    QTest::addColumn<int>("heightBefore");
    QTest::addColumn<int>("heightAfter");
    QTest::addColumn<bool>("titleShown");

    QTest::newRow("compact expands") << compactHeight << fullHeight << true;
    QTest::newRow("full collapses") << fullHeight << compactHeight << false;
    QTest::newRow("a height set elsewhere collapses") << 150 << compactHeight << false;
    QTest::newRow("one pixel over compact collapses") << compactHeight + 1 << compactHeight << false;
}

void ViewsTest::logoClickTogglesByHeight()
{
    QFETCH(int, heightBefore);
    QFETCH(int, heightAfter);
    QFETCH(bool, titleShown);

    ShownWindow w;
    QVERIFY(w.start());
    w.window.setFixedSize(windowWidth, heightBefore);
    QTRY_COMPARE(w.window.height(), heightBefore);
    w.window.outputBox()->setLines({QStringLiteral("left by an earlier view")});
    QVERIFY(w.window.outputBox()->textLength() > 0);

    const QPoint logo = stripPoint(w.window, "Picture1");
    QCOMPARE(w.window.childAt(logo), control(w.window, "Picture1"));
    clickThrough(w.window, logo);

    QCOMPARE(w.window.height(), heightAfter);
    QCOMPARE(w.window.width(), windowWidth);
    QCOMPARE(w.window.isCompact(), heightAfter == compactHeight);
    QCOMPARE(w.window.outputBox()->textLength(), 0);
    QCOMPARE(w.window.outputBox()->text(), QString());
    QCOMPARE(shown(w.window, "LBL_titre"), titleShown);
    QVERIFY(shown(w.window, "LBL_ProgName"));
}

void ViewsTest::everyStripControlToggles_data()
{
    QTest::addColumn<QByteArray>("name");
    for (const char* name : {"Picture1", "FRM_Vert", "LBL_Logs", "LBL_ProgName"}) {
        QTest::newRow(name) << QByteArray(name);
    }
}

void ViewsTest::everyStripControlToggles()
{
    QFETCH(QByteArray, name);

    ShownWindow w;
    QVERIFY(w.start());
    const QPoint point = stripPoint(w.window, name.constData());
    QCOMPARE(w.window.childAt(point), control(w.window, name.constData()));

    clickThrough(w.window, point);
    QCOMPARE(w.window.height(), fullHeight);
    QVERIFY(shown(w.window, "LBL_titre"));
    QCOMPARE(caption(w.window, "LBL_titre"), QString());

    // The same place once more, now that the (empty) title lies over the strip.
    QCOMPARE(w.window.childAt(point), control(w.window, name.constData()));
    clickThrough(w.window, point);
    QCOMPARE(w.window.height(), compactHeight);
    QVERIFY(!shown(w.window, "LBL_titre"));
    QVERIFY(shown(w.window, "LBL_ProgName"));
}

void ViewsTest::doubleClickSwitchesOnce_data()
{
    everyStripControlToggles_data();
}

void ViewsTest::doubleClickSwitchesOnce()
{
    QFETCH(QByteArray, name);

    ShownWindow w;
    QVERIFY(w.start());
    const QPoint point = stripPoint(w.window, name.constData());
    // The second press of a double click is no second click.
    QTest::mouseDClick(w.window.windowHandle(), Qt::LeftButton, Qt::NoModifier, point);
    QCOMPARE(w.window.height(), fullHeight);
}

void ViewsTest::titleClickCollapses_data()
{
    QTest::addColumn<bool>("fromFull");

    QTest::newRow("from the full view") << true;
    QTest::newRow("from the compact view") << false;
}

void ViewsTest::titleClickCollapses()
{
    QFETCH(bool, fromFull);

    ShownWindow w;
    QVERIFY(w.start());
    if (fromFull) {
        clickThrough(w.window, stripPoint(w.window, "Picture1"));
        QCOMPARE(w.window.height(), fullHeight);
    }
    // The Source File access key works in both views and puts a title over the program name.
    QTest::keyClick(&w.window, Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Source File"));
    QVERIFY(!shown(w.window, "LBL_ProgName"));
    const QString listed = w.window.outputBox()->text();
    QCOMPARE(listed, QStringLiteral("a\r\nb\r\nc\r\n"));

    const QPoint title = stripPoint(w.window, "LBL_titre");
    QCOMPARE(w.window.childAt(title), control(w.window, "LBL_titre"));
    clickThrough(w.window, title);

    QCOMPARE(w.window.height(), compactHeight);
    QVERIFY(!shown(w.window, "LBL_titre"));
    QVERIFY(shown(w.window, "LBL_ProgName"));
    QCOMPARE(w.window.outputBox()->text(), listed); // a collapse keeps the box
}

void ViewsTest::titleLabelsSwapWithTheView()
{
    ShownWindow w;
    QVERIFY(w.start());
    const QPoint logo = stripPoint(w.window, "Picture1");

    clickThrough(w.window, logo); // expand: an empty title over the program name
    QVERIFY(shown(w.window, "LBL_titre"));
    QVERIFY(shown(w.window, "LBL_ProgName"));
    QCOMPARE(caption(w.window, "LBL_titre"), QString());

    QTest::mouseClick(control<QAbstractButton>(w.window, "CMD_ReadPixFile"), Qt::LeftButton);
    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Source File"));
    QVERIFY(!shown(w.window, "LBL_ProgName"));

    clickThrough(w.window, logo); // collapse: the program name comes back
    QCOMPARE(w.window.height(), compactHeight);
    QVERIFY(shown(w.window, "LBL_ProgName"));
    QVERIFY(!shown(w.window, "LBL_titre"));

    clickThrough(w.window, logo); // expand: the same title shows again, its caption untouched
    QCOMPARE(w.window.height(), fullHeight);
    QVERIFY(shown(w.window, "LBL_titre"));
    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Source File"));
    QCOMPARE(w.window.outputBox()->textLength(), 0);
}

void ViewsTest::lampClickDoesNotToggle_data()
{
    QTest::addColumn<QByteArray>("lamp");
    QTest::addColumn<bool>("full");

    for (const char* lamp : {"FRM_On", "FRM_Winsock"}) {
        QTest::addRow("%s in the compact view", lamp) << QByteArray(lamp) << false;
        QTest::addRow("%s in the full view", lamp) << QByteArray(lamp) << true;
    }
}

void ViewsTest::lampClickDoesNotToggle()
{
    QFETCH(QByteArray, lamp);
    QFETCH(bool, full);

    ShownWindow w;
    QVERIFY(w.start());
    if (full) {
        clickThrough(w.window, stripPoint(w.window, "Picture1"));
    }
    const int height = w.window.height();
    w.window.outputBox()->setLines({QStringLiteral("still here")});

    const QPoint point = stripPoint(w.window, lamp.constData());
    QCOMPARE(w.window.childAt(point), control(w.window, lamp.constData()));
    clickThrough(w.window, point);

    QCOMPARE(w.window.height(), height);
    QCOMPARE(w.window.outputBox()->text(), QStringLiteral("still here\r\n"));
}

void ViewsTest::lowerControlsAreOutOfReachWhenCompact_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("acts"); // a click in the full view has a visible effect

    QTest::newRow("settings panel") << QByteArray("FRM_Infos") << false;
    QTest::newRow("line count") << QByteArray("LBL_LineCount") << false;
    QTest::newRow("output box") << QByteArray("TXT_OutPut") << false;
    QTest::newRow("play button") << QByteArray("Play") << true;
    QTest::newRow("source file button") << QByteArray("CMD_ReadPixFile") << true;
    QTest::newRow("companion button") << QByteArray("CMD_Harkwell") << true;
    QTest::newRow("exit button") << QByteArray("CMD_Quitter") << true;
}

void ViewsTest::lowerControlsAreOutOfReachWhenCompact()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, acts);

    ShownWindow w;
    QVERIFY(w.start());
    const QWidget* target = control(w.window, name.constData());
    QVERIFY(target);
    const QPoint point = windowPoint(w.window, target);
    const auto state = [&w] {
        return QStringLiteral("quit=%1 launches=%2 title=%3 run=%4 shown=%5")
            .arg(w.window.flags().QuitRequested)
            .arg(w.env.desktop.launches)
            .arg(caption(w.window, "LBL_titre"))
            .arg(w.window.runActive())
            .arg(w.window.isVisible());
    };
    const QString before = state();

    QVERIFY(!w.window.rect().contains(point));
    QCOMPARE(w.window.childAt(point), nullptr);
    clickThrough(w.window, point);
    QCOMPARE(state(), before);
    QCOMPARE(w.window.height(), compactHeight);

    // The same place in the full view is the control itself.
    clickThrough(w.window, stripPoint(w.window, "Picture1"));
    QCOMPARE(w.window.height(), fullHeight);
    QWidget* hit = w.window.childAt(point);
    QVERIFY(hit == target || target->isAncestorOf(hit));
    clickThrough(w.window, point);
    QCOMPARE(state() != before, acts);
}

QTEST_MAIN(ViewsTest)
#include "tst_views.moc"

void ViewsTest::outputBoxShowsTheNewestLines_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QString>("shown");

    QList<QByteArray> flood;
    QString newest;
    for (int i = 1; i <= 2 * OutputBox::kMaxLines + 5003; ++i) {
        flood << "%PIX-6-302013: line " + QByteArray::number(i);
        if (i > OutputBox::kMaxLines + 5003) {
            newest += QStringLiteral("%PIX-6-302013: line %1\r\n").arg(i);
        }
    }
    QTest::newRow("a flood keeps the newest lines, in order") << flood << newest;
    QTest::newRow("UTF-8 and Latin-1 lines each shown as they decode")
        << QList<QByteArray>{"caf\xc3\xa9", "caf\xe9", "", "plain"}
        << QStringLiteral("caf\u00e9\r\ncaf\u00e9\r\n\r\nplain\r\n");
}

void ViewsTest::outputBoxShowsTheNewestLines()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QString, shown);

    OutputBox box;
    box.appendLine("an earlier pass");
    box.clearLater();
    for (const QByteArray& line : lines) {
        box.appendLine(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
    }
    const qint64 pendingLength = box.textLength();
    QCOMPARE(box.text(), shown);
    QCOMPARE(pendingLength, shown.size());
    QCOMPARE(box.textLength(), shown.size());
}
