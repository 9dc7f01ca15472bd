// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace korvane {

// The INI profile format, with the results of the classic profile functions:
// section and key names match without regard to letter case, blanks around names and
// values are ignored, a value in matching quotes is read without them, and only the first
// 99 characters of a value are seen. An absent section or key reads as "". Lines starting
// with ';' or '#' are comments; only the first section of a name and in it the first line of
// a key count. CR LF, LF and a lone CR all end a line. A leading UTF-8 byte-order mark is
// skipped.
std::string profileRead(std::string_view content, std::string_view section, std::string_view key);

// Returns `content` with `key` of `section` set to `value`: an existing key keeps its place
// and gets the new value, a new key goes after the last key of the section (so blank lines and
// comments leading into the next section stay there), a missing section is appended at the
// end after a blank line. Every other byte (a leading byte-order mark, comments, blank lines,
// other sections, line ends) is kept as it was; new lines end like the file's first line, or
// with CR LF.
std::string profileWrite(std::string_view content, std::string_view section, std::string_view key,
                         std::string_view value);

// "korvane.ini" in the process's current working directory, rebuilt at every call.
std::filesystem::path settingsFilePath();

// One key of section "Settings" of korvane.ini; "" when the file, section or key is absent.
std::string ReadSetting(std::string_view key);

// Stores one key of section "Settings" of korvane.ini, creating what is absent. The file is
// replaced atomically (temporary file in the same folder, then rename), so a failed write
// leaves the old file whole; a writable file in a folder that takes no new file is rewritten
// in place instead. Returns false when the write failed; callers may ignore it.
bool WriteSetting(std::string_view key, std::string_view value);

// Why korvane.ini in the working directory cannot be read: "korvane.ini: Is a directory",
// "korvane.ini: Too many levels of symbolic links", "korvane.ini: Permission denied". "" when
// it can be read, and when it is absent (its keys are then simply written).
std::string settingsFileProblem();

// Where the settings loader reads and writes keys; tests give it an in-memory store.
class ProfileStore
{
public:
    virtual ~ProfileStore() = default;
    virtual std::string read(std::string_view key) = 0;
    virtual bool write(std::string_view key, std::string_view value) = 0;
    // Why the store cannot be read at all; "" when it can (an absent file can).
    virtual std::string problem() { return {}; }
    // Keeps other runs from reading or writing the same keys until the matching unlock(), so
    // that a read and the repairs that follow it are one step. Nests. Stores that no other
    // process sees need nothing.
    virtual void lock() {}
    virtual void unlock() {}
};

// Holds a store's lock for the life of the object.
class ProfileLock
{
public:
    explicit ProfileLock(ProfileStore& store) : m_store(store) { m_store.lock(); }
    ~ProfileLock() { m_store.unlock(); }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    ProfileStore& m_store;
};

// The real store: ReadSetting and WriteSetting on korvane.ini in the working directory.
// Its lock is an advisory lock (flock) on the working directory itself: korvane.ini is
// replaced by a rename at every write, so a lock on the file would go with the old file, and
// the folder needs no lock file of its own (it may be read-only). A folder that cannot be
// opened or locked goes unlocked. Every write holds the lock too.
class IniProfileStore final : public ProfileStore
{
public:
    IniProfileStore() = default;
    ~IniProfileStore() override;
    IniProfileStore(const IniProfileStore&) = delete;
    IniProfileStore& operator=(const IniProfileStore&) = delete;

    std::string read(std::string_view key) override { return ReadSetting(key); }
    bool write(std::string_view key, std::string_view value) override;
    std::string problem() override { return settingsFileProblem(); }
    void lock() override;
    void unlock() override;

private:
    int m_depth = 0;
    int m_folder = -1; // the locked folder, while m_depth > 0
};

} // namespace korvane
