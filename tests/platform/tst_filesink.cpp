// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/filesink.h"
#include "platform/rundriver.h"
#include "runfakes.h"
#include "sinkoutcome.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace korvane;
using korvane::test::deliverNow;
using korvane::test::outcomeOf;
using Mode = FileSink::Mode;
namespace fs = std::filesystem;

Q_DECLARE_METATYPE(korvane::FileSink::Mode)

namespace {

QByteArray contents(const fs::path& path)
{
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void put(const fs::path& path, const QByteArray& bytes)
{
    QFile file(QString::fromStdString(path.string()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), std::size_t(bytes.size())};
}

} // namespace

class TestFileSink : public QObject
{
    Q_OBJECT

private slots:
    void linesEndInCrLf_data();
    void linesEndInCrLf();
    void openMode_data();
    void openMode();
    void twoRunsFollowOneAnother();
    void everyLineIsOnDiskAtOnce();
    void refusedWithoutWritePermission_data();
    void refusedWithoutWritePermission();
    void onlyWhatNeverHoldsAWriterUp_data();
    void onlyWhatNeverHoldsAWriterUp();
    void fullDeviceFailsWithTheSystemsReason();
    void lineCutShortByAFullDiskIsTakenBack();
    void batchCutShortByAFullDiskKeepsItsWholeLines();
    void outsideTruncationLeavesNoHole();
    void rotatedFileIsOpenedAgainByName_data();
    void rotatedFileIsOpenedAgainByName();
    void writeWithoutOpenFails();
};

void TestFileSink::linesEndInCrLf_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("three lines") << QList<QByteArray>{"a", "b", "c"} << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("an empty line is a bare line end") << QList<QByteArray>{"", "x"} << QByteArray("\r\nx\r\n");
    QTest::newRow("8-bit bytes go out unchanged")
        << QList<QByteArray>{"caf\xe9", "\xc3\xa9t\xc3\xa9"} << QByteArray("caf\xe9\r\n\xc3\xa9t\xc3\xa9\r\n");
    QTest::newRow("a NUL byte is kept") << QList<QByteArray>{QByteArray("a\0b", 3)} << QByteArray("a\0b\r\n", 5);
}

void TestFileSink::linesEndInCrLf()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const fs::path path = dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString();
    FileSink sink;
    QVERIFY(sink.open(path, Mode::Truncate));
    for (const QByteArray& line : lines) {
        QCOMPARE(outcomeOf(deliverNow(sink, view(line))), QStringLiteral("sent"));
    }
    sink.close();
    QCOMPARE(contents(path), expected);
    QCOMPARE(sink.counts().delivered, std::int64_t(lines.size()));
}

void TestFileSink::openMode_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray absent;
    QTest::newRow("append keeps the earlier lines")
        << QByteArray("old\r\n") << Mode::Append << QByteArray("old\r\nnew\r\n");
    QTest::newRow("truncate empties the file first")
        << QByteArray("old\r\n") << Mode::Truncate << QByteArray("new\r\n");
    QTest::newRow("append creates an absent file") << absent << Mode::Append << QByteArray("new\r\n");
    QTest::newRow("truncate creates an absent file") << absent << Mode::Truncate << QByteArray("new\r\n");
    QTest::newRow("append ends a last line left unfinished by a crash")
        << QByteArray("old\r\ncut o") << Mode::Append << QByteArray("old\r\ncut o\r\nnew\r\n");
    QTest::newRow("append after a lone LF end adds nothing")
        << QByteArray("old\n") << Mode::Append << QByteArray("old\nnew\r\n");
    QTest::newRow("append to an empty file adds nothing") << QByteArray("") << Mode::Append << QByteArray("new\r\n");
}

void TestFileSink::openMode()
{
    QFETCH(QByteArray, before);
    QFETCH(Mode, mode);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const fs::path path = dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString();
    if (!before.isNull()) {
        put(path, before);
    }
    FileSink sink;
    QVERIFY(sink.open(path, mode));
    QVERIFY(sink.isOpen());
    QCOMPARE(outcomeOf(deliverNow(sink, "new")), QStringLiteral("sent"));
    QCOMPARE(contents(path), expected);
}

