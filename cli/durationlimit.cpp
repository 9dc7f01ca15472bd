// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/durationlimit.h"

#include <algorithm>

namespace korvane::cli {

DurationLimit::DurationLimit(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DurationLimit::waitOn);
}

void DurationLimit::start(std::chrono::duration<double> duration)
{
    m_deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(duration);
    waitOn();
}

void DurationLimit::waitOn()
{
    const auto left = m_deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) {
        emit reached();
        return;
    }
    // Rounded up, so that the last step does not end just short of the deadline.
    const auto step = std::min(std::chrono::ceil<std::chrono::milliseconds>(left), m_longestStep);
    m_timer.start(step);
}

} // namespace korvane::cli
