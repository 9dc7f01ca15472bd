#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Reads a text file line by line as bytes. A line ends at CR LF, a lone CR or a lone LF; the
// end is not part of the line; a last line without an end is a line too. Nothing is re-encoded.
class LineReader
{
public:
    LineReader() = default;
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Opens `path` at its first line. On failure returns false and error() tells why.
    [[nodiscard]] bool open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }

    // True when no line is left (also when the file is not open).
    bool atEnd();

    // Reads the next line into `line`; false at the end of the file or on a read error.
    bool readLine(std::string& line);

    // The system's reason for the last failure, "" when there was none.
    const std::string& error() const { return m_error; }

private:
    bool fill();

    std::FILE* m_file = nullptr;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_len = 0;
    bool m_eof = false;
    std::string m_error;
};

// Number of lines in a file (as LineReader counts them), or nothing when it cannot be read;
// `error` then holds the reason.
std::optional<std::int64_t> countLines(const std::filesystem::path& path, std::string* error = nullptr);

} // namespace korvane
