// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/stdoutprinter.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

// Refuses every write, as a full disk or a closed pipe does.
class RefusingDevice : public QIODevice
{
public:
    RefusingDevice()
    {
        open(QIODevice::WriteOnly);
        setErrorString(QStringLiteral("No space left on device"));
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override { return -1; }
};

} // namespace

class TestStdoutPrinter : public QObject
{
    Q_OBJECT

private slots:
    void printsOneLinePerDatagram_data();
    void printsOneLinePerDatagram();
    void eachBatchReachesTheFileAtOnce();
    void reportsRefusedOutput();
};

void TestStdoutPrinter::printsOneLinePerDatagram_data()
{
    QTest::addColumn<QList<QByteArray>>("payloads");
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<QByteArray>("output");

    QTest::newRow("plain text exactly, in order")
        << QList<QByteArray>{"first", "second", "third"} << false << QByteArray("first\nsecond\nthird\n");
    QTest::newRow("a sender's line end is not doubled")
        << QList<QByteArray>{"one\n", "two\r\n"} << false << QByteArray("one\ntwo\n");
    QTest::newRow("empty datagram gives an empty line")
        << QList<QByteArray>{"a", "", "b"} << false << QByteArray("a\n\nb\n");
    QTest::newRow("bytes are not re-encoded")
        << QList<QByteArray>{QByteArray("caf\xe9 \xc3\xa9")} << false << QByteArray("caf\xe9 \xc3\xa9\n");
    QTest::newRow("line ends inside a datagram escaped")
        << QList<QByteArray>{"a\nb", "c\r\nd\n", "e\rf\n\n"} << false << QByteArray("a\\nb\nc\\r\\nd\ne\\rf\\n\n");
    QTest::newRow("backslash, tab and other control bytes escaped")
        << QList<QByteArray>{QByteArray("x\\y\tz\0\x1b\x7f", 8)} << false << QByteArray("x\\\\y\\tz\\x00\\x1b\\x7f\n");
    QTest::newRow("verbose escapes the text too")
        << QList<QByteArray>{"up\ndown"} << true << QByteArray("23:59:58.007  10.1.2.3:1514   -  -  -  up\\ndown\n");
    QTest::newRow("verbose adds time and sender, and - for a header missing")
        << QList<QByteArray>{"up", "down"} << true
        << QByteArray("23:59:58.007  10.1.2.3:1514   -  -  -  up\n23:59:58.007  10.1.2.3:1514   -  -  -  down\n");
    QTest::newRow("verbose adds facility, severity and host")
        << QList<QByteArray>{"<166>Dec  7 15:07:59 demo-gate up\r\n"} << true
        << QByteArray("23:59:58.007  10.1.2.3:1514  20  6  demo-gate  <166>Dec  7 15:07:59 demo-gate up\n");
}

void TestStdoutPrinter::printsOneLinePerDatagram()
{
    QFETCH(QList<QByteArray>, payloads);
    QFETCH(bool, verbose);
    QFETCH(QByteArray, output);

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    StdoutPrinter printer(buffer, verbose);

    QVERIFY(printer.print(fromPayloads(payloads)));
    QCOMPARE(buffer.data(), output);
}

void TestStdoutPrinter::eachBatchReachesTheFileAtOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    StdoutPrinter printer(out, false);

    // Another reader, as a pipe's reader would be, must see each batch without the printer's file being closed.
    QFile reader(path);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    QVERIFY(printer.print(fromPayloads({"one", "two"})));
    QCOMPARE(reader.readAll(), QByteArray("one\ntwo\n"));
    QVERIFY(printer.print(fromPayloads({"three"})));
    QCOMPARE(reader.readAll(), QByteArray("three\n"));
}

void TestStdoutPrinter::reportsRefusedOutput()
{
    RefusingDevice device;
    StdoutPrinter printer(device, false);

    QVERIFY(!printer.print(fromPayloads({"lost"})));
    QCOMPARE(printer.errorString(), QStringLiteral("No space left on device"));
}

QTEST_GUILESS_MAIN(TestStdoutPrinter)
#include "tst_stdoutprinter.moc"
