// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Header removal on arbitrary lines and markers, and composition with arbitrary clock values.

#include "engine/linecomposer.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

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
    return 0;
}
