// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/runpacer.h"
#include "platform/wakeuptimer.h"

#include <chrono>
#include <functional>

namespace korvane::cli {

// Says when a run has lasted as long as asked, however long that is: a timer's interval has a
// limit (about 24 days), so a long duration is served in steps against a deadline on the clock.
class DurationLimit
{
public:
    static constexpr std::chrono::hours kLongestStep{24};

    // `reached` is called once the duration given to start() is over.
    DurationLimit(MonotonicClock& clock, WakeUpTimer& timer, std::function<void()> reached);

    // Starts counting `duration` from now.
    void start(std::chrono::duration<double> duration);

private:
    void waitOn();

    MonotonicClock& m_clock;
    WakeUpTimer& m_timer;
    std::function<void()> m_reached;
    std::chrono::nanoseconds m_deadline{};
};

} // namespace korvane::cli
