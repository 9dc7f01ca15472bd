// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A run as the window presents it, told what happened as the engine tells it: the controls after
// each report, the counter and the output box after the box's batched updates, the counter's
// tooltip, the end-of-run line and a failure's reason.
#include "app/runpresenter.h"
#include "windowtest.h"

#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

// The controls a run is shown on, on a widget of their own, and the presenter over them.
struct Presented
{
    Presented()
    {
        for (StatusLamp* lamp : lamps) {
            lamp->hide(); // as the form creates them
        }
        presenter.present({.transport = transport,
                           .sourceButton = sourceButton,
                           .programName = programName,
                           .title = title,
                           .output = box,
                           .lineCount = count,
                           .greenLamp = lamps[0],
                           .redLamp = lamps[1],
                           .yellowLamp = lamps[2]},
                          [this] { return progress; });
    }

    // What the engine reports at the start of a run, and for one line the sink took.
    void startRun()
    {
        presenter.runStarted();
        presenter.passStarted();
    }
    void emitLine(std::int64_t number)
    {
        presenter.lineEmitted(lineText(number).toStdString(), number);
        presenter.lineWritten();
        progress.emitted = number;
    }
    static QString lineText(std::int64_t number) { return QStringLiteral("%PIX-6-302013: line %1").arg(number); }

    QString controls() const
    {
        int lampsShown = 0;
        for (const StatusLamp* lamp : lamps) {
            lampsShown += lamp->isVisibleTo(&form) ? 1 : 0;
        }
        return QStringLiteral("play=%1 pause=%2 stop=%3 source=%4 lamps=%5 name=%6 title=%7")
            .arg(transport->playButton()->isEnabled())
            .arg(transport->pauseButton()->isEnabled())
            .arg(transport->stopButton()->isEnabled())
            .arg(sourceButton->isEnabled())
            .arg(lampsShown)
            .arg(programName->isVisibleTo(&form))
            .arg(title->isVisibleTo(&form) ? title->text() : QString());
    }

    QWidget form;
    TransportBar* transport = new TransportBar(&form);
    QPushButton* sourceButton = new QPushButton(&form);
    ClickableLabel* programName = new ClickableLabel(&form);
    StatusLamp* lamps[3] = {new StatusLamp(Qt::yellow, &form), new StatusLamp(Qt::yellow, &form),
                            new StatusLamp(Qt::yellow, &form)};
    ClickableLabel* title = new ClickableLabel(&form);
    OutputBox* box = new OutputBox(&form);
    QLabel* count = new QLabel(QStringLiteral("Lines :"), &form);
    RunProgress progress;
    RunPresenter presenter;
};

} // namespace

class RunPresenterTest : public QObject
{
    Q_OBJECT

private slots:
    void controlsFollowTheRun_data();
    void controlsFollowTheRun();
    void everyLineAndCountIsShownAcrossPasses_data();
    void everyLineAndCountIsShownAcrossPasses();
    void aBatchEndsOnTheTrueCount();
    void counterTooltipAndEndOfRunTellTheDeliveries();
    void failureReasonIsShownAsGiven();
};

void RunPresenterTest::controlsFollowTheRun_data()
{
    QTest::addColumn<QString>("reports"); // after the start: L a line the sink took, R one it refused,
                                          // E the end, F a failure
    QTest::addColumn<QString>("controls");

    const QString running = QStringLiteral("play=0 pause=1 stop=1 source=0 ");
    QTest::newRow("Play: only Pause and Stop, no Source File, the run's title")
        << "" << running + "lamps=0 name=0 title=Log's Generation";
    QTest::newRow("the first line the sink took shows the lamps")
        << "L" << running + "lamps=3 name=0 title=Log's Generation";
    QTest::newRow("the next one hides them") << "LL" << running + "lamps=0 name=0 title=Log's Generation";
    QTest::newRow("the end: Play and Source File again, the lamps out, the title kept")
        << "LE"
        << "play=1 pause=0 stop=0 source=1 lamps=0 name=0 title=Log's Generation";
    QTest::newRow("a failure changes the title only") << "LF" << running + "lamps=3 name=0 title=Unknown Error !!!";
    QTest::newRow("a line the sink refused leaves the lamps")
        << "LRF" << running + "lamps=3 name=0 title=Unknown Error !!!";
}

