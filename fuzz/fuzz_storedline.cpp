// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The message and sequence number of an arbitrary stored line, the undoing of Harkwell's escapes,
// and the counts of a check of arbitrary stored lines against arbitrary messages.

#include "session/storedcheck.h"
#include "session/storedline.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Harkwell's escapes, as its --stdout printer writes them.
std::string escaped(std::string_view bytes)
{
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte == 0x7f) {
            out += {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xf]};
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void checkLine(std::string_view line)
{
    const korvane::StoredLine stored = korvane::parseStoredLine(line);
    check(stored.sequenceId <= korvane::kLargestSequenceId);
    const std::size_t at = line.find("PIX-");
    if (at == std::string_view::npos) {
        check(stored.message.empty() && stored.sequenceId == 0);
        return;
    }
    // The message lies in the line, from its first "PIX-" to its end less trailing CR and LF.
    check(stored.message.data() == line.data() + at && stored.message.starts_with("PIX-"));
    check(line.substr(at).starts_with(stored.message));
    check(line.find_first_not_of("\r\n", at + stored.message.size()) == std::string_view::npos);
    check(stored.message.back() != '\r' && stored.message.back() != '\n');

    const std::string_view id = korvane::messageId(stored.message);
    if (!id.empty()) {
        check(stored.message.substr(4).starts_with(id) && id.size() >= 3 && id.size() <= 11);
        check(isDigit(id[0]) && id[1] == '-');
        for (const char c : id.substr(2)) {
            check(isDigit(c));
        }
    }
}

void checkCounts(const korvane::CheckCounts& c)
{
    check(c.expected >= c.missing + c.damaged && c.stored >= c.duplicated + c.damaged);
    check(c.expected - c.missing - c.damaged == c.stored - c.duplicated - c.damaged);
    check(c.reordered <= c.stored - c.duplicated - c.damaged);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    const korvane::CheckOptions options{data.ConsumeBool(), data.ConsumeIntegral<std::uint32_t>(), data.ConsumeBool()};
    const std::string line = data.ConsumeRandomLengthString(1024);
    checkLine(line);
    check(korvane::unescapedStdoutLine(escaped(line)) == line);
    check(korvane::unescapedStdoutLine(line).size() <= line.size());

    // A few messages, and stored lines made of them, of their pieces and of anything.
    korvane::ExpectedMessages expected;
    const std::size_t messages = data.ConsumeIntegralInRange<std::size_t>(0, 8);
    for (std::size_t i = 0; i < messages; ++i) {
        expected.append("PIX-" + data.ConsumeRandomLengthString(16));
    }
    korvane::StoredCheck stored(expected, options);
    std::uint64_t lines = 0;
    while (data.remaining_bytes() > 0 && lines < 64) {
        std::string text = data.ConsumeRandomLengthString(48);
        if (expected.size() > 0 && data.ConsumeBool()) {
            const auto position = data.ConsumeIntegralInRange<std::size_t>(0, expected.size() - 1);
            text = "<134>1 - h PIX - - [meta sequenceId=\"" + std::to_string(data.ConsumeIntegral<std::uint32_t>()) +
                   "\"] %" + std::string(expected.text(position)).substr(0, data.ConsumeIntegral<std::uint8_t>());
        }
        stored.add(text);
        ++lines;
    }
    const korvane::CheckReport report = stored.report();
    checkCounts(report.total);
    check(report.total.expected == expected.size() && report.total.stored + report.total.foreign == lines);
    for (const auto& [id, counts] : report.byId) {
        checkCounts(counts);
    }
    return 0;
}
