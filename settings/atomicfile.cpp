// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

// 0 when the file or folder may be written, else the errno that says why not. access() alone
// says yes to root whatever the bits say; the bits are what an operator sets to protect a file
// or folder, so both must allow writing.
int writingRefused(const std::filesystem::path& path, const struct stat& info)
{
    if (::access(path.c_str(), W_OK) != 0) {
        return errno;
    }
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 ? 0 : EACCES;
}

// Returns 0, or the errno of the failure.
int writeAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Makes the rename itself durable. Best effort: some file systems refuse fsync on a folder.
void syncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int createTemporaryFile(const std::filesystem::path& target, std::filesystem::path& tempPath)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Built by appending: GCC 12 misreads `"." + string` chains as overlapping copies.
        std::string name(1, '.');
        name.append(target.filename().string())
            .append(".")
            .append(std::to_string(::getpid()))
            .append(".")
            .append(std::to_string(counter++))
            .append(".tmp");
        tempPath = target.parent_path() / name;
        // 0666 lets the umask decide the bits of a new file, as for any file the program creates.
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// The fallback when no temporary file can be made beside the file: the same inode gets the new
// bytes, so its owner and bits stay as they are. Room for a longer content is reserved first,
// so that a full disk fails the write before any byte of the old content changes. Returns 0, or
// the errno of the first failure.
int rewriteInPlace(const std::filesystem::path& target, std::string_view content)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    struct stat info
    {};
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = EINVAL; // no longer the regular file looked at before
    }
    const auto length = static_cast<off_t>(content.size());
    if (error == 0 && length > info.st_size) {
        const int reserved = ::posix_fallocate(fd, 0, length);
        // A file system without preallocation still takes the write below.
        if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
            error = reserved;
        }
    }
    if (error == 0) {
        error = writeAll(fd, content);
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    // Cut only once the new bytes are on the disk: a longer old file loses just its stale tail.
    if (error == 0 && (::ftruncate(fd, length) != 0 || ::fsync(fd) != 0)) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    return error;
}

Result<> rewrittenInPlace(const std::filesystem::path& target, std::string_view content, const std::string& name)
{
    if (const int error = rewriteInPlace(target, content); error != 0) {
        return systemFailure(name, error);
    }
    return {};
}

} // namespace

Result<std::string> readFileContent(const std::filesystem::path& path)
{
    // Plain system calls rather than a stream: a stream keeps no errno and may throw on a read
    // error.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return systemFailure(path.string(), errno);
    }
    std::string content;
    char buffer[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            content.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            return systemFailure(path.string(), error);
        }
    }
    ::close(fd);
    return content;
}

Result<> replaceFileAtomically(const std::filesystem::path& path, std::string_view content)
{
    const std::string name = path.string();
    std::error_code ec;
    std::filesystem::path target = std::filesystem::absolute(path, ec);
    if (ec) {
        return systemFailure(name, ec.value());
    }
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::canonical(target, ec);
        if (ec) {
            return systemFailure(name, ec.value());
        }
    }
    const std::filesystem::path folder = target.parent_path();

    struct stat folderInfo
    {};
    if (::stat(folder.c_str(), &folderInfo) != 0) {
        return systemFailure(name, errno);
    }
    if (!S_ISDIR(folderInfo.st_mode)) {
        return systemFailure(name, ENOTDIR);
    }
    struct stat fileInfo
    {};
    const bool exists = ::stat(target.c_str(), &fileInfo) == 0;
    if (!exists && errno != ENOENT) {
        return systemFailure(name, errno);
    }
    if (exists && !S_ISREG(fileInfo.st_mode)) {
        return S_ISDIR(fileInfo.st_mode) ? systemFailure(name, EISDIR) : Failure{name + ": not a regular file"};
    }
    if (exists) {
        if (const int refused = writingRefused(target, fileInfo); refused != 0) {
            return systemFailure(name, refused);
        }
    }
    // A writable file in a protected folder is still the operator's to change, only not by
    // rename: the folder's bits forbid new names in it, whoever the process is.
    if (const int refused = writingRefused(folder, folderInfo); refused != 0) {
        return exists ? rewrittenInPlace(target, content, name) : systemFailure(name, refused);
    }

    std::filesystem::path tempPath;
    const int fd = createTemporaryFile(target, tempPath);
    if (fd < 0) {
        return exists ? rewrittenInPlace(target, content, name) : systemFailure(name, errno);
    }
    int error = writeAll(fd, content);
    if (error == 0 && exists) {
        if (fileInfo.st_uid != ::geteuid() || fileInfo.st_gid != ::getegid()) {
            // Only root may give the file back to its owner; anyone else keeps it as theirs.
            [[maybe_unused]] const int given = ::fchown(fd, fileInfo.st_uid, fileInfo.st_gid);
        }
        if (::fchmod(fd, fileInfo.st_mode & 07777) != 0) {
            error = errno;
        }
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(tempPath.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(tempPath.c_str());
        return systemFailure(name, error);
    }
    syncFolder(folder);
    return {};
}

} // namespace korvane
