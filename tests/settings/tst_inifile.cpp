// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "currentfolder.h"
#include "settings/atomicfile.h"
#include "settings/profile.h"
#include "stdtostring.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;
namespace fs = std::filesystem;

namespace {

std::string fileContent(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void putFile(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

std::set<std::string> namesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

fs::perms permsOf(const fs::path& path)
{
    return fs::status(path).permissions() & fs::perms::mask;
}

// Puts back the permission bits of a path when the test ends, so the temporary folder can go.
class PermissionGuard
{
public:
    explicit PermissionGuard(fs::path path) : m_path(std::move(path)), m_perms(permsOf(m_path)) {}
    ~PermissionGuard()
    {
        std::error_code ec;
        fs::permissions(m_path, m_perms, ec);
    }
    PermissionGuard(const PermissionGuard&) = delete;
    PermissionGuard& operator=(const PermissionGuard&) = delete;

private:
    fs::path m_path;
    fs::perms m_perms;
};

const std::string kEdited = "; hand-made\r\n[Settings]\r\nDelay=5\r\n\r\n[Other]\r\nKey=1\r\n";

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void absentFileReadsEmpty();
    void writeCreatesTheFile();
    void writeKeepsEverythingElse();
    void pathFollowsTheWorkingDirectory();
    void trailingSeparatorNamesTheSameFile();
    void keepsPermissionBits();
    void newFileGetsTheUsualBits();
    void followsASymbolicLink();
    void refusesProtectedFiles_data();
    void refusesProtectedFiles();
    void rewritesInPlaceInAProtectedFolder();
    void unreadableFileToldFromAbsent_data();
    void unreadableFileToldFromAbsent();
    void lockHeldOnTheFolderAndNested();
    void failuresTellTheSystemsReason();
};

void TestIniFile::absentFileReadsEmpty()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    QCOMPARE(ReadSetting("Delay"), std::string());
    QVERIFY(namesIn(fs::current_path()).empty());
}

void TestIniFile::writeCreatesTheFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    QVERIFY(WriteSetting("Delay", "1"));
    QVERIFY(WriteSetting("onetime", "0"));
    QVERIFY(WriteSetting("delay", "2"));
    QCOMPARE(fileContent("korvane.ini"), std::string("[Settings]\r\nDelay=2\r\nonetime=0\r\n"));
    QCOMPARE(ReadSetting("DELAY"), std::string("2"));
    // No temporary file is left behind.
    QCOMPARE(namesIn(fs::current_path()), std::set<std::string>{"korvane.ini"});
}

void TestIniFile::writeKeepsEverythingElse()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    putFile("korvane.ini", kEdited);
    QVERIFY(WriteSetting("Delay", "0.5"));
    QVERIFY(WriteSetting("PositionX", "1440"));
    QCOMPARE(fileContent("korvane.ini"),
             std::string("; hand-made\r\n[Settings]\r\nDelay=0.5\r\nPositionX=1440\r\n\r\n[Other]\r\nKey=1\r\n"));
}

void TestIniFile::pathFollowsTheWorkingDirectory()
{
    QTemporaryDir first;
    QTemporaryDir second;
    QVERIFY(first.isValid() && second.isValid());
    {
        CurrentFolder here(first.path().toStdString());
        QVERIFY(WriteSetting("Delay", "3"));
    }
    CurrentFolder here(second.path().toStdString());
    QCOMPARE(ReadSetting("Delay"), std::string());
    QVERIFY(WriteSetting("Delay", "4"));
    QCOMPARE(fileContent(fs::path(first.path().toStdString()) / "korvane.ini"),
             std::string("[Settings]\r\nDelay=3\r\n"));
    QCOMPARE(ReadSetting("Delay"), std::string("4"));
}

void TestIniFile::trailingSeparatorNamesTheSameFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const fs::path folder = dir.path().toStdString();
    CurrentFolder here(dir.path().toStdString() + "/");
    QVERIFY(WriteSetting("Delay", "2"));
    QVERIFY(fs::equivalent(settingsFilePath(), folder / "korvane.ini"));
    QCOMPARE(fileContent(folder / "korvane.ini"), std::string("[Settings]\r\nDelay=2\r\n"));
    QCOMPARE(ReadSetting("Delay"), std::string("2"));
}

