// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/trafficcatalogue.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace korvane {

namespace {

constexpr std::array<std::string_view, kTrafficKinds> kIds{"302013", "302014", "302015", "302016", "305011", "305012",
                                                           "106023", "106001", "106015", "710003", "109006", "605004",
                                                           "611102", "109005", "605005", "611101"};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isWordByte(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool holdsWord(std::string_view text, std::string_view word)
{
    for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
        const bool startsWord = at == 0 || !isWordByte(text[at - 1]);
        const std::size_t end = at + word.size();
        if (startsWord && (end == text.size() || !isWordByte(text[end]))) {
            return true;
        }
    }
    return false;
}

// The length of a dotted address written out at `at` (four groups of digits), or 0.
std::size_t addressAt(std::string_view text, std::size_t at)
{
    if (at > 0 && (isDigit(text[at - 1]) || text[at - 1] == '.')) {
        return 0;
    }
    std::size_t i = at;
    for (int group = 0; group < 4; ++group) {
        const std::size_t digits = i;
        while (i < text.size() && isDigit(text[i]) && i - digits < 3) {
            ++i;
        }
        if (i == digits || (group < 3 && (i >= text.size() || text[i] != '.'))) {
            return 0;
        }
        i += group < 3 ? 1 : 0;
    }
    return i < text.size() && (isDigit(text[i]) || text[i] == '.') ? 0 : i - at;
}

// The message's kind from its "PIX-n-NNNNNN", and its severity.
std::optional<std::pair<TrafficKind, int>> kindOf(std::string_view line)
{
    const std::size_t at = line.find("PIX-");
    if (at == std::string_view::npos || at + 12 > line.size() || line[at + 5] != '-' || !isDigit(line[at + 4])) {
        return std::nullopt;
    }
    const std::string_view id = line.substr(at + 6, 6);
    const auto found = std::find(kIds.begin(), kIds.end(), id);
    if (found == kIds.end() || (at + 12 < line.size() && isDigit(line[at + 12]))) {
        return std::nullopt;
    }
    return std::pair{static_cast<TrafficKind>(found - kIds.begin()), line[at + 4] - '0'};
}

void appendNumber(std::string& out, std::uint64_t n)
{
    std::array<char, 24> digits{};
    const char* end = std::to_chars(digits.data(), digits.data() + digits.size(), n).ptr;
    out.append(digits.data(), static_cast<std::size_t>(end - digits.data()));
}

// h:mm:ss, the hours as many as there are.
void appendDuration(std::string& out, std::int64_t seconds)
{
    seconds = std::max<std::int64_t>(0, seconds);
    appendNumber(out, static_cast<std::uint64_t>(seconds / 3600));
    const auto two = [&](std::int64_t v) {
        out.push_back(':');
        out.push_back(static_cast<char>('0' + v / 10));
        out.push_back(static_cast<char>('0' + v % 10));
    };
    two(seconds / 60 % 60);
    two(seconds % 60);
}

} // namespace

std::string_view trafficMessageId(TrafficKind kind)
{
    return kIds[static_cast<std::size_t>(kind)];
}

