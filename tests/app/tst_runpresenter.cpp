// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A run as the window presents it, driven as the engine drives its view: the counter and the
// output box after the box's batched updates, the counter's tooltip, the end-of-run line and a
// failure's reason.
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
        presenter.present({.transport = new TransportBar(&form),
                           .sourceButton = new QPushButton(&form),
                           .programName = new ClickableLabel(&form),
                           .title = title,
                           .output = box,
                           .lineCount = count,
                           .greenLamp = new StatusLamp(Qt::yellow, &form),
                           .redLamp = new StatusLamp(Qt::yellow, &form),
                           .yellowLamp = new StatusLamp(Qt::yellow, &form)},
                          [this] { return progress; });
    }

    // What the engine does at the start of a run, and for one line.
    void startRun()
    {
        presenter.setTransport(false, true, true);
        presenter.showRunTitle();
        presenter.setSourceButtonEnabled(false);
        presenter.clearOutput();
    }
    void emitLine(std::int64_t number)
    {
        presenter.setLineCount(number);
        presenter.appendOutput(lineText(number).toStdString());
        presenter.setLampsVisible(!presenter.lampsVisible());
        progress.emitted = number;
    }
    static QString lineText(std::int64_t number) { return QStringLiteral("%PIX-6-302013: line %1").arg(number); }

    QWidget form;
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
    void everyLineAndCountIsShownAcrossPasses_data();
    void everyLineAndCountIsShownAcrossPasses();
    void aBatchEndsOnTheTrueCount();
    void counterTooltipAndEndOfRunTellTheDeliveries();
    void failureReasonIsShownAsGiven();
};

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
            p.presenter.clearOutput(); // at once after the pass's last line: the next pass begins
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
            p.presenter.clearOutput();
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
    p.presenter.showFailure(reason.toStdString());

    QCOMPARE(p.title->text(), QStringLiteral("Unknown Error !!!"));
    QCOMPARE(p.title->toolTip(), reason);
    QCOMPARE(QString::fromLocal8Bit(errors.take()), QStringLiteral("korvane: ") + reason + QLatin1Char('\n'));
    // What the run emitted before it failed is shown.
    QCOMPARE(p.count->text(), QStringLiteral("Lines : 1"));
    QCOMPARE(p.box->toPlainText(), Presented::lineText(1));
}

QTEST_MAIN(RunPresenterTest)
#include "tst_runpresenter.moc"
