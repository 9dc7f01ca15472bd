// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linecomposer.h"
#include "engine/linesink.h"
#include "engine/logstamp.h"
#include "engine/passsource.h"
#include "engine/randomsource.h"
#include "engine/templaterewriter.h"
#include "engine/trafficclock.h"
#include "settings/runsettings.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

class TrafficModel;

// The buffers a line is built in, kept from line to line so that a line costs no allocation.
struct LineBuffers
{
    std::string restamped; // the line with a fresh time stamp
    std::string message;   // the rewritten template, or the traffic model's message
    std::string shaped;    // the line as it goes out, with its header
};

// What the runs of one fleet hold once between them rather than each its own. A run builds a line
// and hands it to its sink before any other run builds one, so the buffers can be shared.
struct SharedRunParts
{
    explicit SharedRunParts(const RunSettings& settings) : rewriter(settings.rewrite), source(settings.sourceFile) {}
    TemplateRewriter rewriter;
    SharedSource source;
    LineBuffers buffers;
};

// The window-level flags that the buttons and exit paths set and the run reads.
struct RunFlags
{
    bool Paused = false;
    bool StopRequested = false;
    bool QuitRequested = false;
};

// What a run tells its front-end as it goes: what happened, not what to show. Every report does
// nothing here, so that a front-end hears only what it has a use for. Paused is not reported: the
// front-end sets it itself, and the run goes on waiting.
class RunObserver
{
public:
    virtual ~RunObserver() = default;
    // Play: the run has begun, before its first pass.
    virtual void runStarted() {}
    // A pass over the source begins (also one that then fails to open it).
    virtual void passStarted() {}
    // A line goes out: counted (the run's `count`th, across passes) and shaped as the sink gets it,
    // which is next.
    virtual void lineEmitted(std::string_view /*line*/, std::int64_t /*count*/) {}
    // The sink took the line just emitted (Skipped and Dropped included); a line it refuses halts
    // the run instead.
    virtual void lineWritten() {}
    // The run ended with its end-of-run steps: Stop, or the end of its only pass.
    virtual void runEnded() {}
    // The run halted: nothing was reset, the reason names what failed.
    virtual void runFailed(std::string_view /*reason*/) {}
};

// One generation run as a state machine. The driver calls start() when Play is pressed and
// then, whenever the run asks for a wait, waits `delay` seconds while the window handles its
// events, and calls waitOver(). The run reads the flags exactly where a run reads them:
// Paused before reading a line (levels 1 to 7) and after each wait, StopRequested after each
// wait. QuitRequested is the driver's to check while waiting: it then calls abandon().
class GenerationRun
{
public:
    enum class Next
    {
        Wait,     // wait one delay, then call waitOver()
        Yield,    // let the window handle its events (no delay), then call resume()
        Idle,     // a pass found no line: wait one delay (at least kShortestIdle), then call resume()
        Finished, // the run ended; the end-of-run steps are done
        Halted    // the run failed; the observer heard why, and nothing is reset
    };

    // The shortest pause between two passes that found no line, so that endless passes over an
    // empty source cost next to no processor time whatever the delay.
    static constexpr double kShortestIdleSeconds = 0.01;

    // Everything given must outlive the run; the settings are read, never changed.
    GenerationRun(const RunSettings& settings, RunFlags& flags, RunObserver& observer, LineSink& sink,
                  RandomSource& random, WallClock& clock);
    ~GenerationRun();
    GenerationRun(const GenerationRun&) = delete;
    GenerationRun& operator=(const GenerationRun&) = delete;

    // Play pressed: the run-start steps, the first pass start, then on to the first wait.
    // The run may be started again once it has finished.
    Next start();

    // The wait is over: Stop and Pause checks, then the line is selected, counted, shaped and
    // emitted, and the run goes on to its next wait or its end.
    Next waitOver();

