// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/rundriver.h"

#include <algorithm>
#include <chrono>

namespace korvane {

namespace {

using std::chrono::milliseconds;

// Rounded up: waking early would only mean arming the timer again. At most a day, which a timer
// can hold; a longer wait is simply armed again.
template <typename Duration>
milliseconds roundedUpMilliseconds(Duration left)
{
    const auto ms = std::chrono::ceil<milliseconds>(left);
    return milliseconds{std::clamp<milliseconds::rep>(ms.count(), 0, 24 * 3600 * 1000)};
}

} // namespace

RunDriver::RunDriver(RunFlags& flags, MonotonicClock& clock, QObject* parent)
    : QObject(parent), m_flags(flags), m_clock(clock), m_ownTimer(std::make_unique<PreciseWakeUpTimer>()),
      m_timer(*m_ownTimer)
{
    m_timer.setWake([this] { onTimer(); });
}

RunDriver::RunDriver(RunFlags& flags, MonotonicClock& clock, WakeUpTimer& timer, QObject* parent)
    : QObject(parent), m_flags(flags), m_clock(clock), m_timer(timer)
{
    m_timer.setWake([this] { onTimer(); });
}

RunDriver::~RunDriver()
{
    // A timer given from outside outlives the driver: it must not wake it any more.
    m_timer.cancel();
    m_timer.setWake({});
}

void RunDriver::start(std::unique_ptr<GenerationRun> run, double delaySeconds)
{
    m_timer.cancel();
    m_run = std::move(run);
    m_delay = delaySeconds;
    // A rate profile paces the run in place of the delay, from Play on.
    if (const std::optional<RateProfile> profile = RateProfile::parse(m_run->settings().rateProfile)) {
        m_pacer.emplace(m_clock, *profile, m_run->settings().scheduleStream);
    } else {
        m_pacer.emplace(m_clock, m_delay);
    }
    m_waited = false;
    m_waitFromLog = false;
    m_yielding = false;
    m_servedAt.reset();
    handle(m_run->start());
}

void RunDriver::quit()
{
    m_timer.cancel();
    if (m_run) {
        m_run->abandon();
        m_run.reset();
    }
}

void RunDriver::handle(GenerationRun::Next next)
{
    // Whatever the run does next, it first hands its emitted lines to the system: no line is kept
    // while the window has its turn.
    if (next != GenerationRun::Next::Finished && next != GenerationRun::Next::Halted && !m_run->deliver()) {
        next = GenerationRun::Next::Halted;
    }
    switch (next) {
    case GenerationRun::Next::Wait:
        // The first wait lays the grid; a wait after a yield gets its deadline from the wait served
        // before the yield; in a batch the deadline was set as its wait was reported.
        takeLineDelay();
        if (!m_waited) {
            m_pacer->begin();
            m_waited = true;
        } else if (m_servedAt) {
            m_pacer->next(*m_servedAt);
        }
        m_servedAt.reset();
        restWhilePaused();
        scheduleWait();
        return;
    case GenerationRun::Next::Idle:
        // Nothing to send this pass: rest one delay (never less than a few milliseconds), and
        // lay the grid afresh once the source yields a line again.
        m_yielding = true;
        m_waited = false;
        m_servedAt.reset();
        m_timer.arm(roundedUpMilliseconds(
            std::chrono::duration<double>(std::max(m_delay, GenerationRun::kShortestIdleSeconds))));
        return;
    case GenerationRun::Next::Yield:
        // A yield only lets the window in; it is no wait. The next line keeps its place on the
        // grid laid at Play, as the time spent reading lines of another level is no reason to
        // slow down (a run that fell far behind meanwhile is not made to burst by the pacer).
        m_yielding = true;
        m_timer.arm(milliseconds{0});
        return;
    case GenerationRun::Next::Finished:
    case GenerationRun::Next::Halted:
        m_timer.cancel();
        m_run.reset();
        emit runEnded(next);
        return;
    }
}

void RunDriver::takeLineDelay()
{
    const std::optional<double> fromLog = m_run->lineDelaySeconds();
    m_pacer->setDelay(fromLog.value_or(m_delay));
    m_waitFromLog = fromLog.has_value();
}

void RunDriver::restWhilePaused()
{
    if (m_flags.Paused && m_pacer->profiled()) {
        m_pacer->notBefore(m_clock.now() + kPausedProfileWait);
    }
}

void RunDriver::scheduleWait()
{
    // A wait the log sets may last up to the longest gap: it is served in slices, so that Stop
    // and exit end it at once rather than when it is over.
    const std::chrono::nanoseconds left = m_pacer->remaining();
    m_timer.arm(roundedUpMilliseconds(m_waitFromLog ? std::min<std::chrono::nanoseconds>(left, kLogWaitSlice) : left));
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
        if (m_waitFromLog && m_flags.StopRequested) {
            handle(m_run->waitOver()); // the run ends; the line waited for is not emitted
            return;
        }
        scheduleWait();
        return;
    }
    // Emit every line that has fallen due, for a few milliseconds at most. Each deadline counts
    // from the moment its wait was served, before the line was emitted, so that the time a slow
    // sink takes does not count as lateness; its delay is known once the run has chosen the line
    // (in a replay at the log's pace, each line has its own).
    // One reading of the clock per line: at full speed the clock would otherwise cost more than
    // the line.
    std::chrono::nanoseconds now = m_clock.now();
    const auto budgetEnd = now + kBatchBudget;
    m_servedAt = now;
    GenerationRun::Next next = m_run->waitOver();
    while (next == GenerationRun::Next::Wait) {
        takeLineDelay();
        m_pacer->next(*m_servedAt);
        m_servedAt.reset();
        now = m_clock.now();
        restWhilePaused();
        const bool due = now >= m_pacer->deadline();
        if (!due || now >= budgetEnd) {
            // The batch is over: its lines go to the system together, before the window's turn.
            if (!m_run->deliver()) {
                handle(GenerationRun::Next::Halted);
            } else if (due) {
                m_timer.arm(milliseconds{0});
            } else {
                scheduleWait();
            }
            return;
        }
        m_servedAt = now;
        next = m_run->waitOver();
    }
    handle(next);
}

} // namespace korvane
