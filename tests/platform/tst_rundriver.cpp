// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/rundriver.h"
#include "runfakes.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace korvane;
using namespace korvane::test;
using Next = GenerationRun::Next;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::chrono::microseconds)

namespace korvane {
// Readable names in failure messages.
char* toString(GenerationRun::Next next)
{
    static const char* const names[] = {"Wait", "Yield", "Finished", "Halted"};
    return qstrdup(names[static_cast<int>(next)]);
}
} // namespace korvane

namespace {

QStringList numbered(const QString& pattern, int count, int first = 1)
{
    QStringList lines;
    for (int i = first; i < first + count; ++i) {
        lines << pattern.arg(i);
    }
    return lines;
}

// A real run over a real file, driven on real timers; only the window and the sink are fakes.
struct Rig
{
    Rig(const QStringList& lines, int generationType, bool onePass)
        : source(writeSource(dir, lines)), settings(realLogSettings(source, generationType, onePass)), sink(elapsed)
    {}

    // Play: the clock for arrivals starts with the run.
    void play(double delay)
    {
        elapsed.start();
        driver.start(std::make_unique<GenerationRun>(settings, flags, view, sink, random, wall), delay);
    }

    QTemporaryDir dir;
    std::filesystem::path source;
    RunSettings settings;
    RunFlags flags;
    RecordingView view;
    QElapsedTimer elapsed;
    TimedSink sink;
    DefaultRandomSource random;
    FixedWallClock wall;
    SteadyClock steady;
    RunDriver driver{flags, steady};
};

Next endedHow(const QSignalSpy& spy)
{
    return spy.at(0).at(0).value<Next>();
}

} // namespace

class TestRunDriver : public QObject
{
    Q_OBJECT

private slots:
    void firstLineOneDelayAfterPlay_data();
    void firstLineOneDelayAfterPlay();
    void linesKeepAFixedRate_data();
    void linesKeepAFixedRate();
    void shortDelaysGoOutInBatchesBetweenEvents_data();
    void shortDelaysGoOutInBatchesBetweenEvents();
    void exitDuringAWaitAbandonsTheRun_data();
    void exitDuringAWaitAbandonsTheRun();
    void stopEndsTheRunWhenTheWaitIsOver();
    void stopAndExitEndAGapOfTheLogAtOnce_data();
    void stopAndExitEndAGapOfTheLogAtOnce();
    void pauseAndStopAmidBatchesLoseNoLine();
    void sinkOutcome_data();
    void sinkOutcome();
    void absentSourceHaltsAtPlay();
    void runThatNeverWaitsStillHearsTheWindow_data();
    void runThatNeverWaitsStillHearsTheWindow();
    void secondRunAfterTheFirstEnded();
};

void TestRunDriver::firstLineOneDelayAfterPlay_data()
{
    QTest::addColumn<double>("delay");
    QTest::newRow("a fifth of a second") << 0.2;
    QTest::newRow("a twentieth of a second") << 0.05;
}

void TestRunDriver::firstLineOneDelayAfterPlay()
{
    QFETCH(double, delay);
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 3), 0, true);
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);

    rig.play(delay);
    QVERIFY(rig.driver.running());
    QVERIFY(rig.sink.lines.empty()); // nothing goes out before the first wait
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink.lines.size(), std::size_t(1), 2000);
    QVERIFY2(rig.sink.arrivals[0] >= delay * 1000, qPrintable(QString::number(rig.sink.arrivals[0])));
    QVERIFY2(rig.sink.arrivals[0] < delay * 1000 + 80, qPrintable(QString::number(rig.sink.arrivals[0])));
    QVERIFY(ended.wait(2000));
}