void TestIniFile::keepsPermissionBits()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    putFile("korvane.ini", kEdited);
    const fs::perms chosen = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions("korvane.ini", chosen);
    QVERIFY(WriteSetting("Delay", "1"));
    QCOMPARE(permsOf("korvane.ini"), chosen);
}

void TestIniFile::newFileGetsTheUsualBits()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    putFile("reference", "x"); // created with the process's umask, like any new file
    QVERIFY(WriteSetting("Delay", "1"));
    QCOMPARE(permsOf("korvane.ini"), permsOf("reference"));
}

void TestIniFile::followsASymbolicLink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    fs::create_directory("shared");
    putFile("shared/real.ini", kEdited);
    fs::create_symlink("shared/real.ini", "korvane.ini");
    QVERIFY(WriteSetting("Delay", "7"));
    QVERIFY(fs::is_symlink("korvane.ini"));
    QCOMPARE(ReadSetting("Delay"), std::string("7"));
    QCOMPARE(profileRead(fileContent("shared/real.ini"), "Settings", "Delay"), std::string("7"));
}

// The permission bits are what counts, so these rows hold also when the tests run as root.
void TestIniFile::refusesProtectedFiles_data()
{
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<bool>("fileReadOnly");
    QTest::addColumn<bool>("folderReadOnly");

    QTest::newRow("read-only file") << true << true << false;
    QTest::newRow("read-only folder without file") << false << false << true;
    QTest::newRow("read-only folder with a read-only file") << true << true << true;
}

