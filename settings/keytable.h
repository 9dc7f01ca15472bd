// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/settings.h"

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace korvane {

// The start-up step that reads a key; the loader's functions each take one phase.
enum class Phase
{
    Position,
    Run,
    Template,
    Receiver
};

// How a value is taken: a number through parseNumber, a text with trailing blanks removed.
enum class Kind
{
    Number,
    Text
};

// The test a value must pass to be kept.
enum class Test
{
    Anything,      // never replaced
    Switch,        // 0 < v <= 1; an accepted value is taken as exactly 1
    UpToOne,       // 0 < v <= 1; an accepted value stays as read
    Positive,      // v > 0
    ZeroToOne,     // 0 <= v <= 1
    LineSelection, // a whole number from -1 to 7
    Port,          // 0 < v <= 32000 and not rounding (halves to even) to port 0, so v > 0.5
    TwoCharacters, // a text of at least 2 characters; for an address group, each of the five
    NotEmpty,      // a text of at least 1 character
    LeadingNumber, // a text whose leading number is greater than 0
};

// The variable of Settings a key fills: a number, a text, or one element of an address group.
struct Target
{
    constexpr Target() = default;
    constexpr Target(double Settings::*n) : number(n) {}
    constexpr Target(std::string Settings::*t) : text(t) {}
    constexpr Target(std::array<std::string, 5> Settings::*g, int i) : group(g), element(i) {}

    double Settings::*number = nullptr;
    std::string Settings::*text = nullptr;
    std::array<std::string, 5> Settings::*group = nullptr;
    int element = 0;
};

// One key of korvane.ini. When the value fails its test, `replacement` becomes the value in
// use if `inUse` is set, and is written into the file if `written` is set. A replacement that is
// written is always in use too.
struct KeyRow
{
    std::string_view name;
    Phase phase;
    Kind kind;
    Test test;
    std::string_view replacement;
    bool inUse;
    bool written;
    Target target;
};

// All 26 keys in the order start-up reads them.
std::span<const KeyRow> keyTable();

} // namespace korvane
