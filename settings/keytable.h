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
    Receiver,
    Output,
    Replay
};

// How a value is taken: a number through parseNumber, a text with trailing blanks removed.
// An optional key's value is taken with the blanks around it removed, by its test alone.
enum class Kind
{
    Number,
    Text
};

// The test a value must pass to be kept. The tests of optional keys accept a value only when it
// is exactly one of those accepted (a plain decimal number, no exponent or "&H").
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
    // Optional keys:
    FormatCode,    // 0, 1, 2 or 3
    FacilityCode,  // a whole number from 0 to 23, or a facility's name ("local4"), any case
    ProtocolName,  // UDP, TCP, TLS or RELP, any case; taken in capitals
    ZeroOrOne,     // 0 or 1
    PlainPositive, // a plain decimal number above 0
    RateForm,      // a rate profile the engine reads (RateProfile::parse)
    Count,         // a whole number from 1 to 1000000
    Share,         // a plain decimal number from 0 to 1
    Network,       // an IPv4 network in CIDR notation (parseIpv4Network)
    ScenarioList,  // scenarios of traffic (parseScenarios)
    IpAddress,     // an IPv4 address in dotted form or an IPv6 address
};

// When a key is read at all.
enum class When
{
    Always,
    Syslog // only when SyslogFile is 1: with file output the key is neither read nor repaired
};

// What an absent (or empty) key means.
enum class Absent
{
    Fails,       // it fails its test like any value: replaced, and written if the row says so
    KeepsDefault // an optional key: the variable keeps Settings' default, nothing is written
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

// Where a failed value's replacement comes from.
enum class Replacement
{
    AsWritten, // the row's `replacement`
    ByFraming  // what tcpFramingDefault makes of the keys read before (Protocol, SyslogFormat)
};

// One key of korvane.ini: everything start-up does with it. When the value fails its test,
// `replacement` (or, where `computed` says so, a value made from the keys read before) becomes the value
// in use if `inUse` is set, and is written into the file if `written` is set. A replacement that
// is written is always in use too. The failed test names the reason said for the repair.
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
    When when = When::Always;
    Absent absent = Absent::Fails;
    Replacement computed = Replacement::AsWritten;
};

// Every key in the order start-up reads them.
std::span<const KeyRow> keyTable();

} // namespace korvane
