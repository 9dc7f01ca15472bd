// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/templaterewriter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace korvane {

namespace {

// What a rule puts in place of its placeholder.
enum class Fill
{
    Source,
    Destination,
    Gateway,
    Port1,
    Port2,
    Port3,
    Port4,
    Number1,
    Number2,
    User,
    Session,
    Elapsed,
    Interface
};

// A rule searches for `before` + `placeholder` + `after` and replaces only the placeholder;
// the context on either side stays.
struct Rule
{
    std::string_view before;
    std::string_view placeholder;
    std::string_view after;
    Fill fill;
    int maxReplacements = 1;
};

// The rule table, applied top to bottom, each rule to the result of the one before.
constexpr std::array<Rule, 32> kRules{{
    {"faddr ", "IP_addr", "", Fill::Source},
    {"from ", "IP_addr", "", Fill::Source},
    {"src ", "IP_addr", "", Fill::Source},
    {"SRC ", "IP_addr", "", Fill::Source},
    {"SRC=", "IP_addr", "", Fill::Source},
    {"for ", "IP_addr", "", Fill::Source},
    {"outside:", "IP_addr", "", Fill::Source},
    {"incoming ", "IP_addr", "", Fill::Source},
    {"(", "IP_addr", "/", Fill::Source},
    {"", "IP_addr", ")", Fill::Source},
    {"gaddr ", "IP_addr", "", Fill::Gateway},
    {"laddr ", "IP_addr", "", Fill::Destination},
    {"to ", "IP_addr", "", Fill::Destination},
    {"dest ", "IP_addr", "", Fill::Destination},
    {"DEST ", "IP_addr", "", Fill::Destination},
    {"DEST=", "IP_addr", "", Fill::Destination},
    {"server ", "IP_addr", "", Fill::Destination},
    {"static ", "IP_addr", "", Fill::Destination},
    {"inside:", "IP_addr", "", Fill::Destination},
    {"host ", "IP_addr", "", Fill::Destination},
    {"-", "IP_addr", "/", Fill::Destination},
    {"", "IP_addr", "/", Fill::Destination},
    {"/", "port", "", Fill::Port1},
    {"/", "port", "", Fill::Port2},
    {"/", "port", "", Fill::Port3},
    {"/", "port", "", Fill::Port4},
    {"", "%d", "", Fill::Number1},
    {"", "%d", "", Fill::Number2},
    {"'", "user", "'", Fill::User},
    {"", "session_num", "", Fill::Session},
    {"", "num_seconds", "", Fill::Elapsed},
    {"", "dec", "", Fill::Interface, 5},
}};

// floor(count * r + base), kept within base .. base + count - 1 so that a faulty source
// (r of 1.0, negative, NaN) cannot pick outside a pool or a port range. base is never negative,
// so within the range the conversion to int, which cuts toward zero, is the floor.
int drawInRange(double r, int count, int base)
{
    const double value = count * r + base;
    if (!(value >= base)) { // also NaN
        return base;
    }
    return value >= base + count ? base + count - 1 : static_cast<int>(value);
}

// A number written into a line: decimal, no padding or separators (a sign only for a negative
// draw handed in from outside).
class NumberText
{
public:
    std::string_view write(int value)
    {
        const char* end = std::to_chars(m_digits.data(), m_digits.data() + m_digits.size(), value).ptr;
        return {m_digits.data(), static_cast<std::size_t>(end - m_digits.data())};
    }

private:
    std::array<char, 16> m_digits{};
};

// Rules that share a placeholder follow each other in the table: a group. Each occurrence of a
// placeholder is found once, and after a replacement only the stretch around the inserted value
// is searched again (the value, a configured text, may itself hold or complete a placeholder).
struct Group
{
    std::string_view placeholder;
    std::size_t first = 0; // index of its first rule in kRules
    std::size_t count = 0;
    std::size_t longestBefore = 0;
    std::size_t longestAfter = 0;
};

constexpr std::size_t countGroups()
{
    std::size_t groups = 0;
    for (std::size_t i = 0; i < kRules.size(); ++i) {
        if (i == 0 || kRules[i].placeholder != kRules[i - 1].placeholder) {
            ++groups;
        }
    }
    return groups;
}

constexpr std::size_t kGroupCount = countGroups();

constexpr std::array<Group, kGroupCount> makeGroups()
{
    std::array<Group, kGroupCount> groups{};
    std::size_t g = 0;
    for (std::size_t i = 0; i < kRules.size(); ++i) {
        if (i > 0 && kRules[i].placeholder != kRules[i - 1].placeholder) {
            ++g;
        }
        if (groups[g].count == 0) {
            groups[g].placeholder = kRules[i].placeholder;
            groups[g].first = i;
        }
        ++groups[g].count;
        groups[g].longestBefore = std::max(groups[g].longestBefore, kRules[i].before.size());
        groups[g].longestAfter = std::max(groups[g].longestAfter, kRules[i].after.size());
    }
    return groups;
}

constexpr std::array<Group, kGroupCount> kGroups = makeGroups();

// Contexts are compared a machine word at a time: 16 bytes before a placeholder, 8 after.
constexpr std::size_t kBeforeReach = 16;
constexpr std::size_t kAfterReach = 8;

constexpr std::size_t longestPlaceholder()
{
    std::size_t longest = 0;
    for (const Group& group : kGroups) {
        longest = std::max(longest, group.placeholder.size());
    }
    return longest;
}

constexpr std::size_t kLongestPlaceholder = longestPlaceholder();

// What the word-wise search relies on.
constexpr bool tableFitsTheSearch()
{
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        const Group& group = kGroups[g];
        // One scan finds every placeholder by its first two bytes and its first byte alone
        // tells which one it is.
        if (group.placeholder.size() < 2 || group.count > 32) {
            return false;
        }
        for (std::size_t h = 0; h < g; ++h) {
            if (kGroups[h].placeholder[0] == group.placeholder[0]) {
                return false;
            }
        }
    }
    for (const Rule& rule : kRules) {
        if (rule.before.size() > kBeforeReach || rule.after.size() > kAfterReach || rule.maxReplacements < 1) {
            return false;
        }
        // Bytes outside the text read as NUL, which no context may hold.
        for (const char c : rule.before) {
            if (c == '\0') {
                return false;
            }
        }
        for (const char c : rule.after) {
            if (c == '\0') {
                return false;
            }
        }
    }
    return true;
}

