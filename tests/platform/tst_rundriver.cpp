// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "manualtimer.h"
#include "platform/rundriver.h"
#include "runfakes.h"
#include "settings/rateprofile.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace korvane;
using namespace korvane::test;
using Next = GenerationRun::Next;
using namespace std::chrono_literals;
using std::chrono::nanoseconds;

Q_DECLARE_METATYPE(std::chrono::nanoseconds)

namespace korvane {
// Readable names in failure messages.
char* toString(GenerationRun::Next next)
{
    static const char* const names[] = {"Wait", "Yield", "Idle", "Finished", "Halted"};
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

double ms(nanoseconds t)
{
    return static_cast<double>(t.count()) / 1e6;
}

nanoseconds seconds(double s)
{
    return nanoseconds{static_cast<nanoseconds::rep>(std::llround(s * 1e9))};
}

// A real run over a real file, woken on virtual time: the test lets the time go by and has its
// turn between two wake-ups, as the window has between two timer events. Only the observer, the
// sink, the clock and the timer are fakes.
struct Rig
{
    Rig(const QStringList& lines, int generationType, bool onePass)
        : source(writeSource(dir, lines)), settings(realLogSettings(source, generationType, onePass))
    {}

    // Play: the sink's arrivals count from here.
    void play(double delay)
    {
        sink.origin = clock.current;
        driver.start(std::make_unique<GenerationRun>(settings, flags, observer, sink, random, wall), delay);
    }
    nanoseconds sincePlay() const { return clock.current - sink.origin; }

    QTemporaryDir dir;
    std::filesystem::path source;
    RunSettings settings;
    RunFlags flags;
    RecordingObserver observer;
    ManualClock clock;
    ManualTimer timer{clock};
    RecordingSink sink{clock};
    DefaultRandomSource random;
    FixedWallClock wall;
    RunDriver driver{flags, clock, timer};
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
    void aGapOfTheLogIsServedInSlices_data();
    void aGapOfTheLogIsServedInSlices();
    void pauseAndStopAmidBatchesLoseNoLine();
    void sinkOutcome_data();
    void sinkOutcome();
    void absentSourceHaltsAtPlay();
    void passesThatFindNothingRest_data();
    void passesThatFindNothingRest();
    void runThatNeverWaitsStillHearsTheWindow_data();
    void runThatNeverWaitsStillHearsTheWindow();
    void secondRunAfterTheFirstEnded();
    void aRateProfileIsFollowedSecondBySecond();
    void aPausedProfileRunRestsAndKeepsItsClockFromPlay();
};

void TestRunDriver::firstLineOneDelayAfterPlay_data()
{
    QTest::addColumn<double>("delay");
    QTest::addColumn<double>("emittedMs");

    QTest::newRow("a fifth of a second") << 0.2 << 200.0;
    QTest::newRow("a twentieth of a second") << 0.05 << 50.0;
    // The timer counts whole milliseconds: the wait is rounded up, never down.
    QTest::newRow("a delay between two milliseconds") << 0.0125 << 13.0;
}

void TestRunDriver::firstLineOneDelayAfterPlay()
{
    QFETCH(double, delay);
    QFETCH(double, emittedMs);
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 3), 0, true);
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);

    rig.play(delay);
    QVERIFY(rig.driver.running());
    QVERIFY(rig.sink.lines.empty()); // nothing goes out before the first wait
    const nanoseconds emittedAt = seconds(emittedMs / 1000);
    rig.timer.advance(emittedAt - 1ns);
    QVERIFY(rig.sink.lines.empty()); // not a moment early
    rig.timer.advance(1ns);
    QCOMPARE(rig.sink.lines.size(), std::size_t(1));
    QCOMPARE(ms(rig.sink.arrivals[0]), emittedMs);
    rig.timer.runOut();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(rig.sink.lines.size(), std::size_t(3));
}

