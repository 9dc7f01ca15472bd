// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/storedline.h"

namespace korvane {

namespace {

constexpr std::string_view kTag = "PIX-";
constexpr std::string_view kMetaElement = "[meta";
constexpr std::string_view kSequenceParam = "sequenceId=\"";

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The sequenceId of the [meta ...] element in `header`, 0 when there is none that is valid.
std::uint32_t sequenceIdIn(std::string_view header)
{
    for (std::size_t at = header.find(kMetaElement); at != std::string_view::npos;
         at = header.find(kMetaElement, at + 1)) {
        const std::size_t nameEnd = at + kMetaElement.size();
        if (nameEnd >= header.size() || (header[nameEnd] != ' ' && header[nameEnd] != ']')) {
            continue; // another element whose name only begins with "meta"
        }
        const std::size_t close = header.find(']', nameEnd);
        const std::string_view element =
            header.substr(nameEnd, close == std::string_view::npos ? close : close - nameEnd);
        const std::size_t param = element.find(kSequenceParam);
        if (param == std::string_view::npos || (param > 0 && element[param - 1] != ' ')) {
            return 0;
        }
        std::uint64_t value = 0;
        std::size_t i = param + kSequenceParam.size();
        const std::size_t first = i;
        for (; i < element.size() && isDigit(element[i]) && i - first < 11; ++i) {
            value = value * 10 + static_cast<std::uint64_t>(element[i] - '0');
        }
        const bool closed = i < element.size() && element[i] == '"';
        if (!closed || i == first || value == 0 || value > kLargestSequenceId) {
            return 0;
        }
        return static_cast<std::uint32_t>(value);
    }
    return 0;
}

int hexValue(char c)
{
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

} // namespace

StoredLine parseStoredLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    const std::size_t at = line.find(kTag);
    if (at == std::string_view::npos) {
        return {};
    }
    std::string_view header = line.substr(0, at);
    if (!header.empty() && header.back() == '%') {
        header.remove_suffix(1);
    }
    return {line.substr(at), sequenceIdIn(header)};
}

std::string_view messageId(std::string_view message)
{
    if (!message.starts_with(kTag)) {
        return {};
    }
    const std::string_view rest = message.substr(kTag.size());
    if (rest.size() < 3 || !isDigit(rest[0]) || rest[1] != '-' || !isDigit(rest[2])) {
        return {};
    }
    std::size_t end = 3;
    while (end < rest.size() && end < 11 && isDigit(rest[end])) {
        ++end;
    }
    return rest.substr(0, end);
}

std::string unescapedStdoutLine(std::string_view line)
{
    constexpr std::string_view kCutMark = "\t[cut]";
    if (line.ends_with(kCutMark)) {
        line.remove_suffix(kCutMark.size());
    }
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c != '\\' || i + 1 == line.size()) {
            out.push_back(c);
            continue;
        }
        const char next = line[i + 1];
        const char plain = next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next == '\\' ? '\\' : 0;
        if (plain != 0) {
            out.push_back(plain);
            ++i;
            continue;
        }
        if (next == 'x' && i + 3 < line.size() && hexValue(line[i + 2]) >= 0 && hexValue(line[i + 3]) >= 0) {
            out.push_back(static_cast<char>(hexValue(line[i + 2]) * 16 + hexValue(line[i + 3])));
            i += 3;
            continue;
        }
        out.push_back(c);
    }
    return out;
}

} // namespace korvane
