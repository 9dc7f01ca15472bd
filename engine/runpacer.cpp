// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/runpacer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane {

namespace {

using std::chrono::nanoseconds;

// About 115 days: far beyond any useful delay, and small enough that deadlines stay clear of
// overflow.
constexpr double kLongestDelaySeconds = 1e7;

nanoseconds toNanoseconds(double seconds)
{
    if (!(seconds > 0)) { // also NaN
        return nanoseconds{1};
    }
    const double ns = std::round(std::min(seconds, kLongestDelaySeconds) * 1e9);
    // A zero delay would make every wait due at once and the run spin.
    return nanoseconds{std::max<std::int64_t>(1, static_cast<std::int64_t>(ns))};
}

// How many lines the run may owe and still send back to back: enough to absorb timer jitter and a
// busy moment of the machine (a few milliseconds off the processor), never a burst after a stall.
constexpr nanoseconds kCatchUp{20'000'000};

nanoseconds fromSeconds(double seconds)
{
    return nanoseconds{static_cast<std::int64_t>(std::llround(std::min(seconds, 2 * kLongestDelaySeconds) * 1e9))};
}

double toSeconds(nanoseconds t)
{
    return static_cast<double>(t.count()) / 1e9;
}

} // namespace

RunPacer::RunPacer(MonotonicClock& clock, double delaySeconds) : m_clock(clock), m_delay(toNanoseconds(delaySeconds)) {}

RunPacer::RunPacer(MonotonicClock& clock, const RateProfile& profile, std::uint64_t stream)
    : m_clock(clock), m_delay(nanoseconds{1}), m_schedule(std::in_place, profile, stream)
{}

void RunPacer::begin()
{
    const nanoseconds now = m_clock.now();
    if (!m_schedule) {
        m_deadline = now + m_delay;
    } else if (!m_origin) {
        m_origin = now;
        m_deadline = now + fromSeconds(m_schedule->next());
    } else {
        // The grid is laid afresh after a pass that found nothing: the profile goes on from now.
        m_deadline = *m_origin + fromSeconds(m_schedule->resumeAt(toSeconds(now - *m_origin)));
    }
}

void RunPacer::next()
{
    next(m_clock.now());
}

void RunPacer::next(nanoseconds servedAt)
{
    if (m_schedule) {
        if (!m_origin) {
            m_origin = servedAt;
        }
        m_deadline = *m_origin + fromSeconds(m_schedule->next());
        if (m_deadline < servedAt - kCatchUp) {
            m_deadline = *m_origin + fromSeconds(m_schedule->resumeAt(toSeconds(servedAt - kCatchUp - *m_origin)));
        }
        return;
    }
    // The next line keeps its place on the grid unless the run is more than kCatchUp behind;
    // then the grid moves so that at most kCatchUp worth of lines (or the one line due, for a
    // longer delay) go out back to back, and the rest follow at the set rate.
    const nanoseconds earliest = servedAt + m_delay - kCatchUp;
    m_deadline = std::max(m_deadline + m_delay, earliest);
}

void RunPacer::notBefore(nanoseconds t)
{
    if (m_schedule && m_origin && m_deadline < t) {
        m_deadline = *m_origin + fromSeconds(m_schedule->resumeAt(toSeconds(t - *m_origin)));
    }
}

void RunPacer::setDelay(double seconds)
{
    m_delay = toNanoseconds(seconds);
}

bool RunPacer::due()
{
    return m_clock.now() >= m_deadline;
}

std::chrono::nanoseconds RunPacer::remaining()
{
    return std::max(nanoseconds{0}, m_deadline - m_clock.now());
}

} // namespace korvane