void RunPresenterTest::controlsFollowTheRun()
{
    QFETCH(QString, reports);
    QFETCH(QString, controls);

    Presented p;
    StderrCapture errors;
    p.startRun();
    for (const QChar report : reports) {
        if (report == 'L' || report == 'R') {
            p.presenter.lineEmitted("%PIX-6-302013: a line", 1);
        }
        if (report == 'L') {
            p.presenter.lineWritten();
        } else if (report == 'E') {
            p.presenter.runEnded();
            p.presenter.endRun(); // as the window does when the session tells the end
        } else if (report == 'F') {
            p.presenter.runFailed("GENERATE.TXT: No space left on device");
        }
    }
    p.box->flush(); // the box's next update
    QCOMPARE(p.controls(), controls);
}

void RunPresenterTest::everyLineAndCountIsShownAcrossPasses_data()
{
    QTest::addColumn<int>("linesInPass");
    QTest::newRow("two lines a pass") << 2;
    QTest::newRow("one line a pass") << 1;
    QTest::newRow("three lines a pass") << 3;
}

// Lines a presentation interval apart or more (Delay 1): each shows with its own caption, the
// last line of a pass included, until the next pass's first line empties the box.
void RunPresenterTest::everyLineAndCountIsShownAcrossPasses()
{
    QFETCH(int, linesInPass);

    Presented p;
    p.startRun();
    QStringList pass;
    for (int number = 1; number <= 3 * linesInPass; ++number) {
        if ((number - 1) % linesInPass == 0) { // a pass's first line
            pass.clear();
        }
        p.emitLine(number);
        pass.append(Presented::lineText(number));
        if (number % linesInPass == 0) {
            p.presenter.passStarted(); // the next pass begins at once after this one's last line
        }
        QTRY_COMPARE(p.count->text(), QStringLiteral("Lines : %1").arg(number));
        QTRY_COMPARE(p.box->toPlainText(), pass.join(QLatin1Char('\n')));
    }
    // The run is stopped during the wait before the next pass's first line.
    p.presenter.endRun();
    QCOMPARE(p.count->text(), QStringLiteral("Lines : %1").arg(3 * linesInPass));
    QCOMPARE(p.box->toPlainText(), pass.join(QLatin1Char('\n')));
}

// Lines that fall due within one interval (a short Delay) are shown together: the caption may
// skip counts but ends on the true one, and the box holds the newest pass.
void RunPresenterTest::aBatchEndsOnTheTrueCount()
{
    Presented p;
    p.startRun();
    for (int number = 1; number <= 5; ++number) {
        p.emitLine(number);
        if (number % 2 == 0) {
            p.presenter.passStarted();
        }
    }
    QTRY_COMPARE(p.count->text(), QStringLiteral("Lines : 5"));
    QCOMPARE(p.box->toPlainText(), Presented::lineText(5));
}

void RunPresenterTest::counterTooltipAndEndOfRunTellTheDeliveries()
{
    Presented p;
    p.startRun();
    p.emitLine(1);
    p.emitLine(2);
    p.progress.delivered = 1; // one still on its way
    QTRY_COMPARE(p.count->toolTip(), QStringLiteral("2 lines: 1 delivered"));

    p.emitLine(3);
    p.progress = {.emitted = 3, .delivered = 1, .dropped = 1, .undelivered = 1, .resent = 4};
    StderrCapture errors;
    p.presenter.endRun();
    p.presenter.reportRun();
    const QString told =
        QStringLiteral("3 lines: 1 delivered, 1 dropped, 1 not delivered, 4 sent again after a broken connection");
    QCOMPARE(p.count->toolTip(), told);
    QCOMPARE(QString::fromLocal8Bit(errors.take()), QStringLiteral("korvane: ") + told + QLatin1Char('\n'));
    QCOMPARE(p.count->text(), QStringLiteral("Lines : 3"));

    // The next run's counts replace them.
    p.progress = {};
    p.startRun();
    p.emitLine(1);
    p.progress.delivered = 1;
    QTRY_COMPARE(p.count->toolTip(), QStringLiteral("1 lines: 1 delivered"));
}

void RunPresenterTest::failureReasonIsShownAsGiven()
{
    Presented p;
    p.startRun();
    p.emitLine(1);
    const QString reason = QStringLiteral("SAMPLE.TXT: No such file or directory");
    StderrCapture errors;
    p.presenter.runFailed(reason.toStdString());

    QCOMPARE(p.title->text(), QStringLiteral("Unknown Error !!!"));
    QCOMPARE(p.title->toolTip(), reason);
    QCOMPARE(QString::fromLocal8Bit(errors.take()), QStringLiteral("korvane: ") + reason + QLatin1Char('\n'));
    // What the run emitted before it failed is shown.
    QCOMPARE(p.count->text(), QStringLiteral("Lines : 1"));
    QCOMPARE(p.box->toPlainText(), Presented::lineText(1));
}

QTEST_MAIN(RunPresenterTest)
#include "tst_runpresenter.moc"
