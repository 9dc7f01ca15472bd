// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <QDateTime>

#include <array>
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
// only. Counting a line costs a search for "PIX-" and one probe of a small open-addressing table.
class MessageTally
{
public:
    void count(std::string_view line)
    {
        const std::size_t at = findPix(line);
        if (at == std::string_view::npos || at + 4 >= line.size()) {
            return;
        }
        const unsigned severity = static_cast<unsigned char>(line[at + 4]) - static_cast<unsigned>('0');
        if (severity > 7) {
            return;
        }
        ++m_bySeverity[severity];
        std::size_t i = at + 5;
        if (i >= line.size() || line[i] != '-') {
            return;
        }
        std::uint32_t number = 0;
        std::uint32_t digits = 0;
        for (++i; i < line.size() && digits < kMaxDigits; ++i, ++digits) {
            const unsigned digit = static_cast<unsigned char>(line[i]) - static_cast<unsigned>('0');
            if (digit > 9) {
                break;
            }
            number = number * 10 + digit;
        }
        if (digits == 0) {
            return;
        }
        const std::uint32_t key = (severity << 27) | (digits << 24) | number; // the digit count keeps leading zeros
        if (!m_slots.empty()) {
            std::pair<std::uint32_t, std::int64_t>& slot = m_slots[slotOf(key, m_slots.size())];
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
    const std::array<std::int64_t, 8>& bySeverity() const { return m_bySeverity; }

private:
    static constexpr std::uint32_t kMaxDigits = 7; // 9999999 < 2^24
    // The first "PIX-": memchr finds the candidates (string_view::find tries every character).
    static std::size_t findPix(std::string_view line)
    {
        const char* p = line.data();
        const char* const end = p + line.size();
        while (end - p >= 4) {
            p = static_cast<const char*>(std::memchr(p, 'P', static_cast<std::size_t>(end - p - 3)));
            if (p == nullptr) {
                break;
            }
            if (p[1] == 'I' && p[2] == 'X' && p[3] == '-') {
                return static_cast<std::size_t>(p - line.data());
            }
            ++p;
        }
        return std::string_view::npos;
    }
    static std::size_t slotOf(std::uint32_t key, std::size_t size)
    {
        return (key * 0x9E3779B1u) & (size - 1); // size is a power of two
    }
    void countKey(std::uint32_t key);

    std::array<std::int64_t, 8> m_bySeverity{};
    // Slots of key (never 0) and count; at most half full.
    std::vector<std::pair<std::uint32_t, std::int64_t>> m_slots;
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