void TestRunDriver::linesKeepAFixedRate_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("generationType");
    QTest::addColumn<int>("expectedLines");
    QTest::addColumn<double>("delay");
    QTest::addColumn<nanoseconds>("writeCost");

    const QStringList ten = numbered(QStringLiteral("%PIX-6-302013: line %1"), 10);
    QTest::newRow("ten lines, instant sink") << ten << 0 << 10 << 0.05 << nanoseconds{0};
    // 10 x (0.05 + 0.03) = 0.8 s if the time spent writing added to every wait.
    QTest::newRow("ten lines, a sink that takes 30 ms a line") << ten << 0 << 10 << 0.05 << nanoseconds{30ms};

    // Over 4096 lines of another level lie between two lines of level 5, so the run lets the
    // window handle its events between them; that must not restart the rhythm either.
    QStringList sparse;
    for (int i = 1; i <= 5; ++i) {
        sparse << numbered(QStringLiteral("%PIX-6-302013: filler %1"), 4500)
               << QStringLiteral("%PIX-5-111008: %1").arg(i);
    }
    QTest::newRow("level 5 lines far apart, a sink that takes 30 ms a line")
        << sparse << 5 << 5 << 0.05 << nanoseconds{30ms};
}

void TestRunDriver::linesKeepAFixedRate()
{
    QFETCH(QStringList, lines);
    QFETCH(int, generationType);
    QFETCH(int, expectedLines);
    QFETCH(double, delay);
    QFETCH(nanoseconds, writeCost);

    Rig rig(lines, generationType, true);
    rig.sink.writeCost = writeCost;
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(delay);
    rig.timer.runOut();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(endedHow(ended), Next::Finished);
    QCOMPARE(rig.sink.lines.size(), std::size_t(expectedLines));

    // Line i is due one delay after line i - 1 was due, on the grid laid at Play, and goes out
    // when the time reaches that.
    for (int i = 0; i < expectedLines; ++i) {
        QCOMPARE(ms(rig.sink.arrivals[i]), (i + 1) * delay * 1000);
    }
}

void TestRunDriver::shortDelaysGoOutInBatchesBetweenEvents_data()
{
    QTest::addColumn<double>("delay");
    QTest::addColumn<int>("lines");
    QTest::addColumn<nanoseconds>("writeCost");

    // Far more than one line per millisecond of the timer: each wake-up sends the lines due by then.
    QTest::newRow("10,000 lines a second") << 0.0001 << 3000 << nanoseconds{0};
    // Always behind: the run keeps going back to back, and the window still gets its turns.
    QTest::newRow("a microsecond, a sink slower than that") << 0.000001 << 20000 << nanoseconds{2us};
}

void TestRunDriver::shortDelaysGoOutInBatchesBetweenEvents()
{
    QFETCH(double, delay);
    QFETCH(int, lines);
    QFETCH(nanoseconds, writeCost);

    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 100), 0, false);
    rig.sink.writeCost = writeCost;
    const std::size_t target = std::size_t(lines);
    rig.sink.onWrite = [&](std::size_t written) {
        if (written == target) {
            rig.flags.StopRequested = true;
        }
    };

    // Between two wake-ups the window has its turn: the lines of one wake-up are one batch.
    struct Batch
    {
        nanoseconds woke;
        std::size_t first;
        std::size_t end;
    };
    std::vector<Batch> batches;
    int turnsWithLinesKept = 0; // a batch's lines not yet handed to the system at the window's turn
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(delay);
    while (rig.driver.running() && rig.timer.armed()) {
        const nanoseconds woke = std::max(rig.clock.current, *rig.timer.at());
        const std::size_t first = rig.sink.lines.size();
        rig.timer.fire();
        batches.push_back({woke - rig.sink.origin, first, rig.sink.lines.size()});
        turnsWithLinesKept += rig.sink.flushedLines != rig.sink.lines.size() ? 1 : 0;
    }

    QCOMPARE(ended.size(), 1);
    QCOMPARE(endedHow(ended), Next::Finished);
    QCOMPARE(rig.sink.lines.size(), target);
    QCOMPARE(rig.sink.flushedLines, target);
    QCOMPARE(turnsWithLinesKept, 0);
    std::size_t largestBatch = 0;
    for (const Batch& batch : batches) {
        largestBatch = std::max(largestBatch, batch.end - batch.first);
        // The window waits at most one budget of back-to-back lines.
        if (batch.end > batch.first) {
            QVERIFY2(rig.sink.arrivals[batch.end - 1] - batch.woke < RunDriver::kBatchBudget,
                     qPrintable(QStringLiteral("a batch from %1 ms to %2 ms")
                                    .arg(ms(batch.woke))
                                    .arg(ms(rig.sink.arrivals[batch.end - 1]))));
        }
    }
    QVERIFY2(largestBatch > 1, "every line had a wake-up of its own");
    QVERIFY2(largestBatch < target, "all lines went out in one batch");

    const nanoseconds step = seconds(delay);
    for (std::size_t i = 0; i < target; ++i) {
        const nanoseconds due = step * nanoseconds::rep(i + 1);
        QVERIFY2(rig.sink.arrivals[i] >= due, qPrintable(QStringLiteral("line %1 early").arg(i + 1)));
        if (writeCost == 0ns) {
            // Sent at the first wake-up of the timer's millisecond once it is due.
            QVERIFY2(rig.sink.arrivals[i] < due + 1ms,
                     qPrintable(QStringLiteral("line %1 at %2 ms").arg(i + 1).arg(ms(rig.sink.arrivals[i]))));
        } else if (i > 0) {
            // Behind: each line follows the one before as soon as it is written, across batches.
            QCOMPARE(ms(rig.sink.arrivals[i] - rig.sink.arrivals[i - 1]), ms(writeCost));
        }
    }
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
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 5), 0, true);
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(0.2);
    rig.timer.advance(200ms);
    QCOMPARE(rig.sink.lines.size(), std::size_t(1));

    rig.flags.QuitRequested = true;
    if (throughFlagOnly) {
        QVERIFY(rig.driver.running());
        QVERIFY(rig.timer.fire()); // the end of the wait for line 2
        QCOMPARE(ms(rig.sincePlay()), 400.0);
        QVERIFY(!rig.driver.running());
    } else {
        rig.driver.quit();
        QVERIFY(!rig.driver.running());
        QCOMPARE(rig.driver.run(), nullptr);
    }

    QVERIFY(!rig.timer.armed()); // no further wake-up
    rig.timer.advance(1s);
    QCOMPARE(ended.size(), 0);
    QCOMPARE(rig.sink.lines.size(), std::size_t(1));
    // None of the end-of-run steps.
    QCOMPARE(rig.observer.ends, 0);
    QCOMPARE(rig.observer.failures, 0);
}

