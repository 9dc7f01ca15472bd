// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"
#include "platform/linebatch.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

namespace korvane {

// "GENERATE.TXT": every line is handed to the system with CR LF as soon as the run flushes,
// which it does before every wait, so a reader following the file sees each line as it is
// emitted and a crash loses no line emitted before a wait. Lines due together go in with one
// write. A line goes into the file whole or not at all. The file is always written in append mode, so that an outside
// truncation (copy-and-truncate rotation) leaves no hole, and a file renamed or deleted meanwhile
// (rotation by rename) is noticed and "GENERATE.TXT" opened again by name. A file written by
// another run (another process) is refused: their lines would mix. The name must stand for a
// regular file, nothing yet, or a character device (a link to /dev/null works): a named pipe, a
// socket or a block device is refused with a reason that says so.
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
    // where the process could override it, as the operator made it read-only on purpose. When
    // appending to a file whose last line has no line end (a crash elsewhere), that line is
    // ended first, so that the next line does not run on from it. After a failure every write
    // fails with the same reason, so a run cannot write nowhere.
    Result<> open(const std::filesystem::path& path, Mode mode);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    SinkResult write(std::string_view line) override;
    FlushResult flush() override;
    // Delivered: lines in the file; undelivered: lines a failed write left out.
    DeliveryCounts counts() const override { return m_counts; }
    // Open while the file is; Failed, with the reason, when it could not be opened.
    SinkStatus status() const override
    {
        SinkStatus s;
        if (m_fd < 0) {
            s.state = SinkStatus::State::Failed;
            s.problem = m_failure.reason;
        }
        return s;
    }

    // What the sink keeps before it writes without waiting for the flush.
    static constexpr std::size_t kBatchBytes = 64 * 1024;

    // How often the name is compared with the open file; 0 compares before every line.
    void setRotationCheckInterval(std::chrono::milliseconds interval) { m_checkInterval = interval; }

private:
    // Why a file of this kind cannot be the output, if it cannot.
    static std::optional<Failure> unfitKind(mode_t mode);
    bool openDescriptor();
    void followRotation();
    // Writes the lines kept; on a failure the file ends with the last whole line written.
    Result<> writeKept();

    int m_fd = -1;
    std::filesystem::path m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::chrono::milliseconds m_checkInterval{1000};
    std::chrono::steady_clock::time_point m_nextCheck{};
    Failure m_failure{"the output file is not open"}; // the last failure to open; none after a success
    LineBatch m_kept;                                 // lines with their CR LF, written since the last write
    DeliveryCounts m_counts;
};

} // namespace korvane
