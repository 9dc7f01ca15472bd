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
        Classic,         // "Dec  6 04:47:51" (the day padded with a space or a zero)
        ClassicWithYear, // "Dec  6 2026 04:47:51"
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
    double fraction = 0;        // of a second, RFC 3339 only
    int fractionDigits = 0;     // as written
    bool zeroPaddedDay = false; // "Dec 06" rather than "Dec  6"
    bool utc = false;           // "Z"
    int utcOffsetMinutes = 0;   // "+01:00" is 60
};

// The time stamp at the start of `line`, or nothing when it has none that is recognised.
std::optional<LogStamp> findLogStamp(std::string_view line);

// Turns time stamps into seconds on one time line, so that gaps between lines can be measured.
// The classic form has no year: it is inferred from line to line, so that a log crossing New Year
// (December, then January) keeps its order.
class LogTimeline
{
public:
    double secondsOf(const LogStamp& stamp);
    void reset() { m_lastMonth = 0; }

private:
    int m_year = 2000;
    int m_lastMonth = 0; // of the last classic stamp; 0 before the first
};

// `line` with its time stamp replaced by `now`, in the same form and width: the same day padding,
// the same number of fraction digits, "Z" in UTC and an offset as the local offset.
std::string restamped(std::string_view line, const LogStamp& stamp, const CivilDateTime& now);

} // namespace korvane
