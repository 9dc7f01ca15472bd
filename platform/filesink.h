#pragma once

#include "linesink.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace korvane {

// "GENERATE.TXT": every line is written with CR LF and flushed at once, so a reader following
// the file sees each line as it is emitted and a crash loses no emitted line.
class FileSink final : public LineSink
{
public:
    enum class Mode
    {
        Append,
        Truncate
    };

    FileSink() = default;
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Opens (or creates) the file. A file or folder without write permission is refused even
    // where the process could override it, as the operator made it read-only on purpose.
    [[nodiscard]] bool open(const std::filesystem::path& path, Mode mode);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    const std::string& error() const { return m_error; }

    SinkResult write(std::string_view line) override;

private:
    std::FILE* m_file = nullptr;
    std::string m_error = "the output file is not open";
};

} // namespace korvane