    // After a Yield or an Idle. A Stop pressed meanwhile is honoured here, as after a wait.
    // Once the run is over, waitOver() and resume() do nothing and return Finished.
    Next resume();

    // Exit during a wait: closes the source and returns without the end-of-run steps, reporting
    // nothing.
    void abandon();

    // Hands the lines emitted since the last call to the system. The driver calls it after every
    // batch of lines that fell due together, before it waits; the run's end does it by itself.
    // False when the sink failed: the run has then halted (and reported its failure).
    [[nodiscard]] bool deliver();

    // Uses `parts` (made for the same settings, bar the firewall's name) in place of the run's own, so
    // that the many runs of one fleet compile each template once, hold one copy of the source and
    // build their lines in the same few buffers. They must outlive the run.
    void share(SharedRunParts& parts);

    const RunSettings& settings() const { return m_settings; }
    // LineCounter: lines emitted in this run, across passes; 0 again after the end of a run.
    std::int64_t lineCounter() const { return m_lineCounter; }
    // Between start() and the run's end, failure or abandon().
    bool active() const { return m_active; }
    // With Traffic 1, the model that makes the templates' messages (from start() on); else null.
    const TrafficModel* traffic() const { return m_traffic.get(); }

    // In a replay at the log's pace, how long the wait the run asks for (Next::Wait) lasts when
    // the log sets it: the rest of the gap before the line waiting to go out, in seconds. Nothing
    // when the wait is one delay: without a replay, while paused, and before a line without a
    // stamp or the first line of a pass.
    std::optional<double> lineDelaySeconds() const
    {
        return m_settings.replayAtLogPace && m_waitFromLog && !m_flags.Paused ? std::optional(m_nextDelay)
                                                                              : std::nullopt;
    }

private:
    // Where resume() carries on after a Yield.
    enum class ResumePoint
    {
        PassStart, // the pass before found no line: open the source again
        Cycle      // a long stretch of lines without a wait was read: go on reading
    };

    bool openPass();
    bool selectsBeforeWait() const;
    bool selects(std::string_view line) const;
    void noteHeldLine();
    bool loadRandomLines();
    bool startTraffic();
    std::string sourceFailure(std::string_view reason) const;
    Next advance();
    bool pickRandomLine();
    Next emitCurrentLine();
    Next endRun();
    Next halt(std::string_view reason);

    const RunSettings& m_settings;
    RunFlags& m_flags;
    RunObserver& m_observer;
    LineSink& m_sink;
    RandomSource& m_random;
    WallClock& m_clock;

    std::optional<TemplateRewriter> m_ownRewriter; // made at the first template, unless one is shared
    TemplateRewriter* m_useRewriter = nullptr;
    LineComposer m_composer;
    PassSource m_source;
    std::string m_line; // the run's current line, as read from the source
    LineBuffers m_ownBuffers;
    LineBuffers* m_buffers = &m_ownBuffers;
    bool m_lineHeld = false;    // levels 1..7: a matching line read before the wait, not yet emitted
    bool m_passWaited = false;  // this pass has waited at least once
    int m_readsWithoutWait = 0; // lines read and passed over since the last wait or yield
    ResumePoint m_resumePoint = ResumePoint::Cycle;
    std::shared_ptr<const SourceLines> m_randomLines; // the source's lines, for random selection
    std::string m_failure;                            // why the pass could not start
    std::int64_t m_lineCounter = 0;
    bool m_active = false;
    double m_nextDelay = 1;        // see lineDelaySeconds()
    bool m_waitFromLog = false;    // the log's gap sets m_nextDelay, not the delay
    LogTimeline m_timeline;        // of the pass, for the gaps of a replay
    double m_waitedSinceStamp = 0; // by the lines without a stamp since the last one with a stamp
    // With Traffic 1: made afresh at each start, from the source as it is then.
    std::unique_ptr<TrafficModel> m_traffic;
    std::optional<TrafficClock> m_trafficClock;
};

} // namespace korvane
