// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/ratechart.h"

#include <QSignalSpy>
#include <QTest>

using namespace korvane::harkwell;

namespace {

// A history whose newest second brought these counts, after a quieter one that sets no other scale.
RateHistory newestSecond(RateSample sample)
{
    RateHistory history;
    history.add({1, 0});
    history.add(sample);
    return history;
}

int pixelsOf(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

} // namespace

class TestRateChart : public QObject
{
    Q_OBJECT

private slots:
    void valueAxisEndsOnARoundRate_data();
    void valueAxisEndsOnARoundRate();
    void timeAxisCoversItsSpan_data();
    void timeAxisCoversItsSpan();
    void historyKeepsTheLastTenMinutes_data();
    void historyKeepsTheLastTenMinutes();
    void totalsBecomeCountsPerSecond();
    void samplerTakesTheCountersEverySecond();
    void droppedAreDrawnInTheSecondColour();
};

void TestRateChart::valueAxisEndsOnARoundRate_data()
{
    QTest::addColumn<quint64>("peak");
    QTest::addColumn<quint64>("maximum");
    QTest::addColumn<int>("divisions");
    QTest::addColumn<QString>("label");

    QTest::newRow("nothing received yet") << quint64(0) << quint64(1) << 5 << "1";
    QTest::newRow("a peak of one") << quint64(1) << quint64(1) << 5 << "1";
    QTest::newRow("two, in halves of one") << quint64(2) << quint64(2) << 4 << "2";
    QTest::newRow("three, up to five") << quint64(3) << quint64(5) << 5 << "5";
    QTest::newRow("six, up to ten") << quint64(6) << quint64(10) << 5 << "10";
    QTest::newRow("eleven, up to twenty") << quint64(11) << quint64(20) << 4 << "20";
    QTest::newRow("a thousand exactly") << quint64(1000) << quint64(1000) << 5 << "1k";
    QTest::newRow("just above a thousand") << quint64(1001) << quint64(2000) << 4 << "2k";
    QTest::newRow("a flood") << quint64(3'000'000) << quint64(5'000'000) << 5 << "5M";
}

void TestRateChart::valueAxisEndsOnARoundRate()
{
    QFETCH(quint64, peak);
    QFETCH(quint64, maximum);
    QFETCH(int, divisions);
    QFETCH(QString, label);

    const ValueScale scale = valueScaleFor(peak);

    QCOMPARE(scale.maximum, maximum);
    QCOMPARE(scale.divisions, divisions);
    QCOMPARE(rateLabel(double(scale.maximum)), label);
}

void TestRateChart::timeAxisCoversItsSpan_data()
{
    QTest::addColumn<int>("span");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QList<int>>("secondsAgo");
    QTest::newRow("the ten minutes held, in minutes")
        << RateHistory::kSeconds << QStringList{"-10 min", "-8 min", "-6 min", "-4 min", "-2 min", "now"}
        << QList<int>{RateHistory::kSeconds, 480, 360, 240, 120, 0};
    QTest::newRow("a minute, in seconds")
        << 60 << QStringList{"-60 s", "-48 s", "-36 s", "-24 s", "-12 s", "now"} << QList<int>{60, 48, 36, 24, 12, 0};
}

void TestRateChart::timeAxisCoversItsSpan()
{
    QFETCH(int, span);
    QStringList labels;
    QList<int> secondsAgo;
    for (const TimeTick& tick : timeTicks(span)) {
        labels.append(tick.label);
        secondsAgo.append(tick.secondsAgo);
    }

    QTEST(labels, "labels");
    QTEST(secondsAgo, "secondsAgo");
}

void TestRateChart::historyKeepsTheLastTenMinutes_data()
{
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("kept");

    QTest::newRow("a few seconds") << 3 << 3;
    QTest::newRow("ten minutes exactly") << 600 << 600;
    QTest::newRow("one second more drops the oldest") << 601 << 600;
    QTest::newRow("round the ring more than twice") << 1500 << 600;
}

void TestRateChart::historyKeepsTheLastTenMinutes()
{
    QFETCH(int, added);
    QFETCH(int, kept);

    RateHistory history;
    for (int second = 0; second < added; ++second) {
        history.add({quint64(second), 0});
    }

    QCOMPARE(history.size(), kept);
    QCOMPARE(history.at(0).received, quint64(added - 1));
    QCOMPARE(history.at(kept - 1).received, quint64(added - kept));
    QCOMPARE(history.peak(), quint64(added - 1));
}

void TestRateChart::totalsBecomeCountsPerSecond()
{
    RateHistory history;
    history.addTotals({10, 1});
    history.addTotals({25, 4});
    history.addTotals({7, 0}); // the counters were reset in between
    history.resetTotals();
    history.addTotals({3, 2});

    QCOMPARE(history.size(), 4);
    QCOMPARE(history.at(3).received, quint64(10));
    QCOMPARE(history.at(2).received, quint64(15));
    QCOMPARE(history.at(2).dropped, quint64(3));
    QCOMPARE(history.at(1).received, quint64(7));
    QCOMPARE(history.at(0).received, quint64(3));
    QCOMPARE(history.at(0).dropped, quint64(2));
    QCOMPARE(history.peak(), quint64(18));
}

void TestRateChart::samplerTakesTheCountersEverySecond()
{
    quint64 received = 0;
    RateSampler sampler([&received] { return RateSample{received, 0}; });
    QSignalSpy sampled(&sampler, &RateSampler::sampled);
    sampler.start();

    received = 42;
    QVERIFY(sampled.wait());

    QCOMPARE(sampler.history().size(), 1);
    QCOMPARE(sampler.history().at(0).received, quint64(42));
}

void TestRateChart::droppedAreDrawnInTheSecondColour()
{
    // The legend shows both colours whatever the counts: only the columns tell the two images apart.
    const QImage allReceived = renderRateChart(newestSecond({100, 0}));
    const QImage halfDropped = renderRateChart(newestSecond({50, 50}));

    QCOMPARE(allReceived.size(), kPlotSize);
    QVERIFY(pixelsOf(halfDropped, kDroppedColour) > pixelsOf(allReceived, kDroppedColour));
    QVERIFY(pixelsOf(halfDropped, kReceivedColour) < pixelsOf(allReceived, kReceivedColour));
}

QTEST_MAIN(TestRateChart)
#include "tst_ratechart.moc"
