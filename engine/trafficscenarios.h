// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/randomsource.h"
#include "engine/trafficaddresses.h"
#include "settings/trafficforms.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// What a scenario did in a run, for the manifest: which source, against which inside hosts, and
// the first and last line that carried one of its messages (0 while none went out).
struct ScenarioTruth
{
    ScenarioKind kind = ScenarioKind::PortScan;
    std::string source;
    std::vector<std::string> targets;
    std::int64_t firstLine = 0;
    std::int64_t lastLine = 0;
    std::int64_t lines = 0;
    friend bool operator==(const ScenarioTruth&, const ScenarioTruth&) = default;
};

// One move of a scenario: a message about traffic between one outside and one inside endpoint.
struct ScenarioMove
{
    enum class Act : std::uint8_t
    {
        Probe,       // a port scan's try: denied mostly, now and then let through
        LoginFailed, // a brute force's failed login
        LoginOk,     // its one success, when its window is over
        StormDeny    // a deny storm's deny
    };
    Act act = Act::Probe;
    int scenario = 0; // its index in the run's list
    std::uint32_t outside = 0;
    std::uint32_t inside = 0;
    int insidePort = 0;
};

// The scenarios of a run on its virtual clock: each takes a share of the model's steps while its
// window lasts (half of them for a scan or a brute force; for a storm, the share that puts its
// denies at 50 times the background's), picking its source and targets when its window opens.
// Where windows overlap, the first scenario of the list has the first say.
class TrafficScenarios
{
public:
    // `denySteps`: the share of the background's steps that deny.
    TrafficScenarios(std::vector<ScenarioPlan> plans, double denySteps);

    // The move of a scenario at `now` seconds, or nothing when the background has the line.
    std::optional<ScenarioMove> next(double now, RandomSource& random, const AddressPool& outside,
                                     const AddressPool& inside);
    // A line carrying a message of scenario `index` went out.
    void noteLine(int index, std::int64_t line);
    const std::vector<ScenarioTruth>& truths() const { return m_truths; }
    // Every window has closed: no move will come.
    bool over() const
    {
        return std::all_of(m_running.begin(), m_running.end(), [](const Running& s) { return s.done; });
    }

    static constexpr int kScanHosts = 12;
    static constexpr int kScanPorts = 25; // prime to kScanHosts: 25 tries reach every port and host

private:
    struct Running
    {
        ScenarioPlan plan;
        bool opened = false;
        bool done = false;
        std::uint32_t source = 0;
        std::vector<std::uint32_t> targets;
        std::uint64_t moves = 0;
    };

    void open(Running& s, std::size_t index, RandomSource& random, const AddressPool& outside,
              const AddressPool& inside);

    std::vector<Running> m_running;
    std::vector<ScenarioTruth> m_truths;
    double m_stormShare;
};

} // namespace korvane
