// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/logstamp.h"

#include <QTest>

using namespace korvane;

namespace {

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

} // namespace

class TestLogStamp : public QObject
{
    Q_OBJECT

private slots:
    void restampedInItsOwnForm_data();
    void restampedInItsOwnForm();
    void gaps_data();
    void gaps();
    void ownHeader_data();
    void ownHeader();
};

// Each form is found, and written again with the time it is sent, in the same form and width.
void TestLogStamp::restampedInItsOwnForm_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected"); // empty: no stamp found

    QTest::newRow("classic, day padded with a space")
        << QByteArray("Dec  6 04:47:51 10.1.1.1 %PIX-6-1: x") << QByteArray("Mar  1 09:05:03 10.1.1.1 %PIX-6-1: x");
    QTest::newRow("classic, day padded with a zero")
        << QByteArray("Dec 06 04:47:51 fw %PIX-6-1: x") << QByteArray("Mar 01 09:05:03 fw %PIX-6-1: x");
    QTest::newRow("with a year, after a priority")
        << QByteArray("<166>Dec 16 2025 23:59:59: %PIX-6-1: x") << QByteArray("<166>Mar  1 2027 09:05:03: %PIX-6-1: x");
    QTest::newRow("RFC 3339 in UTC keeps UTC and its fraction digits")
        << QByteArray("2026-12-06T04:47:51.250000Z fw x") << QByteArray("2027-03-01T07:35:03.042000Z fw x");
    QTest::newRow("RFC 3339 with an offset takes the local offset")
        << QByteArray("2026-12-06T04:47:51-05:00 fw x") << QByteArray("2027-03-01T09:05:03+01:30 fw x");
    QTest::newRow("classic with milliseconds gets fresh ones")
        << QByteArray("Dec  6 04:47:51.123 fw x") << QByteArray("Mar  1 09:05:03.042 fw x");
    QTest::newRow("with a year and one fraction digit keeps its width")
        << QByteArray("Dec  6 2026 04:47:51.9 fw x") << QByteArray("Mar  1 2027 09:05:03.0 fw x");
    QTest::newRow("a point without digits is no fraction")
        << QByteArray("Dec  6 04:47:51. x") << QByteArray("Mar  1 09:05:03. x");
    QTest::newRow("no stamp") << QByteArray("%PIX-6-1: x") << QByteArray();
    QTest::newRow("not a month") << QByteArray("Foo  6 04:47:51 x") << QByteArray();
    QTest::newRow("hour out of range") << QByteArray("Dec  6 24:47:51 x") << QByteArray();
    QTest::newRow("RFC 3339 without a zone") << QByteArray("2026-12-06T04:47:51 x") << QByteArray();
}

void TestLogStamp::restampedInItsOwnForm()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    const std::optional<LogStamp> stamp = findLogStamp(view(line));
    QCOMPARE(stamp.has_value(), !expected.isEmpty());
    if (!stamp) {
        return;
    }
    const CivilDateTime now{{2027, 3, 1}, {9, 5, 3, 42}, 90};
    QCOMPARE(QByteArray::fromStdString(restamped(view(line), *stamp, now)), expected);
}

