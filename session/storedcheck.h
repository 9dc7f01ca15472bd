// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// The ground truth of a run: what a collector stored, set against the messages the run emitted,
// says what was lost, doubled, reordered or damaged on the way. No Qt.
//
// Every stored line is one of five kinds, and counts once:
// - matched: it takes one expected message (a position in the run's emission order) whose text
//   is the line's message byte for byte. With sequence numbers a line whose id belongs to the run
//   takes the message of that id; any other line takes the earliest expected message of its text
//   that no line took yet (without sequence numbers: the k-th stored copy of a text takes the k-th
//   expected copy).
// - duplicated: the message it would take is taken already (its id came before; or every expected
//   copy of its text is stored already).
// - damaged: its message is not the expected one, but it stands for it. With sequence numbers, a
//   line whose id belongs to the run and whose text differs from that message's text (the message
//   is then taken, not missing). Otherwise a line of a text the run never emitted, paired with a
//   missing message of the same message id (a line cut short, a character changed); as many such
//   lines of an id are damaged as there are missing messages of that id, those messages are then
//   not missing.
// - foreign: a line with no "PIX-", or a line of unknown text that no missing message pairs with.
// And, of the run's messages:
// - missing: expected messages no line took and no damaged line stands for.
// - reordered: matched lines out of order, that is the matched lines not in a longest increasing
//   subsequence of their positions (the fewest lines that, moved, would put the rest in order); a
//   subset of the matched lines. With sequence numbers the id's position is found wrap-aware: the
//   id after kLargestSequenceId is 1, and of the positions that carry an id the one nearest the
//   last line's is taken.
// So: expected = matched + missing + damaged, stored = matched + duplicated + damaged (the lines
// of the run), stored + foreign = every line read, and reordered <= matched.
//
// byId holds the same counts per message id (messageId()): a line that takes or stands for an
// expected message counts under that message's id, a duplicated one under the id of the message
// it doubles, a foreign one under its own id, if it has one. The same identities hold per id; the
// foreign lines without an id count in the totals only.

#include "session/storedexpected.h"
#include "session/storedline.h"
#include "settings/result.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

struct CheckCounts
{
    std::uint64_t expected = 0;
    std::uint64_t stored = 0;
    std::uint64_t missing = 0;
    std::uint64_t duplicated = 0;
    std::uint64_t reordered = 0;
    std::uint64_t damaged = 0;
    std::uint64_t foreign = 0;

    bool operator==(const CheckCounts&) const = default;
};

struct CheckReport
{
    CheckCounts total;
    std::map<std::string, CheckCounts> byId; // by message id, in the order of the ids' text
    // A fleet's: by firewall, in the order of their numbers (see session/storedfleet.h); empty for
    // one firewall.
    std::vector<std::pair<std::string, CheckCounts>> byHost;
};

struct CheckOptions
{
    // The run's messages carried sequence numbers: the message at position k (from 0) has the id
    // that follows firstSequenceId (1 to kLargestSequenceId, 1 when out of range) k times, wrapping
    // after kLargestSequenceId.
    bool sequenced = false;
    std::uint32_t firstSequenceId = 1;
    // The stored lines are Harkwell's --stdout lines, escaped (see unescapedStdoutLine()).
    bool stdoutEscaped = false;
};

// Takes the stored lines one by one, in the order they were stored, and counts at the end.
// `expected` must outlive it and not change meanwhile.
class StoredCheck
{
public:
    explicit StoredCheck(const ExpectedMessages& expected, CheckOptions options = {});

    // One stored line, with or without its end.
    void add(std::string_view line);

    // The counts of the lines added so far.
    CheckReport report() const;

private:
    struct Matched
    {
        std::uint32_t position;
        std::uint32_t previous; // the matched line before it in the longest increasing run ending with it
    };

    void addParsed(const StoredLine& line);
    bool takeById(std::uint32_t sequenceId, std::string_view message);
    void take(std::uint32_t position);
    std::uint32_t idIndex(std::string_view id);

    const ExpectedMessages& m_expected;
    CheckOptions m_options;
    std::vector<std::string> m_ids; // the message ids met, by their index
    std::map<std::string, std::uint32_t, std::less<>> m_idIndex;
    std::vector<std::uint32_t> m_textId;    // per distinct expected text, the index of its message id
    std::vector<std::uint32_t> m_firstCopy; // per distinct text, where its positions begin in m_positions
    std::vector<std::uint32_t> m_positions; // each text's positions in ascending order, text after text
    std::vector<std::uint32_t> m_nextCopy;  // per distinct text, its earliest position no line took may be here
    std::vector<bool> m_taken;              // per position
    std::vector<CheckCounts> m_counts;      // per message id: stored, duplicated, damaged, foreign so far
    std::vector<std::uint64_t> m_unknown;   // per message id, lines of a text the run never emitted
    std::uint64_t m_foreignWithoutId = 0;
    std::vector<Matched> m_matched;
    std::vector<std::uint32_t> m_tails; // per length, the matched line that ends the lowest increasing run so long
    std::uint64_t m_lastPosition = 0;   // of the last line known by its id
    std::uint64_t m_next = 0;           // the position after the last one taken
    std::string m_unescaped;
};

// Checks the stored lines of the file at `path` (one line per message, ended by LF or CR LF; a
// line longer than kMaxStoredLine is judged by its first kMaxStoredLine bytes).
inline constexpr std::size_t kMaxStoredLine = 1024 * 1024;
// Hands each line of the file at `path` to `line`, without its LF, as checkStoredFile() reads them.
Result<> forEachStoredLine(const std::filesystem::path& path, const std::function<void(std::string_view)>& line);
Result<CheckReport> checkStoredFile(const std::filesystem::path& path, const ExpectedMessages& expected,
                                    CheckOptions options = {});

} // namespace korvane
