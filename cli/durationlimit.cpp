// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/durationlimit.h"

#include <algorithm>

namespace korvane::cli {

DurationLimit::DurationLimit(MonotonicClock& clock, WakeUpTimer& timer, std::function<void()> reached)
    : m_clock(clock), m_timer(timer), m_reached(std::move(reached))
{
    m_timer.setWake([this] { waitOn(); });
}

void DurationLimit::start(std::chrono::duration<double> duration)
{
    m_deadline = m_clock.now() + std::chrono::duration_cast<std::chrono::nanoseconds>(duration);
    waitOn();
}

void DurationLimit::waitOn()
{
    const std::chrono::nanoseconds left = m_deadline - m_clock.now();
    if (left <= std::chrono::nanoseconds::zero()) {
        m_reached();
        return;
    }
    // Rounded up, so that the last step does not end just short of the deadline.
    m_timer.arm(std::min<std::chrono::milliseconds>(std::chrono::ceil<std::chrono::milliseconds>(left), kLongestStep));
}

} // namespace korvane::cli
