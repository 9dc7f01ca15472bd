// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Header removal on arbitrary lines and markers, composition with arbitrary clock values, and the
// reading of a real log line's own time stamp and host.

#include "engine/linecomposer.h"
#include "engine/logstamp.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);

    const korvane::CivilDate date{data.ConsumeIntegral<int>(), data.ConsumeIntegral<int>(),
                                  data.ConsumeIntegral<int>()};
    const korvane::CivilTime time{data.ConsumeIntegral<int>(), data.ConsumeIntegral<int>(),
                                  data.ConsumeIntegral<int>()};
    const int offsetMinutes = data.ConsumeIntegralInRange(-840, 840);
    const int millisecond = data.ConsumeIntegralInRange(0, 999);
    const std::string marker = data.ConsumeRandomLengthString(64);
    const std::string line = data.ConsumeRemainingBytesAsString();

    const std::string cut(korvane::removeHeader(line, marker));
    const std::size_t at = marker.empty() ? std::string::npos : line.find(marker);
    if (at == std::string::npos) {
        check(cut == line);
    } else {
        // What stays is the text after the marker's first character, less trailing spaces only.
        const std::string rest = line.substr(at + 1);
        check(rest.starts_with(cut));
        check(rest.find_first_not_of(' ', cut.size()) == std::string::npos);
        check(cut.empty() || cut.back() != ' ');
    }

    const std::string composed = korvane::composeLine(date, time, marker, cut);
    check(composed.ends_with("  " + marker + " " + cut));
    const bool inRange = date.year >= 1000 && date.year <= 9999 && date.month >= 1 && date.month <= 12 &&
                         date.day >= 1 && date.day <= 31 && time.hour >= 0 && time.hour <= 23 && time.minute >= 0 &&
                         time.minute <= 59 && time.second >= 0 && time.second <= 59;
    if (inRange) {
        check(composed.size() == 20 + 2 + marker.size() + 1 + cut.size());
        check(composed[2] == ' ' && composed[6] == ' ' && composed[11] == ' ' && composed[14] == ':' &&
              composed[17] == ':');
    }

    // The line's own header lies within it: a host field of printable characters, then the rest.
    if (const std::optional<korvane::LogHeader> own = korvane::findLogHeader(line)) {
        const std::string_view whole = line;
        check(own->host.data() >= whole.data() && own->host.data() + own->host.size() <= whole.data() + whole.size());
        check(!own->host.empty() && own->host.size() <= 255 && own->host.back() != ':');
        for (const char c : own->host) {
            check(c > ' ' && c < 127);
        }
        check(whole.ends_with(own->message) &&
              own->message.data() + own->message.size() == whole.data() + whole.size());
    }

    if (inRange) {
        // A fresh stamp is found again in the same form, at the same place, with the same width.
        const korvane::CivilDateTime now{date, {time.hour, time.minute, time.second, millisecond}, offsetMinutes};
        // (Away from the years 1000 and 9999, which a stamp in UTC may leave.)
        const std::optional<korvane::LogStamp> stamp = korvane::findLogStamp(line);
        if (stamp && date.year > 1000 && date.year < 9999) {
            check(stamp->offset + stamp->length <= line.size());
            const std::string fresh = korvane::restamped(line, *stamp, now);
            check(fresh.size() == line.size());
            check(fresh.compare(0, stamp->offset, line, 0, stamp->offset) == 0);
            const std::optional<korvane::LogStamp> again = korvane::findLogStamp(fresh);
            check(again && again->form == stamp->form && again->length == stamp->length &&
                  again->fractionDigits == stamp->fractionDigits);
        }

        // The device's header: "<PRI>Mmm dd yyyy hh:mm:ss HOST : MSG".
        const std::string framed = korvane::frameLine(korvane::SyslogFormat::Device, 20, now, marker, cut);
        const std::size_t close = framed.find('>');
        const std::size_t host = marker.empty() ? 1 : std::min<std::size_t>(marker.size(), 255);
        check(framed[0] == '<' && close != std::string::npos && close <= 4);
        check(framed.size() == close + 1 + 21 + host + 3 + cut.size());
        check(framed.compare(close + 1 + 21 + host, 3, " : ") == 0 && framed.ends_with(cut));
    }
    return 0;
}
