// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/linereader.h"
#include "engine/passsource.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fstream>

#include <sys/stat.h>

using namespace korvane;

namespace {

std::filesystem::path writeFile(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const std::filesystem::path path = dir.filePath(QStringLiteral("LINES.TXT")).toStdString();
    std::ofstream(path, std::ios::binary).write(bytes.constData(), bytes.size());
    return path;
}

QByteArray repeated(char c, int count)
{
    return QByteArray(count, c);
}

} // namespace

class TestLineReader : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void reopenStartsAtFirstLine();
    void unreadable_data();
    void unreadable();
    void lineLongerThanOneMebibyteIsRefused();
    void closedReaderHasNoLines();
    void sharedSourceFollowsTheFileFromPassToPass();
};

void TestLineReader::lines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArrayList>("expected");

    // The buffer holds 64 KiB: some rows put a line end right across its edge.
    constexpr int kBuffer = 64 * 1024;
    const QByteArray longLine = repeated('x', 3 * kBuffer + 17);

    QTest::newRow("CR LF ends") << QByteArray("a\r\nb\r\nc\r\n") << QByteArrayList{"a", "b", "c"};
    QTest::newRow("lone CR ends") << QByteArray("a\rb\rc\r") << QByteArrayList{"a", "b", "c"};
    QTest::newRow("lone LF ends") << QByteArray("a\nb\nc\n") << QByteArrayList{"a", "b", "c"};
    QTest::newRow("mixed ends") << QByteArray("a\r\nb\nc\rd\n\re") << QByteArrayList{"a", "b", "c", "d", "", "e"};
    QTest::newRow("last line without an end") << QByteArray("a\r\nlast") << QByteArrayList{"a", "last"};
    QTest::newRow("empty file") << QByteArray() << QByteArrayList{};
    QTest::newRow("empty lines") << QByteArray("\r\n\r\n\n\r") << QByteArrayList{"", "", "", ""};
    QTest::newRow("NUL and high bytes are kept")
        << QByteArray("a\0b\r\n\xff\xe9\x01\r\n", 10) << QByteArrayList{QByteArray("a\0b", 3), "\xff\xe9\x01"};
    QTest::newRow("line longer than the buffer") << longLine + "\r\nnext" << QByteArrayList{longLine, "next"};
    QTest::newRow("CR LF split by the buffer edge")
        << repeated('a', kBuffer - 1) + "\r\nb" << QByteArrayList{repeated('a', kBuffer - 1), "b"};
    QTest::newRow("lone CR at the buffer edge")
        << repeated('a', kBuffer - 1) + "\rb" << QByteArrayList{repeated('a', kBuffer - 1), "b"};
    QTest::newRow("file ends on the buffer edge") << repeated('a', kBuffer - 2) + "\r\n"
                                                  << QByteArrayList{repeated('a', kBuffer - 2)};
}

void TestLineReader::lines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArrayList, expected);

    QTemporaryDir dir;
    const auto path = writeFile(dir, bytes);
    LineReader reader;
    QVERIFY(reader.open(path));

    QByteArrayList read;
    std::string line;
    while (!reader.atEnd()) {
        QVERIFY(reader.readLine(line));
        read << QByteArray(line.data(), qsizetype(line.size()));
        QVERIFY(read.size() <= expected.size()); // no endless reading
    }
    QCOMPARE(read, expected);
    QVERIFY(!reader.readLine(line));
    QVERIFY(!reader.failure());

    const Result<std::int64_t> count = countLines(path);
    QVERIFY2(count, count.reason().c_str());
    QCOMPARE(count.value(), std::int64_t(expected.size()));

    // A fleet's runs read the same lines from the copy they share.
    SharedSource shared(path);
    PassSource pass;
    pass.share(shared);
    QVERIFY(pass.open(path));
    QByteArrayList fromShared;
    while (pass.readLine(line)) {
        fromShared << QByteArray(line.data(), qsizetype(line.size()));
    }
    QCOMPARE(fromShared, expected);
}

