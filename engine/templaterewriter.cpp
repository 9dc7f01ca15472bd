// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/templaterewriter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane {

namespace {

using detail::RulePattern;

// The rule table, applied top to bottom, each rule to the result of the one before.
constexpr std::array<RewriteRule, 32> kTemplateRules{{
    {"faddr ", "IP_addr", "", RewriteFill::Source},
    {"from ", "IP_addr", "", RewriteFill::Source},
    {"src ", "IP_addr", "", RewriteFill::Source},
    {"SRC ", "IP_addr", "", RewriteFill::Source},
    {"SRC=", "IP_addr", "", RewriteFill::Source},
    {"for ", "IP_addr", "", RewriteFill::Source},
    {"outside:", "IP_addr", "", RewriteFill::Source},
    {"incoming ", "IP_addr", "", RewriteFill::Source},
    {"(", "IP_addr", "/", RewriteFill::Source},
    {"", "IP_addr", ")", RewriteFill::Source},
    {"gaddr ", "IP_addr", "", RewriteFill::Gateway},
    {"laddr ", "IP_addr", "", RewriteFill::Destination},
    {"to ", "IP_addr", "", RewriteFill::Destination},
    {"dest ", "IP_addr", "", RewriteFill::Destination},
    {"DEST ", "IP_addr", "", RewriteFill::Destination},
    {"DEST=", "IP_addr", "", RewriteFill::Destination},
    {"server ", "IP_addr", "", RewriteFill::Destination},
    {"static ", "IP_addr", "", RewriteFill::Destination},
    {"inside:", "IP_addr", "", RewriteFill::Destination},
    {"host ", "IP_addr", "", RewriteFill::Destination},
    {"-", "IP_addr", "/", RewriteFill::Destination},
    {"", "IP_addr", "/", RewriteFill::Destination},
    {"/", "port", "", RewriteFill::Port1},
    {"/", "port", "", RewriteFill::Port2},
    {"/", "port", "", RewriteFill::Port3},
    {"/", "port", "", RewriteFill::Port4},
    {"", "%d", "", RewriteFill::Number1},
    {"", "%d", "", RewriteFill::Number2},
    {"'", "user", "'", RewriteFill::User},
    {"", "session_num", "", RewriteFill::Session},
    {"", "num_seconds", "", RewriteFill::Elapsed},
    {"", "dec", "", RewriteFill::Interface, 5},
}};

constexpr std::string_view kInterface = "Eth0";

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

// Draws handed in from outside are trusted no further than the pools are long.
std::size_t poolIndex(int draw)
{
    return static_cast<std::size_t>(std::clamp(draw, 0, 4));
}

// Which drawn number a number rule puts in: 0..5 for p1, p2, p3, p4, m1, m2.
std::size_t numberIndex(RewriteFill fill)
{
    return static_cast<std::size_t>(fill) - static_cast<std::size_t>(RewriteFill::Port1);
}

std::array<int, 6> numbersOf(const LineDraws& draws)
{
    return {draws.p1, draws.p2, draws.p3, draws.p4, draws.m1, draws.m2};
}

template <typename Char>
std::basic_string<Char> widened(std::string_view text)
{
    std::basic_string<Char> wide(text.size(), Char());
    std::transform(text.begin(), text.end(), wide.begin(),
                   [](char c) { return static_cast<Char>(static_cast<unsigned char>(c)); });
    return wide;
}

template <typename Char>
std::vector<RulePattern<Char>> patternsOf(std::span<const RewriteRule> rules)
{
    std::vector<RulePattern<Char>> patterns;
    patterns.reserve(rules.size());
    for (const RewriteRule& rule : rules) {
        std::string text;
        text.append(rule.before).append(rule.placeholder).append(rule.after);
        patterns.push_back({widened<Char>(text), rule.before.size(), rule.placeholder.size(), rule.after.size(),
                            rule.fill, rule.maxReplacements,
                            &rule != rules.data() && rule.placeholder == (&rule - 1)->placeholder});
    }
    return patterns;
}

// Applies the rules in table order to the text, each to what the one before left: a rule
// replaces the placeholder of the first occurrence of its pattern, and if it may replace more
// than once, searches on after the value it put in. valueOf(rule index, fill) gives the value.
template <typename Char, typename ValueOf>
void applyRules(std::basic_string<Char>& text, const std::vector<RulePattern<Char>>& patterns, ValueOf&& valueOf)
{
    // Rules that share a placeholder mostly follow each other: where it occurs nowhere, none of
    // them can match, and the text does not change until one does.
    bool placeholderAbsent = false;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const RulePattern<Char>& pattern = patterns[i];
        if (!pattern.placeholderAsBefore) {
            placeholderAbsent = text.find(pattern.text.data() + pattern.before, 0, pattern.placeholder) ==
                                std::basic_string<Char>::npos;
        }
        if (placeholderAbsent) {
            continue;
        }
        std::size_t from = 0;
        for (int done = 0; done < pattern.maxReplacements; ++done) {
            const std::size_t at = text.find(pattern.text, from);
            if (at == std::basic_string<Char>::npos) {
                break;
            }
            const std::basic_string_view<Char> value = valueOf(i, pattern.fill);
            text.replace(at + pattern.before, pattern.placeholder, value.data(), value.size());
            from = at + pattern.before + value.size() + pattern.after;
        }
    }
}

