// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/randomsource.h"
#include "settings/runsettings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The eight values drawn for one template line, in the order they are drawn.
struct LineDraws
{
    int s = 0;  // source pool index, 0..4
    int d = 0;  // destination pool index, 0..4
    int p1 = 0; // 1..1024
    int p2 = 0; // 1..10000
    int p3 = 0; // 1..1024
    int p4 = 0; // 1..40000
    int m1 = 0; // 1..65535
    int m2 = 0; // 1..65535
};

// Makes the eight draws of one line: s, d, p1, p2, p3, p4, m1, m2, in that order.
LineDraws drawLine(RandomSource& random);

// What a rule puts in place of its placeholder.
enum class RewriteFill : std::uint8_t
{
    Source,      // srcIp[s]
    Destination, // dstIp[d]
    Gateway,
    Port1, // p1 .. m2: the drawn numbers, in decimal
    Port2,
    Port3,
    Port4,
    Number1,
    Number2,
    User,
    Session,
    Elapsed,
    Interface // "Eth0"
};

// A rule finds the first occurrence of `before` + `placeholder` + `after` and replaces the
// placeholder only; the context on either side stays. A rule replacing more than once searches
// on after its previous replacement. The views need to live only while a table is prepared.
struct RewriteRule
{
    std::string_view before;
    std::string_view placeholder;
    std::string_view after;
    RewriteFill fill = RewriteFill::Source;
    int maxReplacements = 1;
};

// The rules templates are rewritten by, applied top to bottom, each to the text the one before
// left (so a later rule sees the values earlier ones put in).
std::span<const RewriteRule> templateRules();

// Rewrites the placeholders of one template line with the given draws, by templateRules().
std::string rewriteTemplate(std::string_view line, const RewriteValues& values, const LineDraws& draws);

// drawLine + rewriteTemplate: the eight draws are made whether or not placeholders occur.
inline std::string rewriteTemplate(std::string_view line, const RewriteValues& values, RandomSource& random)
{
    return rewriteTemplate(line, values, drawLine(random));
}

namespace detail {

// A rule prepared for searching text of one character type: bytes as they are, or the
// symbols of a line being worked out, where each drawn number stands as one symbol above
// the byte range that no rule can match.
template <typename Char>
struct RulePattern
{
    std::basic_string<Char> text; // before + placeholder + after
    std::size_t before = 0;
    std::size_t placeholder = 0;
    std::size_t after = 0;
    RewriteFill fill = RewriteFill::Source;
    int maxReplacements = 1;
    bool placeholderAsBefore = false; // the same placeholder as the rule before
};

} // namespace detail

// Rewrites template lines into a caller's buffer, with the same results as rewriteTemplate.
// The values do not change during its life, so each distinct line is worked out once per
// source and destination address it is drawn with: into literal text and the places of the
// drawn numbers. After that a line costs a copy of that text and the writing of its numbers.
// Past a bound on what it keeps (lines that never repeat) it forgets and starts again. Keeps its
// own copy of the values and the rules. Not thread-safe: one instance per thread.
class TemplateRewriter
{
public:
    explicit TemplateRewriter(const RewriteValues& values, std::span<const RewriteRule> rules = templateRules());

    // Replaces out's content with the rewritten line. `line` may view out's own content.
    void rewrite(std::string_view line, const LineDraws& draws, std::string& out);

    // drawLine + rewrite: the eight draws are made whether or not placeholders occur.
    void rewrite(std::string_view line, RandomSource& random, std::string& out)
    {
        rewrite(line, drawLine(random), out);
    }

private:
    // A line worked out for one source and destination address: literal text, and where in it
    // which drawn number goes. `direct` when a later rule could read a drawn number's digits:
    // such a line is rewritten rule by rule every time.
    struct Program
    {
        struct Number
        {
            std::uint32_t at = 0;
            std::uint8_t which = 0; // 0..5: p1, p2, p3, p4, m1, m2
        };
        std::string text;
        std::vector<Number> numbers;
        bool direct = false;
    };

    static constexpr std::size_t kAddressPairs = 25;

    // A distinct line seen, with its programs by source * 5 + destination (-1: not yet made).
    struct CachedLine
    {
        std::string line;
        std::size_t hash = 0;
        std::array<std::int32_t, kAddressPairs> programs{};
    };

    std::size_t cachedLine(std::string_view line);
    std::int32_t compile(CachedLine& cached, std::size_t s, std::size_t d);
    void forget();

    RewriteValues m_values;
    std::vector<detail::RulePattern<char>> m_patterns;
    std::vector<detail::RulePattern<char16_t>> m_symbolPatterns;
    // A drawn number put in by a rule before this one may be read by a later rule.
    std::size_t m_numbersSafeFrom = 0;
    // The values as symbols: sources, destinations, gateway, user, session, elapsed.
    std::array<std::u16string, 14> m_symbolValues;

    std::vector<CachedLine> m_lines;
    std::vector<std::uint32_t> m_index; // open addressing by hash: 0 empty, else 1 + index in m_lines
    std::vector<Program> m_programs;
    std::size_t m_cachedBytes = 0;
    std::u16string m_symbols;
    std::string m_work;
};

} // namespace korvane
