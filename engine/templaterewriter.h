// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/randomsource.h"

#include <array>
#include <string>
#include <string_view>

namespace korvane {

// The configured values that templates are filled with. SessionNum and ElapsedTime are
// already rendered as text (number-to-text with the user's decimal separator).
struct RewriteValues
{
    std::array<std::string, 5> srcIp;
    std::array<std::string, 5> dstIp;
    std::string gatewayIp;
    std::string userName;
    std::string sessionNum;
    std::string elapsedTime;
};

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

// TEMPORARY shim until the reusable rewriter lands.
class TemplateRewriter
{
public:
    explicit TemplateRewriter(const RewriteValues& values) : m_values(values) {}
    void rewrite(std::string_view line, RandomSource& random, std::string& out)
    {
        out = rewriteTemplate(line, m_values, random);
    }

private:
    const RewriteValues& m_values;
};

} // namespace korvane