void TestRunDriver::stopEndsTheRunWhenTheWaitIsOver()
{
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 5), 0, true);
    rig.sink.onWrite = [&](std::size_t written) {
        if (written == 1) {
            rig.flags.StopRequested = true; // pressed just as the wait for line 2 begins
        }
    };
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(0.3);
    rig.timer.advance(600ms - 1ns);
    QVERIFY(rig.driver.running()); // a wait of one delay is served whole
    rig.timer.advance(1ns);

    QCOMPARE(ended.size(), 1);
    QCOMPARE(endedHow(ended), Next::Finished);
    QCOMPARE(rig.sink.lines.size(), std::size_t(1)); // the line waited for is not emitted
    QCOMPARE(rig.flags.StopRequested, false);
    QCOMPARE(rig.observer.ends, 1);
    QVERIFY(!rig.driver.running());
}

void TestRunDriver::aGapOfTheLogIsServedInSlices_data()
{
    QTest::addColumn<QString>("press"); // during the gap
    QTest::addColumn<double>("endedMs");
    QTest::addColumn<int>("expectedLines");

    // Line 1 goes out one delay (10 ms) after Play; line 2 is a minute behind it in the log.
    QTest::newRow("Stop ends it at the end of the slice") << "Stop" << 210.0 << 1;
    QTest::newRow("exit ends it at the end of the slice") << "exit" << 210.0 << 1;
    QTest::newRow("unpressed, the next line comes when it is over") << "" << 60010.0 << 2;
}

void TestRunDriver::aGapOfTheLogIsServedInSlices()
{
    QFETCH(QString, press);
    QFETCH(double, endedMs);
    QFETCH(int, expectedLines);

    Rig rig({"Dec  6 04:47:51 10.1.1.1 %PIX-6-302013: a", "Dec  6 04:48:51 10.1.1.1 %PIX-6-302013: b"}, 0, true);
    rig.settings.replayAtLogPace = true;
    rig.settings.replayMaxGap = 60;
    rig.sink.onWrite = [&](std::size_t) {
        if (press == "Stop") {
            rig.flags.StopRequested = true;
        } else if (press == "exit") {
            rig.flags.QuitRequested = true;
        }
    };
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(0.01);
    rig.timer.advance(10ms);
    QCOMPARE(rig.sink.lines.size(), std::size_t(1));
    QCOMPARE(rig.timer.lastArmed, RunDriver::kLogWaitSlice);

    rig.timer.runOut();
    QVERIFY(!rig.driver.running());
    QCOMPARE(ms(rig.sincePlay()), endedMs);
    QCOMPARE(rig.sink.lines.size(), std::size_t(expectedLines));
    QCOMPARE(ended.size(), press == "exit" ? 0 : 1);
    if (press != "exit") {
        QCOMPARE(endedHow(ended), Next::Finished);
        QCOMPARE(rig.observer.ends, 1);
    }
}

