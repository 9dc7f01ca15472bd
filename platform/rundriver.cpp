#include "platform/rundriver.h"

#include <algorithm>
#include <chrono>

namespace korvane {

namespace {

// Rounded up: waking early would only mean arming the timer again. At most a day, which a timer
// can hold; a longer wait is simply armed again.
template <typename Duration>
int roundedUpMilliseconds(Duration left)
{
    using namespace std::chrono;
    const auto ms = ceil<milliseconds>(left);
    return static_cast<int>(std::clamp<milliseconds::rep>(ms.count(), 0, 24 * 3600 * 1000));
}

} // namespace

RunDriver::RunDriver(RunFlags& flags, MonotonicClock& clock, QObject* parent)
    : QObject(parent), m_flags(flags), m_clock(clock)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RunDriver::onTimer);
}

RunDriver::~RunDriver() = default;

void RunDriver::start(std::unique_ptr<GenerationRun> run, double delaySeconds)
{
    m_timer.stop();
    m_run = std::move(run);
    m_delay = delaySeconds;
    m_pacer.emplace(m_clock, m_delay);
    m_waited = false;
    m_yielding = false;
    handle(m_run->start());
}

void RunDriver::quit()
{
    m_timer.stop();
    if (m_run) {
        m_run->abandon();
        m_run.reset();
    }
}

void RunDriver::handle(GenerationRun::Next next)
{
    switch (next) {
    case GenerationRun::Next::Wait:
        // The deadline of this wait was set when the last one was served (or is laid now).
        if (!m_waited) {
            m_pacer->begin();
            m_waited = true;
        }
        scheduleWait();
        return;
    case GenerationRun::Next::Idle:
        // Nothing to send this pass: rest one delay (never less than a few milliseconds), and
        // lay the grid afresh once the source yields a line again.
        m_yielding = true;
        m_waited = false;
        m_timer.start(roundedUpMilliseconds(
            std::chrono::duration<double>(std::max(m_delay, GenerationRun::kShortestIdleSeconds))));
        return;
    case GenerationRun::Next::Yield:
        // A yield only lets the window in; it is no wait. The next line keeps its place on the
        // grid laid at Play, as the time spent reading lines of another level is no reason to
        // slow down (a run that fell far behind meanwhile is not made to burst by the pacer).
        m_yielding = true;
        m_timer.start(0);
        return;
    case GenerationRun::Next::Finished:
    case GenerationRun::Next::Halted:
        m_timer.stop();
        m_run.reset();
        emit runEnded(next);
        return;
    }
}

void RunDriver::scheduleWait()
{
    m_timer.start(roundedUpMilliseconds(m_pacer->remaining()));
}

void RunDriver::onTimer()
{
    if (!m_run) {
        return;
    }
    if (m_flags.QuitRequested) {
        quit();
        return;
    }
    if (m_yielding) {
        m_yielding = false;
        handle(m_run->resume());
        return;
    }
    if (!m_pacer->due()) {
        scheduleWait();
        return;
    }
    // Emit every line that has fallen due, for a few milliseconds at most. The next deadline is
    // set as each wait is served, before its line is emitted, so that the time a slow sink takes
    // does not count as lateness.
    const auto budgetEnd = m_clock.now() + kBatchBudget;
    m_pacer->next();
    GenerationRun::Next next = m_run->waitOver();
    while (next == GenerationRun::Next::Wait) {
        if (!m_pacer->due() || m_clock.now() >= budgetEnd) {
            if (m_pacer->due()) {
                m_timer.start(0);
            } else {
                scheduleWait();
            }
            return;
        }
        m_pacer->next();
        next = m_run->waitOver();
    }
    handle(next);
}

} // namespace korvane