void TestRunDriver::linesKeepAFixedRate_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("generationType");
    QTest::addColumn<int>("expectedLines");
    QTest::addColumn<double>("delay");
    QTest::addColumn<std::chrono::microseconds>("writeCost");

    const QStringList ten = numbered(QStringLiteral("%PIX-6-302013: line %1"), 10);
    QTest::newRow("ten lines, instant sink") << ten << 0 << 10 << 0.05 << 0us;
    // 10 x (0.05 + 0.02) = 0.7 s if the time spent writing added to every wait.
    QTest::newRow("ten lines, a sink that takes 20 ms a line") << ten << 0 << 10 << 0.05 << 20000us;

    // Over 4096 lines of another level lie between two lines of level 5, so the run lets the
    // window handle its events between them; that must not restart the rhythm either.
    QStringList sparse;
    for (int i = 1; i <= 5; ++i) {
        sparse << numbered(QStringLiteral("%PIX-6-302013: filler %1"), 4500)
               << QStringLiteral("%PIX-5-111008: %1").arg(i);
    }
    QTest::newRow("level 5 lines far apart, a sink that takes 30 ms a line") << sparse << 5 << 5 << 0.05 << 30000us;
}

void TestRunDriver::linesKeepAFixedRate()
{
    QFETCH(QStringList, lines);
    QFETCH(int, generationType);
    QFETCH(int, expectedLines);
    QFETCH(double, delay);
    QFETCH(std::chrono::microseconds, writeCost);

    Rig rig(lines, generationType, true);
    rig.sink.writeCost = writeCost;
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(delay);
    QVERIFY(ended.wait(5000));
    QCOMPARE(endedHow(ended), Next::Finished);
    QCOMPARE(rig.sink.lines.size(), std::size_t(expectedLines));

    const double step = delay * 1000;
    for (int i = 0; i < expectedLines; ++i) {
        // Never early: line i waits for its own deadline on the grid laid at Play.
        QVERIFY2(rig.sink.arrivals[i] >= (i + 1) * step,
                 qPrintable(QStringLiteral("line %1 at %2 ms").arg(i + 1).arg(rig.sink.arrivals[i])));
    }
    const double last = rig.sink.arrivals.back();
    QVERIFY2(last <= expectedLines * step + 100, qPrintable(QStringLiteral("last line at %1 ms").arg(last)));
}

void TestRunDriver::shortDelaysGoOutInBatchesBetweenEvents_data()
{
    QTest::addColumn<double>("delay");
    QTest::addColumn<int>("lines");
    QTest::addColumn<double>("soonestMs"); // the grid's time for the last line
    QTest::addColumn<double>("latestMs");  // < 0: as fast as the machine goes

    // Far more than one line per millisecond timer tick.
    QTest::newRow("10,000 lines a second") << 0.0001 << 3000 << 300.0 << 380.0;
    // Always behind: the run keeps going back to back, and the window still gets its turns.
    QTest::newRow("a microsecond, as fast as it goes") << 0.000001 << 20000 << 20.0 << -1.0;
}

