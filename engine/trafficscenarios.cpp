// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/trafficscenarios.h"

#include <algorithm>
#include <array>

namespace korvane {

namespace {

// The ports a scan tries, in its order.
constexpr std::array<int, TrafficScenarios::kScanPorts> kScannedPorts{
    21,  22,  23,   25,   53,   80,   110,  111,  135,  139,  143,  443, 445,
    993, 995, 1433, 1723, 3306, 3389, 5432, 5900, 6379, 8080, 8443, 9200};

constexpr double kScanShare = 0.5;
constexpr double kBruteForceShare = 0.5;
constexpr double kStormFactor = 50;

} // namespace

TrafficScenarios::TrafficScenarios(std::vector<ScenarioPlan> plans, double denySteps)
    // With the storm's share q of the steps, the background denies at (1 - q) denySteps, and
    // q = 50 (1 - q) denySteps.
    : m_stormShare(kStormFactor * denySteps / (1 + kStormFactor * denySteps))
{
    for (const ScenarioPlan& plan : plans) {
        Running running;
        running.plan = plan;
        m_running.push_back(std::move(running));
        ScenarioTruth truth;
        truth.kind = plan.kind;
        m_truths.push_back(std::move(truth));
    }
}

void TrafficScenarios::open(Running& s, std::size_t index, RandomSource& random, const AddressPool& outside,
                            const AddressPool& inside)
{
    s.opened = true;
    s.source = outside.any(random);
    const int targets = s.plan.kind == ScenarioKind::PortScan ? kScanHosts : 1;
    // Distinct hosts where the pool has enough; a few tries each, so that a small pool cannot hold
    // the scenario up.
    for (int tries = 0; static_cast<int>(s.targets.size()) < targets && tries < 16 * targets; ++tries) {
        const std::uint32_t host = inside.any(random);
        if (std::find(s.targets.begin(), s.targets.end(), host) == s.targets.end() ||
            inside.size() < static_cast<std::uint64_t>(targets)) {
            s.targets.push_back(host);
        }
    }
    ScenarioTruth& truth = m_truths[index];
    std::array<char, 16> buffer{};
    truth.source = std::string(outside.text(s.source, buffer));
    for (const std::uint32_t host : s.targets) {
        truth.targets.emplace_back(inside.text(host, buffer));
    }
}

std::optional<ScenarioMove> TrafficScenarios::next(double now, RandomSource& random, const AddressPool& outside,
                                                   const AddressPool& inside)
{
    for (std::size_t i = 0; i < m_running.size(); ++i) {
        Running& s = m_running[i];
        const double end = s.plan.start + s.plan.length;
        if (s.done || now < s.plan.start) {
            continue;
        }
        if (!s.opened) {
            open(s, i, random, outside, inside);
        }
        ScenarioMove move;
        move.scenario = static_cast<int>(i);
        move.outside = s.source;
        move.inside = s.targets.front();
        if (now >= end) {
            s.done = true;
            if (s.plan.kind != ScenarioKind::BruteForce) {
                continue;
            }
            move.act = ScenarioMove::Act::LoginOk; // the one that got in, as the window closes
            move.insidePort = 22;
            return move;
        }
        const double share = s.plan.kind == ScenarioKind::PortScan     ? kScanShare
                             : s.plan.kind == ScenarioKind::BruteForce ? kBruteForceShare
                                                                       : m_stormShare;
        if (random.next() >= share) {
            return std::nullopt; // the background's line; a later scenario waits for its own turn
        }
        switch (s.plan.kind) {
        case ScenarioKind::PortScan:
            move.act = ScenarioMove::Act::Probe;
            move.inside = s.targets[s.moves % s.targets.size()];
            move.insidePort = kScannedPorts[s.moves % kScannedPorts.size()];
            break;
        case ScenarioKind::BruteForce:
            move.act = ScenarioMove::Act::LoginFailed;
            move.insidePort = 22;
            break;
        case ScenarioKind::DenyStorm:
            move.act = ScenarioMove::Act::StormDeny;
            break;
        }
        ++s.moves;
        return move;
    }
    return std::nullopt;
}

void TrafficScenarios::noteLine(int index, std::int64_t line)
{
    ScenarioTruth& truth = m_truths[static_cast<std::size_t>(index)];
    if (truth.firstLine == 0) {
        truth.firstLine = line;
    }
    truth.lastLine = line;
    ++truth.lines;
}

} // namespace korvane
