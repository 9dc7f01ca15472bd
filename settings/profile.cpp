// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/profile.h"

#include "settings/asciitext.h"
#include "settings/atomicfile.h"
#include "settings/lineend.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

constexpr std::string_view kSettingsSection = "Settings";
constexpr std::string_view kSettingsFileName = "korvane.ini";
// The classic profile read buffer holds 100 bytes including the terminator.
constexpr std::size_t kMaxValueLength = 99;
// Text editors on several platforms put a UTF-8 byte-order mark before the first line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One line of the file as byte offsets: [begin, end) is its text, [end, next) its line end
// (CR LF, LF or a lone CR; empty for a last line without one).
struct Line
{
    std::size_t begin;
    std::size_t end;
    std::size_t next;
};

std::vector<Line> splitLines(std::string_view content)
{
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < content.size()) {
        const LineEnd found = findLineEnd(content.substr(begin));
        const std::size_t end = begin + found.position;
        lines.push_back({begin, end, end + found.length});
        begin = end + found.length;
    }
    return lines;
}

// The file's own line end: the first one it contains, or CR LF when it has none.
std::string_view lineEndOf(std::string_view content, const std::vector<Line>& lines)
{
    for (const Line& line : lines) {
        if (line.next > line.end) {
            return content.substr(line.end, line.next - line.end);
        }
    }
    return "\r\n";
}

enum class LineKind
{
    Blank,
    Comment,
    Section,
    Key,
    Other
};

struct ParsedLine
{
    LineKind kind = LineKind::Other;
    std::string_view name;      // section or key name, trimmed
    std::size_t valueBegin = 0; // absolute offsets of the trimmed value of a key line
    std::size_t valueEnd = 0;
};

ParsedLine parseLine(std::string_view content, const Line& line)
{
    ParsedLine parsed;
    const std::string_view text = content.substr(line.begin, line.end - line.begin);
    const std::string_view body = withoutBlanksAround(text);
    if (body.empty()) {
        parsed.kind = LineKind::Blank;
    } else if (body.front() == ';' || body.front() == '#') {
        parsed.kind = LineKind::Comment;
    } else if (body.front() == '[') {
        // Whatever follows the closing bracket is ignored; a header without one names the
        // rest of the line.
        std::string_view name = body.substr(1);
        name = name.substr(0, name.find(']'));
        parsed.kind = LineKind::Section;
        parsed.name = withoutBlanksAround(name);
    } else if (const std::size_t equals = text.find('='); equals != std::string_view::npos) {
        parsed.kind = LineKind::Key;
        parsed.name = withoutBlanksAround(text.substr(0, equals));
        std::size_t from = equals + 1;
        std::size_t to = text.size();
        while (from < to && isBlank(text[from])) {
            ++from;
        }
        while (to > from && isBlank(text[to - 1])) {
            --to;
        }
        parsed.valueBegin = line.begin + from;
        parsed.valueEnd = line.begin + to;
    }
    return parsed;
}

// Where a key of a section stands in the file. Only the first section of that name is
// searched, and in it the first line of that key counts.
struct Location
{
    std::optional<std::size_t> section; // index of the header line
    std::optional<std::size_t> key;     // index of the key line
    std::size_t valueBegin = 0;         // absolute offsets of the key's trimmed value
    std::size_t valueEnd = 0;
    std::size_t lastContent = 0; // last line of the section that is not blank or a comment
};

Location locate(std::string_view content, const std::vector<Line>& lines, std::string_view section,
                std::string_view key)
{
    Location where;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = parseLine(content, lines[i]);
        if (!where.section) {
            if (parsed.kind == LineKind::Section && sameIgnoringCase(parsed.name, section)) {
                where.section = i;
                where.lastContent = i;
            }
            continue;
        }
        if (parsed.kind == LineKind::Section) {
            break;
        }
        if (parsed.kind == LineKind::Blank || parsed.kind == LineKind::Comment) {
            continue;
        }
        where.lastContent = i;
        if (parsed.kind == LineKind::Key && !where.key && sameIgnoringCase(parsed.name, key)) {
            where.key = i;
            where.valueBegin = parsed.valueBegin;
            where.valueEnd = parsed.valueEnd;
        }
    }
    return where;
}

// The content without a leading byte-order mark, which is no part of the first line.
std::string_view withoutByteOrderMark(std::string_view content)
{
    if (content.starts_with(kByteOrderMark)) {
        content.remove_prefix(kByteOrderMark.size());
    }
    return content;
}

Result<std::string> readWholeFile(const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return ec ? systemFailure(path.string(), ec.value()) : Failure{path.string() + ": not a regular file"};
    }
    return readFileContent(path);
}

} // namespace

