// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/syslogheader.h"

#include <algorithm>
#include <array>
#include <optional>

namespace korvane::harkwell {

namespace {

constexpr int kMaxPriority = 191; // facility 23, severity 7
constexpr int kSeverities = 8;
// Field lengths the version 1 form allows; the host's limit is applied to the BSD form too.
constexpr qsizetype kMaxHostBytes = 255;
constexpr qsizetype kMaxAppNameBytes = 48;
constexpr qsizetype kMaxProcIdBytes = 128;
constexpr qsizetype kMaxMsgIdBytes = 32;
constexpr qsizetype kMaxSdNameBytes = 32;
// "Mmm dd hh:mm:ss ": everything of the BSD form before the host; "Mmm dd ", "yyyy " and "hh:mm:ss " its parts.
constexpr qsizetype kBsdStampBytes = 16;
constexpr qsizetype kBsdDateBytes = 7;
constexpr qsizetype kYearBytes = 5;
constexpr qsizetype kTimeBytes = 9;
// "dd Mmm yyyy hh:mm:ss  ": everything of the date-first header before the host.
constexpr qsizetype kComposedStampBytes = 22;

constexpr std::array<QByteArrayView, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The bytes header fields are made of: printable US-ASCII without the space that separates them.
bool isFieldByte(char c)
{
    return c > ' ' && c <= '~';
}

// True when text starts with shape, where 'd' in shape stands for any digit and every other byte for itself.
bool hasShape(QByteArrayView text, QByteArrayView shape)
{
    if (text.size() < shape.size()) {
        return false;
    }
    for (qsizetype i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd' ? !isDigit(text[i]) : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

// The two digits at text[at] lie between low and high.
bool twoDigitsIn(QByteArrayView text, qsizetype at, int low, int high)
{
    const int value = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return value >= low && value <= high;
}

// "hh:mm:ss" at the start of text; second 60 is a leap second.
bool startsWithTime(QByteArrayView text)
{
    return hasShape(text, "dd:dd:dd") && twoDigitsIn(text, 0, 0, 23) && twoDigitsIn(text, 3, 0, 59) &&
           twoDigitsIn(text, 6, 0, 60);
}

// A field of 1 to maxBytes field bytes.
bool isField(QByteArrayView field, qsizetype maxBytes)
{
    if (field.isEmpty() || field.size() > maxBytes) {
        return false;
    }
    for (const char c : field) {
        if (!isFieldByte(c)) {
            return false;
        }
    }
    return true;
}

// Takes the field before the next space, and the space, from the front of rest; false when no space follows.
bool takeField(QByteArrayView& rest, QByteArrayView& field)
{
    const qsizetype space = rest.indexOf(' ');
    if (space < 0) {
        return false;
    }
    field = rest.first(space);
    rest = rest.sliced(space + 1);
    return true;
}

// Takes "<PRI>" from the front of rest: its value, or -1 (rest untouched) when it is missing or invalid.
int takePriority(QByteArrayView& rest)
{
    if (!rest.startsWith('<')) {
        return -1;
    }
    qsizetype close = 1;
    while (close < rest.size() && close <= 4 && isDigit(rest[close])) {
        ++close;
    }
    const qsizetype digits = close - 1;
    if (digits < 1 || digits > 3 || close >= rest.size() || rest[close] != '>' || (digits > 1 && rest[1] == '0')) {
        return -1;
    }
    int priority = 0;
    for (qsizetype i = 1; i <= digits; ++i) {
        priority = priority * 10 + (rest[i] - '0');
    }
    if (priority > kMaxPriority) {
        return -1;
    }
    rest = rest.sliced(close + 1);
    return priority;
}

// The host of "Mmm dd hh:mm:ss HOST[ MSG]", the day as " 7" or "07", or of the same with the year after the day
// ("Mmm dd yyyy hh:mm:ss HOST : MSG", as the firewall itself writes it); nothing when rest is in neither form.
std::optional<QByteArrayView> bsdHost(QByteArrayView rest)
{
    if (rest.size() <= kBsdStampBytes || !isMonthAbbreviation(rest.first(3)) || rest[3] != ' ' || !isDigit(rest[5]) ||
        rest[6] != ' ') {
        return std::nullopt;
    }
    const int day = (rest[4] == ' ' ? 0 : rest[4] - '0') * 10 + (rest[5] - '0');
    if ((rest[4] != ' ' && !isDigit(rest[4])) || day < 1 || day > 31) {
        return std::nullopt;
    }
    rest = rest.sliced(kBsdDateBytes);
    if (hasShape(rest, "dddd ")) {
        rest = rest.sliced(kYearBytes);
    }
    if (rest.size() <= kTimeBytes || !startsWithTime(rest) || rest[kTimeBytes - 1] != ' ') {
        return std::nullopt;
    }
    rest = rest.sliced(kTimeBytes);
    const QByteArrayView host = rest.first(rest.indexOf(' ') < 0 ? rest.size() : rest.indexOf(' '));
    if (!isField(host, kMaxHostBytes)) {
        return std::nullopt;
    }
    return host;
}

// The host of Korvane's own date-first header, "dd Mmm yyyy hh:mm:ss  HOST MSG"; nothing when text does not begin
// so.
std::optional<QByteArrayView> composedHost(QByteArrayView text)
{
    if (text.size() <= kComposedStampBytes || !hasShape(text, "dd ") || !twoDigitsIn(text, 0, 1, 31) ||
        !isMonthAbbreviation(text.sliced(3, 3)) || !hasShape(text.sliced(6), " dddd ") ||
        !startsWithTime(text.sliced(12)) || !text.sliced(20).startsWith("  ")) {
        return std::nullopt;
    }
    QByteArrayView rest = text.sliced(kComposedStampBytes);
    const QByteArrayView host = rest.first(rest.indexOf(' ') < 0 ? rest.size() : rest.indexOf(' '));
    if (!isField(host, kMaxHostBytes)) {
        return std::nullopt;
    }
    return host;
}

// "2026-12-07T15:07:59.123+01:00": a date and time with an optional fraction of 1 to 6 digits, then "Z" or an
// offset from UTC.
bool isTimestamp(QByteArrayView text)
{
    if (!hasShape(text, "dddd-dd-ddT") || !twoDigitsIn(text, 5, 1, 12) || !twoDigitsIn(text, 8, 1, 31) ||
        !startsWithTime(text.sliced(11))) {
        return false;
    }
    QByteArrayView zone = text.sliced(19);
    if (zone.startsWith('.')) {
        qsizetype digits = 0;
        while (digits + 1 < zone.size() && isDigit(zone[digits + 1])) {
            ++digits;
        }
        if (digits < 1 || digits > 6) {
            return false;
        }
        zone = zone.sliced(digits + 1);
    }
    if (zone == "Z") {
        return true;
    }
    return zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && hasShape(zone.sliced(1), "dd:dd") &&
           twoDigitsIn(zone, 1, 0, 23) && twoDigitsIn(zone, 4, 0, 59);
}

// Takes an SD-NAME (1 to 32 field bytes but '=', ']' and '"') from the front of rest.
bool takeSdName(QByteArrayView& rest)
{
    qsizetype length = 0;
    while (length < rest.size() && isFieldByte(rest[length]) && rest[length] != '=' && rest[length] != ']' &&
           rest[length] != '"') {
        ++length;
    }
    if (length < 1 || length > kMaxSdNameBytes) {
        return false;
    }
    rest = rest.sliced(length);
    return true;
}

// Takes the structured data from the front of rest: "-", or elements "[ID name="value" ...]" one after the other,
// where a backslash in a value keeps the next byte from ending it. Each parameter goes to visit(id, name, value),
// the value as written, escapes and all. False when it is malformed.
template <typename Visitor>
bool takeStructuredData(QByteArrayView& rest, Visitor&& visit)
{
    if (rest.startsWith('-')) {
        rest = rest.sliced(1);
        return true;
    }
    if (!rest.startsWith('[')) {
        return false;
    }
    while (rest.startsWith('[')) {
        rest = rest.sliced(1);
        const QByteArrayView id = rest;
        if (!takeSdName(rest)) {
            return false;
        }
        const QByteArrayView element = id.first(id.size() - rest.size());
        while (rest.startsWith(' ')) {
            rest = rest.sliced(1);
            const QByteArrayView param = rest;
            if (!takeSdName(rest) || !rest.startsWith("=\"")) {
                return false;
            }
            const QByteArrayView name = param.first(param.size() - rest.size());
            qsizetype quote = 2;
            while (quote < rest.size() && rest[quote] != '"') {
                quote += rest[quote] == '\\' ? 2 : 1;
            }
            if (quote >= rest.size()) {
                return false;
            }
            visit(element, name, rest.sliced(2, quote - 2));
            rest = rest.sliced(quote + 1);
        }
        if (!rest.startsWith(']')) {
            return false;
        }
        rest = rest.sliced(1);
    }
    return true;
}

// What a message in the version 1 form says beyond its priority.
struct Version1Fields
{
    QByteArrayView host; // empty for "-"
    QByteArrayView structuredData;
};

// The fields of "1 TIMESTAMP HOST APP-NAME PROCID MSGID SD[ MSG]"; nothing when rest is not in that form.
std::optional<Version1Fields> version1Fields(QByteArrayView rest)
{
    QByteArrayView version;
    QByteArrayView timestamp;
    QByteArrayView host;
    QByteArrayView appName;
    QByteArrayView procId;
    QByteArrayView msgId;
    if (!takeField(rest, version) || version.isEmpty() || version.size() > 3 || version[0] == '0' ||
        !std::all_of(version.begin(), version.end(), isDigit)) {
        return std::nullopt;
    }
    if (!takeField(rest, timestamp) || (timestamp != "-" && !isTimestamp(timestamp)) || !takeField(rest, host) ||
        !isField(host, kMaxHostBytes) || !takeField(rest, appName) || !isField(appName, kMaxAppNameBytes) ||
        !takeField(rest, procId) || !isField(procId, kMaxProcIdBytes) || !takeField(rest, msgId) ||
        !isField(msgId, kMaxMsgIdBytes)) {
        return std::nullopt;
    }
    const QByteArrayView structuredData = rest;
    if (!takeStructuredData(rest, [](QByteArrayView, QByteArrayView, QByteArrayView) {}) ||
        !(rest.isEmpty() || rest.startsWith(' '))) {
        return std::nullopt;
    }
    return Version1Fields{host == "-" ? QByteArrayView() : host,
                          structuredData.first(structuredData.size() - rest.size())};
}

// A value as written with its escapes undone: a backslash before '"', '\\' or ']' stands for that byte, and
// before anything else for itself.
QByteArray unescapedValue(QByteArrayView value)
{
    QByteArray text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() &&
            (value[i + 1] == '"' || value[i + 1] == '\\' || value[i + 1] == ']')) {
            ++i;
        }
        text += value[i];
    }
    return text;
}

// The host of the header after a message's <PRI>, in either form; empty when it names none.
QByteArrayView hostAfterPriority(QByteArrayView rest)
{
    if (const std::optional<QByteArrayView> host = bsdHost(rest)) {
        return *host;
    }
    if (const std::optional<Version1Fields> fields = version1Fields(rest)) {
        return fields->host;
    }
    return {};
}

} // namespace

SyslogHeader decodeSyslogHeader(QByteArrayView message)
{
    SyslogHeader header;
    const int priority = takePriority(message);
    if (priority < 0) {
        return header;
    }
    header.hasPriority = true;
    header.facility = priority / kSeverities;
    header.severity = priority % kSeverities;
    header.host = hostAfterPriority(message).toByteArray();
    return header;
}

QByteArrayView headerHost(QByteArrayView message)
{
    if (takePriority(message) >= 0) {
        return hostAfterPriority(message);
    }
    return composedHost(message).value_or(QByteArrayView());
}

std::optional<QByteArray> structuredDataParam(QByteArrayView message, QByteArrayView element, QByteArrayView name)
{
    if (takePriority(message) < 0) {
        return std::nullopt;
    }
    const std::optional<Version1Fields> fields = version1Fields(message);
    if (!fields) {
        return std::nullopt;
    }
    std::optional<QByteArrayView> found;
    QByteArrayView rest = fields->structuredData;
    takeStructuredData(rest, [&](QByteArrayView elementId, QByteArrayView paramName, QByteArrayView value) {
        if (!found && elementId == element && paramName == name) {
            found = value;
        }
    });
    if (!found) {
        return std::nullopt;
    }
    return unescapedValue(*found);
}

bool isMonthAbbreviation(QByteArrayView text)
{
    return std::find(kMonths.begin(), kMonths.end(), text) != kMonths.end();
}

} // namespace korvane::harkwell
