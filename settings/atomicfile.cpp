#include "settings/atomicfile.h"

#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

// access() alone says yes to root whatever the bits say; the bits are what an operator sets to
// protect a file or folder, so both must allow writing.
bool permitsWriting(const std::filesystem::path& path, const struct stat& info)
{
    return ::access(path.c_str(), W_OK) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool writeAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
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
// so that a full disk fails the write before any byte of the old content changes.
bool rewriteInPlace(const std::filesystem::path& target, std::string_view content)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat info
    {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const auto length = static_cast<off_t>(content.size());
    if (ok && length > info.st_size) {
        const int reserved = ::posix_fallocate(fd, 0, length);
        // A file system without preallocation still takes the write below.
        ok = reserved == 0 || reserved == EOPNOTSUPP || reserved == EINVAL;
    }
    ok = ok && writeAll(fd, content) && ::fsync(fd) == 0;
    // Cut only once the new bytes are on the disk: a longer old file loses just its stale tail.
    ok = ok && ::ftruncate(fd, length) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

} // namespace

std::optional<std::string> readFileContent(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        return std::nullopt;
    }
    return content;
}

bool replaceFileAtomically(const std::filesystem::path& path, std::string_view content)
{
    std::error_code ec;
    std::filesystem::path target = std::filesystem::absolute(path, ec);
    if (ec) {
        return false;
    }
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::canonical(target, ec);
        if (ec) {
            return false;
        }
    }
    const std::filesystem::path folder = target.parent_path();

    struct stat folderInfo
    {};
    if (::stat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode)) {
        return false;
    }
    struct stat fileInfo
    {};
    const bool exists = ::stat(target.c_str(), &fileInfo) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    if (exists && (!S_ISREG(fileInfo.st_mode) || !permitsWriting(target, fileInfo))) {
        return false;
    }
    // A writable file in a protected folder is still the operator's to change, only not by
    // rename: the folder's bits forbid new names in it, whoever the process is.
    if (!permitsWriting(folder, folderInfo)) {
        return exists && rewriteInPlace(target, content);
    }

    std::filesystem::path tempPath;
    const int fd = createTemporaryFile(target, tempPath);
    if (fd < 0) {
        return exists && rewriteInPlace(target, content);
    }
    bool ok = writeAll(fd, content);
    if (ok && exists) {
        if (fileInfo.st_uid != ::geteuid() || fileInfo.st_gid != ::getegid()) {
            // Only root may give the file back to its owner; anyone else keeps it as theirs.
            if (::fchown(fd, fileInfo.st_uid, fileInfo.st_gid) != 0) {
                errno = 0;
            }
        }
        ok = ::fchmod(fd, fileInfo.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tempPath.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    syncFolder(folder);
    return true;
}

} // namespace korvane
