// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/trafficaddresses.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace korvane {

namespace {

// A little steeper than 1: in a /24 the busiest host carries about a fifth of the connections.
constexpr double kPopularity = 1.1;

std::uint64_t hostsOf(std::string_view network)
{
    const std::optional<Ipv4Network> parsed = parseIpv4Network(network);
    return parsed ? parsed->hosts() : 5;
}

} // namespace

AddressPool::AddressPool(std::string_view network, const std::array<std::string, 5>& five)
    : m_five(five), m_zipf(hostsOf(network), kPopularity)
{
    if (const std::optional<Ipv4Network> parsed = parseIpv4Network(network)) {
        m_network = true;
        m_range = *parsed;
        m_size = parsed->hosts();
    }
    while (m_mask + 1 < m_size) {
        m_mask = m_mask << 1 | 1;
    }
}

// An odd multiplier and an offset modulo a power of two permute its numbers; those beyond the
// pool's size are walked past (fewer than half of them), so every rank keeps its own host.
std::uint32_t AddressPool::shuffled(std::uint64_t rank) const
{
    std::uint64_t x = rank;
    do {
        x = (x * 0x9E3779B97F4A7C15ull + 0x5851F42D4C957F2Dull) & m_mask;
    } while (x >= m_size);
    return static_cast<std::uint32_t>(x);
}

std::uint32_t AddressPool::popular(RandomSource& random) const
{
    return shuffled(m_zipf.sample(random) - 1);
}

std::uint32_t AddressPool::any(RandomSource& random) const
{
    const auto host = static_cast<std::uint64_t>(random.next() * static_cast<double>(m_size));
    return static_cast<std::uint32_t>(std::min(host, m_size - 1));
}

std::string_view AddressPool::text(std::uint32_t host, std::array<char, 16>& buffer) const
{
    if (!m_network) {
        return m_five[std::min<std::size_t>(host, 4)];
    }
    const std::uint32_t address = m_range.host(host);
    char* p = buffer.data();
    for (int shift = 24; shift >= 0; shift -= 8) {
        p = std::to_chars(p, buffer.data() + buffer.size(), (address >> shift) & 0xff).ptr;
        if (shift > 0) {
            *p++ = '.';
        }
    }
    return {buffer.data(), static_cast<std::size_t>(p - buffer.data())};
}

} // namespace korvane
