// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/templaterewriter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

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
// the context on either side stays. Rules that share a placeholder follow each other, so the
// placeholder's positions are looked up once per group, not once per rule.
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
// (r of 1.0, negative, NaN) cannot pick outside a pool or a port range.
int drawInRange(double r, int count, int base)
{
    const double value = std::floor(count * r + base);
    if (!(value >= base)) { // also NaN
        return base;
    }
    return value > base + count - 1 ? base + count - 1 : static_cast<int>(value);
}

// A number written into a line: decimal, no sign, padding or separators.
struct NumberText
{
    std::array<char, 16> digits{};
    std::size_t length = 0;

    explicit NumberText(int value)
    {
        length = static_cast<std::size_t>(std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr -
                                          digits.data());
    }
    std::string_view view() const { return {digits.data(), length}; }
};

// The text being rewritten, with the positions of one placeholder in it. After a
// replacement the positions are looked up again, because the inserted value (a configured
// text) may itself hold or complete a placeholder that later rules must see.
class Rewriting
{
public:
    explicit Rewriting(std::string_view line) : m_text(line) {}

    // Replaces the leftmost occurrences of the rule's whole search text, up to its maximum,
    // each found anew in the text as the previous replacement left it.
    void apply(const Rule& rule, std::string_view value)
    {
        for (int done = 0; done < rule.maxReplacements; ++done) {
            const std::size_t at = firstMatch(rule);
            if (at == std::string::npos) {
                return;
            }
            m_text.replace(at, rule.placeholder.size(), value);
            m_indexed = {};
        }
    }

    std::string take() { return std::move(m_text); }

private:
    // Position of the placeholder of the rule's leftmost match, or npos.
    std::size_t firstMatch(const Rule& rule)
    {
        if (m_indexed != rule.placeholder) {
            index(rule.placeholder);
        }
        const std::string_view text = m_text;
        for (const std::size_t at : m_positions) {
            if (at >= rule.before.size() && text.substr(at - rule.before.size(), rule.before.size()) == rule.before &&
                text.substr(at + rule.placeholder.size(), rule.after.size()) == rule.after) {
                return at;
            }
        }
        return std::string::npos;
    }

    void index(std::string_view placeholder)
    {
        m_positions.clear();
        const std::string_view text = m_text;
        for (std::size_t at = text.find(placeholder); at != std::string_view::npos;
             at = text.find(placeholder, at + 1)) {
            m_positions.push_back(at);
        }
        m_indexed = placeholder;
    }

    std::string m_text;
    std::vector<std::size_t> m_positions;
    std::string_view m_indexed; // the placeholder m_positions belongs to; empty when stale
};

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
    // Draws handed in from outside are trusted no further than the pools are long.
    const std::string& source = values.srcIp[static_cast<std::size_t>(std::clamp(draws.s, 0, 4))];
    const std::string& destination = values.dstIp[static_cast<std::size_t>(std::clamp(draws.d, 0, 4))];
    const NumberText port1(draws.p1);
    const NumberText port2(draws.p2);
    const NumberText port3(draws.p3);
    const NumberText port4(draws.p4);
    const NumberText number1(draws.m1);
    const NumberText number2(draws.m2);

    auto valueOf = [&](Fill fill) -> std::string_view {
        switch (fill) {
        case Fill::Source:
            return source;
        case Fill::Destination:
            return destination;
        case Fill::Gateway:
            return values.gatewayIp;
        case Fill::Port1:
            return port1.view();
        case Fill::Port2:
            return port2.view();
        case Fill::Port3:
            return port3.view();
        case Fill::Port4:
            return port4.view();
        case Fill::Number1:
            return number1.view();
        case Fill::Number2:
            return number2.view();
        case Fill::User:
            return values.userName;
        case Fill::Session:
            return values.sessionNum;
        case Fill::Elapsed:
            return values.elapsedTime;
        case Fill::Interface:
            return "Eth0";
        }
        return {};
    };

    Rewriting rewriting(line);
    for (const Rule& rule : kRules) {
        rewriting.apply(rule, valueOf(rule.fill));
    }
    return rewriting.take();
}

} // namespace korvane
