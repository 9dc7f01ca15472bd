// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linereader.h"
#include "settings/result.h"

#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

using SourceLines = std::vector<std::string>;

// A source's lines read once for many runs (the firewalls of a fleet), so that a thousand runs
// keep one copy of a file and no read buffer each. The file is read again when a pass asks for
// it after its size or time of change moved, so an edit reaches the passes that begin after it,
// as it would reach a run reading the file itself.
class SharedSource
{
public:
    explicit SharedSource(std::filesystem::path path) : m_path(std::move(path)) {}

    // The lines as the file holds them now, or why it cannot be read. A pass keeps the lines it
    // began with, whatever later passes read.
    Result<std::shared_ptr<const SourceLines>> lines();

private:
    std::filesystem::path m_path;
    std::shared_ptr<const SourceLines> m_lines;
    std::size_t m_size = 0;
    timespec m_changed{};
};

// Where a run reads its passes: the file itself, line by line, or the lines of a SharedSource
// made for the same file. Either way a line reads the same (see LineReader).
class PassSource
{
public:
    // Reads from `shared` from the next open() on; it must outlive this source.
    void share(SharedSource& shared) { m_shared = &shared; }

    // Opens `path` at its first line.
    Result<> open(const std::filesystem::path& path);
    void close();
    // True when no line is left (also when nothing is open).
    bool atEnd();
    // The next line; false at the end, or on a failure that failure() then tells.
    bool readLine(std::string& line);
    // Shared lines were read whole when the pass opened, so only the file itself fails later.
    const std::optional<Failure>& failure() const { return m_reader.failure(); }

    // Every line of `path` at once (for random selection and the traffic catalogue).
    Result<std::shared_ptr<const SourceLines>> allLines(const std::filesystem::path& path);

private:
    LineReader m_reader;
    SharedSource* m_shared = nullptr;
    std::shared_ptr<const SourceLines> m_lines; // of the pass, when shared
    std::size_t m_next = 0;
};

} // namespace korvane
