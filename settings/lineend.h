// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// The one rule by which Korvane splits text into lines, for the profile and the source files
// alike. Header-only, so that the engine's line reader uses it without linking the settings.

#include <cstddef>
#include <string_view>

namespace korvane {

// Where the first line of `text` ends: CR LF, a lone CR and a lone LF each end a line, and the
// end is no part of the line. `length` is 0 when `text` holds no line end (its last line has
// none, or the rest of the line is still to come), and `position` is then text.size().
// A CR that is the last byte of `text` is a lone CR here; a caller reading in chunks checks
// whether the next chunk starts with its LF.
struct LineEnd
{
    std::size_t position = 0;
    std::size_t length = 0;
};

inline LineEnd findLineEnd(std::string_view text)
{
    // A plain loop: the line reader runs it over every byte of the source.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin;
    while (p != end && *p != '\r' && *p != '\n') {
        ++p;
    }
    const auto position = static_cast<std::size_t>(p - begin);
    if (p == end) {
        return {position, 0};
    }
    const bool crLf = *p == '\r' && p + 1 != end && p[1] == '\n';
    return {position, crLf ? std::size_t{2} : std::size_t{1}};
}

} // namespace korvane