// The values of one line as bytes, numbers written out in decimal.
class LineValues
{
public:
    LineValues(const RewriteValues& values, const LineDraws& draws)
        : m_values(values), m_s(poolIndex(draws.s)), m_d(poolIndex(draws.d)), m_numbers(numbersOf(draws))
    {}

    std::string_view operator()(std::size_t /*rule*/, RewriteFill fill)
    {
        switch (fill) {
        case RewriteFill::Source:
            return m_values.srcIp[m_s];
        case RewriteFill::Destination:
            return m_values.dstIp[m_d];
        case RewriteFill::Gateway:
            return m_values.gatewayIp;
        case RewriteFill::User:
            return m_values.userName;
        case RewriteFill::Session:
            return m_values.sessionNum;
        case RewriteFill::Elapsed:
            return m_values.elapsedTime;
        case RewriteFill::Interface:
            return kInterface;
        default: {
            const char* end =
                std::to_chars(m_digits.data(), m_digits.data() + m_digits.size(), m_numbers[numberIndex(fill)]).ptr;
            return {m_digits.data(), static_cast<std::size_t>(end - m_digits.data())};
        }
        }
    }

private:
    const RewriteValues& m_values;
    std::size_t m_s;
    std::size_t m_d;
    std::array<int, 6> m_numbers;
    std::array<char, 16> m_digits{};
};

// Where each value is among a rewriter's values as symbols.
constexpr std::size_t kSourceSymbols = 0;
constexpr std::size_t kDestinationSymbols = 5;
constexpr std::size_t kGatewaySymbols = 10;
constexpr std::size_t kUserSymbols = 11;
constexpr std::size_t kSessionSymbols = 12;
constexpr std::size_t kElapsedSymbols = 13;

// A drawn number in a line being worked out: one symbol past the bytes, so no rule matches it.
constexpr char16_t kFirstNumberSymbol = 0x100;
constexpr std::array<char16_t, 6> kNumberSymbols{0x100, 0x101, 0x102, 0x103, 0x104, 0x105};

const std::u16string kInterfaceSymbols = widened<char16_t>(kInterface);

// Bytes a number's text may hold.
bool mayBeInNumber(char c)
{
    return c == '-' || (c >= '0' && c <= '9');
}

// Above this the rewriter forgets the lines it worked out and starts again, so that lines that
// never repeat (a time stamp made fresh for each) cannot make it grow without end.
constexpr std::size_t kMostCachedLines = 1 << 16;
constexpr std::size_t kMostCachedBytes = std::size_t(64) << 20;

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

std::span<const RewriteRule> templateRules()
{
    return kTemplateRules;
}

std::string rewriteTemplate(std::string_view line, const RewriteValues& values, const LineDraws& draws)
{
    static const std::vector<RulePattern<char>> patterns = patternsOf<char>(kTemplateRules);
    std::string text(line);
    applyRules(text, patterns, LineValues(values, draws));
    return text;
}

TemplateRewriter::TemplateRewriter(const RewriteValues& values, std::span<const RewriteRule> rules)
    : m_values(values), m_patterns(patternsOf<char>(rules)), m_symbolPatterns(patternsOf<char16_t>(rules))
{
    // A number put in by a rule can be read only by a later rule whose text holds a digit or
    // a minus sign.
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const RewriteRule& rule = rules[i];
        if (std::any_of(rule.before.begin(), rule.before.end(), mayBeInNumber) ||
            std::any_of(rule.placeholder.begin(), rule.placeholder.end(), mayBeInNumber) ||
            std::any_of(rule.after.begin(), rule.after.end(), mayBeInNumber)) {
            m_numbersSafeFrom = i;
        }
    }
    for (std::size_t i = 0; i < m_values.srcIp.size(); ++i) {
        m_symbolValues[kSourceSymbols + i] = widened<char16_t>(m_values.srcIp[i]);
        m_symbolValues[kDestinationSymbols + i] = widened<char16_t>(m_values.dstIp[i]);
    }
    m_symbolValues[kGatewaySymbols] = widened<char16_t>(m_values.gatewayIp);
    m_symbolValues[kUserSymbols] = widened<char16_t>(m_values.userName);
    m_symbolValues[kSessionSymbols] = widened<char16_t>(m_values.sessionNum);
    m_symbolValues[kElapsedSymbols] = widened<char16_t>(m_values.elapsedTime);
}