void TestFileSink::twoRunsFollowOneAnother()
{
    // Two runs through the driver into the same open file, then a later program start that
    // appends: nothing is written between them.
    QTemporaryDir dir;
    const fs::path path = dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString();
    const auto source = test::writeSource(dir, {QStringLiteral("%PIX-6-1: one"), QStringLiteral("%PIX-6-2: two")});
    const RunSettings settings = test::realLogSettings(source, 0, true);
    RunFlags flags;
    RunObserver observer;
    DefaultRandomSource random;
    test::FixedWallClock wall;
    SteadyClock steady;
    RunDriver driver(flags, steady);
    QSignalSpy ended(&driver, &RunDriver::runEnded);

    {
        FileSink sink;
        QVERIFY(sink.open(path, Mode::Truncate));
        for (int run = 0; run < 2; ++run) {
            driver.start(std::make_unique<GenerationRun>(settings, flags, observer, sink, random, wall), 0.005);
            QVERIFY(ended.wait(2000));
        }
    }
    FileSink later;
    QVERIFY(later.open(path, Mode::Append));
    driver.start(std::make_unique<GenerationRun>(settings, flags, observer, later, random, wall), 0.005);
    QVERIFY(ended.wait(2000));

    QCOMPARE(contents(path), QByteArray("%PIX-6-1: one\r\n%PIX-6-2: two\r\n"
                                        "%PIX-6-1: one\r\n%PIX-6-2: two\r\n"
                                        "%PIX-6-1: one\r\n%PIX-6-2: two\r\n"));
}

void TestFileSink::everyLineIsOnDiskAtOnce()
{
    QTemporaryDir dir;
    const fs::path path = dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString();
    FileSink sink;
    QVERIFY(sink.open(path, Mode::Truncate));
    QByteArray expected;
    for (const char* line : {"first", "second", "third"}) {
        QCOMPARE(outcomeOf(deliverNow(sink, line)), QStringLiteral("sent"));
        expected += QByteArray(line) + "\r\n";
        QCOMPARE(contents(path), expected); // a second handle, with the sink still open
    }
}

void TestFileSink::refusedWithoutWritePermission_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QFile::Permissions>("filePermissions");
    QTest::addColumn<QFile::Permissions>("folderPermissions");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<bool>("refused");

    const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions rw = readOnly | QFile::WriteOwner;
    const QFile::Permissions folderRw = rw | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    const QFile::Permissions folderRo = readOnly | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

    QTest::newRow("read-only file, append") << true << readOnly << folderRw << Mode::Append << true;
    QTest::newRow("read-only file, truncate") << true << readOnly << folderRw << Mode::Truncate << true;
    QTest::newRow("new file in a read-only folder") << false << rw << folderRo << Mode::Append << true;
    QTest::newRow("writable file in a read-only folder is fine") << true << rw << folderRo << Mode::Append << false;
}

void TestFileSink::refusedWithoutWritePermission()
{
    QFETCH(bool, fileExists);
    QFETCH(QFile::Permissions, filePermissions);
    QFETCH(QFile::Permissions, folderPermissions);
    QFETCH(Mode, mode);
    QFETCH(bool, refused);

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkdir(folder));
    const fs::path path = (folder + QStringLiteral("/GENERATE.TXT")).toStdString();
    if (fileExists) {
        put(path, "kept\r\n");
        QVERIFY(QFile::setPermissions(QString::fromStdString(path), filePermissions));
    }
    QVERIFY(QFile::setPermissions(folder, folderPermissions));

    FileSink sink;
    const Result<> opened = sink.open(path, mode);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); // let the cleanup in

    QCOMPARE(opened.ok(), !refused);
    QCOMPARE(sink.isOpen(), !refused);
    if (refused) {
        QCOMPARE(opened.reason(), std::string(std::strerror(EACCES)));
        QCOMPARE(opened.systemError(), EACCES);
        QCOMPARE(outcomeOf(deliverNow(sink, "lost")), "failed: " + QString::fromStdString(opened.reason()));
        QCOMPARE(fs::exists(path), fileExists);
        if (fileExists) {
            QCOMPARE(contents(path), QByteArray("kept\r\n")); // not emptied either
        }
    } else {
        QCOMPARE(outcomeOf(deliverNow(sink, "more")), QStringLiteral("sent"));
        QCOMPARE(contents(path), QByteArray("kept\r\nmore\r\n"));
    }
}

