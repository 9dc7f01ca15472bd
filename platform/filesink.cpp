#include "filesink.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <sys/stat.h>

namespace korvane {

namespace {

bool hasWriteBits(const std::filesystem::path& path)
{
    struct stat st
    {};
    if (::stat(path.c_str(), &st) != 0)
        return true; // absent: nothing forbids it yet
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

} // namespace

FileSink::~FileSink()
{
    close();
}

bool FileSink::open(const std::filesystem::path& path, Mode mode)
{
    close();
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    if ((exists && !hasWriteBits(path)) || (!exists && !hasWriteBits(folder))) {
        m_error = std::strerror(EACCES);
        return false;
    }
    errno = 0;
    m_file = std::fopen(path.c_str(), mode == Mode::Append ? "ab" : "wb");
    if (!m_file) {
        m_error = std::strerror(errno ? errno : EIO);
        return false;
    }
    m_error.clear();
    return true;
}

void FileSink::close()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

SinkResult FileSink::write(std::string_view line)
{
    if (!m_file)
        return SinkResult::failed(m_error.empty() ? std::string("the output file is not open") : m_error);
    errno = 0;
    const bool ok = std::fwrite(line.data(), 1, line.size(), m_file) == line.size() &&
                    std::fwrite("\r\n", 1, 2, m_file) == 2 && std::fflush(m_file) == 0;
    if (!ok) {
        const int err = errno ? errno : EIO;
        std::clearerr(m_file);
        return SinkResult::failed(std::strerror(err));
    }
    return SinkResult::delivered();
}

} // namespace korvane
