// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/storedexpected.h"

#include "session/storedline.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace korvane {

namespace {

constexpr std::size_t kFirstBlockSize = 64 * 1024;
constexpr std::size_t kBlockSize = 16 * 1024 * 1024;

std::uint32_t hashOf(std::string_view text)
{
    return static_cast<std::uint32_t>(std::hash<std::string_view>{}(text) >> 32);
}

// Puts an entry in the first free slot from the one its hash names (the table's size is a power of two).
void place(std::vector<std::uint64_t>& slots, std::uint64_t entry)
{
    const std::size_t mask = slots.size() - 1;
    std::size_t slot = (entry >> 32) & mask;
    while (slots[slot] != 0) {
        slot = (slot + 1) & mask;
    }
    slots[slot] = entry;
}

} // namespace

void ExpectedMessages::append(std::string_view text)
{
    const std::string_view message = parseStoredLine(text).message;
    std::uint32_t index = find(message);
    if (index == kNotFound) {
        index = keep(message);
    }
    m_order.push_back(index);
}

std::uint32_t ExpectedMessages::find(std::string_view text) const
{
    if (m_slots.empty()) {
        return kNotFound;
    }
    const std::uint32_t hash = hashOf(text);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t entry = m_slots[slot];
        if (entry == 0) {
            return kNotFound;
        }
        const auto index = static_cast<std::uint32_t>(entry) - 1;
        if (entry >> 32 == hash && distinctText(index) == text) {
            return index;
        }
    }
}

std::uint32_t ExpectedMessages::keep(std::string_view text)
{
    if (m_blocks.empty() || m_blockUsed + text.size() > m_blockSize) {
        // Blocks grow to kBlockSize, so that a short run takes little; a longer text gets one of its own.
        m_blockSize = std::max(std::clamp(2 * m_blockSize, kFirstBlockSize, kBlockSize), text.size());
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(m_blockSize));
        m_blockUsed = 0;
    }
    if (!text.empty()) {
        std::memcpy(m_blocks.back().get() + m_blockUsed, text.data(), text.size());
    }
    const auto index = static_cast<std::uint32_t>(m_length.size());
    m_start.push_back(static_cast<std::uint64_t>(m_blocks.size() - 1) << 32 | m_blockUsed);
    m_length.push_back(static_cast<std::uint32_t>(text.size()));
    m_blockUsed += text.size();

    if (2 * m_length.size() > m_slots.size()) {
        grow();
    }
    place(m_slots, static_cast<std::uint64_t>(hashOf(text)) << 32 | (index + 1));
    return index;
}

void ExpectedMessages::grow()
{
    std::vector<std::uint64_t> slots(std::max<std::size_t>(64, 2 * m_slots.size()), 0);
    for (const std::uint64_t entry : m_slots) {
        if (entry != 0) {
            place(slots, entry);
        }
    }
    m_slots = std::move(slots);
}

} // namespace korvane