static_assert(tableFitsTheSearch());

using Word = std::uint64_t;
using Bytes = std::array<unsigned char, sizeof(Word)>;

// A rule's context as masks and bytes over the words around an occurrence: `near` is the 8
// bytes right before the placeholder, `far` the 8 before those, `after` the 8 right after it.
struct ContextCheck
{
    Word nearMask = 0;
    Word nearBytes = 0;
    Word farMask = 0;
    Word farBytes = 0;
    Word afterMask = 0;
    Word afterBytes = 0;
};

constexpr ContextCheck contextCheck(const Rule& rule)
{
    Bytes nearMask{};
    Bytes nearBytes{};
    Bytes farMask{};
    Bytes farBytes{};
    Bytes afterMask{};
    Bytes afterBytes{};
    for (std::size_t k = 0; k < rule.before.size(); ++k) {
        const std::size_t back = rule.before.size() - k; // distance from the placeholder, 1 for the byte next to it
        const auto c = static_cast<unsigned char>(rule.before[k]);
        if (back <= sizeof(Word)) {
            nearMask[sizeof(Word) - back] = 0xFF;
            nearBytes[sizeof(Word) - back] = c;
        } else {
            farMask[2 * sizeof(Word) - back] = 0xFF;
            farBytes[2 * sizeof(Word) - back] = c;
        }
    }
    for (std::size_t k = 0; k < rule.after.size(); ++k) {
        afterMask[k] = 0xFF;
        afterBytes[k] = static_cast<unsigned char>(rule.after[k]);
    }
    return {std::bit_cast<Word>(nearMask), std::bit_cast<Word>(nearBytes), std::bit_cast<Word>(farMask),
            std::bit_cast<Word>(farBytes), std::bit_cast<Word>(afterMask), std::bit_cast<Word>(afterBytes)};
}

