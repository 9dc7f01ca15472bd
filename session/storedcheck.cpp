// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/storedcheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace korvane {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
// Index 0 of the message ids is the empty one: messages without an id count in the totals only.
constexpr std::uint32_t kNoId = 0;

} // namespace

StoredCheck::StoredCheck(const ExpectedMessages& expected, CheckOptions options)
    : m_expected(expected), m_options(options), m_ids{std::string()}, m_taken(expected.size(), false), m_counts(1),
      m_unknown(1)
{
    m_idIndex.emplace(std::string(), kNoId);
    const std::size_t distinct = expected.distinctCount();
    m_textId.reserve(distinct);
    for (std::uint32_t text = 0; text < distinct; ++text) {
        m_textId.push_back(idIndex(messageId(expected.distinctText(text))));
    }
    // Each text's positions, text after text, so that the k-th copy of a text is found at once.
    m_firstCopy.assign(distinct + 1, 0);
    for (std::size_t position = 0; position < expected.size(); ++position) {
        ++m_firstCopy[expected.textIndex(position) + 1];
    }
    for (std::size_t i = 1; i <= distinct; ++i) {
        m_firstCopy[i] += m_firstCopy[i - 1];
    }
    m_nextCopy.assign(m_firstCopy.begin(), m_firstCopy.end() - 1);
    m_positions.resize(expected.size());
    std::vector<std::uint32_t> fill = m_nextCopy;
    for (std::size_t position = 0; position < expected.size(); ++position) {
        m_positions[fill[expected.textIndex(position)]++] = static_cast<std::uint32_t>(position);
    }
}

std::uint32_t StoredCheck::idIndex(std::string_view id)
{
    const auto found = m_idIndex.find(id);
    if (found != m_idIndex.end()) {
        return found->second;
    }
    const auto index = static_cast<std::uint32_t>(m_ids.size());
    m_ids.emplace_back(id);
    m_idIndex.emplace(std::string(id), index);
    m_counts.resize(m_ids.size());
    m_unknown.resize(m_ids.size());
    return index;
}

void StoredCheck::add(std::string_view line)
{
    if (m_options.stdoutEscaped && (line.find('\\') != std::string_view::npos || line.ends_with("\t[cut]"))) {
        m_unescaped = unescapedStdoutLine(line);
        addParsed(parseStoredLine(m_unescaped));
        return;
    }
    addParsed(parseStoredLine(line));
}

void StoredCheck::addParsed(const StoredLine& line)
{
    if (line.message.empty()) {
        ++m_foreignWithoutId;
        return;
    }
    if (takeById(line.sequenceId, line.message)) {
        return;
    }
    // Most lines come in order: the message after the last one taken is tried before the index.
    std::uint32_t text;
    if (m_next < m_expected.size() && m_expected.text(m_next) == line.message) {
        text = m_expected.textIndex(m_next);
    } else if (text = m_expected.find(line.message); text == ExpectedMessages::kNotFound) {
        const std::uint32_t id = idIndex(messageId(line.message));
        if (id == kNoId) {
            ++m_foreignWithoutId;
        } else {
            ++m_unknown[id];
        }
        return;
    }
    std::uint32_t copy = m_nextCopy[text];
    const std::uint32_t end = m_firstCopy[text + 1];
    while (copy < end && m_taken[m_positions[copy]]) {
        ++copy;
    }
    if (copy == end) {
        m_nextCopy[text] = copy;
        CheckCounts& counts = m_counts[m_textId[text]];
        ++counts.stored;
        ++counts.duplicated;
        return;
    }
    m_nextCopy[text] = copy + 1;
    take(m_positions[copy]);
}

bool StoredCheck::takeById(std::uint32_t sequenceId, std::string_view message)
{
    if (!m_options.sequenced || sequenceId == 0) {
        return false;
    }
    const std::uint32_t firstId = m_options.firstSequenceId >= 1 && m_options.firstSequenceId <= kLargestSequenceId
                                      ? m_options.firstSequenceId
                                      : 1;
    const std::uint64_t cycle = kLargestSequenceId;
    const std::uint64_t size = m_expected.size();
    // The first position with this id; the others follow a cycle apart.
    const std::uint64_t first = (sequenceId + cycle - firstId) % cycle;
    if (first >= size) {
        return false;
    }
    const std::uint64_t lastCycle = (size - 1 - first) / cycle;
    std::uint64_t turn = m_lastPosition > first ? (m_lastPosition - first + cycle / 2) / cycle : 0;
    turn = std::min(turn, lastCycle);
    const std::uint64_t position = first + turn * cycle;
    m_lastPosition = position;

    const std::uint32_t text = m_expected.textIndex(position);
    CheckCounts& counts = m_counts[m_textId[text]];
    if (m_taken[position]) {
        ++counts.stored;
        ++counts.duplicated;
    } else if (m_expected.distinctText(text) == message) {
        take(static_cast<std::uint32_t>(position));
    } else {
        m_taken[position] = true;
        ++counts.stored;
        ++counts.damaged;
    }
    return true;
}

