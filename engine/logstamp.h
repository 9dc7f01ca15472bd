// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linecomposer.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The time stamp a real log line starts with (after an optional "<PRI>"), where it stands in the
// line and what it says.
struct LogStamp
{
    enum class Form
    {
        Classic,         // "Dec  6 04:47:51" (the day padded with a space or a zero), "Dec  6 04:47:51.123"
        ClassicWithYear, // "Dec  6 2026 04:47:51", with a fraction too
        Rfc3339          // "2026-12-06T04:47:51.250Z", "2026-12-06T04:47:51+01:00"
    };

    Form form = Form::Classic;
    std::size_t offset = 0; // of its first character in the line
    std::size_t length = 0;
    int year = 0; // 0 in the classic form, which has none
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    double fraction = 0;        // of a second
    int fractionDigits = 0;     // as written
    bool zeroPaddedDay = false; // "Dec 06" rather than "Dec  6"
    bool utc = false;           // "Z"
    int utcOffsetMinutes = 0;   // "+01:00" is 60
};

// The time stamp at the start of `line`, or nothing when it has none that is recognised.
std::optional<LogStamp> findLogStamp(std::string_view line);

// Measures the gaps between the time stamps of a log on one time line, whatever their forms.
// - A classic stamp has no year: it takes the year of the stamp before it, moved on at New Year
//   (December, then January); until a stamp with a year comes, the year is unknown, and the
//   first stamp with a year also gives it to the stamp just before.
// - A stamp without an offset (both classic forms) is taken in the offset of the last RFC 3339
//   stamp seen; before the first one it shares the offset of the stamp it is measured against,
//   so that the gap across the first RFC 3339 stamp is the one its wall clocks show.
class LogTimeline
{
public:
    // Seconds from the stamp given before to `stamp` (negative when the log goes back); nothing
    // for the first stamp.
    std::optional<double> gapTo(const LogStamp& stamp);
    void reset() { *this = LogTimeline(); }

private:
    static constexpr int kAssumedYear = 2000; // a leap year, so that Feb 29 stays itself

    struct Placed
    {
        LogStamp stamp;
        int year = kAssumedYear;
        bool yearKnown = false;
        std::optional<int> offsetMinutes; // nothing while no offset is known
    };

    static double utcSeconds(const Placed& placed, int offsetMinutes);

    std::optional<Placed> m_last;
    std::optional<int> m_offsetMinutes; // of the last RFC 3339 stamp
};

// `line` with its time stamp replaced by `now`, in the same form and width: the same day padding,
// as many fraction digits (the fresh milliseconds, then zeros), "Z" in UTC and an offset as the
// local offset.
std::string restamped(std::string_view line, const LogStamp& stamp, const CivilDateTime& now);
// The same appended to `out`, whose storage a run reuses from line to line.
void appendRestamped(std::string& out, std::string_view line, const LogStamp& stamp, const CivilDateTime& now);

// The header a real log line carries of its own, "Dec  6 04:47:51 10.1.1.1 %PIX-..." (any form of
// time stamp, after an optional "<PRI>"): where its host is and where its message starts. The host
// is one field of printable characters without blanks that does not end with ':' (that would be a
// tag, as in "Dec  6 04:47:51 %PIX-6-1: x"). A device's " : " between host and message belongs to
// the header.
struct LogHeader
{
    std::string_view host;
    std::string_view message;
};

// The line's own header, or nothing when it does not start with a time stamp and a host.
std::optional<LogHeader> findLogHeader(std::string_view line);

} // namespace korvane
