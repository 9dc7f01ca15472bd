// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/trafficforms.h"

#include "settings/asciitext.h"
#include "settings/numbers.h"

#include <array>
#include <charconv>

namespace korvane {

namespace {

constexpr std::array<std::string_view, 3> kScenarioNames{"portscan", "bruteforce", "denystorm"};

// A whole decimal number of 1 to 3 digits (no sign, no blanks) up to `most`.
std::optional<std::uint32_t> smallNumber(std::string_view text, std::uint32_t most)
{
    if (text.empty() || text.size() > 3) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > most) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::uint64_t Ipv4Network::hosts() const
{
    const std::uint64_t all = std::uint64_t{1} << (32 - prefix);
    return all > 2 ? all - 2 : all;
}

std::uint32_t Ipv4Network::host(std::uint64_t index) const
{
    const std::uint64_t all = std::uint64_t{1} << (32 - prefix);
    return base + static_cast<std::uint32_t>(all > 2 ? index + 1 : index);
}

std::optional<Ipv4Network> parseIpv4Network(std::string_view text)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> prefix = smallNumber(text.substr(slash + 1), 32);
    if (!prefix || *prefix < 8) {
        return std::nullopt;
    }
    std::uint32_t address = 0;
    std::string_view rest = text.substr(0, slash);
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? rest.find('.') : rest.size();
        if (dot == std::string_view::npos) {
            return std::nullopt;
        }
        const std::optional<std::uint32_t> number = smallNumber(rest.substr(0, dot), 255);
        if (!number) {
            return std::nullopt;
        }
        address = address << 8 | *number;
        rest = part < 3 ? rest.substr(dot + 1) : std::string_view();
    }
    Ipv4Network network;
    network.prefix = static_cast<int>(*prefix);
    const std::uint32_t mask = network.prefix == 32 ? ~0u : ~(~0u >> network.prefix);
    network.base = address & mask;
    return network;
}

std::string_view scenarioName(ScenarioKind kind)
{
    return kScenarioNames[static_cast<std::size_t>(kind)];
}

std::optional<std::vector<ScenarioPlan>> parseScenarios(std::string_view text)
{
    std::vector<ScenarioPlan> plans;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = withoutBlanksAround(text.substr(0, comma));
        const std::size_t at = item.find('@');
        const std::size_t plus = item.find('+', at == std::string_view::npos ? item.size() : at);
        if (at == std::string_view::npos || plus == std::string_view::npos) {
            return std::nullopt;
        }
        ScenarioPlan plan;
        std::size_t kind = 0;
        while (kind < kScenarioNames.size() && kScenarioNames[kind] != item.substr(0, at)) {
            ++kind;
        }
        const std::optional<double> start = plainDecimal(item.substr(at + 1, plus - at - 1));
        const std::optional<double> length = plainDecimal(item.substr(plus + 1));
        if (kind == kScenarioNames.size() || !start || *start < 0 || !length || !(*length > 0)) {
            return std::nullopt;
        }
        plan.kind = static_cast<ScenarioKind>(kind);
        plan.start = *start;
        plan.length = *length;
        plans.push_back(plan);
        if (comma == std::string_view::npos) {
            return plans;
        }
        text.remove_prefix(comma + 1);
    }
}

} // namespace korvane