void TestRunDriver::shortDelaysGoOutInBatchesBetweenEvents()
{
    QFETCH(double, delay);
    QFETCH(int, lines);
    QFETCH(double, soonestMs);
    QFETCH(double, latestMs);

    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 100), 0, false);
    const std::size_t target = std::size_t(lines);

    // A 0 ms timer fires on every turn of the event loop: the lines written between two of its
    // firings went out in one batch, and the time between firings is how long the window waited.
    std::vector<std::pair<double, std::size_t>> seen{{0.0, 0}}; // (ms since Play, lines so far)
    int turnsWithLinesKept = 0; // a batch's lines not yet handed to the system at the window's turn
    QTimer turns;
    turns.setInterval(0);
    connect(&turns, &QTimer::timeout, this, [&] {
        if (rig.driver.running()) {
            seen.emplace_back(rig.elapsed.nsecsElapsed() / 1e6, rig.sink.lines.size());
            turnsWithLinesKept += rig.sink.flushedLines != rig.sink.lines.size() ? 1 : 0;
        }
    });

    // And an event posted in the middle of the run is handled promptly.
    double posted = -1;
    double handled = -1;
    rig.sink.onWrite = [&](std::size_t written) {
        if (written == target / 2) {
            posted = rig.elapsed.nsecsElapsed() / 1e6;
            QTimer::singleShot(0, this, [&] { handled = rig.elapsed.nsecsElapsed() / 1e6; });
        }
        if (written == target) {
            rig.flags.StopRequested = true;
        }
    };

    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    turns.start();
    rig.play(delay);
    QVERIFY(ended.wait(10000));
    turns.stop();

    QCOMPARE(endedHow(ended), Next::Finished);
    QCOMPARE(rig.sink.lines.size(), target);
    QCOMPARE(rig.sink.flushedLines, target);
    QCOMPARE(turnsWithLinesKept, 0);
    QVERIFY2(seen.size() > 2, "the event loop never turned during the run");
    std::size_t largestBatch = 0;
    double longestGap = 0;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        largestBatch = std::max(largestBatch, seen[i].second - seen[i - 1].second);
        longestGap = std::max(longestGap, seen[i].first - seen[i - 1].first);
    }
    QVERIFY2(largestBatch > 1, "every line had a timer tick of its own");
    QVERIFY2(largestBatch < target, "all lines went out in one batch");
    QVERIFY2(longestGap < 20, qPrintable(QStringLiteral("the event loop waited %1 ms").arg(longestGap)));
    QVERIFY(handled >= posted && posted > 0);
    QVERIFY2(handled - posted < 20,
             qPrintable(QStringLiteral("posted event handled after %1 ms").arg(handled - posted)));
    // Never sooner than the grid, and no later than the timer's resolution allows.
    const double at = rig.sink.arrivals[target - 1];
    QVERIFY2(at >= soonestMs && (latestMs < 0 || at < latestMs),
             qPrintable(QStringLiteral("line %1 at %2 ms").arg(target).arg(at)));
}

void TestRunDriver::exitDuringAWaitAbandonsTheRun_data()
{
    QTest::addColumn<bool>("throughFlagOnly");
    QTest::newRow("exit calls quit()") << false;
    QTest::newRow("QuitRequested alone, seen when the wait's timer fires") << true;
}

void TestRunDriver::exitDuringAWaitAbandonsTheRun()
{
    QFETCH(bool, throughFlagOnly);
    constexpr double delay = 0.2;
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 5), 0, true);
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(delay);
    QTRY_COMPARE_WITH_TIMEOUT(rig.sink.lines.size(), std::size_t(1), 2000);

    rig.flags.QuitRequested = true;
    const double quitAt = rig.elapsed.nsecsElapsed() / 1e6;
    if (throughFlagOnly) {
        QVERIFY(rig.driver.running());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.driver.running(), 2000);
        const double seenAt = rig.elapsed.nsecsElapsed() / 1e6;
        QVERIFY2(seenAt - quitAt < delay * 1000 + 60, qPrintable(QString::number(seenAt - quitAt)));
    } else {
        rig.driver.quit();
        QVERIFY(!rig.driver.running());
        QCOMPARE(rig.driver.run(), nullptr);
    }

    QVERIFY(!ended.wait(int(delay * 1000 * 2))); // no runEnded, and no further line meanwhile
    QCOMPARE(rig.sink.lines.size(), std::size_t(1));
    // None of the end-of-run steps: the transport still shows a run under way.
    QVERIFY(!rig.view.play);
    QVERIFY(rig.view.stop);
    QVERIFY(!rig.view.sourceButton);
    QVERIFY(rig.view.lamps);
}

void TestRunDriver::stopEndsTheRunWhenTheWaitIsOver()
{
    constexpr double delay = 0.3;
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 5), 0, true);
    rig.sink.onWrite = [&](std::size_t written) {
        if (written == 1) {
            rig.flags.StopRequested = true; // pressed just as the wait for line 2 begins
        }
    };
    double endedAt = -1;
    connect(&rig.driver, &RunDriver::runEnded, this, [&] { endedAt = rig.elapsed.nsecsElapsed() / 1e6; });
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(delay);
    QVERIFY(ended.wait(3000));

    QCOMPARE(endedHow(ended), Next::Finished);
    QCOMPARE(rig.sink.lines.size(), std::size_t(1)); // the line waited for is not emitted
    QVERIFY2(endedAt >= 2 * delay * 1000 && endedAt < 2 * delay * 1000 + 80, qPrintable(QString::number(endedAt)));
    QCOMPARE(rig.flags.StopRequested, false);
    QVERIFY(rig.view.play);
    QVERIFY(!rig.view.pause);
    QVERIFY(!rig.view.stop);
    QVERIFY(!rig.driver.running());
}

