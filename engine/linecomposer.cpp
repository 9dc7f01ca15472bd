#include "engine/linecomposer.h"

#include <algorithm>
#include <array>

namespace korvane {

namespace {

// English abbreviations on purpose: a receiver parsing the header should not depend on the
// locale of the machine that generated the line.
constexpr std::array<std::string_view, 12> kMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Appends `value` with at least `width` digits, zero-padded. Negative values (a broken clock)
// are written as 0 rather than with a sign inside a fixed-width field.
void appendPadded(std::string& out, int value, int width)
{
    std::array<char, 12> digits{};
    int count = 0;
    unsigned rest = value > 0 ? static_cast<unsigned>(value) : 0U;
    do {
        digits[static_cast<std::size_t>(count++)] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    for (int i = count; i < width; ++i) {
        out.push_back('0');
    }
    while (count > 0) {
        out.push_back(digits[static_cast<std::size_t>(--count)]);
    }
}

} // namespace

std::string removeHeader(std::string_view line, std::string_view marker)
{
    // An empty marker would otherwise cut the first character of every line.
    if (marker.empty()) {
        return std::string(line);
    }
    const std::size_t at = line.find(marker);
    if (at == std::string_view::npos) {
        return std::string(line);
    }
    std::string_view rest = line.substr(at + 1);
    const std::size_t last = rest.find_last_not_of(' ');
    rest = last == std::string_view::npos ? std::string_view{} : rest.substr(0, last + 1);
    return std::string(rest);
}

std::string composeLine(WallClock& clock, std::string_view firewallName, std::string_view message)
{
    const CivilDateTime stamp = clock.now();
    return composeLine(stamp.date, stamp.time, firewallName, message);
}

std::string composeLine(const CivilDate& date, const CivilTime& time, std::string_view firewallName,
                        std::string_view message)
{
    constexpr std::size_t kStampLength = 20; // "dd Mmm yyyy hh:mm:ss"
    std::string out;
    out.reserve(kStampLength + 2 + firewallName.size() + 1 + message.size());

    appendPadded(out, date.day, 2);
    out.push_back(' ');
    out.append(kMonthNames[static_cast<std::size_t>(std::clamp(date.month, 1, 12) - 1)]);
    out.push_back(' ');
    appendPadded(out, date.year, 4);
    out.push_back(' ');
    appendPadded(out, time.hour, 2);
    out.push_back(':');
    appendPadded(out, time.minute, 2);
    out.push_back(':');
    appendPadded(out, time.second, 2);
    out.append("  ");
    out.append(firewallName);
    out.push_back(' ');
    out.append(message);
    return out;
}

} // namespace korvane