constexpr std::array<ContextCheck, kRules.size()> makeContextChecks()
{
    std::array<ContextCheck, kRules.size()> checks{};
    for (std::size_t i = 0; i < kRules.size(); ++i) {
        checks[i] = contextCheck(kRules[i]);
    }
    return checks;
}

constexpr std::array<ContextCheck, kRules.size()> kContextChecks = makeContextChecks();

// Which rules a byte next to an occurrence leaves possible, one bit per rule of the whole
// table: a cheap first sort before the contexts are compared in full.
struct RuleFilter
{
    std::array<std::uint32_t, 256> lastBefore{};   // by the byte right before the placeholder
    std::array<std::uint32_t, 256> secondBefore{}; // by the byte before that
    std::array<std::uint32_t, 256> firstAfter{};   // by the byte right after the placeholder
};

static_assert(kRules.size() <= 32);

constexpr RuleFilter makeRuleFilter()
{
    RuleFilter filter;
    for (std::size_t b = 0; b < 256; ++b) {
        for (std::size_t i = 0; i < kRules.size(); ++i) {
            const Rule& rule = kRules[i];
            const std::uint32_t bit = std::uint32_t(1) << i;
            const std::size_t n = rule.before.size();
            if (n < 1 || static_cast<unsigned char>(rule.before[n - 1]) == b) {
                filter.lastBefore[b] |= bit;
            }
            if (n < 2 || static_cast<unsigned char>(rule.before[n - 2]) == b) {
                filter.secondBefore[b] |= bit;
            }
            if (rule.after.empty() || static_cast<unsigned char>(rule.after[0]) == b) {
                filter.firstAfter[b] |= bit;
            }
        }
    }
    return filter;
}

constexpr RuleFilter kRuleFilter = makeRuleFilter();

// Byte -> 1 + the group whose placeholder starts with it, 0 for none.
constexpr std::array<std::uint8_t, 256> makeFirstBytes()
{
    std::array<std::uint8_t, 256> first{};
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        first[static_cast<unsigned char>(kGroups[g].placeholder[0])] = static_cast<std::uint8_t>(g + 1);
    }
    return first;
}

constexpr std::array<std::uint8_t, 256> kFirstBytes = makeFirstBytes();

using Pair = std::uint16_t;

// 1 + group -> the first two bytes of its placeholder, as read from the text.
constexpr std::array<Pair, kGroupCount + 1> makeLeadingPairs()
{
    std::array<Pair, kGroupCount + 1> pairs{};
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        const std::array<unsigned char, 2> bytes{static_cast<unsigned char>(kGroups[g].placeholder[0]),
                                                 static_cast<unsigned char>(kGroups[g].placeholder[1])};
        pairs[g + 1] = std::bit_cast<Pair>(bytes);
    }
    return pairs;
}

constexpr std::array<Pair, kGroupCount + 1> kLeadingPairs = makeLeadingPairs();

// The 8 bytes of text from `from` on; bytes outside the text read as NUL.
Word wordAt(std::string_view text, std::ptrdiff_t from)
{
    const auto size = static_cast<std::ptrdiff_t>(text.size());
    const auto wordSize = static_cast<std::ptrdiff_t>(sizeof(Word));
    Word word = 0;
    if (from >= 0 && from + wordSize <= size) {
        std::memcpy(&word, text.data() + from, sizeof(Word));
        return word;
    }
    // Near either end of the text.
    const std::ptrdiff_t low = std::max<std::ptrdiff_t>(from, 0);
    const std::ptrdiff_t high = std::min(from + wordSize, size);
    if (low >= high) {
        return 0;
    }
    Bytes bytes{};
    std::memcpy(bytes.data() + (low - from), text.data() + low, static_cast<std::size_t>(high - low));
    return std::bit_cast<Word>(bytes);
}

// A placeholder as masks and bytes over the two words from its start.
struct PlaceholderWords
{
    Word firstMask = 0;
    Word firstBytes = 0;
    Word secondMask = 0;
    Word secondBytes = 0;
};