void TestRunDriver::stopAndExitEndAGapOfTheLogAtOnce_data()
{
    QTest::addColumn<bool>("stop"); // Stop, or else exit through QuitRequested
    QTest::newRow("Stop") << true;
    QTest::newRow("exit") << false;
}

void TestRunDriver::stopAndExitEndAGapOfTheLogAtOnce()
{
    QFETCH(bool, stop);
    // A replay whose second line comes a minute after the first, on a clock that stands still:
    // the run can only end before the gap is over if the driver looks for the press during it.
    Rig rig({"Dec  6 04:47:51 10.1.1.1 %PIX-6-302013: a", "Dec  6 04:48:51 10.1.1.1 %PIX-6-302013: b"}, 0, true);
    rig.settings.replayAtLogPace = true;
    rig.settings.replayMaxGap = 60;
    ManualClock clock;
    RunDriver driver(rig.flags, clock);
    rig.sink.onWrite = [&](std::size_t) { (stop ? rig.flags.StopRequested : rig.flags.QuitRequested) = true; };
    QSignalSpy ended(&driver, &RunDriver::runEnded);
    constexpr double delay = 0.01;
    driver.start(std::make_unique<GenerationRun>(rig.settings, rig.flags, rig.view, rig.sink, rig.random, rig.wall),
                 delay);
    clock.advance(std::chrono::milliseconds(10)); // the first line's wait, one delay

    QTRY_VERIFY(!driver.running());                  // the clock never reaches the end of the gap
    QCOMPARE(rig.sink.lines.size(), std::size_t(1)); // the line waited for is not emitted
    QCOMPARE(ended.size(), stop ? 1 : 0);
    if (stop) {
        QCOMPARE(endedHow(ended), Next::Finished);
        QVERIFY(rig.view.play);
    }
}

void TestRunDriver::pauseAndStopAmidBatchesLoseNoLine()
{
    // 100,000 lines a second: about a hundred lines to each timer tick, so Pause and Stop fall in
    // the middle of batches.
    constexpr int kSourceLines = 100;
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), kSourceLines), 0, false);
    std::size_t linesWhilePaused = 0;
    rig.sink.onWrite = [&](std::size_t written) {
        if (written == 250) {
            rig.flags.Paused = true;
            QTimer::singleShot(50, this, [&] {
                linesWhilePaused = rig.sink.lines.size() - 250;
                rig.flags.Paused = false;
            });
        }
        if (written == 777) {
            rig.flags.StopRequested = true;
        }
    };
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(0.00001);
    QVERIFY(ended.wait(5000));

    QCOMPARE(endedHow(ended), Next::Finished);
    QCOMPARE(linesWhilePaused, std::size_t(0));
    QCOMPARE(rig.sink.lines.size(), std::size_t(777));
    QCOMPARE(rig.sink.flushedLines, std::size_t(777));
    // Every line once, in the source's order, across pause, batches and passes.
    for (std::size_t i = 0; i < rig.sink.lines.size(); ++i) {
        const std::string expected = "%PIX-6-302013: line " + std::to_string(i % kSourceLines + 1);
        QCOMPARE(rig.sink.lines[i], expected);
    }
}

void TestRunDriver::sinkOutcome_data()
{
    QTest::addColumn<int>("outcome"); // of the second line: 0 skipped, 1 its write fails, 2 its flush fails
    QTest::addColumn<Next>("how");
    QTest::addColumn<int>("expectedLines");

    QTest::newRow("a failed write halts the run") << 1 << Next::Halted << 2;
    QTest::newRow("a failed hand-over of a batch halts the run") << 2 << Next::Halted << 2;
    QTest::newRow("a skipped datagram is passed over") << 0 << Next::Finished << 4;
}

