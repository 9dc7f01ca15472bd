// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace korvane {

// The whole content of a file, read as bytes; a failure ("PATH: the system's words") when it
// cannot be opened or read.
Result<std::string> readFileContent(const std::filesystem::path& path);

// Replaces the file at `path` (created when absent) by `content` the way a save file does:
// the bytes go to a temporary file in the same folder, are flushed to the disk, and only then
// is the temporary file renamed over `path`, so a crash or a full disk leaves either the old
// or the new file, never a part. An existing file keeps its permission bits and, where the
// process may, its owner; a symbolic link is followed and its target replaced.
// When no temporary file can be made in the folder (its permission bits allow no writing, or
// creating one fails) but the existing file may be written, the file is rewritten in place
// instead: written from its start, flushed, then cut to the new length. That is not atomic,
// but it is the only way such a file can change at all.
// Refuses, failing with EACCES, a file whose permission bits allow no writing at all, and a new
// file in a folder whose bits allow no writing, even to a process that could write anyway
// (root), because renaming over such a file would otherwise succeed on POSIX and defeat the
// operator's protection. A failure reads "PATH: the system's words".
Result<> replaceFileAtomically(const std::filesystem::path& path, std::string_view content);

} // namespace korvane