static_assert(kLongestPlaceholder <= 2 * sizeof(Word));

constexpr std::array<PlaceholderWords, kGroupCount> makePlaceholderWords()
{
    std::array<PlaceholderWords, kGroupCount> words{};
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        std::array<Bytes, 4> pieces{}; // first mask, first bytes, second mask, second bytes
        const std::string_view placeholder = kGroups[g].placeholder;
        for (std::size_t k = 0; k < placeholder.size(); ++k) {
            const std::size_t piece = k < sizeof(Word) ? 0 : 2;
            pieces[piece][k % sizeof(Word)] = 0xFF;
            pieces[piece + 1][k % sizeof(Word)] = static_cast<unsigned char>(placeholder[k]);
        }
        words[g] = {std::bit_cast<Word>(pieces[0]), std::bit_cast<Word>(pieces[1]), std::bit_cast<Word>(pieces[2]),
                    std::bit_cast<Word>(pieces[3])};
    }
    return words;
}

constexpr std::array<PlaceholderWords, kGroupCount> kPlaceholderWords = makePlaceholderWords();

// Byte -> the groups whose placeholder holds it, one bit each.
constexpr std::array<std::uint32_t, 256> makePlaceholderBytes()
{
    std::array<std::uint32_t, 256> groups{};
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        for (const char c : kGroups[g].placeholder) {
            groups[static_cast<unsigned char>(c)] |= std::uint32_t(1) << g;
        }
    }
    return groups;
}

static_assert(kGroupCount <= 32);

constexpr std::array<std::uint32_t, 256> kPlaceholderBytes = makePlaceholderBytes();

// The groups whose placeholder holds a byte of the text, one bit each.
constexpr std::uint32_t placeholderBytesOf(std::string_view text)
{
    std::uint32_t groups = 0;
    for (const char c : text) {
        groups |= kPlaceholderBytes[static_cast<unsigned char>(c)];
    }
    return groups;
}

// A number holds digits and at most a minus sign.
static_assert(placeholderBytesOf("-0123456789") == 0);

// A value to put in place of a placeholder, with the groups whose placeholder holds any of its
// bytes: only then can it hold or complete a new placeholder occurrence, unless it is empty and so
// joins the text on either side.
struct Value
{
    std::string_view text;
    std::uint32_t placeholderBytes = 0;

    bool mayFormPlaceholder(std::size_t firstGroup) const
    {
        return text.empty() || (placeholderBytes >> firstGroup) != 0;
    }
};

// The rules of the group whose context surrounds the occurrence at `at`, one bit each.
std::uint32_t rulesMatchingAt(std::string_view text, const Group& group, std::size_t at)
{
    const auto groupRules = static_cast<std::uint32_t>((std::uint64_t(1) << group.count) - 1);
    if (group.longestBefore == 0 && group.longestAfter == 0) {
        return groupRules;
    }
    const auto start = static_cast<std::ptrdiff_t>(at);
    const auto wordSize = static_cast<std::ptrdiff_t>(sizeof(Word));
    const Word nearWord = wordAt(text, start - wordSize);
    const Word afterWord = wordAt(text, start + static_cast<std::ptrdiff_t>(group.placeholder.size()));
    const Bytes nearBytes = std::bit_cast<Bytes>(nearWord);
    const Bytes afterBytes = std::bit_cast<Bytes>(afterWord);
    std::uint32_t candidates = kRuleFilter.lastBefore[nearBytes[sizeof(Word) - 1]] &
                               kRuleFilter.secondBefore[nearBytes[sizeof(Word) - 2]] &
                               kRuleFilter.firstAfter[afterBytes[0]] & (groupRules << group.first);
    std::uint32_t rules = 0;
    while (candidates != 0) {
        const auto i = static_cast<std::size_t>(std::countr_zero(candidates));
        candidates &= candidates - 1;
        const ContextCheck& check = kContextChecks[i];
        Word differs =
            ((nearWord & check.nearMask) ^ check.nearBytes) | ((afterWord & check.afterMask) ^ check.afterBytes);
        if (check.farMask != 0) {
            differs |= (wordAt(text, start - 2 * wordSize) & check.farMask) ^ check.farBytes;
        }
        if (differs == 0) {
            rules |= std::uint32_t(1) << (i - group.first);
        }
    }
    return rules;
}

