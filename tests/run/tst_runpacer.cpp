// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/runpacer.h"
#include "enginefakes.h"

#include <QTest>

using namespace korvane;
using korvane::test::ManualClock;
using std::chrono::nanoseconds;

class TestRunPacer : public QObject
{
    Q_OBJECT

private slots:
    void firstDeadlineOneDelayAfterBegin_data();
    void firstDeadlineOneDelayAfterBegin();
    void fixedRateWithoutDrift();
    void dueAndRemaining();
    void stall_data();
    void stall();
    void profileDeadlinesAreItsLineTimesFromBegin();
    void profileStall_data();
    void profileStall();
};

void TestRunPacer::firstDeadlineOneDelayAfterBegin_data()
{
    QTest::addColumn<double>("delaySeconds");
    QTest::addColumn<qint64>("expectedNs");

    QTest::newRow("one second") << 1.0 << qint64(1'000'000'000);
    QTest::newRow("a quarter second") << 0.25 << qint64(250'000'000);
    QTest::newRow("a third of a second rounds") << 1.0 / 3 << qint64(333'333'333);
    QTest::newRow("1.5 ns rounds up") << 1.5e-9 << qint64(2);
    QTest::newRow("below a nanosecond is one nanosecond") << 1e-12 << qint64(1);
    QTest::newRow("zero is one nanosecond") << 0.0 << qint64(1);
    QTest::newRow("a negative delay is one nanosecond") << -3.0 << qint64(1);
    QTest::newRow("one hour") << 3600.0 << qint64(3'600'000'000'000);
}

void TestRunPacer::firstDeadlineOneDelayAfterBegin()
{
    QFETCH(double, delaySeconds);
    QFETCH(qint64, expectedNs);

    ManualClock clock;
    RunPacer pacer(clock, delaySeconds);
    clock.advance(std::chrono::seconds(7)); // begin() counts from its own call, not construction
    pacer.begin();
    QCOMPARE((pacer.deadline() - clock.current).count(), expectedNs);
    QCOMPARE(pacer.remaining().count(), expectedNs);
    QVERIFY(!pacer.due());
}

void TestRunPacer::fixedRateWithoutDrift()
{
    // Each line takes a little time to emit and the waits wake late: the deadlines stay on
    // the grid laid from begin(), so lateness never accumulates.
    ManualClock clock;
    RunPacer pacer(clock, 0.1);
    pacer.begin();
    const nanoseconds start = pacer.deadline();
    for (int line = 1; line <= 1000; ++line) {
        clock.current = pacer.deadline() + std::chrono::milliseconds(3 + line % 8); // woken late, within jitter
        QVERIFY(pacer.due());
        pacer.next();
        QCOMPARE(pacer.deadline(), start + line * nanoseconds(100'000'000));
    }
}

void TestRunPacer::dueAndRemaining()
{
    ManualClock clock;
    RunPacer pacer(clock, 2.0);
    pacer.begin();
    clock.advance(std::chrono::milliseconds(1500));
    QCOMPARE(pacer.remaining(), nanoseconds(500'000'000));
    QVERIFY(!pacer.due());
    clock.advance(std::chrono::milliseconds(500));
    QVERIFY(pacer.due()); // exactly at the deadline
    QCOMPARE(pacer.remaining(), nanoseconds(0));
    clock.advance(std::chrono::seconds(1));
    QCOMPARE(pacer.remaining(), nanoseconds(0)); // never negative
}

void TestRunPacer::stall_data()
{
    QTest::addColumn<double>("delaySeconds");
    QTest::addColumn<qint64>("lateNs");          // how far past the following deadline the clock stands
    QTest::addColumn<qint64>("deadlineFromNow"); // where the following deadline ends up

    // Jitter is made up for on the grid; of a longer stall at most 20 ms worth of lines are owed.
    QTest::newRow("10 us delay, 4 ms of jitter: all caught up") << 0.00001 << qint64(4'000'000) << qint64(-4'000'000);
    QTest::newRow("1 ms delay, 19 ms behind: all caught up") << 0.001 << qint64(19'000'000) << qint64(-19'000'000);
    QTest::newRow("1 ms delay, 30 ms behind: twenty lines owed, not thirty")
        << 0.001 << qint64(30'000'000) << qint64(-19'000'000);
    QTest::newRow("1 s delay, half a second behind: the next line a delay later")
        << 1.0 << qint64(500'000'000) << qint64(980'000'000);
    QTest::newRow("1 s delay, stopped for 8 s: no burst") << 1.0 << qint64(8'000'000'000) << qint64(980'000'000);
}

void TestRunPacer::stall()
{
    QFETCH(double, delaySeconds);
    QFETCH(qint64, lateNs);
    QFETCH(qint64, deadlineFromNow);

    ManualClock clock;
    RunPacer pacer(clock, delaySeconds);
    pacer.begin();
    const nanoseconds step = pacer.deadline() - clock.current;
    const nanoseconds following = pacer.deadline() + step;
    clock.current = following + nanoseconds(lateNs); // the machine slept through the wait
    pacer.next();
    QCOMPARE(pacer.deadline() - clock.current, nanoseconds(deadlineFromNow));
}

void TestRunPacer::profileDeadlinesAreItsLineTimesFromBegin()
{
    // Each deadline comes from the line's own time, not from the one before: no rounding adds up.
    const RateProfile profile = *RateProfile::parse("sine 20000 15000 3");
    ManualClock clock;
    clock.advance(std::chrono::seconds(7));
    RunPacer pacer(clock, profile, 0);
    pacer.begin();
    const nanoseconds play = clock.current;
    for (int line = 1; line <= 100'000; ++line) {
        const auto due = nanoseconds{std::llround(profile.lineTime(line) * 1e9)};
        QCOMPARE(pacer.deadline() - play, due);
        clock.current = pacer.deadline() + std::chrono::microseconds(line % 700); // within the catch-up
        pacer.next(clock.current);
    }
    // An idle pass lays the grid again: the profile keeps its clock from Play.
    clock.current = play + std::chrono::seconds(8);
    pacer.begin();
    QCOMPARE(pacer.deadline() - play,
             nanoseconds{std::llround(profile.lineTime(std::floor(profile.integral(8)) + 1) * 1e9)});
}

void TestRunPacer::profileStall_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<double>("rate"); // at the time of the stall's end

    QTest::newRow("ramp, stopped for 10 s: what is due from 20 ms before on")
        << "ramp 1000 20000 60" << 1000.0 + 19000.0 / 6;
    QTest::newRow("poisson, stopped for 10 s") << "poisson 5000" << 5000.0;
}

void TestRunPacer::profileStall()
{
    QFETCH(QString, profile);
    QFETCH(double, rate);

    ManualClock clock;
    RunPacer pacer(clock, *RateProfile::parse(profile.toStdString()), 0);
    pacer.begin();
    const nanoseconds play = clock.current;
    clock.current = play + std::chrono::seconds(10);
    // The lines served back to back from here: at most 20 ms worth (the poisson count is random,
    // its mean is 100: 160 is far above what 10,000 runs would reach).
    int backToBack = 0;
    pacer.next(clock.current);
    QVERIFY(pacer.deadline() >= clock.current - std::chrono::milliseconds(20));
    while (pacer.due()) {
        ++backToBack;
        pacer.next(clock.current);
    }
    QVERIFY2(backToBack <= (profile.startsWith("poisson") ? 160 : std::lround(rate * 0.02) + 1),
             qPrintable(QString::number(backToBack)));
    QVERIFY(backToBack > 0);
    QVERIFY(pacer.deadline() - clock.current < std::chrono::milliseconds(20));
}

QTEST_APPLESS_MAIN(TestRunPacer)
#include "tst_runpacer.moc"
