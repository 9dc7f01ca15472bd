// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// A driver's wake-ups on virtual time: nothing happens until the test lets the time go by, and
// between two wake-ups the test has its turn, as the window has between two timer events.

#include "enginefakes.h"
#include "platform/wakeuptimer.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace korvane::test {

class ManualTimer final : public WakeUpTimer
{
public:
    explicit ManualTimer(ManualClock& clock) : m_clock(clock) {}

    void arm(std::chrono::milliseconds after) override
    {
        m_at = m_clock.current + after;
        lastArmed = after;
    }
    void cancel() override { m_at.reset(); }

    bool armed() const { return m_at.has_value(); }
    // When the pending wake-up is due on the clock.
    std::optional<std::chrono::nanoseconds> at() const { return m_at; }

    // Lets the clock run to the pending wake-up (a wake-up the driver fell behind is served at
    // once) and wakes the driver; false when none is pending.
    bool fire()
    {
        if (!m_at) {
            return false;
        }
        m_clock.current = std::max(m_clock.current, *m_at);
        m_at.reset();
        ++wakeUps;
        wake();
        return true;
    }

    // Lets `span` of virtual time go by, serving every wake-up that falls due within it.
    void advance(std::chrono::nanoseconds span)
    {
        const std::chrono::nanoseconds end = m_clock.current + span;
        while (m_at && *m_at <= end) {
            fire();
        }
        m_clock.current = std::max(m_clock.current, end);
    }

    // Serves wake-ups until none is pending, or `most` of them (a run that never ends).
    void runOut(int most = 1'000'000)
    {
        for (int i = 0; i < most && fire(); ++i) {
        }
    }

    std::chrono::milliseconds lastArmed{-1}; // what the last wake-up was armed for
    int wakeUps = 0;

private:
    ManualClock& m_clock;
    std::optional<std::chrono::nanoseconds> m_at;
};

} // namespace korvane::test
