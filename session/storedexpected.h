// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// The messages a run emitted, as a check of stored lines sets them against what was stored. No Qt.

#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

namespace korvane {

// The messages in emission order, each text kept once however often it was emitted, in blocks
// that never move, and found again by a hash table of their indexes: ten million texts cost
// little more than their bytes. Up to 2^32 - 2 messages.
class ExpectedMessages
{
public:
    static constexpr std::uint32_t kNotFound = std::numeric_limits<std::uint32_t>::max();

    // The next emitted message: its text from "PIX-" on (anything before its first "PIX-" and
    // trailing CR and LF are left out, as of a stored line; a text without "PIX-" is kept empty
    // and no stored line matches it).
    void append(std::string_view text);
    void reserve(std::size_t messages) { m_order.reserve(messages); }

    std::size_t size() const { return m_order.size(); }
    // The text of the message at `position` (from 0).
    std::string_view text(std::size_t position) const { return distinctText(m_order[position]); }

    // The different texts, by their index in order of first emission.
    std::size_t distinctCount() const { return m_length.size(); }
    std::string_view distinctText(std::uint32_t index) const
    {
        return {m_blocks[m_start[index] >> 32].get() + (m_start[index] & 0xffffffffu), m_length[index]};
    }
    // The index of the text of the message at `position`.
    std::uint32_t textIndex(std::size_t position) const { return m_order[position]; }
    // The index of `text`, or kNotFound.
    std::uint32_t find(std::string_view text) const;

private:
    std::uint32_t keep(std::string_view text);
    void grow();

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockUsed = 0;
    std::size_t m_blockSize = 0;
    std::vector<std::uint64_t> m_start;  // per text: its block << 32 | its offset in the block
    std::vector<std::uint32_t> m_length; // per text
    // Open addressing, at most half full: per slot the upper half of the text's hash << 32 | its index + 1, 0 when
    // free.
    std::vector<std::uint64_t> m_slots;
    std::vector<std::uint32_t> m_order; // per position, the index of its text
};

} // namespace korvane
