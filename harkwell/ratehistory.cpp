// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/ratehistory.h"

#include <algorithm>

namespace korvane::harkwell {

namespace {

quint64 sinceLast(quint64 total, quint64 last)
{
    return total >= last ? total - last : total;
}

} // namespace

void RateHistory::add(RateSample sample)
{
    m_newest = (m_newest + 1) % kSeconds;
    m_samples[static_cast<std::size_t>(m_newest)] = sample;
    m_size = std::min(m_size + 1, kSeconds);
}

void RateHistory::addTotals(RateSample totals)
{
    add({sinceLast(totals.received, m_lastTotals.received), sinceLast(totals.dropped, m_lastTotals.dropped)});
    m_lastTotals = totals;
}

void RateHistory::clear()
{
    m_size = 0;
}

RateSample RateHistory::at(int secondsAgo) const
{
    return m_samples[static_cast<std::size_t>((m_newest - secondsAgo + kSeconds) % kSeconds)];
}

quint64 RateHistory::peak() const
{
    quint64 peak = 0;
    for (int i = 0; i < m_size; ++i) {
        const RateSample sample = at(i);
        peak = std::max(peak, sample.received + sample.dropped);
    }
    return peak;
}

ValueScale valueScaleFor(quint64 peak)
{
    quint64 power = 1;
    for (;;) {
        // 1 and 5 divide into fifths, 2 into halves of one: every line on a round number.
        for (const auto& [factor, divisions] : {std::pair<quint64, int>{1, 5}, {2, 4}, {5, 5}}) {
            if (factor * power >= peak) {
                return {factor * power, divisions};
            }
        }
        power *= 10;
    }
}

QString rateLabel(double rate)
{
    if (rate >= 1e6) {
        return QString::number(rate / 1e6, 'g', 3) + u'M';
    }
    if (rate >= 1e3) {
        return QString::number(rate / 1e3, 'g', 3) + u'k';
    }
    return QString::number(rate, 'g', 3);
}

QString spanText(int seconds)
{
    return seconds >= 120 && seconds % 60 == 0 ? QStringLiteral("%1 min").arg(seconds / 60)
                                               : QStringLiteral("%1 s").arg(seconds);
}

QList<TimeTick> timeTicks(int seconds)
{
    QList<TimeTick> ticks;
    const int step = std::max(1, seconds / 5);
    for (int ago = seconds; ago > 0; ago -= step) {
        ticks.append({ago, u'-' + spanText(seconds >= 120 ? ago - ago % 60 : ago)});
    }
    ticks.append({0, QStringLiteral("now")});
    return ticks;
}

RateSampler::RateSampler(Totals totals, QObject* parent) : QObject(parent), m_totals(std::move(totals))
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &RateSampler::sampleNow);
}

void RateSampler::start()
{
    m_timer.start();
}

void RateSampler::sampleNow()
{
    m_history.addTotals(m_totals());
    emit sampled();
}

} // namespace korvane::harkwell
