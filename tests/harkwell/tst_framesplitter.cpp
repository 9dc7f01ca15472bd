// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/framesplitter.h"

#include <QTest>

using namespace korvane::harkwell;

namespace {

constexpr qsizetype kMax = FrameSplitter::kMaxMessageBytes;

// "LEN SP MSG".
QByteArray counted(const QByteArray& message)
{
    return QByteArray::number(message.size()) + ' ' + message;
}

} // namespace

class TestFrameSplitter : public QObject
{
    Q_OBJECT

private slots:
    void splitsTheStream_data();
    void splitsTheStream();
    void holdsAboutOneMessageAtMost();
};

void TestFrameSplitter::splitsTheStream_data()
{
    QTest::addColumn<QList<QByteArray>>("reads"); // as the connection delivers them, then it closes
    QTest::addColumn<QList<QByteArray>>("messages");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<bool>("lastIsCut");

    const QByteArray first = "<13>1 - demo-gate app - - - first";
    const QByteArray second = "<14>second, with\nLF inside";
    const QByteArray twoFrames = counted(first) + counted(second);

    QTest::newRow("octet counting, two frames in one read")
        << QList<QByteArray>{twoFrames} << QList<QByteArray>{first, second} << false << false;
    QTest::newRow("octet counting, a frame split inside its length and its text")
        << QList<QByteArray>{twoFrames.left(1), twoFrames.mid(1, 20), twoFrames.mid(21)}
        << QList<QByteArray>{first, second} << false << false;
    QTest::newRow("octet counting, line ends between frames tolerated")
        << QList<QByteArray>{counted(first) + "\r\n" + counted(second) + "\n"} << QList<QByteArray>{first, second}
        << false << false;
    QTest::newRow("octet counting, frame cut short by the close, kept as cut")
        << QList<QByteArray>{counted(first) + "40 <13>cut"} << QList<QByteArray>{first, "<13>cut"} << false << true;
    QTest::newRow("octet counting, only a length before the close, an empty cut message")
        << QList<QByteArray>{counted(first) + "40"} << QList<QByteArray>{first, ""} << false << true;
    QTest::newRow("octet counting, over-long frame cut short by the close")
        << QList<QByteArray>{"70000 " + QByteArray(kMax + 10, 'x')} << QList<QByteArray>{QByteArray(kMax, 'x')} << false
        << true;
    QTest::newRow("octet counting, over-long frame cut, the next one whole")
        << QList<QByteArray>{counted(QByteArray(kMax + 10, 'x')) + counted(first)}
        << QList<QByteArray>{QByteArray(kMax, 'x'), first} << false << false;
    QTest::newRow("octet counting, garbage after a frame")
        << QList<QByteArray>{counted(first) + "junk", counted(second)} << QList<QByteArray>{first} << true << false;
    QTest::newRow("octet counting, length with a leading zero later")
        << QList<QByteArray>{counted(first) + "05 <13>x"} << QList<QByteArray>{first} << true << false;

    QTest::newRow("lines, LF and CR LF") << QList<QByteArray>{"<13>one\n<13>two\r\n"}
                                         << QList<QByteArray>{"<13>one", "<13>two"} << false << false;
    QTest::newRow("lines, split across reads, empty lines skipped")
        << QList<QByteArray>{"<13>o", "ne\r", "\n\n<13>two\n"} << QList<QByteArray>{"<13>one", "<13>two"} << false
        << false;
    QTest::newRow("lines, last one without its end")
        << QList<QByteArray>{"<13>one\n<13>last"} << QList<QByteArray>{"<13>one", "<13>last"} << false << false;
    QTest::newRow("lines, binary tail with a NUL dropped")
        << QList<QByteArray>{QByteArray("<13>one\n\x16\x03\x01\0\x05", 13)} << QList<QByteArray>{"<13>one"} << false
        << false;
    QTest::newRow("octet counting, two-digit length, then a priority")
        << QList<QByteArray>{counted("<13>Dec  7 15:07:59 gate up")} << QList<QByteArray>{"<13>Dec  7 15:07:59 gate up"}
        << false << false;
    QTest::newRow("lines, date-first form")
        << QList<QByteArray>{"17 Dec 2026 15:07:59  demo-gate up\n"}
        << QList<QByteArray>{"17 Dec 2026 15:07:59  demo-gate up"} << false << false;
    QTest::newRow("lines, over-long line cut, rest skipped to its end")
        << QList<QByteArray>{QByteArray(kMax, 'y'), QByteArray(5000, 'y') + "\n<13>next\n"}
        << QList<QByteArray>{QByteArray(kMax, 'y'), "<13>next"} << false << false;
    QTest::newRow("lines, longest line with CR LF kept whole")
        << QList<QByteArray>{QByteArray(kMax, 'z') + "\r\n"} << QList<QByteArray>{QByteArray(kMax, 'z')} << false
        << false;
    QTest::newRow("lines, leading zero is no length")
        << QList<QByteArray>{"07 Dec 2026 15:07:59  gate up\n"} << QList<QByteArray>{"07 Dec 2026 15:07:59  gate up"}
        << false << false;
    QTest::newRow("lines, a few bytes, then the close")
        << QList<QByteArray>{"12"} << QList<QByteArray>{"12"} << false << false;
}

void TestFrameSplitter::splitsTheStream()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<QByteArray>, messages);
    QFETCH(bool, failed);
    QFETCH(bool, lastIsCut);

    FrameSplitter splitter;
    QList<QByteArray> received;
    for (const QByteArray& read : reads) {
        received += splitter.feed(read);
    }
    QCOMPARE(splitter.hasFailed(), failed);
    QCOMPARE(splitter.errorString().isEmpty(), !failed);
    const FrameSplitter::Ending ending = splitter.finish();
    received += ending.messages;

    QCOMPARE(received, messages);
    QCOMPARE(ending.lastIsCut, lastIsCut);
}

void TestFrameSplitter::holdsAboutOneMessageAtMost()
{
    // A peer that announces a huge frame, or sends a line without end, costs no more than one message.
    for (const QByteArray& start : {QByteArray("999999999 "), QByteArray("<13>")}) {
        FrameSplitter splitter;
        QVERIFY(splitter.feed(start).isEmpty());
        const QByteArray chunk(64 * 1024, 'x');
        for (int i = 0; i < 64; ++i) {
            (void)splitter.feed(chunk);
            QVERIFY2(splitter.bufferedBytes() <= kMax + 1, qPrintable(QString::number(splitter.bufferedBytes())));
        }
    }
}

QTEST_GUILESS_MAIN(TestFrameSplitter)
#include "tst_framesplitter.moc"
