// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/randomsource.h"
#include "settings/runsettings.h"

#include <array>
#include <cstddef>
#include <cstdint>
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

// Rewrites the placeholders of one template line with the given draws, by the fixed rule
// table (each rule replaces its first occurrence, exact and case-sensitive; "dec" up to five).
std::string rewriteTemplate(std::string_view line, const RewriteValues& values, const LineDraws& draws);

// drawLine + rewriteTemplate: the eight draws are made whether or not placeholders occur.
inline std::string rewriteTemplate(std::string_view line, const RewriteValues& values, RandomSource& random)
{
    return rewriteTemplate(line, values, drawLine(random));
}

namespace detail {

// One occurrence of a placeholder in a line being rewritten: where it starts, which of its
// group's rules match their context there, and which placeholder it is (index of its group).
struct PlaceholderAt
{
    std::size_t at = 0;
    std::uint32_t rules = 0;
    std::uint32_t group = 0;
};

} // namespace detail

// Rewrites template lines into a caller's buffer, reusing its own working storage from line to
// line, so that a line costs no allocation once the storage has grown to the longest line's
// needs. Same results as rewriteTemplate. Keeps its own copy of the values. Not thread-safe: one
// instance per thread.
class TemplateRewriter
{
public:
    explicit TemplateRewriter(const RewriteValues& values);

    // Replaces out's content with the rewritten line. `line` may view out's own content.
    void rewrite(std::string_view line, const LineDraws& draws, std::string& out);

    // drawLine + rewrite: the eight draws are made whether or not placeholders occur.
    void rewrite(std::string_view line, RandomSource& random, std::string& out)
    {
        rewrite(line, drawLine(random), out);
    }

private:
    RewriteValues m_values;
    // For each configured value (source pool, destination pool, gateway, user, session,
    // elapsed): the placeholders holding any of its bytes, one bit each.
    std::array<std::uint32_t, 14> m_configuredBytes{};
    std::vector<detail::PlaceholderAt> m_found;
    std::vector<detail::PlaceholderAt> m_fresh;
};

} // namespace korvane
