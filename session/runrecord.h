// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// How many lines of a run carried each message id and each severity, read from the first "PIX-"
// of each line: "PIX-6-302013" counts for id 6-302013 and severity 6. A line without "PIX-" and a
// digit 0 to 7 after it counts for neither; one without a number after "PIX-n-" for its severity
// only. A line costs a search for "X" and one probe of a small open-addressing table keyed by the
// eight bytes after "PIX-" up to the end of the number (taken apart only when the counts are read).
class MessageTally
{
public:
    void count(std::string_view line)
    {
        const std::size_t at = findPix(line);
        if (at == std::string_view::npos || at + 4 >= line.size()) {
            return;
        }
        const char* p = line.data() + at + 4;
        const std::size_t left = line.size() - at - 4;
        std::uint64_t word = 0;
        if (left >= 8) {
            for (int i = 0; i < 8; ++i) { // one load on the usual targets, whatever their byte order
                word |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
            }
        } else {
            for (std::size_t i = 0; i < left; ++i) {
                word |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
            }
        }
        // The number ends at the first byte from the third on that is no digit: it and what
        // follows are cut off (a 0 byte is no digit).
        const std::uint64_t flipped = word ^ 0x3030303030303030ull;
        const std::uint64_t noDigit =
            (((flipped & 0x7f7f7f7f7f7f7f7full) + 0x7676767676767676ull) | flipped) & 0x8080808080808080ull;
        const std::uint64_t after = noDigit & ~0xffffull;
        const std::uint64_t key = after == 0 ? word : word & ((std::uint64_t{1} << (std::countr_zero(after) & ~7)) - 1);
        if (key == 0) {
            return;
        }
        if (!m_slots.empty()) {
            std::pair<std::uint64_t, std::int64_t>& slot = m_slots[slotOf(key, m_slots.size())];
            if (slot.first == key) {
                ++slot.second; // the usual case: an id seen before, in its first slot
                return;
            }
        }
        countKey(key);
    }

    // "6-302013" -> lines, in the order of the texts.
    std::map<std::string, std::int64_t> byId() const;
    // Lines per severity 0 to 7.
    std::array<std::int64_t, 8> bySeverity() const;

private:
    // The first "PIX-": every one holds an "X", rarer than a "P" in a header.
    static std::size_t findPix(std::string_view line)
    {
        const char* const begin = line.data();
        const char* const end = begin + line.size();
        const char* p = begin + std::min<std::size_t>(line.size(), 2);
        while (end - p >= 2) {
            p = static_cast<const char*>(std::memchr(p, 'X', static_cast<std::size_t>(end - p - 1)));
            if (p == nullptr) {
                break;
            }
            if (p[1] == '-' && p[-1] == 'I' && p[-2] == 'P') {
                return static_cast<std::size_t>(p - 2 - begin);
            }
            ++p;
        }
        return std::string_view::npos;
    }
    static std::size_t slotOf(std::uint64_t key, std::size_t size)
    {
        return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 40) & (size - 1); // size: a power of two
    }
    void countKey(std::uint64_t key);

    // Slots of key (never 0) and count; at most half full.
    std::vector<std::pair<std::uint64_t, std::int64_t>> m_slots;
    std::size_t m_used = 0;
};

// What a run session notes of a run for its manifest, besides the progress counters.
struct RunRecord
{
    QDateTime started;                                // Play
    QDateTime ended;                                  // invalid while the run is under way
    std::uint64_t randomDrawsBefore = 0;              // the process's random draws made before Play
    std::filesystem::path sourceFile;                 // as the run opens it
    Result<std::string> sourceSha256 = std::string(); // of the source's content at Play, in lower-case hex
    MessageTally tally;                               // of the lines emitted
};

// The SHA-256 of a file's content, in lower-case hex; "PATH: the system's words" when it cannot
// be read.
Result<std::string> fileSha256(const std::filesystem::path& path);

} // namespace korvane