void TestRunDriver::sinkOutcome()
{
    QFETCH(int, outcome);
    QFETCH(Next, how);
    QFETCH(int, expectedLines);

    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 4), 0, true);
    if (outcome == 2) {
        rig.sink.flushFailure.emplace(2, Failure{"No space left on device"});
    } else {
        rig.sink.outcomes.insert_or_assign(1, outcome == 1 ? SinkResult(Failure{"No space left on device"})
                                                           : SinkResult(Delivery::Skipped));
    }
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(0.01);
    QVERIFY(ended.wait(3000));
    QCOMPARE(ended.size(), 1);
    QCOMPARE(endedHow(ended), how);
    QCOMPARE(rig.sink.lines.size(), std::size_t(expectedLines));
    QVERIFY(!rig.driver.running());
    if (how == Next::Halted) {
        QCOMPARE(rig.view.failure, std::string("No space left on device"));
        QVERIFY(!rig.view.play); // Play stays disabled after a failure
    } else {
        QVERIFY(rig.view.failure.empty());
    }
    QVERIFY(!ended.wait(100)); // the driver does not go on after the end
    QCOMPARE(rig.sink.lines.size(), std::size_t(expectedLines));
}

void TestRunDriver::absentSourceHaltsAtPlay()
{
    Rig rig({}, 0, true);
    rig.settings.sourceFile = rig.source.parent_path() / "ABSENT.TXT";
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(0.01);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(endedHow(ended), Next::Halted);
    QVERIFY(!rig.driver.running());
    QVERIFY(!rig.view.failure.empty());
}

void TestRunDriver::runThatNeverWaitsStillHearsTheWindow_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("generationType");
    QTest::addColumn<bool>("stop"); // Stop, or else exit through QuitRequested

    const QStringList otherLevel = numbered(QStringLiteral("%PIX-6-302013: line %1"), 50);
    QTest::newRow("empty source, endless passes, Stop") << QStringList() << 0 << true;
    QTest::newRow("no line of level 3, endless passes, Stop") << otherLevel << 3 << true;
    QTest::newRow("no line of level 3, endless passes, exit") << otherLevel << 3 << false;
}

void TestRunDriver::runThatNeverWaitsStillHearsTheWindow()
{
    QFETCH(QStringList, lines);
    QFETCH(int, generationType);
    QFETCH(bool, stop);

    Rig rig(lines, generationType, false);
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(0.0001);
    QVERIFY(rig.driver.running());
    // The button's handler can only run if the run goes back to the event loop between passes,
    // and passes that find nothing rest 10 ms at least rather than spin.
    QTimer::singleShot(200, this, [&] {
        QVERIFY2(rig.view.clears <= 25, qPrintable(QString::number(rig.view.clears)));
        if (stop) {
            rig.flags.StopRequested = true;
        } else {
            rig.flags.QuitRequested = true;
        }
    });
    QTRY_VERIFY_WITH_TIMEOUT(!rig.driver.running(), 2000);
    QCOMPARE(ended.size(), stop ? 1 : 0);
    if (stop) {
        QCOMPARE(endedHow(ended), Next::Finished);
    }
    QVERIFY(rig.sink.lines.empty());
}

void TestRunDriver::secondRunAfterTheFirstEnded()
{
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 2), 0, true);
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(0.02);
    QVERIFY(ended.wait(2000));
    rig.play(0.02);
    QVERIFY(rig.driver.running());
    QVERIFY(ended.wait(2000));
    QCOMPARE(ended.size(), 2);
    const std::vector<std::string> both{"%PIX-6-302013: line 1", "%PIX-6-302013: line 2", "%PIX-6-302013: line 1",
                                        "%PIX-6-302013: line 2"};
    QCOMPARE(rig.sink.lines, both);
    // The second run is paced from its own Play.
    QVERIFY(rig.sink.arrivals[2] >= 20);
}

QTEST_GUILESS_MAIN(TestRunDriver)
#include "tst_rundriver.moc"