void TestFileSink::onlyWhatNeverHoldsAWriterUp_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("behindALink");
    QTest::addColumn<QString>("refusal"); // "" when lines go in

    QTest::newRow("a named pipe") << "fifo" << false << "a named pipe, not a regular file";
    QTest::newRow("a named pipe behind a link") << "fifo" << true << "a named pipe, not a regular file";
    QTest::newRow("a socket") << "socket" << false << "a socket, not a regular file";
    QTest::newRow("a socket behind a link") << "socket" << true << "a socket, not a regular file";
    QTest::newRow("a link to /dev/null takes every line") << "null" << true << "";
}

void TestFileSink::onlyWhatNeverHoldsAWriterUp()
{
    QFETCH(QString, kind);
    QFETCH(bool, behindALink);
    QFETCH(QString, refusal);

    QTemporaryDir dir;
    const fs::path path = dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString();
    fs::path target = behindALink ? fs::path(dir.filePath(QStringLiteral("target")).toStdString()) : path;
    int listening = -1;
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(target.c_str(), 0644), 0);
    } else if (kind == "socket") {
        listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, target.c_str(), sizeof address.sun_path - 1);
        QCOMPARE(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(::listen(listening, 1), 0);
    } else {
        target = "/dev/null";
    }
    if (behindALink) {
        fs::create_symlink(target, path);
    }

    FileSink sink;
    const Result<> opened = sink.open(path, Mode::Append);
    if (listening >= 0) {
        ::close(listening);
    }
    if (refusal.isEmpty()) {
        QVERIFY2(opened, opened.reason().c_str());
        QCOMPARE(outcomeOf(deliverNow(sink, "into nothing")), QStringLiteral("sent"));
        QCOMPARE(sink.counts().delivered, std::int64_t(1));
        return;
    }
    QCOMPARE(QString::fromStdString(opened.reason()), refusal);
    QVERIFY(!sink.isOpen());
    QCOMPARE(outcomeOf(deliverNow(sink, "lost")), "failed: " + refusal);
}

void TestFileSink::fullDeviceFailsWithTheSystemsReason()
{
    if (!QFile::exists(QStringLiteral("/dev/full"))) {
        QSKIP("no /dev/full on this system");
    }
    FileSink sink;
    QVERIFY(sink.open("/dev/full", Mode::Append));
    for (int attempt = 0; attempt < 2; ++attempt) { // the failure does not stick to the stream
        const SinkResult result = deliverNow(sink, "a line");
        QVERIFY(!result);
        QCOMPARE(result.reason(), std::string(std::strerror(ENOSPC)));
        QCOMPARE(result.systemError(), ENOSPC);
    }
    QCOMPARE(sink.counts().delivered, std::int64_t(0));
    QCOMPARE(sink.counts().undelivered, std::int64_t(2));
}

void TestFileSink::lineCutShortByAFullDiskIsTakenBack()
{
    // A file size limit stands in for a full disk: the write stops part-way, then fails.
    QTemporaryDir dir;
    const fs::path path = dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString();
    FileSink sink;
    QVERIFY(sink.open(path, Mode::Truncate));
    QCOMPARE(outcomeOf(deliverNow(sink, "whole line")), QStringLiteral("sent"));

    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = 20; // 12 bytes are in; the next line of 14 stops after 8
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const SinkResult result = deliverNow(sink, "second line!");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!result);
    QCOMPARE(result.reason(), std::string(std::strerror(EFBIG)));
    QCOMPARE(contents(path), QByteArray("whole line\r\n"));
    // Room again: the next line follows the last whole one.
    QCOMPARE(outcomeOf(deliverNow(sink, "next")), QStringLiteral("sent"));
    QCOMPARE(contents(path), QByteArray("whole line\r\nnext\r\n"));
}

