// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Many firewalls from one process (korvane-cli --fleet N --fleet-offset K): firewalls K+1 to K+N,
// each with its own name, random stream, start and source address, all derived from its number so
// that pods of one fleet started with offsets 0, N, 2N, ... make one fleet of consecutive firewalls.
struct FleetPlan
{
    int count = 1;  // N, at least 1
    int offset = 0; // K: the first firewall's number is offset + 1
    int width = 0;  // digits of the names' numbers; 0: those of the highest number

    int firstNumber() const { return offset + 1; }
    int lastNumber() const { return offset + count; }
};

// The most firewalls one process runs.
inline constexpr int kLargestFleet = 1'000'000;

// Firewall `number`'s name: `base`, "-" and the number padded with zeros to `width` digits
// ("Pix-Inside-Demo-007").
std::string fleetMemberName(std::string_view base, int number, int width);
// The width of the numbers of a fleet: the plan's width, but at least the digits of its highest
// number, K + N. The processes that make one fleet together name their firewalls alike when each is
// given the width of the whole fleet's highest number (--fleet-width).
int fleetNameWidth(const FleetPlan& plan);

// The seed of firewall `number`'s random stream: std::mt19937's default seed for firewall 1, so
// that it draws what a single run draws, and one more for each following firewall.
std::uint32_t fleetSeed(int number);

// When firewall `index` (0 to count - 1 within this process) begins its first wait, after the
// start of the fleet: spread evenly over the first delay, so that the fleet does not pulse.
std::chrono::nanoseconds fleetStagger(int index, int count, double delaySeconds);

// The source addresses of the fleet's firewalls: `base` + (number - 1) for each number, in order,
// as IPv4 addresses in host byte order. Fails when `base` is not IPv4 in dotted form, or when the
// range runs past the end of the base's /8 (past 127.255.255.255 for 127.0.1.1) or of IPv4, naming
// the last address the range would need.
Result<std::vector<std::uint32_t>> fleetAddresses(std::string_view base, const FleetPlan& plan);

// Dotted form of an IPv4 address in host byte order.
std::string ipv4Text(std::uint32_t address);

} // namespace korvane
