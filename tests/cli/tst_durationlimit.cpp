// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/durationlimit.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace korvane::cli;

class TestDurationLimit : public QObject
{
    Q_OBJECT

private slots:
    void reachedOnceTheDurationIsOver_data();
    void reachedOnceTheDurationIsOver();
};

void TestDurationLimit::reachedOnceTheDurationIsOver_data()
{
    QTest::addColumn<int>("durationMs");
    QTest::addColumn<int>("stepMs");

    QTest::newRow("in one wait") << 50 << 3600000;
    QTest::newRow("in many steps, as a duration longer than a timer allows") << 100 << 7;
}

void TestDurationLimit::reachedOnceTheDurationIsOver()
{
    QFETCH(int, durationMs);
    QFETCH(int, stepMs);
    DurationLimit limit;
    limit.setLongestStep(std::chrono::milliseconds(stepMs));
    QSignalSpy reached(&limit, &DurationLimit::reached);
    QElapsedTimer elapsed;
    elapsed.start();
    limit.start(std::chrono::milliseconds(durationMs));
    QVERIFY(reached.wait(30000));
    QVERIFY2(elapsed.elapsed() >= durationMs, qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(reached.size(), 1);
}

QTEST_GUILESS_MAIN(TestDurationLimit)
#include "tst_durationlimit.moc"
