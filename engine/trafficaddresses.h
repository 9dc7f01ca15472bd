// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/randomsource.h"
#include "engine/trafficzipf.h"
#include "settings/trafficforms.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// The hosts of one side of the firewall: the addresses of a network, or the five configured texts.
// A host is known by its index; popular() draws one with a Zipf law over a fixed shuffle of the
// indices (so the busiest hosts are not simply the lowest addresses), any() with equal chances.
class AddressPool
{
public:
    // `network` as parseIpv4Network reads it; when it is empty (or not a network), the five texts.
    AddressPool(std::string_view network, const std::array<std::string, 5>& five);

    std::uint64_t size() const { return m_size; }
    std::uint32_t popular(RandomSource& random) const;
    std::uint32_t any(RandomSource& random) const;
    // The host's address as it goes into a line; `buffer` holds it when it must be written out.
    std::string_view text(std::uint32_t host, std::array<char, 16>& buffer) const;

private:
    std::uint32_t shuffled(std::uint64_t rank) const;

    bool m_network = false;
    Ipv4Network m_range;
    std::array<std::string, 5> m_five;
    std::uint64_t m_size = 5;
    std::uint64_t m_mask = 0; // the power of two at or above m_size, less one, for the shuffle
    ZipfSampler m_zipf;
};

} // namespace korvane
