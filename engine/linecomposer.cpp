// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/linecomposer.h"

#include <algorithm>
#include <array>

namespace korvane {

namespace {

constexpr std::array<std::string_view, 12> kMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

std::string_view monthAbbreviation(int month)
{
    return kMonthNames[static_cast<std::size_t>(std::clamp(month, 1, 12) - 1)];
}

void appendPadded(std::string& out, int value, int width, char pad)
{
    std::array<char, 12> digits{};
    int count = 0;
    unsigned rest = value > 0 ? static_cast<unsigned>(value) : 0U;
    do {
        digits[static_cast<std::size_t>(count++)] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    for (int i = count; i < width; ++i) {
        out.push_back(pad);
    }
    while (count > 0) {
        out.push_back(digits[static_cast<std::size_t>(--count)]);
    }
}

void appendClock(std::string& out, int hour, int minute, int second)
{
    appendPadded(out, hour, 2);
    out.push_back(':');
    appendPadded(out, minute, 2);
    out.push_back(':');
    appendPadded(out, second, 2);
}

std::string_view removeHeader(std::string_view line, std::string_view marker)
{
    // An empty marker would otherwise cut the first character of every line.
    if (marker.empty()) {
        return line;
    }
    const std::size_t at = line.find(marker);
    if (at == std::string_view::npos) {
        return line;
    }
    const std::string_view rest = line.substr(at + 1);
    const std::size_t last = rest.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view{} : rest.substr(0, last + 1);
}

std::string composeLine(WallClock& clock, std::string_view firewallName, std::string_view message)
{
    const CivilDateTime stamp = clock.now();
    return composeLine(stamp.date, stamp.time, firewallName, message);
}

std::string composeLine(const CivilDate& date, const CivilTime& time, std::string_view firewallName,
                        std::string_view message)
{
    std::string out;
    appendComposedLine(out, date, time, firewallName, message);
    return out;
}

void appendComposedLine(std::string& out, const CivilDate& date, const CivilTime& time, std::string_view firewallName,
                        std::string_view message)
{
    constexpr std::size_t kStampLength = 20; // "dd Mmm yyyy hh:mm:ss"
    out.reserve(out.size() + kStampLength + 2 + firewallName.size() + 1 + message.size());

    appendPadded(out, date.day, 2);
    out.push_back(' ');
    out.append(monthAbbreviation(date.month));
    out.push_back(' ');
    appendPadded(out, date.year, 4);
    out.push_back(' ');
    appendClock(out, time.hour, time.minute, time.second);
    out.append("  ");
    out.append(firewallName);
    out.push_back(' ');
    out.append(message);
}

void LineComposer::compose(std::string& out, const CivilDate& date, const CivilTime& time, std::string_view message)
{
    if (date.year != m_date.year || date.month != m_date.month || date.day != m_date.day || time.hour != m_time.hour ||
        time.minute != m_time.minute || time.second != m_time.second) {
        m_header.clear();
        appendComposedLine(m_header, date, time, m_firewallName, {});
        m_date = date;
        m_time = time;
    }
    out.assign(m_header);
    out.append(message);
}

namespace {

constexpr std::string_view kPixTag = "PIX-";

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The host as one header field: printable ASCII without blanks, at most 255 characters.
void appendHost(std::string& out, std::string_view host)
{
    constexpr std::size_t kMaxHostLength = 255;
    host = host.substr(0, kMaxHostLength);
    if (host.empty()) {
        out.push_back('-');
        return;
    }
    for (const char c : host) {
        const auto u = static_cast<unsigned char>(c);
        out.push_back(u > 32 && u < 127 ? c : '_');
    }
}

// "302013" of "%PIX-6-302013: ...", or "-".
std::string_view messageNumber(std::string_view message)
{
    const std::size_t at = message.find(kPixTag);
    if (at == std::string_view::npos) {
        return "-";
    }
    std::string_view rest = message.substr(at + kPixTag.size());
    if (rest.size() < 3 || !isDigit(rest[0]) || rest[1] != '-' || !isDigit(rest[2])) {
        return "-";
    }
    rest.remove_prefix(2);
    constexpr std::size_t kMaxMessageIdLength = 32;
    std::size_t length = 0;
    while (length < rest.size() && length < kMaxMessageIdLength && isDigit(rest[length])) {
        ++length;
    }
    return rest.substr(0, length);
}

void appendOffset(std::string& out, int minutes)
{
    out.push_back(minutes < 0 ? '-' : '+');
    const int magnitude = minutes < 0 ? -minutes : minutes;
    appendPadded(out, magnitude / 60 % 100, 2);
    out.push_back(':');
    appendPadded(out, magnitude % 60, 2);
}

} // namespace

int messageSeverity(std::string_view message)
{
    constexpr int kNotice = 5;
    const std::size_t at = message.find(kPixTag);
    if (at == std::string_view::npos || at + kPixTag.size() >= message.size()) {
        return kNotice;
    }
    const char digit = message[at + kPixTag.size()];
    return digit >= '0' && digit <= '7' ? digit - '0' : kNotice;
}

std::string frameLine(SyslogFormat format, int facility, const CivilDateTime& stamp, std::string_view host,
                      std::string_view message, std::uint32_t sequenceId)
{
    std::string out;
    appendFramedLine(out, format, facility, stamp, host, message, sequenceId);
    return out;
}

void appendFramedLine(std::string& out, SyslogFormat format, int facility, const CivilDateTime& stamp,
                      std::string_view host, std::string_view message, std::uint32_t sequenceId)
{
    if (format == SyslogFormat::Plain) {
        out.append(message);
        return;
    }
    constexpr std::size_t kLongestHeader = 64; // "<191>1 " + time stamp + the fixed fields
    out.reserve(out.size() + kLongestHeader + host.size() + message.size());
    out.push_back('<');
    appendPadded(out, std::clamp(facility, 0, 23) * 8 + messageSeverity(message), 1);
    out.push_back('>');
    const CivilDate& date = stamp.date;
    const CivilTime& time = stamp.time;
    if (format == SyslogFormat::Rfc5424) {
        out.append("1 ");
        appendPadded(out, date.year, 4);
        out.push_back('-');
        appendPadded(out, date.month, 2);
        out.push_back('-');
        appendPadded(out, date.day, 2);
        out.push_back('T');
        appendClock(out, time.hour, time.minute, time.second);
        out.push_back('.');
        appendPadded(out, time.millisecond, 3);
        appendOffset(out, stamp.utcOffsetMinutes);
        out.push_back(' ');
        appendHost(out, host);
        out.append(" PIX - ");
        out.append(messageNumber(message));
        if (sequenceId > 0) {
            out.append(" [meta sequenceId=\"");
            appendPadded(out, static_cast<int>(sequenceId), 1);
            out.append("\"] ");
        } else {
            out.append(" - ");
        }
        out.append(message);
        return;
    }
    out.append(monthAbbreviation(date.month));
    out.push_back(' ');
    appendPadded(out, date.day, 2, ' ');
    out.push_back(' ');
    if (format == SyslogFormat::Device) {
        appendPadded(out, date.year, 4);
        out.push_back(' ');
    }
    appendClock(out, time.hour, time.minute, time.second);
    out.push_back(' ');
    appendHost(out, host);
    // The device's own separator: parsers of its messages look for ": %" before the message id.
    out.append(format == SyslogFormat::Device ? " : " : " ");
    out.append(message);
}

} // namespace korvane