TrafficCatalogue::Template trafficTemplate(std::string_view line)
{
    using Slot = TrafficCatalogue::Template::Slot;
    TrafficCatalogue::Template t;
    if (const auto kind = kindOf(line)) {
        t.severity = kind->second;
    }
    t.saysTcp = holdsWord(line, "TCP") || holdsWord(line, "tcp");
    t.saysUdp = holdsWord(line, "UDP") || holdsWord(line, "udp");
    t.saysInbound = holdsWord(line, "inbound") || holdsWord(line, "Inbound");
    t.saysOutbound = holdsWord(line, "outbound") || holdsWord(line, "Outbound");

    int endpoint = -1;
    std::uint8_t number = 0;
    bool afterBytes = false; // the last slot was the number after "bytes "
    const auto slot = [&](Slot kind, int index) {
        t.pieces.push_back({static_cast<std::uint32_t>(t.text.size()), kind, static_cast<std::uint8_t>(index)});
    };
    // A "/port" right after an address is that endpoint's port.
    const auto portAfter = [&](std::size_t& i) {
        if (line.substr(i, 5) == "/port") {
            t.text.push_back('/');
            slot(Slot::Port, endpoint);
            i += 5;
        }
    };
    std::size_t i = 0;
    while (i < line.size()) {
        const std::string_view rest = line.substr(i);
        if (rest.starts_with("IP_addr")) {
            endpoint = std::min(endpoint + 1, 3);
            slot(Slot::Address, endpoint);
            i += 7;
            portAfter(i);
        } else if (const std::size_t written = addressAt(line, i); written > 0) {
            endpoint = std::min(endpoint + 1, 3);
            t.text.append(rest.substr(0, written));
            i += written;
            portAfter(i);
        } else if (rest.starts_with("%d")) {
            afterBytes = t.text.ends_with("bytes ");
            slot(Slot::Number, std::min<int>(number++, 1));
            i += 2;
            if (afterBytes && i + 1 < line.size() && line[i] == ' ') {
                t.text.push_back(' ');
                slot(Slot::Reason, 0);
                i = line.size();
            }
        } else if (rest.starts_with("duration ")) {
            t.text.append("duration ");
            slot(Slot::Duration, 0);
            i += 9;
            while (i < line.size() && line[i] != ' ') {
                ++i;
            }
        } else if (rest.starts_with("'user'")) {
            t.text.push_back('\'');
            slot(Slot::User, 0);
            t.text.push_back('\'');
            i += 6;
        } else if (rest.starts_with("dec") && (i == 0 || !isWordByte(line[i - 1])) &&
                   (i + 3 == line.size() || !isWordByte(line[i + 3]))) {
            slot(Slot::Interface, 0);
            i += 3;
        } else {
            t.text.push_back(line[i]);
            ++i;
        }
    }
    return t;
}

TrafficCatalogue::TrafficCatalogue(std::span<const std::string> lines)
{
    for (const std::string& line : lines) {
        if (const auto kind = kindOf(line)) {
            m_templates[static_cast<std::size_t>(kind->first)].push_back(trafficTemplate(line));
        }
    }
}

const TrafficCatalogue::Template* TrafficCatalogue::pick(TrafficKind kind, TrafficProtocol protocol, bool inbound,
                                                         double r) const
{
    const std::vector<Template>& all = m_templates[static_cast<std::size_t>(kind)];
    if (all.empty()) {
        return nullptr;
    }
    const bool tcp = protocol == TrafficProtocol::Tcp;
    const auto score = [&](const Template& t) {
        const bool saysIt = tcp ? t.saysTcp : t.saysUdp;
        const bool saysOther = tcp ? t.saysUdp : t.saysTcp;
        const bool saysWay = inbound ? t.saysInbound : t.saysOutbound;
        const bool saysOtherWay = inbound ? t.saysOutbound : t.saysInbound;
        return (saysIt ? 2 : saysOther ? -2 : 0) + (saysWay ? 1 : saysOtherWay ? -1 : 0);
    };
    int best = -100;
    std::size_t equals = 0;
    for (const Template& t : all) {
        const int s = score(t);
        equals = s > best ? 1 : s == best ? equals + 1 : equals;
        best = std::max(best, s);
    }
    auto nth = static_cast<std::size_t>(r * static_cast<double>(equals));
    nth = std::min(nth, equals - 1);
    for (const Template& t : all) {
        if (score(t) == best && nth-- == 0) {
            return &t;
        }
    }
    return &all.front();
}

void TrafficCatalogue::fill(const Template& t, const TrafficValues& values, std::string& out)
{
    std::uint32_t from = 0;
    for (const Template::Piece& piece : t.pieces) {
        out.append(t.text, from, piece.literalEnd - from);
        from = piece.literalEnd;
        switch (piece.slot) {
        case Template::Slot::Address:
            out.append(values.endpoints[piece.index].address);
            break;
        case Template::Slot::Port:
            appendNumber(out, static_cast<std::uint64_t>(values.endpoints[piece.index].port));
            break;
        case Template::Slot::Number:
            appendNumber(out, values.numbers[piece.index]);
            break;
        case Template::Slot::Duration:
            appendDuration(out, values.durationSeconds);
            break;
        case Template::Slot::Reason:
            out.append(values.reason);
            break;
        case Template::Slot::User:
            out.append(values.user);
            break;
        case Template::Slot::Interface:
            out.append(values.interface);
            break;
        }
    }
    out.append(t.text, from);
}

} // namespace korvane
