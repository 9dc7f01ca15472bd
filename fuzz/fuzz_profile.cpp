// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Feeds arbitrary INI text, key names and values to profileRead and profileWrite, checking
// that a write changes one line or adds lines only, that the written value reads back, and
// that every other key keeps what it read before.
#include "settings/profile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
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

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool hasLineEnd(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A key that the file format can hold on a line of its own.
bool isPlainKey(std::string_view key)
{
    const std::string_view name = trimmed(key);
    return !name.empty() && !hasLineEnd(name) && name.find('=') == std::string_view::npos && name.front() != '[' &&
           name.front() != ';' && name.front() != '#';
}

// What a read of a written value gives: trimmed, unquoted, cut to 99 characters.
std::string expectedRead(std::string_view value)
{
    value = trimmed(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, 99));
}

bool sameName(std::string_view a, std::string_view b)
{
    return std::ranges::equal(trimmed(a), trimmed(b), [](char x, char y) {
        return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) == (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string key = input.ConsumeRandomLengthString(40);
    const std::string otherKey = input.ConsumeRandomLengthString(40);
    const std::string value = input.ConsumeRandomLengthString(200);
    const std::string content = input.ConsumeRemainingBytesAsString();

    const std::string before = korvane::profileRead(content, "Settings", key);
    check(before.size() <= 99);

    const std::string after = korvane::profileWrite(content, "Settings", key, value);

    // Whatever was removed lies within one line: no line end of the old text went away.
    std::size_t prefix = 0;
    while (prefix < content.size() && prefix < after.size() && content[prefix] == after[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < content.size() - prefix && suffix < after.size() - prefix &&
           content[content.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
        ++suffix;
    }
    check(!hasLineEnd(std::string_view(content).substr(prefix, content.size() - prefix - suffix)));

    if (!isPlainKey(key)) {
        return 0;
    }
    if (!hasLineEnd(value)) {
        check(korvane::profileRead(after, "Settings", key) == expectedRead(value));
        if (value == trimmed(value)) {
            check(korvane::profileWrite(after, "Settings", key, value) == after);
        }
    }
    if (!sameName(key, otherKey) && !hasLineEnd(value)) {
        check(korvane::profileRead(after, "Settings", otherKey) == korvane::profileRead(content, "Settings", otherKey));
        check(korvane::profileRead(after, "Other", otherKey) == korvane::profileRead(content, "Other", otherKey));
    }
    return 0;
}
