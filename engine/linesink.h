// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <string_view>

namespace korvane {

// What became of a line the sink took. A failure that ends the run is the Result's Failure.
enum class Delivery
{
    Sent,
    Skipped, // a failure the run passes over (a receiver that refused a datagram)
    Dropped  // the system could not take the line now (a full send buffer): lost and counted
};

// The outcome of delivering one line.
using SinkResult = Result<Delivery>;

// Where emitted lines go: "GENERATE.TXT" or one UDP datagram per line. A line carries no
// line end; the sink adds what its medium needs.
class LineSink
{
public:
    virtual ~LineSink() = default;
    virtual SinkResult write(std::string_view line) = 0;
};

} // namespace korvane
