// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Reads a text file line by line as bytes. A line ends at CR LF, a lone CR or a lone LF; the
// end is not part of the line; a last line without an end is a line too. Nothing is re-encoded.
// Only regular files are read (a FIFO would block, a device never ends), and a line longer than
// kMaxLineLength is refused: it can be neither a syslog message nor a datagram, and an endless
// one would take all memory.
class LineReader
{
public:
    static constexpr std::size_t kMaxLineLength = 1024 * 1024;

    LineReader() = default;
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Opens `path` at its first line.
    Result<> open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }

    // True when no line is left (also when the file is not open).
    bool atEnd();

    // Reads the next line into `line`; false at the end of the file, on a read error or on a
    // line that is too long, which failure() then tells.
    bool readLine(std::string& line);

    // Why the last open or read failed; nothing when none did since open().
    const std::optional<Failure>& failure() const { return m_failure; }

private:
    bool fill();

    std::FILE* m_file = nullptr;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
    bool m_eof = false;
    std::int64_t m_lineNumber = 0; // of the line being read, for the reason of a refusal
    std::optional<Failure> m_failure;
};

// Number of lines in a file (as LineReader counts them; a regular file only), or why it cannot
// be read.
Result<std::int64_t> countLines(const std::filesystem::path& path);

// Every line of a file, as LineReader reads them, or why it cannot be read.
Result<std::vector<std::string>> readAllLines(const std::filesystem::path& path);

} // namespace korvane