void TemplateRewriter::rewrite(std::string_view line, const LineDraws& draws, std::string& out)
{
    const std::size_t s = poolIndex(draws.s);
    const std::size_t d = poolIndex(draws.d);
    CachedLine& cached = m_lines[cachedLine(line)];
    std::int32_t slot = cached.programs[s * 5 + d];
    if (slot < 0) {
        slot = compile(cached, s, d);
    }
    const Program& program = m_programs[static_cast<std::size_t>(slot)];
    if (program.direct) {
        m_work.assign(line);
        applyRules(m_work, m_patterns, LineValues(m_values, draws));
        out.swap(m_work);
        return;
    }
    // `line` may view `out`: it is not read from here on.
    const std::array<int, 6> numbers = numbersOf(draws);
    out.clear();
    std::size_t from = 0;
    for (const Program::Number& number : program.numbers) {
        out.append(program.text, from, number.at - from);
        std::array<char, 16> digits{};
        const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), numbers[number.which]).ptr;
        out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
        from = number.at;
    }
    out.append(program.text, from);
}

std::size_t TemplateRewriter::cachedLine(std::string_view line)
{
    const std::size_t hash = std::hash<std::string_view>{}(line);
    if (!m_index.empty()) {
        const std::size_t mask = m_index.size() - 1;
        for (std::size_t at = hash & mask; m_index[at] != 0; at = (at + 1) & mask) {
            const std::size_t entry = m_index[at] - 1;
            if (m_lines[entry].hash == hash && m_lines[entry].line == line) {
                return entry;
            }
        }
    }
    if (m_lines.size() >= kMostCachedLines || m_cachedBytes + line.size() > kMostCachedBytes) {
        forget();
    }
    // At most half the index in use, so that a search ends soon at an empty place.
    if (2 * (m_lines.size() + 1) > m_index.size()) {
        m_index.assign(std::max<std::size_t>(1024, 2 * m_index.size()), 0);
        const std::size_t mask = m_index.size() - 1;
        for (std::size_t entry = 0; entry < m_lines.size(); ++entry) {
            std::size_t at = m_lines[entry].hash & mask;
            while (m_index[at] != 0) {
                at = (at + 1) & mask;
            }
            m_index[at] = static_cast<std::uint32_t>(entry + 1);
        }
    }
    const std::size_t mask = m_index.size() - 1;
    std::size_t at = hash & mask;
    while (m_index[at] != 0) {
        at = (at + 1) & mask;
    }
    m_index[at] = static_cast<std::uint32_t>(m_lines.size() + 1);
    CachedLine& cached = m_lines.emplace_back();
    cached.line.assign(line);
    cached.hash = hash;
    cached.programs.fill(-1);
    m_cachedBytes += line.size();
    return m_lines.size() - 1;
}

void TemplateRewriter::forget()
{
    m_lines.clear();
    m_index.clear();
    m_programs.clear();
    m_cachedBytes = 0;
}

std::int32_t TemplateRewriter::compile(CachedLine& cached, std::size_t s, std::size_t d)
{
    m_symbols = widened<char16_t>(cached.line);
    bool sourceUsed = false;
    bool destinationUsed = false;
    bool direct = false;
    applyRules(m_symbols, m_symbolPatterns, [&](std::size_t rule, RewriteFill fill) -> std::u16string_view {
        switch (fill) {
        case RewriteFill::Source:
            sourceUsed = true;
            return m_symbolValues[kSourceSymbols + s];
        case RewriteFill::Destination:
            destinationUsed = true;
            return m_symbolValues[kDestinationSymbols + d];
        case RewriteFill::Gateway:
            return m_symbolValues[kGatewaySymbols];
        case RewriteFill::User:
            return m_symbolValues[kUserSymbols];
        case RewriteFill::Session:
            return m_symbolValues[kSessionSymbols];
        case RewriteFill::Elapsed:
            return m_symbolValues[kElapsedSymbols];
        case RewriteFill::Interface:
            return kInterfaceSymbols;
        default:
            direct = direct || rule < m_numbersSafeFrom;
            return {&kNumberSymbols[numberIndex(fill)], 1};
        }
    });

    Program program;
    program.direct = direct;
    if (!direct) {
        program.text.reserve(m_symbols.size());
        for (const char16_t symbol : m_symbols) {
            if (symbol >= kFirstNumberSymbol) {
                program.numbers.push_back({static_cast<std::uint32_t>(program.text.size()),
                                           static_cast<std::uint8_t>(symbol - kFirstNumberSymbol)});
            } else {
                program.text.push_back(static_cast<char>(symbol));
            }
        }
    }
    m_cachedBytes += program.text.size() + program.numbers.size() * sizeof(Program::Number);
    m_programs.push_back(std::move(program));
    const auto index = static_cast<std::int32_t>(m_programs.size() - 1);

    // A line that put in no source address comes out the same whatever the source drawn (the
    // rules saw the same text throughout); so for the destination.
    for (std::size_t source = 0; source < 5; ++source) {
        for (std::size_t destination = 0; destination < 5; ++destination) {
            if ((source == s || !sourceUsed) && (destination == d || !destinationUsed)) {
                cached.programs[source * 5 + destination] = index;
            }
        }
    }
    return index;
}

} // namespace korvane
