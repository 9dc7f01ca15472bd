// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// The few text rules of korvane.ini: blanks are spaces and tabs, and names compare without regard
// to ASCII case, whatever the locale.

#include <algorithm>
#include <string_view>

namespace korvane {

constexpr bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// `text` without the blanks before and after it.
constexpr std::string_view withoutBlanksAround(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

constexpr char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal but for the case of ASCII letters.
constexpr bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

} // namespace korvane