std::string profileRead(std::string_view content, std::string_view section, std::string_view key)
{
    section = withoutBlanksAround(section);
    key = withoutBlanksAround(key);
    if (section.empty() || key.empty()) {
        return {};
    }
    content = withoutByteOrderMark(content);
    const std::vector<Line> lines = splitLines(content);
    const Location where = locate(content, lines, section, key);
    if (!where.key) {
        return {};
    }
    std::string_view value = content.substr(where.valueBegin, where.valueEnd - where.valueBegin);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kMaxValueLength));
}

std::string profileWrite(std::string_view content, std::string_view section, std::string_view key,
                         std::string_view value)
{
    section = withoutBlanksAround(section);
    key = withoutBlanksAround(key);
    if (section.empty() || key.empty()) {
        return std::string(content);
    }
    // A byte-order mark stays in front of whatever the first line becomes.
    const std::string_view rest = withoutByteOrderMark(content);
    const std::string_view mark = content.substr(0, content.size() - rest.size());
    content = rest;
    const std::vector<Line> lines = splitLines(content);
    const std::string_view lineEnd = lineEndOf(content, lines);
    const Location where = locate(content, lines, section, key);

    std::string keyLine;
    keyLine.append(key).append("=").append(value);

    std::string result;
    result.reserve(mark.size() + content.size() + keyLine.size() + section.size() + 8);
    result.append(mark);
    if (where.key) {
        result.append(content.substr(0, where.valueBegin));
        result.append(value);
        result.append(content.substr(where.valueEnd));
    } else if (where.section) {
        // After the section's last key, so that blank lines and comments that lead into the
        // next section stay with it.
        const Line& anchor = lines[where.lastContent];
        if (anchor.next == anchor.end) {
            // The anchor is the file's last line and has no line end: keep the file ending
            // the same way.
            result.append(content.substr(0, anchor.end));
            result.append(lineEnd).append(keyLine);
            result.append(content.substr(anchor.end));
        } else {
            result.append(content.substr(0, anchor.next));
            result.append(keyLine).append(lineEnd);
            result.append(content.substr(anchor.next));
        }
    } else {
        result.append(content);
        if (!lines.empty()) {
            const Line& last = lines.back();
            if (last.next == last.end) {
                result.append(lineEnd);
            }
            if (parseLine(content, last).kind != LineKind::Blank) {
                result.append(lineEnd); // a blank line between sections
            }
        }
        result.append("[").append(section).append("]").append(lineEnd);
        result.append(keyLine).append(lineEnd);
    }
    return result;
}

std::filesystem::path settingsFilePath()
{
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    if (ec) {
        return {};
    }
    return folder / kSettingsFileName;
}

std::string ReadSetting(std::string_view key)
{
    const std::filesystem::path path = settingsFilePath();
    if (path.empty()) {
        return {};
    }
    const Result<std::string> content = readWholeFile(path);
    return content ? profileRead(content.value(), kSettingsSection, key) : std::string();
}

bool WriteSetting(std::string_view key, std::string_view value)
{
    if (withoutBlanksAround(key).empty()) {
        return false;
    }
    const std::filesystem::path path = settingsFilePath();
    if (path.empty()) {
        return false;
    }
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (ec) {
        return false;
    }
    std::string content;
    if (exists) {
        // A file that cannot be read must not be replaced by one holding a single key.
        Result<std::string> old = readWholeFile(path);
        if (!old) {
            return false;
        }
        content = std::move(old).value();
    }
    return replaceFileAtomically(path, profileWrite(content, kSettingsSection, key, value)).ok();
}

std::string settingsFileProblem()
{
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    if (ec) {
        return systemFailure(kSettingsFileName, ec.value()).reason;
    }
    const std::filesystem::path path = folder / kSettingsFileName;
    // Not blocking, so that a named pipe in its place does not hang the start.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? std::string() : systemFailure(kSettingsFileName, errno).reason;
    }
    struct stat info = {};
    const int error = ::fstat(fd, &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    ::close(fd);
    if (error != 0) {
        return systemFailure(kSettingsFileName, error).reason;
    }
    return S_ISREG(info.st_mode) ? std::string() : std::string(kSettingsFileName) + ": not a regular file";
}

IniProfileStore::~IniProfileStore()
{
    if (m_folder >= 0) {
        ::close(m_folder);
    }
}

bool IniProfileStore::write(std::string_view key, std::string_view value)
{
    const ProfileLock held(*this);
    return WriteSetting(key, value);
}

void IniProfileStore::lock()
{
    if (m_depth++ > 0) {
        return;
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    if (ec) {
        return;
    }
    m_folder = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) {
        return;
    }
    while (::flock(m_folder, LOCK_EX) != 0) {
        if (errno != EINTR) {
            // No locking here (a file system without it): go on as before there was any.
            ::close(m_folder);
            m_folder = -1;
            return;
        }
    }
}

void IniProfileStore::unlock()
{
    if (m_depth == 0 || --m_depth > 0) {
        return;
    }
    if (m_folder >= 0) {
        ::close(m_folder); // closing the last descriptor of the folder releases its lock
        m_folder = -1;
    }
}

} // namespace korvane
