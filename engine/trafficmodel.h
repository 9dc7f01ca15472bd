// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/randomsource.h"
#include "engine/trafficaddresses.h"
#include "engine/trafficcatalogue.h"
#include "engine/trafficscenarios.h"
#include "settings/runsettings.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvane {

// Connections through the firewall, on the run's virtual clock. At each step the model opens a
// connection (302013 / 302015, with 305011 before it when outbound traffic is translated), closes
// the one due first (302014 / 302016 with the same id, endpoints, the time since it was built, a
// heavy-tailed byte count and a reason, then 305012), or denies traffic the rules refuse (106023,
// 106001, 106015, 710003), and the scenarios of the run take their share. The connections open
// stay near `connections`: while fewer are open, none is due and the line is not a deny, one
// opens; a full table closes the one due first, ahead of its time. Lifetimes are lognormal with
// mean `meanDuration`, so a run whose rate is too low for the count keeps fewer open.
//
// Messages are the catalogue's templates of each id, filled by position; a kind the catalogue
// lacks is made and not emitted, as is one of a severity the run does not select. The model's
// state is the table of open connections (fixed-size records in a heap by due time) and a few
// messages waiting their line: it does not grow with the lines.
class TrafficModel
{
public:
    // The settings and the catalogue's lines are read here and not kept; `random` is drawn from
    // for every choice, in a fixed order.
    TrafficModel(const RunSettings& settings, std::span<const std::string> catalogue, RandomSource& random);

    // Replaces `out` with the message of line `line`, made at `now` seconds after Play: the next
    // message the severity selection lets through. False when none came within kMostSteps steps.
    bool make(std::int64_t line, double now, std::string& out);

    static constexpr int kMostSteps = 4096;

    std::size_t openConnections() const { return m_due.size(); }
    const std::vector<ScenarioTruth>& scenarios() const { return m_scenarios.truths(); }
    // No line to come will carry a scenario's message.
    bool scenariosOver() const { return m_scenarios.over() && m_pendingCount == 0; }

    // One connection, as the table holds it.
    struct Connection
    {
        std::int64_t builtUs = 0;
        std::int64_t dueUs = 0;
        std::uint64_t id = 0;
        std::uint32_t outside = 0; // hosts of the pools
        std::uint32_t inside = 0;
        std::uint16_t outsidePort = 0;
        std::uint16_t insidePort = 0;
        std::uint16_t mappedPort = 0; // of the gateway's address
        TrafficProtocol protocol = TrafficProtocol::Tcp;
        bool inbound = false;
        bool translated = false;
        std::int8_t scenario = -1;
    };

private:
    // A message waiting for its line.
    struct Event
    {
        TrafficKind kind = TrafficKind::BuiltTcp;
        Connection c;
        std::uint32_t slot = 0; // a build's connection in the table
        std::int64_t durationSeconds = 0;
        std::uint64_t bytes = 0;
        std::uint8_t reason = 0;
        std::int8_t scenario = -1;
    };

    void step(std::int64_t nowUs);
    void scenarioStep(const ScenarioMove& move, std::int64_t nowUs);
    void deny(std::uint32_t outside, std::uint32_t inside, int insidePort, std::int8_t scenario);
    void pushInbound(TrafficKind kind, const ScenarioMove& move, std::int8_t scenario);
    void open(Connection c, std::int64_t nowUs, double meanSeconds);
    void close(std::int64_t nowUs);
    void push(const Event& e);
    Connection fresh(std::int64_t nowUs);
    void render(const Event& e, const TrafficCatalogue::Template& t, std::string& out);
    struct Due
    {
        std::int64_t dueUs;
        std::uint32_t slot;
    };
    static bool dueLater(const Due& a, const Due& b);
    TrafficKind denyKind(const std::array<TrafficKind, 4>& kinds, const std::array<double, 4>& weights);
    int ephemeralPort();
    double lifetimeSeconds(double mean);

    RandomSource& m_random;
    TrafficCatalogue m_catalogue;
    AddressPool m_outside;
    AddressPool m_inside;
    std::string m_gateway;
    std::string m_user;
    TrafficScenarios m_scenarios;
    std::size_t m_connections;
    double m_meanDuration;
    double m_denyStepShare; // of the steps, those that deny
    int m_severity;         // 1..7 the one selected, else every one

    // The open connections in slots that are used again, and a min-heap of their due times.
    std::vector<Connection> m_slots;
    std::vector<std::uint32_t> m_freeSlots;
    std::vector<Due> m_due;
    std::array<Event, 4> m_pending{};
    std::size_t m_pendingFirst = 0;
    std::size_t m_pendingCount = 0;
    std::uint64_t m_nextId = 1;
    std::array<std::array<char, 16>, 4> m_buffers{};
};

// What the scenarios of a run did that made `lines` lines with these settings, drawing from
// `random` as the run did (moved on as far as it was at Play): the model made again, line by
// line on the same clock, without the rest of the run.
std::vector<ScenarioTruth> scenariosOfRun(const RunSettings& settings, std::span<const std::string> catalogue,
                                          RandomSource& random, std::int64_t lines);

} // namespace korvane
