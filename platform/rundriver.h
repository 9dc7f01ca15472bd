// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/generationrun.h"
#include "engine/runpacer.h"
#include "platform/wakeuptimer.h"

#include <QObject>

#include <memory>
#include <optional>

namespace korvane {

// Advances a generation run on timers, so that the window keeps handling its events during
// every wait and no event loop is ever nested. Waits end on a monotonic clock at a fixed rate;
// lines that fall due together (a delay shorter than the timer's millisecond) go out back to
// back in short batches, between which the window handles its events.
class RunDriver : public QObject
{
    Q_OBJECT

public:
    // Wakes up on a precise timer of the event loop.
    RunDriver(RunFlags& flags, MonotonicClock& clock, QObject* parent = nullptr);
    // Wakes up through `timer`, which must outlive the driver (a test's runs on virtual time).
    RunDriver(RunFlags& flags, MonotonicClock& clock, WakeUpTimer& timer, QObject* parent = nullptr);
    ~RunDriver() override;

    // Play: takes over the run and starts it, at one line every delay or by the run's rate profile.
    void start(std::unique_ptr<GenerationRun> run, double delaySeconds);
    // Exit: the run is abandoned at once, without its end-of-run steps.
    void quit();
    bool running() const { return m_run != nullptr; }
    const GenerationRun* run() const { return m_run.get(); }

    // The longest stretch of back-to-back lines before the window gets its turn again.
    static constexpr auto kBatchBudget = std::chrono::milliseconds(5);
    // How often a wait whose length comes from the log (a replay at the log's pace) looks for
    // Stop and exit: such a wait ends on Stop at once, while a wait of one delay is served
    // whole (Stop is honoured when it is over).
    static constexpr auto kLogWaitSlice = std::chrono::milliseconds(200);
    // How often a paused run paced by a rate profile looks at the flags: the profile's lines of
    // the pause are left out, as its clock runs from Play.
    static constexpr auto kPausedProfileWait = std::chrono::milliseconds(10);

signals:
    // The run ended (Finished) or failed (Halted).
    void runEnded(korvane::GenerationRun::Next how);

private:
    void onTimer();
    void handle(GenerationRun::Next next);
    void scheduleWait();
    void takeLineDelay();
    void restWhilePaused();

    RunFlags& m_flags;
    MonotonicClock& m_clock;
    std::unique_ptr<GenerationRun> m_run;
    std::optional<RunPacer> m_pacer;
    double m_delay = 1;
    bool m_waited = false;      // the run has begun its first wait
    bool m_waitFromLog = false; // the current wait's length comes from the log, not the delay
    // When the last wait was served, until the deadline of the next one is set from it.
    std::optional<std::chrono::nanoseconds> m_servedAt;
    bool m_yielding = false;
    std::unique_ptr<WakeUpTimer> m_ownTimer; // when no timer was given
    WakeUpTimer& m_timer;
};

} // namespace korvane
