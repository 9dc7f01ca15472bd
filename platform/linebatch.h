// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Lines kept back to back until a sink hands them to the system together, and where each ends.
// Clearing keeps the storage, so a sink reuses it from batch to batch.
struct LineBatch
{
    std::string bytes;
    std::vector<std::size_t> ends; // of each line in `bytes`, its line end included

    void append(std::string_view line, std::string_view lineEnd = {})
    {
        bytes.append(line);
        bytes.append(lineEnd);
        ends.push_back(bytes.size());
    }
    bool empty() const { return ends.empty(); }
    std::size_t lines() const { return ends.size(); }
    void clear()
    {
        bytes.clear();
        ends.clear();
    }
    // How many lines end within the first `count` bytes.
    std::size_t linesIn(std::size_t count) const
    {
        return static_cast<std::size_t>(std::upper_bound(ends.begin(), ends.end(), count) - ends.begin());
    }
    // Of the first `count` bytes, how many belong to whole lines.
    std::size_t wholeLinesIn(std::size_t count) const
    {
        const auto whole = std::upper_bound(ends.begin(), ends.end(), count);
        return whole == ends.begin() ? 0 : *(whole - 1);
    }
};

} // namespace korvane