void TestLineReader::reopenStartsAtFirstLine()
{
    QTemporaryDir dir;
    const auto path = writeFile(dir, "one\r\ntwo\r\n");
    LineReader reader;
    std::string line;
    QVERIFY(reader.open(path));
    QVERIFY(reader.readLine(line));
    QVERIFY(reader.open(path));
    QVERIFY(reader.readLine(line));
    QCOMPARE(line, std::string("one"));
}

void TestLineReader::unreadable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing file") << "missing" << QString::fromUtf8(std::strerror(ENOENT));
    QTest::newRow("folder") << "folder" << QString::fromUtf8(std::strerror(EISDIR));
    // Neither may block the only thread in open() or fill memory with an endless line.
    QTest::newRow("FIFO without a writer is refused at once") << "fifo"
                                                              << "not a regular file";
    QTest::newRow("endless device is refused") << "device"
                                               << "not a regular file";
}

void TestLineReader::unreadable()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    std::filesystem::path path = dir.filePath("ABSENT.TXT").toStdString();
    if (kind == "folder") {
        path = dir.path().toStdString();
    } else if (kind == "fifo") {
        path = dir.filePath("FIFO.TXT").toStdString();
        QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
    } else if (kind == "device") {
        path = "/dev/zero";
    }

    LineReader reader;
    const Result<> opened = reader.open(path);
    QVERIFY(!opened);
    QCOMPARE(QString::fromStdString(opened.reason()), reason);
    QVERIFY(!reader.isOpen());
    QVERIFY(reader.atEnd());

    const Result<std::int64_t> count = countLines(path);
    QVERIFY(!count);
    QCOMPARE(QString::fromStdString(count.reason()), reason);
}

void TestLineReader::lineLongerThanOneMebibyteIsRefused()
{
    QTemporaryDir dir;
    const QByteArray longest(int(LineReader::kMaxLineLength), 'x');
    LineReader reader;
    // Spread over many buffer fills, so the limit holds for a line built up piece by piece.
    QVERIFY(reader.open(writeFile(dir, longest + "\r\n" + longest + "y\r\nnever read\r\n")));
    std::string line;
    QVERIFY(reader.readLine(line));
    QCOMPARE(line.size(), LineReader::kMaxLineLength);
    QVERIFY(!reader.readLine(line));
    QVERIFY(reader.failure());
    QCOMPARE(reader.failure()->reason, std::string("line 2 is longer than 1 MiB"));
    QVERIFY(line.empty());
    QVERIFY(reader.atEnd());
}

void TestLineReader::closedReaderHasNoLines()
{
    QTemporaryDir dir;
    LineReader reader;
    QVERIFY(reader.open(writeFile(dir, "a\r\n")));
    reader.close();
    std::string line = "stale";
    QVERIFY(reader.atEnd());
    QVERIFY(!reader.readLine(line));
    QVERIFY(line.empty());
}

void TestLineReader::sharedSourceFollowsTheFileFromPassToPass()
{
    QTemporaryDir dir;
    const auto path = writeFile(dir, "one\r\ntwo\r\n");
    SharedSource shared(path);
    PassSource early;
    PassSource late;
    early.share(shared);
    late.share(shared);
    std::string line;
    QVERIFY(early.open(path));
    QVERIFY(early.readLine(line));

    writeFile(dir, "three\r\n");
    QVERIFY(late.open(path));
    QVERIFY(late.readLine(line));
    QCOMPARE(line, std::string("three"));
    QVERIFY(late.atEnd());
    // A pass begun before the edit ends on the lines it began with.
    QVERIFY(early.readLine(line));
    QCOMPARE(line, std::string("two"));

    std::filesystem::remove(path);
    const Result<> gone = early.open(path);
    QVERIFY(!gone);
    QCOMPARE(QString::fromStdString(gone.reason()), QString::fromUtf8(std::strerror(ENOENT)));
    QVERIFY(early.atEnd());
}

QTEST_APPLESS_MAIN(TestLineReader)
#include "tst_linereader.moc"
