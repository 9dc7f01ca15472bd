// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/rateprofile.h"

#include <chrono>
#include <cstdint>
#include <optional>

namespace korvane {

// A monotonic clock, so that a run across midnight or a clock change keeps its pace.
class MonotonicClock
{
public:
    virtual ~MonotonicClock() = default;
    virtual std::chrono::nanoseconds now() = 0;
};

class SteadyClock final : public MonotonicClock
{
public:
    std::chrono::nanoseconds now() override { return std::chrono::steady_clock::now().time_since_epoch(); }
};

// Deadlines of a run's waits at a fixed rate: the first wait ends one delay after Play, and
// each further wait one delay after the previous deadline, so that the time spent emitting a
// line does not add up. Catching up absorbs timer jitter only: of a run that fell behind (the
// process was stopped, the disk stalled) at most 20 ms worth of lines, or the one line due for a
// longer delay, go out back to back; the rest are not made up for, and the run goes on at its
// rate from there.
//
// With a rate profile, each deadline is the profile's time of the next line counted from the
// first begin(): the profile keeps its clock from Play, through pauses and idle passes. Of a run
// that fell behind, the lines due more than 20 ms ago are left out and the run goes on where the
// profile is by then.
class RunPacer
{
public:
    RunPacer(MonotonicClock& clock, double delaySeconds);
    // `stream`: see RunSettings::scheduleStream.
    RunPacer(MonotonicClock& clock, const RateProfile& profile, std::uint64_t stream);

    void begin(); // a wait starts now: deadline = now + delay
    void next();  // the following wait: deadline += delay
    // The same for a wait served at `servedAt`, which may lie a little in the past (the line was
    // emitted since): the catch-up rule counts from there.
    void next(std::chrono::nanoseconds servedAt);
    // The delay of the waits from here on; a run at its log's pace changes it from line to line.
    // A profile's waits keep to the profile.
    void setDelay(double seconds);
    // A profile's next line is the first not due before `t` (a paused run rests meanwhile).
    void notBefore(std::chrono::nanoseconds t);
    bool profiled() const { return m_schedule.has_value(); }
    bool due();                           // the current deadline has passed
    std::chrono::nanoseconds remaining(); // until the current deadline, 0 when due
    std::chrono::nanoseconds deadline() const { return m_deadline; }

private:
    MonotonicClock& m_clock;
    std::chrono::nanoseconds m_delay;
    std::chrono::nanoseconds m_deadline{0};
    std::optional<LineSchedule> m_schedule;
    std::optional<std::chrono::nanoseconds> m_origin; // Play, for a profile
};

} // namespace korvane
