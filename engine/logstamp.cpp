// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/logstamp.h"

#include <algorithm>
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

// An optional ".ddd" at `at`; where the stamp goes on.
std::size_t readFraction(std::string_view text, std::size_t at, LogStamp& stamp)
{
    if (!charAt(text, at, '.')) {
        return at;
    }
    std::size_t end = at + 1;
    double scale = 0.1;
    while (end < text.size() && isDigit(text[end])) {
        stamp.fraction += (text[end] - '0') * scale;
        scale /= 10;
        ++stamp.fractionDigits;
        ++end;
    }
    return stamp.fractionDigits > 0 ? end : at;
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
        stamp.length = readFraction(line, at + 15, stamp) - at;
        return stamp;
    }
    stamp.year = digitsAt(line, at + 7, 4);
    if (stamp.year < 0 || !charAt(line, at + 11, ' ') || !readClock(line, at + 12, stamp)) {
        return std::nullopt;
    }
    stamp.form = LogStamp::Form::ClassicWithYear;
    stamp.length = readFraction(line, at + 20, stamp) - at;
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
    std::size_t end = readFraction(line, at + 19, stamp);
    if (charAt(line, end, '.')) {
        return std::nullopt; // a point without digits
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

namespace {

// The year of a stamp in `otherMonth` next to one in `month` of `year`: two stamps half a year or
// more apart in the calendar lie across New Year (December, then January, or the other way round).
int yearNear(int year, int month, int otherMonth)
{
    constexpr int kHalfYear = 6;
    if (month - otherMonth >= kHalfYear) {
        return year + 1;
    }
    if (otherMonth - month >= kHalfYear) {
        return year - 1;
    }
    return year;
}

} // namespace

double LogTimeline::utcSeconds(const Placed& placed, int offsetMinutes)
{
    const LogStamp& s = placed.stamp;
    constexpr double kSecondsPerDay = 86400;
    const double days = static_cast<double>(daysFromCivil(placed.year, s.month, s.day));
    return days * kSecondsPerDay + s.hour * 3600.0 + s.minute * 60.0 + s.second + s.fraction - offsetMinutes * 60.0;
}

std::optional<double> LogTimeline::gapTo(const LogStamp& stamp)
{
    Placed current{stamp, kAssumedYear, false, std::nullopt};
    if (stamp.form != LogStamp::Form::Classic) {
        current.year = stamp.year;
        current.yearKnown = true;
    } else if (m_last) {
        current.year = yearNear(m_last->year, m_last->stamp.month, stamp.month);
        current.yearKnown = m_last->yearKnown;
    }
    if (stamp.form == LogStamp::Form::Rfc3339) {
        current.offsetMinutes = stamp.utc ? 0 : stamp.utcOffsetMinutes;
        m_offsetMinutes = current.offsetMinutes;
    } else {
        current.offsetMinutes = m_offsetMinutes;
    }

    std::optional<double> gap;
    if (m_last) {
        // What the stamp before lacked, year or offset, it shares with this one.
        Placed last = *m_last;
        if (!last.yearKnown && current.yearKnown) {
            last.year = yearNear(current.year, stamp.month, last.stamp.month);
        }
        const int lastOffset = last.offsetMinutes.value_or(current.offsetMinutes.value_or(0));
        gap = utcSeconds(current, current.offsetMinutes.value_or(lastOffset)) - utcSeconds(last, lastOffset);
    }
    m_last = current;
    return gap;
}

std::string restamped(std::string_view line, const LogStamp& stamp, const CivilDateTime& now)
{
    std::string out;
    appendRestamped(out, line, stamp, now);
    return out;
}

void appendRestamped(std::string& out, std::string_view line, const LogStamp& stamp, const CivilDateTime& now)
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

    out.reserve(out.size() + line.size() + 8);
    out.append(line.substr(0, stamp.offset));
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
    if (stamp.fractionDigits > 0) {
        // The fresh milliseconds, in as many digits as the stamp had (more are zeros).
        out.push_back('.');
        constexpr int kMillisecondDigits = 3;
        const int millisecond = std::clamp(now.time.millisecond, 0, 999);
        int divisor = 100;
        for (int digit = 0; digit < stamp.fractionDigits; ++digit) {
            out.push_back(digit < kMillisecondDigits ? static_cast<char>('0' + millisecond / divisor % 10) : '0');
            divisor /= 10;
        }
    }
    if (stamp.form == LogStamp::Form::Rfc3339) {
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
}

std::optional<LogHeader> findLogHeader(std::string_view line)
{
    const std::optional<LogStamp> stamp = findLogStamp(line);
    if (!stamp) {
        return std::nullopt;
    }
    const std::size_t host = stamp->offset + stamp->length + 1;
    if (!charAt(line, host - 1, ' ')) {
        return std::nullopt;
    }
    std::size_t end = host;
    while (end < line.size() && line[end] > ' ' && line[end] < 127) {
        ++end;
    }
    constexpr std::size_t kMaxHostLength = 255;
    if (end == host || end - host > kMaxHostLength || line[end - 1] == ':' || (end < line.size() && line[end] != ' ')) {
        return std::nullopt;
    }
    std::size_t message = std::min(end + 1, line.size());
    if (line.substr(message).starts_with(": ")) {
        message += 2;
    }
    return LogHeader{line.substr(host, end - host), line.substr(message)};
}

} // namespace korvane
