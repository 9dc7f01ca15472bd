// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/ratemeter.h"

#include <QList>
#include <QTest>

#include <utility>

using namespace korvane::harkwell;

// (time in ms, count) pairs recorded in order.
using Events = QList<std::pair<qint64, qint64>>;

class TestRateMeter : public QObject
{
    Q_OBJECT

private slots:
    void countsTheLastSecond_data();
    void countsTheLastSecond();
};

void TestRateMeter::countsTheLastSecond_data()
{
    QTest::addColumn<Events>("events");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("rate");

    QTest::newRow("nothing recorded") << Events{} << qint64(500) << qint64(0);
    QTest::newRow("batches in one slice add up") << Events{{10, 3}, {20, 4}, {99, 1}} << qint64(99) << qint64(8);
    QTest::newRow("batches spread over the second add up")
        << Events{{0, 3}, {500, 2}, {900, 1}} << qint64(999) << qint64(6);
    QTest::newRow("the oldest slice leaves once a second has passed")
        << Events{{0, 3}, {500, 2}} << qint64(1000) << qint64(2);
    QTest::newRow("a quiet second brings the rate to zero") << Events{{0, 3}, {500, 2}} << qint64(1600) << qint64(0);
    QTest::newRow("a reused slice holds only its new second") << Events{{0, 3}, {1000, 4}} << qint64(1000) << qint64(4);
    QTest::newRow("a slice a whole cycle old is not counted") << Events{{50, 3}} << qint64(1050) << qint64(0);
    QTest::newRow("a long gap leaves only the new batch") << Events{{0, 1}, {5000, 2}} << qint64(5000) << qint64(2);
    QTest::newRow("ten thousand per second in single datagrams") << [] {
        Events events;
        for (qint64 ms = 0; ms < 2000; ++ms) {
            events.append({ms, 10});
        }
        return events;
    }() << qint64(1999) << qint64(10000);
}

void TestRateMeter::countsTheLastSecond()
{
    QFETCH(Events, events);
    QFETCH(qint64, now);
    QFETCH(qint64, rate);

    RateMeter meter;
    for (const auto& [time, count] : events) {
        meter.record(time, count);
    }

    QCOMPARE(meter.rate(now), rate);
}

QTEST_GUILESS_MAIN(TestRateMeter)
#include "tst_ratemeter.moc"