// Appends the placeholder that starts at `at`, if one does, is of a group from `firstGroup` on
// and ends after `endsAfter`.
void takePlaceholderAt(std::string_view text, std::size_t at, std::size_t endsAfter, std::size_t firstGroup,
                       std::vector<detail::PlaceholderAt>& found)
{
    const std::size_t kind = kFirstBytes[static_cast<unsigned char>(text[at])];
    if (kind == 0) {
        return;
    }
    const std::size_t group = kind - 1;
    const std::size_t length = kGroups[group].placeholder.size();
    if (group < firstGroup || at + length <= endsAfter || at + length > text.size()) {
        return;
    }
    const PlaceholderWords& words = kPlaceholderWords[group];
    const auto start = static_cast<std::ptrdiff_t>(at);
    const Word differs =
        ((wordAt(text, start) & words.firstMask) ^ words.firstBytes) |
        ((wordAt(text, start + static_cast<std::ptrdiff_t>(sizeof(Word))) & words.secondMask) ^ words.secondBytes);
    if (differs == 0) {
        found.push_back({at, 0, static_cast<std::uint32_t>(group)});
    }
}

// Appends the placeholders of groups from `firstGroup` on that start in [from, to) and end
// after `endsAfter`, in text order. Candidates are the places where a placeholder's first two
// bytes occur; they are rare in a line, so most of it is passed over 16 bytes at a time.
void findPlaceholders(std::string_view text, std::size_t from, std::size_t to, std::size_t endsAfter,
                      std::size_t firstGroup, std::vector<detail::PlaceholderAt>& found)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    // Every placeholder is two bytes or longer, so none starts at the last byte.
    const std::size_t last = std::min(to, text.size() - std::min<std::size_t>(text.size(), 1));
    std::size_t at = from;
#if defined(__SSE2__)
    constexpr std::size_t kBlock = 16;
    while (at + kBlock <= last) { // also keeps the second load, one byte further, within the text
        const __m128i firstBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
        const __m128i secondBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + 1));
        __m128i hits = _mm_setzero_si128();
        for (const Group& group : kGroups) {
            hits = _mm_or_si128(hits, _mm_and_si128(_mm_cmpeq_epi8(firstBytes, _mm_set1_epi8(group.placeholder[0])),
                                                    _mm_cmpeq_epi8(secondBytes, _mm_set1_epi8(group.placeholder[1]))));
        }
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
            takePlaceholderAt(text, at + static_cast<std::size_t>(std::countr_zero(mask)), endsAfter, firstGroup,
                              found);
        }
        at += kBlock;
    }
#endif
    for (; at < last; ++at) {
        const std::size_t kind = kFirstBytes[bytes[at]];
        Pair pair;
        std::memcpy(&pair, bytes + at, sizeof(Pair));
        if (pair == kLeadingPairs[kind] && kind != 0) {
            takePlaceholderAt(text, at, endsAfter, firstGroup, found);
        }
    }
}

constexpr Value kInterface{"Eth0", placeholderBytesOf("Eth0")};

// Where each configured value's entry is in a TemplateRewriter's ConfiguredBytes.
using ConfiguredBytes = std::array<std::uint32_t, 14>;
constexpr std::size_t kSourceBytes = 0;
constexpr std::size_t kDestinationBytes = 5;
constexpr std::size_t kGatewayBytes = 10;
constexpr std::size_t kUserBytes = 11;
constexpr std::size_t kSessionBytes = 12;
constexpr std::size_t kElapsedBytes = 13;

// The text being rewritten in the caller's buffer, with every placeholder occurrence that later
// rules may still replace, in text order.
class Rewriting
{
public:
    Rewriting(std::string& text, std::vector<detail::PlaceholderAt>& found, std::vector<detail::PlaceholderAt>& fresh)
        : m_text(text), m_found(found), m_fresh(fresh)
    {}

