// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <filesystem>
#include <system_error>

// Makes a folder the process's working directory for the life of the object, and puts the
// previous one back afterwards, so that each test sees korvane.ini in its own folder.
class CurrentFolder
{
public:
    explicit CurrentFolder(const std::filesystem::path& folder) : m_saved(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder()
    {
        std::error_code ec;
        std::filesystem::current_path(m_saved, ec);
    }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    std::filesystem::path m_saved;
};
