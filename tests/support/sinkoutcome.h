// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// What became of a line handed to a sink, as text, so that a failed comparison shows it.

#include "engine/linesink.h"

#include <QString>

namespace korvane::test {

// "sent", "skipped", "dropped", or "failed: " and the reason.
// A line written and flushed at once, as the run hands over a line due alone: the write's
// outcome, the flush's failure, or Dropped when the flush had to drop it.
inline SinkResult deliverNow(LineSink& sink, std::string_view line)
{
    SinkResult written = sink.write(line);
    if (!written) {
        return written;
    }
    const FlushResult flushed = sink.flush();
    if (!flushed) {
        return flushed.failure();
    }
    return flushed.value().dropped > 0 ? SinkResult(Delivery::Dropped) : written;
}

inline QString outcomeOf(const SinkResult& result)
{
    if (!result) {
        return QStringLiteral("failed: ") + QString::fromStdString(result.reason());
    }
    switch (result.value()) {
    case Delivery::Sent:
        return QStringLiteral("sent");
    case Delivery::Skipped:
        return QStringLiteral("skipped");
    case Delivery::Dropped:
        return QStringLiteral("dropped");
    }
    return {};
}

} // namespace korvane::test