    // Finds every placeholder of the line; false when there is none.
    bool start(std::string_view line)
    {
        m_text.assign(line.data(), line.size());
        m_found.clear();
        findPlaceholders(m_text, 0, m_text.size(), 0, 0, m_found);
        return !m_found.empty();
    }

    // Applies the group's rules in table order, each to the text the previous one left.
    template <typename ValueOf>
    void applyGroup(std::size_t g, const ValueOf& valueOf)
    {
        const Group& group = kGroups[g];
        std::uint32_t present = 0;
        for (detail::PlaceholderAt& found : m_found) {
            if (found.group == g) {
                found.rules = rulesMatchingAt(m_text, group, found.at);
                present |= found.rules;
            }
        }
        if (present == 0) {
            return;
        }
        for (std::size_t i = 0; i < group.count; ++i) {
            // Rules whose context occurs nowhere are skipped.
            const std::uint32_t ahead = present & (~std::uint32_t(0) << i);
            if (ahead == 0) {
                return;
            }
            i = static_cast<std::size_t>(std::countr_zero(ahead));
            const Rule& rule = kRules[group.first + i];
            NumberText number;
            const Value value = valueOf(rule.fill, number);
            for (int done = 0; done < rule.maxReplacements; ++done) {
                const std::size_t at = leftmost(g, i);
                if (at == std::string::npos) {
                    break;
                }
                present = replace(g, at, value);
            }
        }
    }

private:
    // Start of the leftmost occurrence of the group where rule i matches, or npos.
    std::size_t leftmost(std::size_t g, std::size_t i) const
    {
        for (const detail::PlaceholderAt& found : m_found) {
            if (found.group == g && (found.rules >> i & 1U) != 0) {
                return found.at;
            }
        }
        return std::string::npos;
    }

    // Replaces the group's placeholder at `at` with the value and brings the occurrences up to
    // date: those it overlapped go, those after it move, new ones in and around the value come
    // in, and the rules of the group's occurrences near it are matched again. Returns the rules
    // of the group that still match somewhere.
    std::uint32_t replace(std::size_t g, std::size_t at, const Value& value)
    {
        const Group& group = kGroups[g];
        const std::size_t oldEnd = at + group.placeholder.size();
        m_text.replace(at, group.placeholder.size(), value.text);
        const std::size_t newEnd = at + value.text.size();

        std::size_t kept = 0;
        for (detail::PlaceholderAt found : m_found) {
            const std::size_t length = kGroups[found.group].placeholder.size();
            if (found.group < g || (found.at < oldEnd && found.at + length > at)) {
                continue; // done with, or overlapped by the replaced placeholder
            }
            if (found.at >= oldEnd) {
                found.at = found.at - oldEnd + newEnd;
            }
            m_found[kept++] = found;
        }
        m_found.resize(kept);

        m_fresh.clear();
        if (value.mayFormPlaceholder(g)) {
            findPlaceholders(m_text, at - std::min(at, kLongestPlaceholder - 1), newEnd, at, g, m_fresh);
        }
        for (const detail::PlaceholderAt& fresh : m_fresh) {
            const auto place = std::find_if(m_found.begin(), m_found.end(),
                                            [&](const detail::PlaceholderAt& found) { return found.at > fresh.at; });
            m_found.insert(place, fresh);
        }

        std::uint32_t present = 0;
        for (detail::PlaceholderAt& found : m_found) {
            if (found.group != g) {
                continue;
            }
            // Its rules' contexts reach into the changed stretch.
            if (found.at + group.placeholder.size() + group.longestAfter >= at &&
                found.at <= newEnd + group.longestBefore) {
                found.rules = rulesMatchingAt(m_text, group, found.at);
            }
            present |= found.rules;
        }
        return present;
    }

    std::string& m_text;
    std::vector<detail::PlaceholderAt>& m_found;
    std::vector<detail::PlaceholderAt>& m_fresh;
};

