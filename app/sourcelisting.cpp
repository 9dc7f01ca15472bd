// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/sourcelisting.h"

#include "engine/linereader.h"
#include "platform/displaytext.h"

namespace korvane {

SourceListing SourceListing::read(const std::string& path)
{
    SourceListing listing;
    LineReader reader;
    if (const Result<> opened = reader.open(path); !opened) {
        listing.failure = opened.failure();
        return listing;
    }
    listing.opened = true;

    qint64 length = 0;
    std::int64_t counter = 0;
    std::string line;
    while (reader.readLine(line)) {
        ++counter;
        if (length > kBoxLimit) {
            listing.lines.clear();
            length = 0;
            continue;
        }
        QString text = displayText(line);
        length += text.size() + 2;
        listing.lines.append(std::move(text));
        listing.lastShown = counter;
    }
    listing.failure = reader.failure();
    reader.close();
    return listing;
}

} // namespace korvane