void TestFileSink::batchCutShortByAFullDiskKeepsItsWholeLines()
{
    QTemporaryDir dir;
    const fs::path path = dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString();
    FileSink sink;
    QVERIFY(sink.open(path, Mode::Truncate));
    for (const char* line : {"first!", "second", "third"}) { // due together: one write at the flush
        QCOMPARE(outcomeOf(sink.write(line)), QStringLiteral("sent"));
    }
    QCOMPARE(contents(path), QByteArray()); // kept until the flush

    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = 11; // "first!\r\n" and three bytes of the second line
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const FlushResult flushed = sink.flush();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!flushed);
    QCOMPARE(flushed.reason(), std::string(std::strerror(EFBIG)));
    QCOMPARE(contents(path), QByteArray("first!\r\n"));
    QCOMPARE(sink.counts().delivered, std::int64_t(1)); // "1 written, 2 not written"
    QCOMPARE(sink.counts().undelivered, std::int64_t(2));
}

void TestFileSink::outsideTruncationLeavesNoHole()
{
    QTemporaryDir dir;
    const fs::path path = dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString();
    put(path, "earlier run\r\n");
    FileSink sink;
    QVERIFY(sink.open(path, Mode::Truncate)); // the operator answered No
    QCOMPARE(outcomeOf(deliverNow(sink, "first")), QStringLiteral("sent"));
    fs::resize_file(path, 0); // copy-and-truncate rotation
    QCOMPARE(outcomeOf(deliverNow(sink, "second")), QStringLiteral("sent"));
    QCOMPARE(contents(path), QByteArray("second\r\n"));
}

void TestFileSink::rotatedFileIsOpenedAgainByName_data()
{
    QTest::addColumn<bool>("renamed"); // else deleted
    QTest::newRow("renamed away") << true;
    QTest::newRow("deleted") << false;
}

void TestFileSink::rotatedFileIsOpenedAgainByName()
{
    QFETCH(bool, renamed);
    QTemporaryDir dir;
    const fs::path path = dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString();
    const fs::path rotated = dir.filePath(QStringLiteral("GENERATE.TXT.1")).toStdString();
    FileSink sink;
    sink.setRotationCheckInterval(std::chrono::milliseconds(0));
    QVERIFY(sink.open(path, Mode::Truncate));
    QCOMPARE(outcomeOf(deliverNow(sink, "before")), QStringLiteral("sent"));
    if (renamed) {
        fs::rename(path, rotated);
    } else {
        fs::remove(path);
    }
    QCOMPARE(outcomeOf(deliverNow(sink, "after")), QStringLiteral("sent"));
    QCOMPARE(contents(path), QByteArray("after\r\n"));
    if (renamed) {
        QCOMPARE(contents(rotated), QByteArray("before\r\n"));
    }
}

void TestFileSink::writeWithoutOpenFails()
{
    FileSink never;
    const SinkResult result = deliverNow(never, "a line");
    QVERIFY(!result);
    QVERIFY(!result.reason().empty());

    // Closed after a successful open: still a reason, not an empty one.
    QTemporaryDir dir;
    FileSink closed;
    QVERIFY(closed.open(dir.filePath(QStringLiteral("GENERATE.TXT")).toStdString(), Mode::Append));
    closed.close();
    const SinkResult after = deliverNow(closed, "a line");
    QVERIFY(!after);
    QVERIFY(!after.reason().empty());

    // A folder that does not exist: the system's own reason.
    FileSink absent;
    const Result<> opened =
        absent.open(dir.filePath(QStringLiteral("no/such/GENERATE.TXT")).toStdString(), Mode::Append);
    QVERIFY(!opened);
    QCOMPARE(opened.reason(), std::string(std::strerror(ENOENT)));
    QCOMPARE(deliverNow(absent, "a line").reason(), opened.reason());
}

QTEST_GUILESS_MAIN(TestFileSink)
#include "tst_filesink.moc"
