// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/ratesampler.h"

namespace korvane {

RateSampler::RateSampler(std::function<RunProgress()> progress, QObject* parent)
    : QObject(parent), m_progress(std::move(progress))
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_log.sample(m_progress()); });
}

void RateSampler::start()
{
    m_log = RateLog{};
    m_timer.start(RateLog::kSampleEvery);
}

void RateSampler::finish()
{
    if (!m_timer.isActive()) {
        return;
    }
    m_timer.stop();
    m_log.finish(m_progress());
}

} // namespace korvane