void TestIniFile::refusesProtectedFiles()
{
    QFETCH(bool, withFile);
    QFETCH(bool, fileReadOnly);
    QFETCH(bool, folderReadOnly);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const fs::path folder = dir.path().toStdString();
    CurrentFolder here(folder);
    if (withFile) {
        putFile("korvane.ini", kEdited);
    }
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    PermissionGuard folderGuard(folder);
    if (fileReadOnly) {
        fs::permissions("korvane.ini", readOnly);
    }
    if (folderReadOnly) {
        fs::permissions(folder, readOnly | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    }
    const std::set<std::string> before = namesIn(folder);

    QVERIFY(!WriteSetting("Delay", "1"));
    QVERIFY(!WriteSetting("NewKey", "1"));

    QCOMPARE(namesIn(folder), before);
    if (withFile) {
        QCOMPARE(fileContent("korvane.ini"), kEdited);
        QCOMPARE(ReadSetting("Delay"), std::string("5"));
    }
    if (fileReadOnly) {
        QCOMPARE(permsOf("korvane.ini"), readOnly);
    }
}

// The folder's bits forbid the temporary file (checked by bits, so also as root); the file's
// own bits allow writing, so it changes in place: same inode, no other name in the folder.
void TestIniFile::rewritesInPlaceInAProtectedFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const fs::path folder = dir.path().toStdString();
    CurrentFolder here(folder);
    putFile("korvane.ini", "[Settings]\r\nDelay=12345\r\n\r\n[Other]\r\nKey=1\r\n");
    PermissionGuard folderGuard(folder);
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    struct stat before
    {};
    QCOMPARE(::stat("korvane.ini", &before), 0);

    QVERIFY(WriteSetting("Delay", "1")); // shorter: the old tail must be cut
    QCOMPARE(fileContent("korvane.ini"), std::string("[Settings]\r\nDelay=1\r\n\r\n[Other]\r\nKey=1\r\n"));
    QVERIFY(WriteSetting("PositionX", "1440")); // longer
    QCOMPARE(fileContent("korvane.ini"),
             std::string("[Settings]\r\nDelay=1\r\nPositionX=1440\r\n\r\n[Other]\r\nKey=1\r\n"));

    struct stat after
    {};
    QCOMPARE(::stat("korvane.ini", &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(namesIn(folder), std::set<std::string>{"korvane.ini"});
}

void TestIniFile::unreadableFileToldFromAbsent_data()
{
    QTest::addColumn<QString>("korvaneIni"); // what stands in the folder under that name
    QTest::addColumn<QString>("problem");

    QTest::newRow("absent: nothing to say, the keys get written") << "absent"
                                                                  << "";
    QTest::newRow("a file") << "file"
                            << "";
    QTest::newRow("a link to nowhere: absent") << "dangling link"
                                               << "";
    QTest::newRow("a folder") << "folder" << QString("korvane.ini: ") + std::strerror(EISDIR);
    QTest::newRow("a symbolic link loop") << "link loop" << QString("korvane.ini: ") + std::strerror(ELOOP);
    QTest::newRow("no permission to read") << "unreadable" << QString("korvane.ini: ") + std::strerror(EACCES);
    QTest::newRow("a named pipe") << "pipe"
                                  << "korvane.ini: not a regular file";
}

void TestIniFile::unreadableFileToldFromAbsent()
{
    QFETCH(QString, korvaneIni);
    QFETCH(QString, problem);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    if (korvaneIni == "file" || korvaneIni == "unreadable") {
        putFile("korvane.ini", "[Settings]\r\nDelay=2\r\n");
    } else if (korvaneIni == "dangling link") {
        fs::create_symlink("elsewhere.ini", "korvane.ini");
    } else if (korvaneIni == "folder") {
        fs::create_directory("korvane.ini");
    } else if (korvaneIni == "link loop") {
        fs::create_symlink("korvane.ini", "korvane.ini");
    } else if (korvaneIni == "pipe") {
        QCOMPARE(::mkfifo("korvane.ini", 0600), 0);
    }
    PermissionGuard guard(dir.path().toStdString());
    if (korvaneIni == "unreadable") {
        if (::geteuid() == 0) {
            QSKIP("root reads whatever the permission bits say");
        }
        fs::permissions("korvane.ini", fs::perms::owner_write);
    }

    QCOMPARE(QString::fromStdString(settingsFileProblem()), problem);
    IniProfileStore store;
    QCOMPARE(QString::fromStdString(store.problem()), problem);
    if (problem.isEmpty()) {
        return;
    }
    // What cannot be read reads as empty, and is not replaced by a file of one key.
    QCOMPARE(ReadSetting("Delay"), std::string());
    QVERIFY(!WriteSetting("Delay", "1"));
    QCOMPARE(QString::fromStdString(settingsFileProblem()), problem);
}

// The lock is on the folder, which outlives every rename of korvane.ini; it nests.
void TestIniFile::lockHeldOnTheFolderAndNested()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    const auto othersMayLock = [&] {
        const int fd = ::open(dir.path().toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    };
    IniProfileStore store;
    QVERIFY(othersMayLock());
    store.lock();
    QVERIFY(!othersMayLock());
    {
        const ProfileLock again(store);
        QVERIFY(store.write("Delay", "2")); // a write while held, renaming the file
    }
    QVERIFY(!othersMayLock());
    store.unlock();
    QVERIFY(othersMayLock());
    QVERIFY(namesIn(fs::current_path()) == std::set<std::string>{"korvane.ini"});
}

// The file layer keeps the system's error, for a caller that reports or tells causes apart.
void TestIniFile::failuresTellTheSystemsReason()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const fs::path path = fs::path(dir.path().toStdString()) / "korvane.ini";
    const Result<std::string> absent = readFileContent(path);
    QCOMPARE(absent.systemError(), ENOENT);
    QCOMPARE(absent.reason(), path.string() + ": " + std::strerror(ENOENT));

    putFile(path, kEdited);
    PermissionGuard guard(path);
    fs::permissions(path, fs::perms::owner_read);
    const Result<> refused = replaceFileAtomically(path, "[Settings]\r\n");
    QCOMPARE(refused.systemError(), EACCES);
    QCOMPARE(refused.reason(), path.string() + ": " + std::strerror(EACCES));
    QCOMPARE(fileContent(path), kEdited);
}

QTEST_APPLESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
