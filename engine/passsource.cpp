// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/passsource.h"

#include <cerrno>

#include <sys/stat.h>

namespace korvane {

Result<std::shared_ptr<const SourceLines>> SharedSource::lines()
{
    struct stat st
    {};
    if (::stat(m_path.c_str(), &st) != 0) {
        m_lines.reset();
        return systemFailure({}, errno);
    }
    const bool unchanged = m_lines && static_cast<std::size_t>(st.st_size) == m_size &&
                           st.st_mtim.tv_sec == m_changed.tv_sec && st.st_mtim.tv_nsec == m_changed.tv_nsec;
    if (!unchanged) {
        Result<std::vector<std::string>> read = readAllLines(m_path);
        if (!read) {
            m_lines.reset();
            return read.failure();
        }
        m_lines = std::make_shared<const SourceLines>(std::move(read.value()));
        m_size = static_cast<std::size_t>(st.st_size);
        m_changed = st.st_mtim;
    }
    return m_lines;
}

Result<> PassSource::open(const std::filesystem::path& path)
{
    if (!m_shared) {
        return m_reader.open(path);
    }
    m_next = 0;
    Result<std::shared_ptr<const SourceLines>> lines = m_shared->lines();
    if (!lines) {
        m_lines.reset();
        return lines.failure();
    }
    m_lines = std::move(lines.value());
    return {};
}

void PassSource::close()
{
    m_reader.close();
    m_lines.reset();
    m_next = 0;
}

bool PassSource::atEnd()
{
    if (!m_shared) {
        return m_reader.atEnd();
    }
    return !m_lines || m_next >= m_lines->size();
}

bool PassSource::readLine(std::string& line)
{
    if (!m_shared) {
        return m_reader.readLine(line);
    }
    if (atEnd()) {
        line.clear();
        return false;
    }
    line = (*m_lines)[m_next++];
    return true;
}

Result<std::shared_ptr<const SourceLines>> PassSource::allLines(const std::filesystem::path& path)
{
    if (m_shared) {
        return m_shared->lines();
    }
    Result<std::vector<std::string>> read = readAllLines(path);
    if (!read) {
        return read.failure();
    }
    return std::make_shared<const SourceLines>(std::move(read.value()));
}

} // namespace korvane
