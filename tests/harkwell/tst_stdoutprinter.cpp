// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/stdoutprinter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace korvane::harkwell;

namespace {

QList<Datagram> fromPayloads(const QList<QByteArray>& payloads)
{
    QList<Datagram> batch;
    for (const QByteArray& payload : payloads) {
        batch.append(
            Datagram{QDateTime(QDate(2026, 1, 2), QTime(23, 59, 58, 7)), QHostAddress("10.1.2.3"), 1514, payload});
    }
    return batch;
}

// A pipe whose reading end the test holds, as a script's reader would, and never waits on.
struct Pipe
{
    int readEnd = -1;
    int writeEnd = -1;

    explicit Pipe(int capacity = 0)
    {
        int ends[2] = {-1, -1};
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            readEnd = ends[0];
            writeEnd = ends[1];
            ::fcntl(readEnd, F_SETFL, O_NONBLOCK);
            if (capacity > 0) {
                ::fcntl(writeEnd, F_SETPIPE_SZ, capacity);
            }
        }
    }
    ~Pipe()
    {
        ::close(readEnd);
        ::close(writeEnd);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Everything the pipe holds now.
    QByteArray readAll() const
    {
        QByteArray all;
        char chunk[4096];
        for (ssize_t got; (got = ::read(readEnd, chunk, sizeof chunk)) > 0;) {
            all.append(chunk, got);
        }
        return all;
    }
};

QList<Datagram> numbered(int first, int count)
{
    QList<QByteArray> payloads;
    for (int i = first; i < first + count; ++i) {
        payloads.append("line " + QByteArray::number(i));
    }
    return fromPayloads(payloads);
}

} // namespace

class TestStdoutPrinter : public QObject
{
    Q_OBJECT

private slots:
    void printsOneLinePerDatagram_data();
    void printsOneLinePerDatagram();
    void eachBatchReachesTheFileAtOnce();
    void fullOutputCostsWholeLinesAndIsNeverWaitedFor();
    void reportsRefusedOutput();
    void setsTheOutputBackAsItCame();
};

void TestStdoutPrinter::printsOneLinePerDatagram_data()
{
    QTest::addColumn<QList<QByteArray>>("payloads");
    QTest::addColumn<bool>("cut"); // the last message is cut
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("plain text exactly, in order")
        << QList<QByteArray>{"first", "second", "third"} << false << false << QByteArray("first\nsecond\nthird\n");
    QTest::newRow("a sender's line end is not doubled")
        << QList<QByteArray>{"one\n", "two\r\n"} << false << false << QByteArray("one\ntwo\n");
    QTest::newRow("empty datagram gives an empty line")
        << QList<QByteArray>{"a", "", "b"} << false << false << QByteArray("a\n\nb\n");
    QTest::newRow("bytes are not re-encoded")
        << QList<QByteArray>{QByteArray("caf\xe9 \xc3\xa9")} << false << false << QByteArray("caf\xe9 \xc3\xa9\n");
    QTest::newRow("line ends inside a datagram escaped") << QList<QByteArray>{"a\nb", "c\r\nd\n", "e\rf\n\n"} << false
                                                         << false << QByteArray("a\\nb\nc\\r\\nd\ne\\rf\\n\n");
    QTest::newRow("backslash, tab and other control bytes escaped")
        << QList<QByteArray>{QByteArray("x\\y\tz\0\x1b\x7f", 8)} << false << false
        << QByteArray("x\\\\y\\tz\\x00\\x1b\\x7f\n");
    QTest::newRow("verbose escapes the text too") << QList<QByteArray>{"up\ndown"} << false << true
                                                  << QByteArray("23:59:58.007  10.1.2.3:1514   -  -  -  up\\ndown\n");
    QTest::newRow("verbose adds time and sender, and - for a header missing")
        << QList<QByteArray>{"up", "down"} << false << true
        << QByteArray("23:59:58.007  10.1.2.3:1514   -  -  -  up\n23:59:58.007  10.1.2.3:1514   -  -  -  down\n");
    QTest::newRow("verbose adds facility, severity and host")
        << QList<QByteArray>{"<166>Dec  7 15:07:59 demo-gate up\r\n"} << false << true
        << QByteArray("23:59:58.007  10.1.2.3:1514  20  6  demo-gate  <166>Dec  7 15:07:59 demo-gate up\n");
    QTest::newRow("a cut message marked after its text, where no tab of a message can be")
        << QList<QByteArray>{"whole", "<13>cut\tsh"} << true << false << QByteArray("whole\n<13>cut\\tsh\t[cut]\n");
    QTest::newRow("verbose marks a cut message too")
        << QList<QByteArray>{"<13>cut sh"} << true << true
        << QByteArray("23:59:58.007  10.1.2.3:1514   1  5  -  <13>cut sh\t[cut]\n");
}