void TestRunDriver::pauseAndStopAmidBatchesLoseNoLine()
{
    // 100,000 lines a second: a hundred lines to each millisecond of the timer, so Pause and
    // Stop fall in the middle of batches.
    constexpr int kSourceLines = 100;
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), kSourceLines), 0, false);
    std::optional<nanoseconds> pausedAt;
    rig.sink.onWrite = [&](std::size_t written) {
        if (written == 250) {
            rig.flags.Paused = true;
            pausedAt = rig.clock.current;
        }
        if (written == 777) {
            rig.flags.StopRequested = true;
        }
    };
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(0.00001);
    std::size_t linesWhilePaused = 0;
    while (rig.timer.fire()) {
        if (pausedAt && rig.flags.Paused && rig.clock.current - *pausedAt >= 50ms) {
            linesWhilePaused = rig.sink.lines.size() - 250;
            rig.flags.Paused = false; // Pause again, in the window's turn
        }
    }

    QCOMPARE(ended.size(), 1);
    QCOMPARE(endedHow(ended), Next::Finished);
    QVERIFY(pausedAt.has_value());
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
    rig.timer.runOut();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(endedHow(ended), how);
    QCOMPARE(rig.sink.lines.size(), std::size_t(expectedLines));
    QVERIFY(!rig.driver.running());
    if (how == Next::Halted) {
        QCOMPARE(rig.observer.failure, std::string("No space left on device"));
        QCOMPARE(rig.observer.ends, 0); // no end-of-run steps after a failure
    } else {
        QCOMPARE(rig.observer.failures, 0);
    }
    QVERIFY(!rig.timer.armed()); // the driver does not go on after the end
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
    QVERIFY(!rig.observer.failure.empty());
}

void TestRunDriver::passesThatFindNothingRest_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("generationType");
    QTest::addColumn<double>("delay");
    QTest::addColumn<int>("restMs");

    const QStringList otherLevel = numbered(QStringLiteral("%PIX-6-302013: line %1"), 50);
    // Rather than spin, passes that find nothing rest a few milliseconds at least.
    QTest::newRow("empty source, a tiny delay") << QStringList() << 0 << 0.0001 << 10;
    QTest::newRow("no line of level 3, a tiny delay") << otherLevel << 3 << 0.0001 << 10;
    QTest::newRow("no line of level 3, a longer delay") << otherLevel << 3 << 0.05 << 50;
}

void TestRunDriver::passesThatFindNothingRest()
{
    QFETCH(QStringList, lines);
    QFETCH(int, generationType);
    QFETCH(double, delay);
    QFETCH(int, restMs);

    Rig rig(lines, generationType, false);
    QSignalSpy ended(&rig.driver, &RunDriver::runEnded);
    rig.play(delay);
    const int passes = rig.observer.passes;
    QCOMPARE(rig.timer.lastArmed, std::chrono::milliseconds(restMs));
    rig.timer.advance(std::chrono::milliseconds(10 * restMs));
    QCOMPARE(rig.observer.passes, passes + 10);

    rig.flags.StopRequested = true;
    rig.timer.runOut();
    QCOMPARE(ended.size(), 1);
    QCOMPARE(endedHow(ended), Next::Finished);
    QVERIFY(rig.sink.lines.empty());
}

void TestRunDriver::runThatNeverWaitsStillHearsTheWindow_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("generationType");
    QTest::addColumn<bool>("stop"); // Stop, or else exit through QuitRequested

    const QStringList otherLevel = numbered(QStringLiteral("%PIX-6-302013: line %1"), 5000);
    QTest::newRow("empty source, endless passes, Stop") << QStringList() << 0 << true;
    QTest::newRow("no line of level 3, endless passes, Stop") << otherLevel << 3 << true;
    QTest::newRow("no line of level 3, endless passes, exit") << otherLevel << 3 << false;
}

