// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/linereader.h"

#include "settings/lineend.h"

#include <cerrno>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

// Large enough that a source of ordinary log lines costs one system call per few hundred lines.
constexpr std::size_t kBufferSize = 64 * 1024;

// The reason alone, without the file's name: the callers name the file. fopen and fread do not
// promise to set errno on every failure; systemFailure takes that for an input/output error.
Failure readFailure(int error)
{
    return systemFailure({}, error);
}

// Opens a regular file for reading. Opening does not wait (a FIFO without a writer would block
// the only thread), and what is opened is checked, not the name, so a link swapped meanwhile
// changes nothing.
Result<std::FILE*> openUnbuffered(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return readFailure(errno);
    }
    struct stat st
    {};
    if (::fstat(fd, &st) != 0) {
        const Failure failure = readFailure(errno);
        ::close(fd);
        return failure;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return S_ISDIR(st.st_mode) ? readFailure(EISDIR) : Failure{"not a regular file"};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) {
        const Failure failure = readFailure(errno);
        ::close(fd);
        return failure;
    }
    // Reads go straight into our own buffer; stdio's would only copy every byte once more.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

Failure tooLong(std::int64_t lineNumber)
{
    return {"line " + std::to_string(lineNumber) + " is longer than 1 MiB"};
}

} // namespace

LineReader::~LineReader()
{
    close();
}

Result<> LineReader::open(const std::filesystem::path& path)
{
    close();
    m_failure.reset();
    Result<std::FILE*> opened = openUnbuffered(path);
    if (!opened) {
        m_failure = opened.failure();
        return opened.failure();
    }
    m_file = opened.value();
    m_buffer.resize(kBufferSize);
    // Reading at once makes a source that opens but cannot be read (a folder) fail here, where
    // the caller expects failures, rather than pass for an empty file.
    if (!fill() && m_failure) {
        close();
        return *m_failure;
    }
    return {};
}

void LineReader::close()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_pos = 0;
    m_len = 0;
    m_eof = false;
    m_lineNumber = 0;
}

bool LineReader::fill()
{
    if (m_file == nullptr || m_eof) {
        return false;
    }
    m_pos = 0;
    errno = 0;
    m_len = std::fread(m_buffer.data(), 1, m_buffer.size(), m_file);
    if (m_len > 0) {
        return true;
    }
    m_eof = true;
    if (std::ferror(m_file) != 0) {
        m_failure = readFailure(errno);
    }
    return false;
}

bool LineReader::atEnd()
{
    return m_pos >= m_len && !fill();
}

bool LineReader::readLine(std::string& line)
{
    line.clear();
    if (atEnd()) {
        return false;
    }
    ++m_lineNumber;
    for (;;) {
        const std::string_view rest(m_buffer.data() + m_pos, m_len - m_pos);
        const LineEnd found = findLineEnd(rest);
        if (line.size() + found.position > kMaxLineLength) {
            // The rest of the file is not read: it ends here for the caller.
            m_failure = tooLong(m_lineNumber);
            m_pos = m_len;
            m_eof = true;
            line.clear();
            return false;
        }
        line.append(rest.data(), found.position);
        if (found.length > 0) {
            m_pos += found.position + found.length;
            // CR LF is one line end, also when the buffer ends between the two.
            const bool crAtBufferEnd = found.length == 1 && rest[found.position] == '\r' && m_pos == m_len;
            if (crAtBufferEnd && fill() && m_buffer[m_pos] == '\n') {
                ++m_pos;
            }
            return true;
        }
        m_pos = m_len;
        if (!fill()) {
            // A last line without a line end is still a line; a read error spoils it.
            return !m_failure;
        }
    }
}

Result<std::vector<std::string>> readAllLines(const std::filesystem::path& path)
{
    LineReader reader;
    if (Result<> opened = reader.open(path); !opened) {
        return opened.failure();
    }
    std::vector<std::string> lines;
    for (std::string line; reader.readLine(line);) {
        lines.push_back(std::move(line));
    }
    if (reader.failure()) {
        return *reader.failure();
    }
    return lines;
}

Result<std::int64_t> countLines(const std::filesystem::path& path)
{
    const Result<std::FILE*> opened = openUnbuffered(path);
    if (!opened) {
        return opened.failure();
    }
    std::FILE* const file = opened.value();
    std::vector<char> buffer(kBufferSize);
    std::int64_t count = 0;
    bool crAtBufferEnd = false; // so an LF first in the next buffer ends no further line
    bool openLine = false;      // bytes have been seen since the last line end
    for (;;) {
        errno = 0;
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file);
        if (n == 0) {
            break;
        }
        std::string_view rest(buffer.data(), n);
        if (crAtBufferEnd && rest.front() == '\n') {
            rest.remove_prefix(1);
        }
        crAtBufferEnd = false;
        for (LineEnd found = findLineEnd(rest); found.length > 0; found = findLineEnd(rest)) {
            ++count;
            openLine = false;
            crAtBufferEnd = found.length == 1 && rest[found.position] == '\r' && found.position + 1 == rest.size();
            rest.remove_prefix(found.position + found.length);
        }
        openLine = openLine || !rest.empty();
    }
    const bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        return readFailure(readError);
    }
    return count + (openLine ? 1 : 0);
}

} // namespace korvane