void TestStdoutPrinter::printsOneLinePerDatagram()
{
    QFETCH(QList<QByteArray>, payloads);
    QFETCH(bool, cut);
    QFETCH(bool, verbose);
    QFETCH(QByteArray, output);

    Pipe pipe;
    StdoutPrinter printer(pipe.writeEnd, verbose);
    QList<Datagram> batch = fromPayloads(payloads);
    batch.last().cut = cut;

    printer.print(batch);
    QCOMPARE(pipe.readAll(), output);
    QCOMPARE(printer.notPrintedCount(), quint64(0));
    QVERIFY(!printer.hasFailed());
}

void TestStdoutPrinter::eachBatchReachesTheFileAtOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    StdoutPrinter printer(out.handle(), false);

    // Another reader, as a pipe's reader would be, must see each batch without the printer's file being closed.
    QFile reader(path);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    printer.print(fromPayloads({"one", "two"}));
    QCOMPARE(reader.readAll(), QByteArray("one\ntwo\n"));
    printer.print(fromPayloads({"three"}));
    QCOMPARE(reader.readAll(), QByteArray("three\n"));
}

void TestStdoutPrinter::fullOutputCostsWholeLinesAndIsNeverWaitedFor()
{
    Pipe pipe(4096); // one page, the least a pipe holds
    const qsizetype backlog = 1000;
    StdoutPrinter printer(pipe.writeEnd, false, backlog);

    // Far more than the pipe and the backlog hold, while nobody reads: printing goes on, and lines are lost.
    printer.print(numbered(0, 1000));
    QVERIFY2(printer.backlogBytes() > 0 && printer.backlogBytes() <= backlog,
             qPrintable(QString::number(printer.backlogBytes())));
    const quint64 lostWhileFull = printer.notPrintedCount();
    QVERIFY(lostWhileFull > 0);

    // The reader comes back: the backlog goes out as the pipe takes it, and lines that fit are printed again.
    QByteArray out;
    QTRY_VERIFY((out += pipe.readAll(), printer.backlogBytes() == 0));
    printer.print(numbered(1000, 10));
    out += pipe.readAll();
    QCOMPARE(printer.notPrintedCount(), lostWhileFull);

    // At the end, what still waits is given up and counted, a line only partly written among it.
    printer.print(numbered(1010, 1000));
    printer.finish();
    out += pipe.readAll();
    printer.print(numbered(2010, 1));

    QList<QByteArray> lines = out.split('\n');
    const QByteArray partial = lines.takeLast(); // what follows the last line feed
    qint64 previous = -1;
    for (const QByteArray& line : lines) {
        QVERIFY2(line.startsWith("line "), line.constData());
        const qint64 number = line.mid(5).toLongLong();
        QVERIFY2(number > previous, line.constData());
        previous = number;
    }
    QVERIFY2(("line " + QByteArray::number(previous + 1)).startsWith(partial) || partial.isEmpty(),
             partial.constData());
    QCOMPARE(quint64(lines.size()) + printer.notPrintedCount(), quint64(2011));
}

void TestStdoutPrinter::reportsRefusedOutput()
{
    QFile full(QStringLiteral("/dev/full"));
    QVERIFY(full.open(QIODevice::WriteOnly));
    StdoutPrinter printer(full.handle(), false);
    QSignalSpy failed(&printer, &StdoutPrinter::failed);

    printer.print(fromPayloads({"lost", "and lost"}));

    QCOMPARE(failed.size(), 1);
    QCOMPARE(printer.errorString(), QStringLiteral("No space left on device"));
    QCOMPARE(printer.notPrintedCount(), quint64(2));
}

void TestStdoutPrinter::setsTheOutputBackAsItCame()
{
    Pipe pipe;
    const int before = ::fcntl(pipe.writeEnd, F_GETFL);
    {
        StdoutPrinter printer(pipe.writeEnd, false);
        QVERIFY(::fcntl(pipe.writeEnd, F_GETFL) & O_NONBLOCK);
    }
    QCOMPARE(::fcntl(pipe.writeEnd, F_GETFL), before);
}

QTEST_GUILESS_MAIN(TestStdoutPrinter)
#include "tst_stdoutprinter.moc"