void StoredCheck::take(std::uint32_t position)
{
    m_taken[position] = true;
    m_next = position + 1;
    ++m_counts[m_textId[m_expected.textIndex(position)]].stored;
    // One step of the patience method: m_tails[n] ends the increasing run of length n + 1 whose
    // last position is lowest. Nearly every line comes in order and only lengthens the longest.
    const auto line = static_cast<std::uint32_t>(m_matched.size());
    if (m_tails.empty() || m_matched[m_tails.back()].position < position) {
        m_matched.push_back({position, m_tails.empty() ? kNone : m_tails.back()});
        m_tails.push_back(line);
        return;
    }
    const auto slot =
        std::lower_bound(m_tails.begin(), m_tails.end(), position,
                         [this](std::uint32_t tail, std::uint32_t p) { return m_matched[tail].position < p; });
    m_matched.push_back({position, slot == m_tails.begin() ? kNone : *(slot - 1)});
    *slot = line;
}

CheckReport StoredCheck::report() const
{
    std::vector<CheckCounts> counts = m_counts;
    const std::vector<std::uint64_t>& unknown = m_unknown;

    for (std::size_t text = 0; text + 1 < m_firstCopy.size(); ++text) {
        counts[m_textId[text]].expected += m_firstCopy[text + 1] - m_firstCopy[text];
    }
    for (std::size_t position = 0; position < m_taken.size(); ++position) {
        if (!m_taken[position]) {
            ++counts[m_textId[m_expected.textIndex(position)]].missing;
        }
    }
    // A line of unknown text stands for a missing message of its id, as far as there are any.
    for (std::size_t id = 1; id < counts.size(); ++id) {
        const std::uint64_t paired = std::min(unknown[id], counts[id].missing);
        counts[id].missing -= paired;
        counts[id].damaged += paired;
        counts[id].stored += paired;
        counts[id].foreign += unknown[id] - paired;
    }
    // The matched lines off the longest increasing run are the reordered ones.
    std::vector<bool> inOrder(m_matched.size(), false);
    for (std::uint32_t line = m_tails.empty() ? kNone : m_tails.back(); line != kNone;
         line = m_matched[line].previous) {
        inOrder[line] = true;
    }
    for (std::size_t line = 0; line < m_matched.size(); ++line) {
        if (!inOrder[line]) {
            ++counts[m_textId[m_expected.textIndex(m_matched[line].position)]].reordered;
        }
    }

    CheckReport report;
    report.total.foreign = m_foreignWithoutId;
    for (std::size_t id = 0; id < counts.size(); ++id) {
        const CheckCounts& c = counts[id];
        report.total.expected += c.expected;
        report.total.stored += c.stored;
        report.total.missing += c.missing;
        report.total.duplicated += c.duplicated;
        report.total.reordered += c.reordered;
        report.total.damaged += c.damaged;
        report.total.foreign += c.foreign;
        if (id != kNoId) {
            report.byId.emplace(m_ids[id], c);
        }
    }
    return report;
}

Result<> forEachStoredLine(const std::filesystem::path& path, const std::function<void(std::string_view)>& line)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return systemFailure({}, errno);
    }
    std::vector<char> buffer(1024 * 1024);
    std::string carry; // the start of a line the buffer's end cut, at most kMaxStoredLine bytes
    const auto keep = [&carry](const char* from, std::size_t length) {
        carry.append(from, std::min(length, kMaxStoredLine - std::min(kMaxStoredLine, carry.size())));
    };
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const Failure failure = systemFailure({}, errno);
            ::close(fd);
            return failure;
        }
        if (got == 0) {
            break;
        }
        const char* at = buffer.data();
        const char* const end = at + got;
        while (at < end) {
            const auto* lf = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            if (lf == nullptr) {
                keep(at, static_cast<std::size_t>(end - at));
                break;
            }
            const auto length = static_cast<std::size_t>(lf - at);
            if (carry.empty()) {
                line({at, std::min(length, kMaxStoredLine)});
            } else {
                keep(at, length);
                line(carry);
                carry.clear();
            }
            at = lf + 1;
        }
    }
    ::close(fd);
    if (!carry.empty()) {
        line(carry);
    }
    return {};
}

Result<CheckReport> checkStoredFile(const std::filesystem::path& path, const ExpectedMessages& expected,
                                    CheckOptions options)
{
    StoredCheck check(expected, options);
    if (const Result<> read = forEachStoredLine(path, [&check](std::string_view line) { check.add(line); }); !read) {
        return read.failure();
    }
    return check.report();
}

} // namespace korvane
