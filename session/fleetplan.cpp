// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/fleetplan.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <arpa/inet.h>

namespace korvane {

std::string fleetMemberName(std::string_view base, int number, int width)
{
    std::string digits = std::to_string(number);
    if (static_cast<int>(digits.size()) < width) {
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    }
    std::string name(base);
    name += '-';
    name += digits;
    return name;
}

int fleetNameWidth(const FleetPlan& plan)
{
    return std::max(plan.width, static_cast<int>(std::to_string(plan.lastNumber()).size()));
}

std::uint32_t fleetSeed(int number)
{
    return std::mt19937::default_seed + static_cast<std::uint32_t>(number - 1);
}

std::chrono::nanoseconds fleetStagger(int index, int count, double delaySeconds)
{
    if (count <= 1 || !(delaySeconds > 0)) {
        return std::chrono::nanoseconds{0};
    }
    const double ns = std::round(delaySeconds * 1e9 * static_cast<double>(index) / static_cast<double>(count));
    return std::chrono::nanoseconds{static_cast<std::int64_t>(std::min(ns, 1e16))};
}

std::string ipv4Text(std::uint32_t address)
{
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xff) + '.' +
           std::to_string((address >> 8) & 0xff) + '.' + std::to_string(address & 0xff);
}

Result<std::vector<std::uint32_t>> fleetAddresses(std::string_view base, const FleetPlan& plan)
{
    const std::string text(base);
    in_addr parsed{};
    if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return Failure{"SourceAddress " + text + " is not an IPv4 address in dotted form, as a fleet needs"};
    }
    const std::uint64_t first = ntohl(parsed.s_addr);
    const std::uint64_t from = first + static_cast<std::uint64_t>(plan.firstNumber() - 1);
    const std::uint64_t to = first + static_cast<std::uint64_t>(plan.lastNumber() - 1);
    // The end of the base's /8: on loopback every address up to it binds, beyond it none does.
    const std::uint64_t endOfBlock = first | 0x00ffffffu;
    if (to > endOfBlock) {
        const std::string last = to > 0xffffffffu ? "past 255.255.255.255" : ipv4Text(static_cast<std::uint32_t>(to));
        return Failure{"SourceAddress " + text + " + " + std::to_string(plan.lastNumber() - 1) +
                       " runs past the end of " + ipv4Text(static_cast<std::uint32_t>(first & 0xff000000u)) + "/8 (" +
                       last + "): firewalls " + std::to_string(plan.firstNumber()) + " to " +
                       std::to_string(plan.lastNumber()) + " need " + std::to_string(plan.count) + " addresses"};
    }
    std::vector<std::uint32_t> addresses;
    addresses.reserve(static_cast<std::size_t>(plan.count));
    for (std::uint64_t a = from; a <= to; ++a) {
        addresses.push_back(static_cast<std::uint32_t>(a));
    }
    return addresses;
}

} // namespace korvane
