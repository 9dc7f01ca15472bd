// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/generationrun.h"
#include "engine/randomsource.h"
#include "engine/runpacer.h"
#include "platform/wakeuptimer.h"
#include "session/fleetoutput.h"
#include "session/fleetplan.h"
#include "session/manifest.h"
#include "session/runrecord.h"
#include "session/runsession.h"
#include "settings/runconfig.h"

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <memory>
#include <optional>
#include <queue>
#include <string>
#include <vector>

namespace korvane {

// What one firewall of a fleet did, for the manifest.
struct FleetMemberReport
{
    std::string name;          // "Pix-Inside-Demo-007"
    int number = 0;            // 7
    std::string sourceAddress; // "" when the system chose
    std::uint32_t seed = 0;    // of its random stream (fleetSeed)
    std::uint64_t draws = 0;   // made by the stream in the run
    std::int64_t emitted = 0;
    DeliveryCounts counts;
};

// The manifest's entries of the firewalls (their lines before the run's drain, their deliveries as now).
std::vector<Manifest::Firewall> manifestEntries(const std::vector<FleetMemberReport>& members);

// The firewalls of a fleet, each its own generation run with its own name, random stream and
// pace, advanced by one scheduler on one timer: a heap of the firewalls' next deadlines, so that
// ten thousand firewalls cost one wake-up per batch rather than a timer each. Each firewall keeps
// the pacing rules of a single run (RunPacer: one line every delay, or its rate profile; no burst
// after a stall), and starts its first wait at its stagger within the first delay. Lines of any
// firewalls that fall due together go out in one batch of at most kBatchBudget, then to the system
// together (FleetOutput::flush()).
class FleetRun : public QObject
{
    Q_OBJECT

public:
    // `output` is prepared for `plan` and outlives the run; `timer` (optional) too, else the run
    // wakes on a precise timer of its own.
    FleetRun(const RunConfig& config, const FleetPlan& plan, FleetOutput& output, WallClock& wallClock,
             MonotonicClock& clock, WakeUpTimer* timer = nullptr, QObject* parent = nullptr);
    ~FleetRun() override;

    void start();
    // Ends now: no further line; every line emitted is with the output; ended() follows from the
    // event loop.
    void finish();
    // End once this many lines have been emitted by the fleet; 0 for no limit.
    void setLineLimit(std::int64_t lines) { m_lineLimit = lines; }
    // Note what a manifest needs (the source's digest, the counts per message id).
    void setRecordsForManifest(bool records) { m_recordsForManifest = records; }

    bool running() const { return m_running; }
    RunProgress progress() const;
    const RunRecord& record() const { return m_record; }
    std::vector<FleetMemberReport> members() const;
    // Why the run halted: the first firewall's failure, with its name.
    const std::string& failure() const { return m_failure; }

    static constexpr auto kBatchBudget = std::chrono::milliseconds(5);

signals:
    void ended(bool halted);

private:
    struct Member;
    struct Due
    {
        std::chrono::nanoseconds at;
        std::uint32_t index;
        bool operator>(const Due& other) const { return at != other.at ? at > other.at : index > other.index; }
    };

    void onTimer();
    void step(Member& member, std::chrono::nanoseconds now);
    void handle(Member& member, GenerationRun::Next next, std::chrono::nanoseconds now);
    void end(bool halted);
    void arm(std::chrono::nanoseconds now);
    void counted(std::string_view line);

    RunConfig m_config;
    FleetPlan m_plan;
    FleetOutput& m_output;
    WallClock& m_wallClock;
    MonotonicClock& m_clock;
    std::unique_ptr<WakeUpTimer> m_ownTimer;
    WakeUpTimer& m_timer;
    std::optional<SharedRunParts> m_shared; // by the firewalls' runs
    std::vector<std::unique_ptr<Member>> m_members;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> m_due;
    std::size_t m_active = 0;
    bool m_running = false;
    bool m_finishing = false;
    bool m_recordsForManifest = false;
    std::int64_t m_emitted = 0;
    std::int64_t m_lineLimit = 0;
    std::string m_failure;
    QElapsedTimer m_elapsed;
    qint64 m_endedAfterMs = -1;
    RunRecord m_record;
};

} // namespace korvane
