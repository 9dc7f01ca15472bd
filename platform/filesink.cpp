// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/filesink.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

bool hasWriteBits(const std::filesystem::path& path)
{
    struct stat st
    {};
    if (::stat(path.c_str(), &st) != 0) {
        return true; // absent: nothing forbids it yet
    }
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// The reason alone: the caller names the file.
Failure fileFailure(int error)
{
    return systemFailure({}, error);
}

// Writes all of `bytes` in as few calls as the system allows. Returns 0, or the errno of the
// failure; `written` tells how many bytes went in before it.
int writeAll(int fd, std::string_view bytes, std::size_t& written)
{
    written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

FileSink::~FileSink()
{
    close();
}

Result<> FileSink::open(const std::filesystem::path& path, Mode mode)
{
    close();
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    if ((exists && !hasWriteBits(path)) || (!exists && !hasWriteBits(folder))) {
        m_failure = fileFailure(EACCES);
        return m_failure;
    }
    m_path = path;
    if (!openDescriptor()) {
        return m_failure;
    }
    // Emptied only once this run holds the file: another run's lines are never cut.
    if (mode == Mode::Truncate && ::ftruncate(m_fd, 0) != 0 && errno != EINVAL) {
        m_failure = fileFailure(errno);
        close();
        return m_failure;
    }

    // A last line left without its end by a crash or a power loss is ended before ours follow.
    struct stat st
    {};
    char last = '\n';
    if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        ::pread(m_fd, &last, 1, st.st_size - 1) == 1 && last != '\n' && last != '\r') {
        std::size_t written = 0;
        if (const int err = writeAll(m_fd, "\r\n", written); err != 0) {
            m_failure = fileFailure(err);
            close();
            return m_failure;
        }
    }
    m_failure = {};
    return {};
}

std::optional<Failure> FileSink::unfitKind(mode_t mode)
{
    // A reader-less pipe or a socket would hold every write up, or take nothing: refused by name.
    if (S_ISFIFO(mode)) {
        return Failure{"a named pipe, not a regular file"};
    }
    if (S_ISSOCK(mode)) {
        return Failure{"a socket, not a regular file"};
    }
    if (S_ISBLK(mode)) {
        return Failure{"a block device, not a regular file"};
    }
    return std::nullopt;
}

bool FileSink::openDescriptor()
{
    // What the name stands for (behind any link) is looked at first: opening a pipe or a socket
    // could wait, or fail with words that do not say why.
    struct stat st
    {};
    if (::stat(m_path.c_str(), &st) == 0) {
        if (std::optional<Failure> unfit = unfitKind(st.st_mode)) {
            m_failure = *unfit;
            return false;
        }
    }
    // Opened without waiting in any case (the name may have changed since), looked at again, and
    // only then made to wait for the medium as a file does.
    // Read access only to look at the last byte; writes always go to the end.
    constexpr int kFlags = O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK;
    const int fd = ::open(m_path.c_str(), O_RDWR | kFlags, 0666);
    if (fd < 0) {
        const int err = errno;
        // A write-only file (or device) is still a fine output.
        const int wfd = err == EACCES ? ::open(m_path.c_str(), O_WRONLY | kFlags, 0666) : -1;
        if (wfd < 0) {
            m_failure = fileFailure(err);
            return false;
        }
        m_fd = wfd;
    } else {
        m_fd = fd;
    }
    std::optional<Failure> unfit;
    if (::fstat(m_fd, &st) == 0) {
        unfit = unfitKind(st.st_mode);
    }
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (!unfit && (flags < 0 || ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
        unfit = fileFailure(errno);
    }
    if (unfit) {
        m_failure = *unfit;
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    // One run at a time per file, so that two runs never mix their lines in it.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        m_failure = {"in use by another run of Korvane"};
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_nextCheck = std::chrono::steady_clock::now() + m_checkInterval;
    return true;
}

void FileSink::close()
{
    if (m_fd >= 0 && !m_kept.empty()) {
        [[maybe_unused]] const Result<> written = writeKept();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void FileSink::followRotation()
{
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextCheck) {
        return;
    }
    m_nextCheck = now + m_checkInterval;
    struct stat st
    {};
    if (::stat(m_path.c_str(), &st) == 0 && st.st_dev == m_device && st.st_ino == m_inode) {
        return;
    }
    // Renamed or deleted: open the name afresh. Should that fail, the lines keep going to the
    // file still open rather than nowhere, and the next check tries again.
    const int old = m_fd;
    m_fd = -1;
    if (openDescriptor()) {
        ::close(old);
    } else {
        m_fd = old;
    }
}

SinkResult FileSink::write(std::string_view line)
{
    if (m_fd < 0) {
        return m_failure.reason.empty() ? Failure{"the output file is not open"} : m_failure;
    }
    m_kept.append(line, "\r\n");
    if (m_kept.bytes.size() >= kBatchBytes) {
        if (Result<> written = writeKept(); !written) {
            // This line, the last kept, cannot have gone in; it fails rather than being taken.
            --m_counts.undelivered;
            return written.failure();
        }
    }
    return Delivery::Sent;
}

FlushResult FileSink::flush()
{
    if (m_kept.empty()) {
        return Flushed{};
    }
    if (Result<> written = writeKept(); !written) {
        return written.failure();
    }
    return Flushed{};
}

Result<> FileSink::writeKept()
{
    followRotation();
    std::size_t written = 0;
    const int err = writeAll(m_fd, m_kept.bytes, written);
    // Part of a line went in (a full disk): cut it off again, so the file ends with a whole line
    // and a later run appends cleanly.
    const std::size_t whole = m_kept.wholeLinesIn(written);
    const std::size_t partial = written - whole;
    const auto linesIn = static_cast<std::int64_t>(m_kept.linesIn(whole));
    m_counts.delivered += linesIn;
    m_counts.undelivered += static_cast<std::int64_t>(m_kept.lines()) - linesIn;
    m_kept.clear();
    if (err == 0) {
        return {};
    }
    if (partial > 0) {
        struct stat st
        {};
        if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= static_cast<off_t>(partial)) {
            [[maybe_unused]] const int cut = ::ftruncate(m_fd, st.st_size - static_cast<off_t>(partial));
        }
    }
    return fileFailure(err);
}

} // namespace korvane