void rewriteInto(const RewriteValues& values, const ConfiguredBytes* configuredBytes, std::string_view line,
                 const LineDraws& draws, std::string& out, std::vector<detail::PlaceholderAt>& found,
                 std::vector<detail::PlaceholderAt>& fresh)
{
    Rewriting rewriting(out, found, fresh);
    if (!rewriting.start(line)) {
        return;
    }

    // Draws handed in from outside are trusted no further than the pools are long.
    const std::size_t s = static_cast<std::size_t>(std::clamp(draws.s, 0, 4));
    const std::size_t d = static_cast<std::size_t>(std::clamp(draws.d, 0, 4));
    auto configured = [&](std::size_t index, const std::string& text) {
        return Value{text, configuredBytes != nullptr ? (*configuredBytes)[index] : placeholderBytesOf(text)};
    };
    // Numbers are written out only for the rules that use them.
    auto number = [](NumberText& text, int value) { return Value{text.write(value), 0}; };
    auto valueOf = [&](Fill fill, NumberText& text) -> Value {
        switch (fill) {
        case Fill::Source:
            return configured(kSourceBytes + s, values.srcIp[s]);
        case Fill::Destination:
            return configured(kDestinationBytes + d, values.dstIp[d]);
        case Fill::Gateway:
            return configured(kGatewayBytes, values.gatewayIp);
        case Fill::Port1:
            return number(text, draws.p1);
        case Fill::Port2:
            return number(text, draws.p2);
        case Fill::Port3:
            return number(text, draws.p3);
        case Fill::Port4:
            return number(text, draws.p4);
        case Fill::Number1:
            return number(text, draws.m1);
        case Fill::Number2:
            return number(text, draws.m2);
        case Fill::User:
            return configured(kUserBytes, values.userName);
        case Fill::Session:
            return configured(kSessionBytes, values.sessionNum);
        case Fill::Elapsed:
            return configured(kElapsedBytes, values.elapsedTime);
        case Fill::Interface:
            return kInterface;
        }
        return {};
    };

    for (std::size_t g = 0; g < kGroupCount; ++g) {
        rewriting.applyGroup(g, valueOf);
    }
}

} // namespace

LineDraws drawLine(RandomSource& random)
{
    LineDraws draws;
    draws.s = drawInRange(random.next(), 5, 0);
    draws.d = drawInRange(random.next(), 5, 0);
    draws.p1 = drawInRange(random.next(), 1024, 1);
    draws.p2 = drawInRange(random.next(), 10000, 1);
    draws.p3 = drawInRange(random.next(), 1024, 1);
    draws.p4 = drawInRange(random.next(), 40000, 1);
    draws.m1 = drawInRange(random.next(), 65535, 1);
    draws.m2 = drawInRange(random.next(), 65535, 1);
    return draws;
}

std::string rewriteTemplate(std::string_view line, const RewriteValues& values, const LineDraws& draws)
{
    std::string out;
    std::vector<detail::PlaceholderAt> found;
    std::vector<detail::PlaceholderAt> fresh;
    rewriteInto(values, nullptr, line, draws, out, found, fresh);
    return out;
}

TemplateRewriter::TemplateRewriter(const RewriteValues& values) : m_values(values)
{
    for (std::size_t i = 0; i < m_values.srcIp.size(); ++i) {
        m_configuredBytes[kSourceBytes + i] = placeholderBytesOf(m_values.srcIp[i]);
        m_configuredBytes[kDestinationBytes + i] = placeholderBytesOf(m_values.dstIp[i]);
    }
    m_configuredBytes[kGatewayBytes] = placeholderBytesOf(m_values.gatewayIp);
    m_configuredBytes[kUserBytes] = placeholderBytesOf(m_values.userName);
    m_configuredBytes[kSessionBytes] = placeholderBytesOf(m_values.sessionNum);
    m_configuredBytes[kElapsedBytes] = placeholderBytesOf(m_values.elapsedTime);
}

void TemplateRewriter::rewrite(std::string_view line, const LineDraws& draws, std::string& out)
{
    rewriteInto(m_values, &m_configuredBytes, line, draws, out, m_found, m_fresh);
}

} // namespace korvane
