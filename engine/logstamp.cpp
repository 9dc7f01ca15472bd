// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/logstamp.h"

#include <cmath>
#include <cstdint>

namespace korvane {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number written by `count` digits at `at`, or -1.
int digitsAt(std::string_view text, std::size_t at, std::size_t count)
{
    if (at + count > text.size()) {
        return -1;
    }
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(text[i])) {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool charAt(std::string_view text, std::size_t at, char c)
{
    return at < text.size() && text[at] == c;
}

// "hh:mm:ss" at `at`.
bool readClock(std::string_view text, std::size_t at, LogStamp& stamp)
{
    stamp.hour = digitsAt(text, at, 2);
    stamp.minute = digitsAt(text, at + 3, 2);
    stamp.second = digitsAt(text, at + 6, 2);
    return stamp.hour >= 0 && stamp.hour <= 23 && charAt(text, at + 2, ':') && stamp.minute >= 0 &&
           stamp.minute <= 59 && charAt(text, at + 5, ':') && stamp.second >= 0 && stamp.second <= 60;
}

// Where the stamp may start: after a "<PRI>" of one to three digits, if any.
std::size_t afterPriority(std::string_view line)
{
    if (line.empty() || line[0] != '<') {
        return 0;
    }
    std::size_t end = 1;
    while (end < line.size() && end <= 4 && isDigit(line[end])) {
        ++end;
    }
    return end > 1 && charAt(line, end, '>') ? end + 1 : 0;
}

std::optional<LogStamp> classicAt(std::string_view line, std::size_t at)
{
    LogStamp stamp;
    stamp.offset = at;
    constexpr int kMonthsPerYear = 12;
    int month = 1;
    while (month <= kMonthsPerYear && line.substr(at, 3) != monthAbbreviation(month)) {
        ++month;
    }
    if (month > kMonthsPerYear || !charAt(line, at + 3, ' ')) {
        return std::nullopt;
    }
    stamp.month = month;
    const bool spacePadded = charAt(line, at + 4, ' ');
    stamp.day = spacePadded ? digitsAt(line, at + 5, 1) : digitsAt(line, at + 4, 2);
    // A day from 10 on tells nothing of the padding: the usual space is taken then.
    stamp.zeroPaddedDay = charAt(line, at + 4, '0');
    if (stamp.day < 1 || stamp.day > 31 || !charAt(line, at + 6, ' ')) {
        return std::nullopt;
    }
    if (readClock(line, at + 7, stamp)) {
        stamp.length = 15;
        return stamp;
    }
    stamp.year = digitsAt(line, at + 7, 4);
    if (stamp.year < 0 || !charAt(line, at + 11, ' ') || !readClock(line, at + 12, stamp)) {
        return std::nullopt;
    }
    stamp.form = LogStamp::Form::ClassicWithYear;
    stamp.length = 20;
    return stamp;
}

std::optional<LogStamp> rfc3339At(std::string_view line, std::size_t at)
{
    LogStamp stamp;
    stamp.form = LogStamp::Form::Rfc3339;
    stamp.offset = at;
    stamp.year = digitsAt(line, at, 4);
    stamp.month = digitsAt(line, at + 5, 2);
    stamp.day = digitsAt(line, at + 8, 2);
    if (stamp.year < 0 || !charAt(line, at + 4, '-') || stamp.month < 1 || stamp.month > 12 ||
        !charAt(line, at + 7, '-') || stamp.day < 1 || stamp.day > 31 ||
        !(charAt(line, at + 10, 'T') || charAt(line, at + 10, 't')) || !readClock(line, at + 11, stamp)) {
        return std::nullopt;
    }
    std::size_t end = at + 19;
    if (charAt(line, end, '.')) {
        double scale = 0.1;
        ++end;
        while (end < line.size() && isDigit(line[end])) {
            stamp.fraction += (line[end] - '0') * scale;
            scale /= 10;
            ++stamp.fractionDigits;
            ++end;
        }
        if (stamp.fractionDigits == 0) {
            return std::nullopt;
        }
    }
    if (charAt(line, end, 'Z') || charAt(line, end, 'z')) {
        stamp.utc = true;
        ++end;
    } else if (charAt(line, end, '+') || charAt(line, end, '-')) {
        const int hours = digitsAt(line, end + 1, 2);
        const int minutes = digitsAt(line, end + 4, 2);
        if (hours < 0 || hours > 23 || !charAt(line, end + 3, ':') || minutes < 0 || minutes > 59) {
            return std::nullopt;
        }
        stamp.utcOffsetMinutes = (line[end] == '-' ? -1 : 1) * (hours * 60 + minutes);
        end += 6;
    } else {
        return std::nullopt;
    }
    stamp.length = end - at;
    return stamp;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<std::int64_t>(year - era * 400);
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(std::int64_t days, int& year, int& month, int& day)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

} // namespace

std::optional<LogStamp> findLogStamp(std::string_view line)
{
    const std::size_t at = afterPriority(line);
    if (std::optional<LogStamp> classic = classicAt(line, at)) {
        return classic;
    }
    return rfc3339At(line, at);
}

double LogTimeline::secondsOf(const LogStamp& stamp)
{
    int year = stamp.year;
    if (stamp.form == LogStamp::Form::Classic) {
        // Half a year or more back in the calendar is taken for the next year, as much forward
        // for the year before (a line slightly out of order across New Year).
        if (m_lastMonth != 0 && m_lastMonth - stamp.month >= 6) {
            ++m_year;
        } else if (m_lastMonth != 0 && stamp.month - m_lastMonth >= 6) {
            --m_year;
        }
        m_lastMonth = stamp.month;
        year = m_year;
    }
    constexpr double kSecondsPerDay = 86400;
    const double days = static_cast<double>(daysFromCivil(year, stamp.month, stamp.day));
    return days * kSecondsPerDay + stamp.hour * 3600.0 + stamp.minute * 60.0 + stamp.second + stamp.fraction -
           stamp.utcOffsetMinutes * 60.0;
}

std::string restamped(std::string_view line, const LogStamp& stamp, const CivilDateTime& now)
{
    int year = now.date.year;
    int month = now.date.month;
    int day = now.date.day;
    int hour = now.time.hour;
    int minute = now.time.minute;
    if (stamp.form == LogStamp::Form::Rfc3339 && stamp.utc) {
        // Back to UTC: the local time minus its offset.
        const std::int64_t local = (daysFromCivil(year, month, day) * 24 + hour) * 60 + minute - now.utcOffsetMinutes;
        const std::int64_t days = local >= 0 ? local / 1440 : (local - 1439) / 1440;
        civilFromDays(days, year, month, day);
        const auto minuteOfDay = static_cast<int>(local - days * 1440);
        hour = minuteOfDay / 60;
        minute = minuteOfDay % 60;
    }

    std::string out(line.substr(0, stamp.offset));
    out.reserve(line.size() + 8);
    if (stamp.form == LogStamp::Form::Rfc3339) {
        appendPadded(out, year, 4);
        out.push_back('-');
        appendPadded(out, month, 2);
        out.push_back('-');
        appendPadded(out, day, 2);
        out.push_back('T');
    } else {
        out.append(monthAbbreviation(month));
        out.push_back(' ');
        appendPadded(out, day, 2, stamp.zeroPaddedDay ? '0' : ' ');
        out.push_back(' ');
        if (stamp.form == LogStamp::Form::ClassicWithYear) {
            appendPadded(out, year, 4);
            out.push_back(' ');
        }
    }
    appendClock(out, hour, minute, now.time.second);
    if (stamp.form == LogStamp::Form::Rfc3339) {
        if (stamp.fractionDigits > 0) {
            out.push_back('.');
            std::string digits;
            appendPadded(digits, now.time.millisecond, 3);
            digits.resize(static_cast<std::size_t>(stamp.fractionDigits), '0');
            out.append(digits);
        }
        if (stamp.utc) {
            out.push_back('Z');
        } else {
            const int offset = now.utcOffsetMinutes;
            out.push_back(offset < 0 ? '-' : '+');
            appendPadded(out, (offset < 0 ? -offset : offset) / 60, 2);
            out.push_back(':');
            appendPadded(out, (offset < 0 ? -offset : offset) % 60, 2);
        }
    }
    out.append(line.substr(stamp.offset + stamp.length));
    return out;
}

} // namespace korvane
