#include "runpacer.h"

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

// How far behind the run may fall and still catch up with lines back to back: enough to absorb
// timer jitter and a busy moment of the window, never a burst after a real stall.
nanoseconds stallTolerance(nanoseconds delay)
{
    constexpr nanoseconds kJitter{10'000'000};
    return std::max(kJitter, delay);
}

} // namespace

RunPacer::RunPacer(MonotonicClock& clock, double delaySeconds) : m_clock(clock), m_delay(toNanoseconds(delaySeconds)) {}

void RunPacer::begin()
{
    m_deadline = m_clock.now() + m_delay;
}

void RunPacer::next()
{
    const nanoseconds now = m_clock.now();
    m_deadline += m_delay;
    if (now - m_deadline > stallTolerance(m_delay)) {
        m_deadline = now + m_delay;
    }
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
