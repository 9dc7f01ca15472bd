// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/ratelog.h"

#include <QTest>

using namespace korvane;

namespace {

RunProgress totals(double seconds, std::int64_t emitted, std::int64_t delivered, std::int64_t dropped)
{
    RunProgress p;
    p.seconds = seconds;
    p.emitted = emitted;
    p.delivered = delivered;
    p.dropped = dropped;
    return p;
}

} // namespace

class TestRateLog : public QObject
{
    Q_OBJECT

private slots:
    void eachSecondGetsWhatItsTotalsGained();
};

void TestRateLog::eachSecondGetsWhatItsTotalsGained()
{
    RateLog log;
    log.sample(totals(0.5, 40, 30, 0));
    QVERIFY(log.rows().empty()); // the first second is not over
    log.sample(totals(1.01, 100, 90, 2));
    log.sample(totals(1.5, 150, 140, 2));
    // Late by more than a second: the second that ended first gets all, the next none.
    log.sample(totals(3.2, 300, 290, 5));
    log.finish(totals(3.4, 320, 320, 5));

    const std::vector<RateLog::Row> expected{{0, 100, 90, 2}, {1, 200, 200, 3}, {2, 0, 0, 0}, {3, 20, 30, 0}};
    QCOMPARE(log.rows().size(), expected.size());
    QVERIFY(log.rows() == expected);
    QCOMPARE(QString::fromStdString(log.csv()),
             QStringLiteral("second,emitted,sent,dropped\n0,100,90,2\n1,200,200,3\n2,0,0,0\n3,20,30,0\n"));
}

QTEST_APPLESS_MAIN(TestRateLog)
#include "tst_ratelog.moc"
