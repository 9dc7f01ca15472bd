// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>

namespace korvane::harkwell {

// What one second brought: the messages received, and the datagrams the system dropped.
struct RateSample
{
    quint64 received = 0;
    quint64 dropped = 0;
};

// The last ten minutes of per-second samples, in a ring of fixed size: memory stays the same however long the
// listener runs, and the oldest second goes when a new one comes.
class RateHistory
{
public:
    static constexpr int kSeconds = 600;

    // Adds the newest second.
    void add(RateSample sample);

    // Adds the second that brought the counters from their last totals to these; totals below the last ones
    // mean the counters started again from zero, and count whole.
    void addTotals(RateSample totals);
    // The next addTotals() counts from zero, as after the counters are reset.
    void resetTotals() { m_lastTotals = {}; }
    void clear();

    // Seconds held, at most kSeconds.
    [[nodiscard]] int size() const { return m_size; }
    // The sample of secondsAgo seconds before the newest (0 is the newest); secondsAgo < size().
    [[nodiscard]] RateSample at(int secondsAgo) const;
    // The highest received + dropped of one second held, 0 when none.
    [[nodiscard]] quint64 peak() const;

private:
    std::array<RateSample, kSeconds> m_samples{};
    int m_newest = kSeconds - 1; // index of the newest sample
    int m_size = 0;
    RateSample m_lastTotals;
};

// The top of the value axis for a peak: the least of 1, 2 and 5 times a power of ten that holds it (1 for a
// peak of 0), so that the grid lines fall on round numbers; divisions is how many steps the grid has.
struct ValueScale
{
    quint64 maximum = 1;
    int divisions = 5;
};
[[nodiscard]] ValueScale valueScaleFor(quint64 peak);

// A rate as an axis label: 0.2, 40, 1.5k, 2M.
[[nodiscard]] QString rateLabel(double rate);

// One mark of the time axis, secondsAgo before the newest sample.
struct TimeTick
{
    int secondsAgo = 0;
    QString label;
};
// The marks of an axis of the last `seconds` seconds, five steps from its start to the newest second ("now"):
// every two minutes from "-10 min" for the ten minutes held, in seconds ("-48 s") for a span under two minutes.
[[nodiscard]] QList<TimeTick> timeTicks(int seconds = RateHistory::kSeconds);
// A span as the axis and the legend name it: "10 min", "60 s".
[[nodiscard]] QString spanText(int seconds);

// Takes a sample of a listener's counters once a second, for the window's chart and the end-of-run plot.
class RateSampler : public QObject
{
    Q_OBJECT

public:
    // The counters' totals since they were last reset.
    using Totals = std::function<RateSample()>;

    static constexpr int kIntervalMs = 1000;

    explicit RateSampler(Totals totals, QObject* parent = nullptr);

    void start();
    // Samples now, whatever the timer: at the end of a run, for its last part of a second.
    void sampleNow();

    [[nodiscard]] RateHistory& history() { return m_history; }
    [[nodiscard]] const RateHistory& history() const { return m_history; }

signals:
    void sampled();

private:
    Totals m_totals;
    RateHistory m_history;
    QTimer m_timer;
};

} // namespace korvane::harkwell
