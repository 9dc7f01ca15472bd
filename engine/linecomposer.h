// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/outputformat.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace korvane {

struct CivilDate
{
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
};

struct CivilTime
{
    int hour = 0; // 0..23
    int minute = 0;
    int second = 0;
    int millisecond = 0; // 0..999
};

struct CivilDateTime
{
    CivilDate date;
    CivilTime time;
    int utcOffsetMinutes = 0; // local time minus UTC
};

// The local wall clock that stamps composed lines; tests fix it. Date and time come from one
// reading, so a line composed at midnight cannot carry the old date with the new time.
class WallClock
{
public:
    virtual ~WallClock() = default;
    virtual CivilDateTime now() = 0;
};

// Pieces of the time stamps the program writes, shared by every header and stamp.
// The English abbreviation of month 1..12 (clamped to that range), whatever the locale: a
// receiver parsing the header should not depend on the locale of the generating machine.
std::string_view monthAbbreviation(int month);
// `value` with at least `width` digits, padded with `pad`; a negative value (a broken clock) is
// written as 0 rather than with a sign inside a fixed-width field.
void appendPadded(std::string& out, int value, int width, char pad = '0');
// "hh:mm:ss".
void appendClock(std::string& out, int hour, int minute, int second);

// Cuts a leading header: everything up to and including the first character of the first
// occurrence of `marker` is removed, then trailing spaces. A marker that does not occur, or
// an empty marker, leaves the line unchanged.
// The rest of `line`, which it points into.
std::string_view removeHeader(std::string_view line, std::string_view marker);

// "dd Mmm yyyy hh:mm:ss" + two spaces + firewall name + one space + message. Month names are
// the English abbreviations whatever the locale. The clock is read once.
std::string composeLine(WallClock& clock, std::string_view firewallName, std::string_view message);

// The same with the date and time given.
std::string composeLine(const CivilDate& date, const CivilTime& time, std::string_view firewallName,
                        std::string_view message);
// The same appended to `out`, whose storage a run reuses from line to line.
void appendComposedLine(std::string& out, const CivilDate& date, const CivilTime& time, std::string_view firewallName,
                        std::string_view message);

// Composes lines as composeLine does, for a run that composes many a second: the date, time and
// name that start a line are written once per second and copied into every line of that second.
class LineComposer
{
public:
    explicit LineComposer(std::string firewallName) : m_firewallName(std::move(firewallName)) {}
    // Replaces out's content with the composed line.
    void compose(std::string& out, const CivilDate& date, const CivilTime& time, std::string_view message);

private:
    std::string m_firewallName;
    std::string m_header; // of the second below
    CivilDate m_date{0, 0, 0};
    CivilTime m_time{-1, -1, -1};
};

// The severity a syslog receiver should see for a firewall message: the digit right after the
// first "PIX-" (0..7); 5, notice, when there is none.
int messageSeverity(std::string_view message);

// `message` behind a standard syslog header, the priority being facility x 8 + the message's
// severity and the host `host` (blanks and control characters become '_', as a host field holds
// none):
// - Rfc3164: "<PRI>Mmm dd hh:mm:ss HOST MSG", the day padded with a space;
// - Rfc5424: "<PRI>1 yyyy-mm-ddThh:mm:ss.mmm+hh:mm HOST PIX - MSGID - MSG", MSGID being the
//   message number of the first "PIX-n-nnnnnn" (its "-" when there is none), so that a
//   collector can file the message by number without parsing it;
// - Device: "<PRI>Mmm dd yyyy hh:mm:ss HOST : MSG", as the firewall itself sends it: the day padded
//   with a space, no fraction, " : " before the message;
// - Plain: `message` unchanged.
// A `sequenceId` above 0 goes into an Rfc5424 header as its structured data,
// `[meta sequenceId="N"]`; the other forms have no place for it.
std::string frameLine(SyslogFormat format, int facility, const CivilDateTime& stamp, std::string_view host,
                      std::string_view message, std::uint32_t sequenceId = 0);
// The same appended to `out`.
void appendFramedLine(std::string& out, SyslogFormat format, int facility, const CivilDateTime& stamp,
                      std::string_view host, std::string_view message, std::uint32_t sequenceId = 0);

// The sequence id of a run's line `count` (from 1): 1 to 2147483647, then 1 again.
constexpr std::uint32_t sequenceIdOfLine(std::int64_t count)
{
    constexpr std::int64_t kLargest = 2147483647;
    return static_cast<std::uint32_t>((count - 1) % kLargest + 1);
}

} // namespace korvane