void TestRunDriver::runThatNeverWaitsStillHearsTheWindow()
{
    QFETCH(QStringList, lines);
    QFETCH(int, generationType);
    QFETCH(bool, stop);

    // The product's own timer on the real event loop: the button's handler can only run if the
    // run goes back to the event loop between passes.
    Rig rig(lines, generationType, false);
    SteadyClock steady;
    RunDriver driver(rig.flags, steady);
    QSignalSpy ended(&driver, &RunDriver::runEnded);
    driver.start(std::make_unique<GenerationRun>(rig.settings, rig.flags, rig.observer, rig.sink, rig.random, rig.wall),
                 0.0001);
    QVERIFY(driver.running());
    bool heardDuringTheRun = false;
    QTimer::singleShot(0, this, [&] {
        heardDuringTheRun = driver.running();
        (stop ? rig.flags.StopRequested : rig.flags.QuitRequested) = true;
    });
    QTRY_VERIFY(!driver.running());
    QVERIFY(heardDuringTheRun);
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
    rig.timer.runOut();
    QCOMPARE(ended.size(), 1);
    rig.clock.advance(1s); // Play again a while later
    rig.play(0.02);
    QVERIFY(rig.driver.running());
    rig.timer.runOut();
    QCOMPARE(ended.size(), 2);
    const std::vector<std::string> both{"%PIX-6-302013: line 1", "%PIX-6-302013: line 2", "%PIX-6-302013: line 1",
                                        "%PIX-6-302013: line 2"};
    QCOMPARE(rig.sink.lines, both);
    // The second run is paced from its own Play.
    QCOMPARE(ms(rig.sink.arrivals[2]), 20.0);
    QCOMPARE(ms(rig.sink.arrivals[3]), 40.0);
}

void TestRunDriver::aRateProfileIsFollowedSecondBySecond()
{
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 100), 0, false);
    rig.settings.rateProfile = "ramp 1000 20000 10";
    const RateProfile profile = *RateProfile::parse(rig.settings.rateProfile);
    rig.play(1.0); // the profile, not the delay
    rig.timer.advance(12s);
    rig.flags.StopRequested = true;
    rig.timer.runOut();
    QVERIFY(!rig.driver.running());

    // No line before its time, and each second carries the profile's lines within 2%.
    std::vector<double> perSecond(12, 0);
    for (std::size_t i = 0; i < rig.sink.arrivals.size() && rig.sink.arrivals[i] < 12s; ++i) {
        QVERIFY(rig.sink.arrivals[i] >= seconds(profile.lineTime(static_cast<double>(i + 1))) - 1ns);
        perSecond[static_cast<std::size_t>(rig.sink.arrivals[i] / 1s)] += 1;
    }
    for (std::size_t k = 0; k < perSecond.size(); ++k) {
        const double expected = profile.integral(k + 1.0) - profile.integral(k);
        QVERIFY2(std::abs(perSecond[k] - expected) <= 0.02 * expected,
                 qPrintable(QStringLiteral("second %1: %2 lines, %3 due").arg(k).arg(perSecond[k]).arg(expected)));
    }
}

void TestRunDriver::aPausedProfileRunRestsAndKeepsItsClockFromPlay()
{
    Rig rig(numbered(QStringLiteral("%PIX-6-302013: line %1"), 100), 0, false);
    rig.settings.rateProfile = "ramp 1000 20000 10";
    const RateProfile profile = *RateProfile::parse(rig.settings.rateProfile);
    rig.play(1.0);
    rig.timer.advance(1s);
    rig.flags.Paused = true;
    const std::size_t beforePause = rig.sink.lines.size();
    const int wakeUps = rig.timer.wakeUps;
    rig.timer.advance(1s);
    // Paused: a wake-up every 10 ms or so rather than one for each line the profile puts there.
    QCOMPARE(rig.sink.lines.size(), beforePause);
    QVERIFY2(rig.timer.wakeUps - wakeUps <= 101, qPrintable(QString::number(rig.timer.wakeUps - wakeUps)));
    rig.flags.Paused = false;
    rig.timer.advance(1s);

    // Then the profile goes on where its clock from Play stands: third-second lines, not second-second ones.
    const auto third = std::count_if(rig.sink.arrivals.begin(), rig.sink.arrivals.end(),
                                     [](nanoseconds at) { return at >= 2s && at < 3s; });
    const double due = profile.integral(3) - profile.integral(2);
    QVERIFY2(std::abs(double(third) - due) <= 0.02 * due, qPrintable(QString::number(third)));
}

QTEST_GUILESS_MAIN(TestRunDriver)
#include "tst_rundriver.moc"
