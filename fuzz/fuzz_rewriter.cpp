// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Template rewriting on arbitrary lines and arbitrary configured values, checked against a
// plain rule-by-rule application of the table (find the first occurrence, replace, next rule):
// the free function, and a TemplateRewriter that keeps its instance, what it worked out for the
// lines it saw, and its output buffer from line to line and from input to input, as a
// generation run does.

#include "engine/templaterewriter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Replaces up to `count` occurrences of `searched`, left to right, each search going on
// after the previous replacement.
void replace(std::string& text, const std::string& searched, const std::string& replacement, int count = 1)
{
    std::size_t from = 0;
    for (int i = 0; i < count; ++i) {
        const std::size_t at = text.find(searched, from);
        if (at == std::string::npos) {
            return;
        }
        text.replace(at, searched.size(), replacement);
        from = at + replacement.size();
    }
}

std::string reference(std::string text, const korvane::RewriteValues& v, const korvane::LineDraws& d)
{
    const std::string& s = v.srcIp[static_cast<std::size_t>(std::clamp(d.s, 0, 4))];
    const std::string& t = v.dstIp[static_cast<std::size_t>(std::clamp(d.d, 0, 4))];
    const std::vector<std::pair<std::string, std::string>> rules{
        {"faddr IP_addr", "faddr " + s},
        {"from IP_addr", "from " + s},
        {"src IP_addr", "src " + s},
        {"SRC IP_addr", "SRC " + s},
        {"SRC=IP_addr", "SRC=" + s},
        {"for IP_addr", "for " + s},
        {"outside:IP_addr", "outside:" + s},
        {"incoming IP_addr", "incoming " + s},
        {"(IP_addr/", "(" + s + "/"},
        {"IP_addr)", s + ")"},
        {"gaddr IP_addr", "gaddr " + v.gatewayIp},
        {"laddr IP_addr", "laddr " + t},
        {"to IP_addr", "to " + t},
        {"dest IP_addr", "dest " + t},
        {"DEST IP_addr", "DEST " + t},
        {"DEST=IP_addr", "DEST=" + t},
        {"server IP_addr", "server " + t},
        {"static IP_addr", "static " + t},
        {"inside:IP_addr", "inside:" + t},
        {"host IP_addr", "host " + t},
        {"-IP_addr/", "-" + t + "/"},
        {"IP_addr/", t + "/"},
        {"/port", "/" + std::to_string(d.p1)},
        {"/port", "/" + std::to_string(d.p2)},
        {"/port", "/" + std::to_string(d.p3)},
        {"/port", "/" + std::to_string(d.p4)},
        {"%d", std::to_string(d.m1)},
        {"%d", std::to_string(d.m2)},
        {"'user'", "'" + v.userName + "'"},
        {"session_num", v.sessionNum},
        {"num_seconds", v.elapsedTime},
    };
    for (const auto& [searched, replacement] : rules) {
        replace(text, searched, replacement);
    }
    replace(text, "dec", "Eth0", 5);
    return text;
}

// Hands out the fuzzer's doubles as they come, NaN and infinities included.
class FuzzedRandomSource final : public korvane::RandomSource
{
public:
    explicit FuzzedRandomSource(FuzzedDataProvider& data) : m_data(data) {}
    double next() override { return std::bit_cast<double>(m_data.ConsumeIntegral<std::uint64_t>()); }

private:
    FuzzedDataProvider& m_data;
};

bool within(int value, int low, int high)
{
    return value >= low && value <= high;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);

    FuzzedRandomSource random(data);
    const korvane::LineDraws drawn = korvane::drawLine(random);
    if (!within(drawn.s, 0, 4) || !within(drawn.d, 0, 4) || !within(drawn.p1, 1, 1024) || !within(drawn.p2, 1, 10000) ||
        !within(drawn.p3, 1, 1024) || !within(drawn.p4, 1, 40000) || !within(drawn.m1, 1, 65535) ||
        !within(drawn.m2, 1, 65535)) {
        std::abort();
    }

    korvane::LineDraws draws;
    draws.s = data.ConsumeIntegralInRange(-2, 6);
    draws.d = data.ConsumeIntegralInRange(-2, 6);
    draws.p1 = data.ConsumeIntegral<int>();
    draws.p2 = data.ConsumeIntegral<int>();
    draws.p3 = data.ConsumeIntegral<int>();
    draws.p4 = data.ConsumeIntegral<int>();
    draws.m1 = data.ConsumeIntegral<int>();
    draws.m2 = data.ConsumeIntegral<int>();

    // A rewriter lives on across inputs while they keep its values.
    static std::optional<korvane::TemplateRewriter> rewriter;
    static korvane::RewriteValues rewriterValues;
    static std::string out;
    if (!rewriter || data.ConsumeBool()) {
        korvane::RewriteValues values;
        for (std::string& address : values.srcIp) {
            address = data.ConsumeRandomLengthString(24);
        }
        for (std::string& address : values.dstIp) {
            address = data.ConsumeRandomLengthString(24);
        }
        values.gatewayIp = data.ConsumeRandomLengthString(24);
        values.userName = data.ConsumeRandomLengthString(24);
        values.sessionNum = data.ConsumeRandomLengthString(24);
        values.elapsedTime = data.ConsumeRandomLengthString(24);
        rewriter.emplace(values);
        rewriterValues = std::move(values);
    }
    const korvane::RewriteValues& values = rewriterValues;
    const std::string text = data.ConsumeRemainingBytesAsString();

    const std::string expected = reference(text, values, draws);
    if (korvane::rewriteTemplate(text, values, draws) != expected) {
        std::abort();
    }
    rewriter->rewrite(text, draws, out);
    if (out != expected) {
        std::abort();
    }
    // The same text with other draws: what the rewriter worked out for it must follow them.
    rewriter->rewrite(text, drawn, out);
    if (out != reference(text, values, drawn)) {
        std::abort();
    }
    rewriter->rewrite(text, draws, out);
    // The rewritten text once more, read from the buffer that receives the result.
    rewriter->rewrite(out, draws, out);
    if (out != reference(expected, values, draws)) {
        std::abort();
    }
    // Each line of the text in turn, through the same rewriter and buffer.
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        rewriter->rewrite(line, draws, out);
        if (out != reference(line, values, draws)) {
            std::abort();
        }
        start = end + 1;
    }
    return 0;
}
