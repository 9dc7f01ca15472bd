// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// The forms of the traffic keys' texts: an IPv4 network in CIDR notation, and a list of scenarios.
// Read by the settings' tests and by the traffic model alike, so that both take the same values.

namespace korvane {

// "198.51.100.0/24": the network's first address (host bits cleared) and its prefix length.
struct Ipv4Network
{
    std::uint32_t base = 0;
    int prefix = 32;
    // Addresses a host may have: the network and broadcast addresses left out where there are more
    // than two.
    std::uint64_t hosts() const;
    std::uint32_t host(std::uint64_t index) const; // index < hosts()
};

// Four decimal numbers of 0 to 255 apart by points, "/" and a prefix of 8 to 32; nothing else.
std::optional<Ipv4Network> parseIpv4Network(std::string_view text);

enum class ScenarioKind
{
    PortScan,   // one outside source tries many ports of many inside hosts, mostly denied
    BruteForce, // failed logins of one user from one source, then one success
    DenyStorm,  // one source denied at 50 times the background rate of denies
};

struct ScenarioPlan
{
    ScenarioKind kind = ScenarioKind::PortScan;
    double start = 0;  // seconds after Play, on the run's own clock
    double length = 0; // seconds, > 0
};

std::string_view scenarioName(ScenarioKind kind); // "portscan", "bruteforce", "denystorm"

// "portscan@60+30,bruteforce@120+20": NAME@START+LENGTH apart by commas (blanks around each
// allowed), START a plain decimal number from 0, LENGTH one above 0; nothing when one is not so.
std::optional<std::vector<ScenarioPlan>> parseScenarios(std::string_view text);

} // namespace korvane