// Seconds between consecutive stamps, as a replay measures them.
void TestLogStamp::gaps_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QList<double>>("gaps");

    QTest::newRow("seconds and minutes") << QByteArrayList{"Dec  6 04:47:51 a", "Dec  6 04:47:52 b",
                                                           "Dec  6 04:49:00 c"}
                                         << QList<double>{1, 68};
    QTest::newRow("New Year keeps its order")
        << QByteArrayList{"Dec 31 23:59:59 a", "Jan  1 00:00:01 b", "Jan  1 00:00:02 c"} << QList<double>{2, 1};
    QTest::newRow("a line slightly out of order across New Year")
        << QByteArrayList{"Jan  1 00:00:01 a", "Dec 31 23:59:59 b"} << QList<double>{-2};
    QTest::newRow("RFC 3339 offsets and fractions")
        << QByteArrayList{"2026-12-06T04:00:00.500+01:00 a", "2026-12-06T03:00:01Z b"} << QList<double>{0.5};
    QTest::newRow("leap day with a year")
        << QByteArrayList{"Feb 28 2028 12:00:00 a", "Mar  1 2028 12:00:00 b"} << QList<double>{2 * 86400};
    QTest::newRow("fractions in the classic form")
        << QByteArrayList{"Dec  6 04:47:51.250 a", "Dec  6 04:47:52.000 b"} << QList<double>{0.75};
    QTest::newRow("classic, then RFC 3339 in UTC")
        << QByteArrayList{"Dec  6 04:47:51 a", "2026-12-06T04:47:53Z b"} << QList<double>{2};
    QTest::newRow("with a year, then classic: the year carries over")
        << QByteArrayList{"Dec  6 2026 04:47:51 a", "Dec  6 04:47:52 b"} << QList<double>{1};
    QTest::newRow("the year carries over across New Year")
        << QByteArrayList{"Dec 31 2026 23:59:59 a", "Jan  1 00:00:01 b", "Jan  1 2027 00:00:02 c"}
        << QList<double>{2, 1};
    QTest::newRow("the first year seen also dates the classic stamp before it")
        << QByteArrayList{"Dec 31 23:59:59 a", "Jan  1 2027 00:00:01 b"} << QList<double>{2};
    QTest::newRow("classic after RFC 3339 takes its offset")
        << QByteArrayList{"2026-12-06T05:47:51+01:00 a", "Dec  6 05:47:53 b", "2026-12-06T04:47:54Z c"}
        << QList<double>{2, 1};
    QTest::newRow("classic before the first RFC 3339 stamp shares its offset")
        << QByteArrayList{"Dec  6 05:47:51 a", "2026-12-06T05:47:53+01:00 b"} << QList<double>{2};
    QTest::newRow("classic after RFC 3339 in UTC is UTC")
        << QByteArrayList{"2026-12-06T04:47:51Z a", "Dec  6 2026 04:47:52 b"} << QList<double>{1};
}

void TestLogStamp::gaps()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QList<double>, gaps);
    LogTimeline timeline;
    QList<double> measured;
    for (const QByteArray& line : lines) {
        const std::optional<LogStamp> stamp = findLogStamp(view(line));
        QVERIFY2(stamp, line.constData());
        if (const std::optional<double> gap = timeline.gapTo(*stamp)) {
            measured << *gap;
        }
    }
    QCOMPARE(measured, gaps);
}

// Where a real log line's own header ends: its host, and the message after it.
void TestLogStamp::ownHeader_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("host"); // empty: no header of its own
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("classic stamp and address") << QByteArray("Dec  6 04:47:51 10.1.1.1 %PIX-1-106021: Deny")
                                               << QByteArray("10.1.1.1") << QByteArray("%PIX-1-106021: Deny");
    QTest::newRow("priority, a year and the device's colon")
        << QByteArray("<166>Dec  6 2026 04:47:51 fw-a : %PIX-6-302013: Built") << QByteArray("fw-a")
        << QByteArray("%PIX-6-302013: Built");
    QTest::newRow("RFC 3339 and a name") << QByteArray("2026-12-06T04:47:51.250+01:00 fw.example %PIX-6-1: x")
                                         << QByteArray("fw.example") << QByteArray("%PIX-6-1: x");
    QTest::newRow("host alone") << QByteArray("Dec  6 04:47:51 fw") << QByteArray("fw") << QByteArray("");
    QTest::newRow("a tag where the host would be")
        << QByteArray("Dec  6 04:47:51 %PIX-6-1: x") << QByteArray() << QByteArray();
    QTest::newRow("the device's colon right after the stamp")
        << QByteArray("Dec  6 2026 04:47:51: %PIX-6-1: x") << QByteArray() << QByteArray();
    QTest::newRow("no stamp") << QByteArray("fw %PIX-6-1: x") << QByteArray() << QByteArray();
    QTest::newRow("nothing after the stamp") << QByteArray("Dec  6 04:47:51 ") << QByteArray() << QByteArray();
    QTest::newRow("a control byte in the host") << QByteArray("Dec  6 04:47:51 f\tw x") << QByteArray() << QByteArray();
}

void TestLogStamp::ownHeader()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, message);
    const std::optional<LogHeader> header = findLogHeader(view(line));
    QCOMPARE(header.has_value(), !host.isEmpty());
    if (header) {
        QCOMPARE(QByteArray(header->host.data(), qsizetype(header->host.size())), host);
        QCOMPARE(QByteArray(header->message.data(), qsizetype(header->message.size())), message);
    }
}

QTEST_APPLESS_MAIN(TestLogStamp)
#include "tst_logstamp.moc"
