// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/durationlimit.h"
#include "manualtimer.h"

#include <QTest>

using namespace korvane::cli;
using namespace std::chrono;

class TestDurationLimit : public QObject
{
    Q_OBJECT

private slots:
    void reachedOnceTheDurationIsOver_data();
    void reachedOnceTheDurationIsOver();
};

void TestDurationLimit::reachedOnceTheDurationIsOver_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("waits");

    QTest::newRow("in one wait") << 0.05 << 1;
    QTest::newRow("a fraction of a millisecond rounded up, never short") << 0.0125 << 1;
    QTest::newRow("in steps of a day, longer than a timer allows") << 2147484.0 << 25;
}

void TestDurationLimit::reachedOnceTheDurationIsOver()
{
    QFETCH(double, seconds);
    QFETCH(int, waits);
    korvane::test::ManualClock clock;
    korvane::test::ManualTimer timer(clock);
    int reached = 0;
    DurationLimit limit(clock, timer, [&] { ++reached; });
    const nanoseconds startedAt = clock.current;
    limit.start(duration<double>(seconds));

    const nanoseconds deadline = startedAt + duration_cast<nanoseconds>(duration<double>(seconds));
    timer.advance(deadline - clock.current - nanoseconds(1));
    QCOMPARE(reached, 0);
    QVERIFY(timer.lastArmed <= DurationLimit::kLongestStep);
    timer.runOut();
    QCOMPARE(reached, 1);
    QVERIFY(clock.current >= deadline);
    QCOMPARE(timer.wakeUps, waits);
}

QTEST_GUILESS_MAIN(TestDurationLimit)
#include "tst_durationlimit.moc"
