// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/generationrun.h"
#include "engine/linesink.h"
#include "platform/rundriver.h"
#include "session/runrecord.h"
#include "settings/runconfig.h"

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <optional>

namespace korvane {

// How far the current (or last) run has come.
// At the end of a run, emitted = delivered + dropped + undelivered; while it lasts, the rest is
// still on its way (queued for a TCP, TLS or RELP receiver, or waiting for the UDP sender).
struct RunProgress
{
    std::int64_t emitted = 0;     // lines emitted in the run, across passes
    std::int64_t delivered = 0;   // of those, lines the system took: written, sent, or acknowledged by the receiver
    std::int64_t dropped = 0;     // lost at once: the system's send buffer, or Korvane's own queue, was full
    std::int64_t undelivered = 0; // never taken by the system: failed, discarded after a failure, or still queued
                                  // when the front-end gave up (StreamSink::finish)
    std::int64_t resent = 0;      // TCP, TLS, RELP: lines sent again on a new connection after a break
    bool intoFile = false;        // the lines go into GENERATE.TXT: delivered means written
    double seconds = 0;           // since Play, up to the end of the run
    bool sinkFailed = false;      // the run failed writing or sending a line (else, if at all, reading)
    double rate() const { return seconds > 0 ? static_cast<double>(emitted) / seconds : 0; }
};

// How many lines one pass emits, where that is known before the run: one pass over lines in file
// order (every "PIX-" line, or one level). Nothing for endless or random runs, or an unreadable
// source.
std::optional<std::int64_t> linesInOnePass(const RunConfig& config);

// A run of Korvane, whatever the front-end: the run-control flags, the driver that advances a run
// on the event loop, the sink it writes to and the progress counters. The front-end hears the run
// through its RunObserver, gives the configuration and the prepared sink once start-up has them,
// and steers the run with play(), pause(), stop(), finish() and quit().
class RunSession : public QObject
{
    Q_OBJECT

public:
    RunSession(RandomSource& random, WallClock& wallClock, MonotonicClock& clock, RunObserver& observer,
               QObject* parent = nullptr);
    ~RunSession() override;

    // What the runs use; `sink` must outlive the session. Play does nothing before this.
    void configure(const RunConfig& config, LineSink& sink);

    void play();  // Play: starts a run unless one is under way
    void pause(); // Pause: toggles Paused
    void stop();  // Stop: the run ends when its current wait is over
    // Ends the run now, for a front-end that was asked to end (a line count reached, a signal):
    // no further line is emitted, every line emitted is already with the sink; the observer hears
    // the end and runEnded follows.
    void finish();
    void quit(); // exit: the run is abandoned at once, without its end-of-run steps

    // finish() once this many lines have been emitted; 0 for no limit.
    void setLineLimit(std::int64_t lines) { m_lineLimit = lines; }

    bool running() const { return m_driver.running(); }
    const RunFlags& flags() const { return m_flags; }
    // The session counts the lines emitted; the rest is the sink's counts since Play, read live, so
    // that it keeps moving after the run while a receiver's queue drains.
    RunProgress progress() const;
    // What the current (or last) run noted for its manifest: its times and draws; the source's
    // digest and the counts per message id only when the configuration asks for a manifest.
    const RunRecord& record() const { return m_record; }

signals:
    // The run ended (Finished, also after finish()) or failed (Halted).
    void runEnded(korvane::GenerationRun::Next how);

private:
    // Counts what the run hands to the sink.
    class CountingSink final : public LineSink
    {
    public:
        explicit CountingSink(RunSession& session) : m_session(session) {}
        SinkResult write(std::string_view line) override;
        FlushResult flush() override;
        FlushResult flushAndWait() override;
        DeliveryCounts counts() const override { return target->counts(); }
        LineSink* target = nullptr;

    private:
        FlushResult counted(FlushResult result);
        RunSession& m_session;
    };

    RunSettings m_settings; // the configuration's run part, as configure() took it
    RunFlags m_flags;
    CountingSink m_sink;
    RandomSource& m_random;
    WallClock& m_wallClock;
    RunObserver& m_observer;
    RunDriver m_driver;
    QElapsedTimer m_elapsed;
    std::int64_t m_emitted = 0;
    DeliveryCounts m_countsAtPlay; // the sink's, when the run began
    bool m_sinkFailed = false;
    qint64 m_endedAfterMs = -1; // -1 while a run is under way
    std::int64_t m_lineLimit = 0;
    bool m_finishing = false;
    bool m_configured = false;
    bool m_intoFile = false;
    bool m_recordsForManifest = false; // RunConfig::manifest: digest the source, count per message id
    RunRecord m_record;
};

} // namespace korvane
