// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// The source file as the Source File button lists it, read whole in one go. The box holds at
// most kBoxLimit characters: a longer text is emptied before the next line, so only the lines
// since the last emptying are kept.
struct SourceListing
{
    static constexpr qint64 kBoxLimit = 61800;

    static SourceListing read(const std::string& path);

    bool opened = false;            // false: nothing was read, `failure` says why
    QStringList lines;              // what the box shows
    std::int64_t lastShown = -1;    // the number of the last line shown; -1 when none is
    std::optional<Failure> failure; // why opening or reading failed
};

} // namespace korvane
