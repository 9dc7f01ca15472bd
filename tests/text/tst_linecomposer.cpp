// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/linecomposer.h"

#include <QTest>

#include <string>
#include <utility>
#include <vector>

using namespace korvane;

namespace {

// A clock fixed at one moment that counts how often it is read.
class FixedClock final : public WallClock
{
public:
    FixedClock(CivilDate date, CivilTime time) : m_stamp{date, time} {}

    CivilDateTime now() override
    {
        ++m_reads;
        return m_stamp;
    }
    int reads() const { return m_reads; }

private:
    CivilDateTime m_stamp;
    int m_reads = 0;
};

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

class LineComposerTest : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void stamp_data();
    void stamp();
    void monthNamesAreEnglishAbbreviations();
    void firewallNameAndMessageAreKeptAsBytes();
    void removeHeader_data();
    void removeHeader();
    void megabyteLineLosesOnlyItsHeader();
    void frameLine_data();
    void frameLine();
    void sequenceIdOnlyWhereTheHeaderHasAPlace_data();
    void sequenceIdOnlyWhereTheHeaderHasAPlace();
    void sequenceIdsWrapAfterTheLargest();
    void composerFollowsTheClock();
};

void LineComposerTest::workedExample()
{
    FixedClock clock({2026, 12, 6}, {4, 47, 51});
    const std::string line = composeLine(clock, "Pix-Inside-Demo",
                                         "%PIX-6-302001: Built outbound TCP connection 4711 for faddr "
                                         "193.50.60.70/312 gaddr 10.11.11.11/9023 laddr 10.10.12.20/77");
    QCOMPARE(line, std::string("06 Dec 2026 04:47:51  Pix-Inside-Demo %PIX-6-302001: Built outbound TCP connection "
                               "4711 for faddr 193.50.60.70/312 gaddr 10.11.11.11/9023 laddr 10.10.12.20/77"));
    // One reading: date and time of a line composed at midnight belong to the same day.
    QCOMPARE(clock.reads(), 1);
}

void LineComposerTest::stamp_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("second");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("single-digit day, hour and second keep a leading zero")
        << 2026 << 3 << 1 << 9 << 5 << 3 << QByteArray("01 Mar 2026 09:05:03  fw msg");
    QTest::newRow("afternoon is written on the 24-hour clock")
        << 2026 << 7 << 14 << 13 << 0 << 0 << QByteArray("14 Jul 2026 13:00:00  fw msg");
    QTest::newRow("midnight") << 2027 << 1 << 1 << 0 << 0 << 0 << QByteArray("01 Jan 2027 00:00:00  fw msg");
    QTest::newRow("last second of December")
        << 2026 << 12 << 31 << 23 << 59 << 59 << QByteArray("31 Dec 2026 23:59:59  fw msg");
}

void LineComposerTest::stamp()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(int, second);
    QFETCH(QByteArray, expected);

    FixedClock clock({year, month, day}, {hour, minute, second});
    QCOMPARE(bytes(composeLine(clock, "fw", "msg")), expected);
}

void LineComposerTest::monthNamesAreEnglishAbbreviations()
{
    const char* const names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int month = 1; month <= 12; ++month) {
        const std::string line = composeLine(CivilDate{2026, month, 10}, CivilTime{12, 0, 0}, "fw", "m");
        QCOMPARE(line.substr(3, 3), std::string(names[month - 1]));
        QCOMPARE(line.size(), std::string("10 Xxx 2026 12:00:00  fw m").size());
    }
}

void LineComposerTest::firewallNameAndMessageAreKeptAsBytes()
{
    const std::string name = "Pare-feu \xE9t\xE9";
    const std::string message("%PIX-6-1: caf\xC3\xA9 \0 end  ", 23);
    const std::string line = composeLine(CivilDate{2026, 12, 6}, CivilTime{4, 47, 51}, name, message);
    QCOMPARE(line, "06 Dec 2026 04:47:51  " + name + " " + message);
}

void LineComposerTest::removeHeader_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("marker");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("blank and tag marker keeps the message whole")
        << QByteArray("Dec  6 04:47:51 10.1.1.1 %PIX-6-302001: Built outbound TCP connection") << QByteArray(" %PIX")
        << QByteArray("%PIX-6-302001: Built outbound TCP connection");
    QTest::newRow("absent marker leaves the line and its trailing spaces")
        << QByteArray("Dec  6 04:47:51 10.1.1.1 kernel: up   ") << QByteArray(" %PIX")
        << QByteArray("Dec  6 04:47:51 10.1.1.1 kernel: up   ");
    QTest::newRow("empty marker leaves the line unchanged")
        << QByteArray("host1 %PIX-4-106023: Deny  ") << QByteArray("") << QByteArray("host1 %PIX-4-106023: Deny  ");
    QTest::newRow("one-character marker is itself removed")
        << QByteArray("host1 %PIX-4-106023: Deny tcp") << QByteArray("%") << QByteArray("PIX-4-106023: Deny tcp");
    QTest::newRow("trailing spaces are cut but tabs stay")
        << QByteArray("h %PIX-1-101001: ok \t  ") << QByteArray(" %PIX") << QByteArray("%PIX-1-101001: ok \t");
    QTest::newRow("only the first occurrence counts")
        << QByteArray("a %PIX-1 b %PIX-2") << QByteArray(" %PIX") << QByteArray("%PIX-1 b %PIX-2");
    QTest::newRow("marker is case-sensitive")
        << QByteArray("a %pix-1 x") << QByteArray(" %PIX") << QByteArray("a %pix-1 x");
    QTest::newRow("marker at the very start removes its first character")
        << QByteArray(" %PIX-3-1: x") << QByteArray(" %PIX") << QByteArray("%PIX-3-1: x");
    QTest::newRow("nothing but spaces after the cut gives an empty line")
        << QByteArray("header|    ") << QByteArray("|") << QByteArray("");
    QTest::newRow("marker equal to the line leaves its tail")
        << QByteArray(" %PIX") << QByteArray(" %PIX") << QByteArray("%PIX");
    QTest::newRow("marker longer than the line is absent")
        << QByteArray("%P") << QByteArray(" %PIX") << QByteArray("%P");
    QTest::newRow("NUL bytes before the marker are cut with the header")
        << QByteArray("h\0h %PIX-5-1: x\0y", 17) << QByteArray(" %PIX") << QByteArray("%PIX-5-1: x\0y", 13);
    QTest::newRow("marker holding a NUL byte is matched exactly")
        << QByteArray("ab\0cd", 5) << QByteArray("\0c", 2) << QByteArray("cd");
    QTest::newRow("8-bit bytes pass through")
        << QByteArray("t\xE9te \xC3\xA9 %PIX-6-1: \xFF") << QByteArray(" %PIX") << QByteArray("%PIX-6-1: \xFF");
}

void LineComposerTest::removeHeader()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, marker);
    QFETCH(QByteArray, expected);
    QCOMPARE(bytes(korvane::removeHeader(view(line), view(marker))), expected);
}

void LineComposerTest::megabyteLineLosesOnlyItsHeader()
{
    std::string body(1 << 20, 'b');
    body[100] = '\0';
    body[200] = '\x80';
    const std::string line = "Dec  6 04:47:51 10.1.1.1 %PIX-6-302013: " + body + "  ";
    QCOMPARE(std::string(korvane::removeHeader(line, " %PIX")), "%PIX-6-302013: " + body);
}

void LineComposerTest::frameLine_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("facility");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("expected");

    const auto f3164 = static_cast<int>(SyslogFormat::Rfc3164);
    const auto f5424 = static_cast<int>(SyslogFormat::Rfc5424);
    const QByteArray deny = "%PIX-4-106023: Deny tcp src outside:1.2.3.4/5 dst inside:10.0.0.1/22";
    QTest::newRow("plain is the message alone")
        << static_cast<int>(SyslogFormat::Plain) << 20 << 7 << 0 << QByteArray("fw") << deny << deny;
    QTest::newRow("3164: local4, severity from the tag, day padded with a space")
        << f3164 << 20 << 7 << 60 << QByteArray("Pix-Inside-Demo") << deny
        << "<164>Dec  7 15:07:59 Pix-Inside-Demo " + deny;
    QTest::newRow("3164: two-digit day, kernel facility, emergency")
        << f3164 << 0 << 17 << 0 << QByteArray("fw") << QByteArray("%PIX-0-199001: x")
        << QByteArray("<0>Dec 17 15:07:59 fw %PIX-0-199001: x");
    QTest::newRow("3164: a line without a level is a notice")
        << f3164 << 23 << 7 << 0 << QByteArray("fw") << QByteArray("Dec  6 04:47:51 10.1.1.1 no tag here")
        << QByteArray("<189>Dec  7 15:07:59 fw Dec  6 04:47:51 10.1.1.1 no tag here");
    QTest::newRow("3164: a level out of 0..7 is a notice")
        << f3164 << 20 << 7 << 0 << QByteArray("fw") << QByteArray("%PIX-9-1: x")
        << QByteArray("<165>Dec  7 15:07:59 fw %PIX-9-1: x");
    QTest::newRow("3164: blanks in the host become underscores")
        << f3164 << 20 << 7 << 0 << QByteArray("my fw\t1") << QByteArray("%PIX-6-1: x")
        << QByteArray("<166>Dec  7 15:07:59 my_fw_1 %PIX-6-1: x");
    const auto device = static_cast<int>(SyslogFormat::Device);
    QTest::newRow("device: year, no fraction, the colon that parsers look for before the message id")
        << device << 20 << 7 << 60 << QByteArray("Pix-Inside-Demo") << QByteArray("%PIX-6-302013: Built")
        << QByteArray("<166>Dec  7 2026 15:07:59 Pix-Inside-Demo : %PIX-6-302013: Built");
    QTest::newRow("device: two-digit day, blanks in the host, a line without a level")
        << device << 23 << 17 << 0 << QByteArray("Pix Outside") << QByteArray("no tag")
        << QByteArray("<189>Dec 17 2026 15:07:59 Pix_Outside : no tag");
    QTest::newRow("5424: milliseconds, offset, PIX and the message number")
        << f5424 << 20 << 7 << 60 << QByteArray("Pix-Inside-Demo") << deny
        << "<164>1 2026-12-07T15:07:59.042+01:00 Pix-Inside-Demo PIX - 106023 - " + deny;
    QTest::newRow("5424: negative offset with minutes")
        << f5424 << 20 << 7 << -(3 * 60 + 30) << QByteArray("fw") << QByteArray("%PIX-6-302013: x")
        << QByteArray("<166>1 2026-12-07T15:07:59.042-03:30 fw PIX - 302013 - %PIX-6-302013: x");
    QTest::newRow("5424: the first tag counts, inside a real log line")
        << f5424 << 20 << 7 << 0 << QByteArray("fw") << QByteArray("Dec  6 04:47:51 10.1.1.1 %PIX-3-305005: a %PIX-6-1")
        << QByteArray(
               "<163>1 2026-12-07T15:07:59.042+00:00 fw PIX - 305005 - Dec  6 04:47:51 10.1.1.1 %PIX-3-305005: a "
               "%PIX-6-1");
    QTest::newRow("5424: no tag, no message number")
        << f5424 << 20 << 7 << 0 << QByteArray("") << QByteArray("hello")
        << QByteArray("<165>1 2026-12-07T15:07:59.042+00:00 - PIX - - - hello");
}

void LineComposerTest::frameLine()
{
    QFETCH(int, format);
    QFETCH(int, facility);
    QFETCH(int, day);
    QFETCH(int, offset);
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, expected);
    const CivilDateTime stamp{{2026, 12, day}, {15, 7, 59, 42}, offset};
    QCOMPARE(bytes(korvane::frameLine(static_cast<SyslogFormat>(format), facility, stamp, view(host), view(message))),
             expected);
}

void LineComposerTest::sequenceIdOnlyWhereTheHeaderHasAPlace_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("5424: the structured data")
        << static_cast<int>(SyslogFormat::Rfc5424)
        << QByteArray("<166>1 2026-12-07T15:07:59.042+00:00 fw PIX - 302013 [meta sequenceId=\"2147483647\"] "
                      "%PIX-6-302013: x");
    QTest::newRow("3164: none") << static_cast<int>(SyslogFormat::Rfc3164)
                                << QByteArray("<166>Dec  7 15:07:59 fw %PIX-6-302013: x");
    QTest::newRow("plain: none") << static_cast<int>(SyslogFormat::Plain) << QByteArray("%PIX-6-302013: x");
}

void LineComposerTest::sequenceIdOnlyWhereTheHeaderHasAPlace()
{
    QFETCH(int, format);
    QFETCH(QByteArray, expected);
    const CivilDateTime stamp{{2026, 12, 7}, {15, 7, 59, 42}, 0};
    QCOMPARE(
        bytes(korvane::frameLine(static_cast<SyslogFormat>(format), 20, stamp, "fw", "%PIX-6-302013: x", 2147483647)),
        expected);
}

void LineComposerTest::sequenceIdsWrapAfterTheLargest()
{
    QCOMPARE(sequenceIdOfLine(1), 1U);
    QCOMPARE(sequenceIdOfLine(2147483647), 2147483647U);
    QCOMPARE(sequenceIdOfLine(2147483648), 1U);
    QCOMPARE(sequenceIdOfLine(2 * std::int64_t{2147483647} + 5), 5U);
}

QTEST_APPLESS_MAIN(LineComposerTest)
#include "tst_linecomposer.moc"

void LineComposerTest::composerFollowsTheClock()
{
    // Every change of a field a line shows, and one it does not (the millisecond).
    const std::vector<std::pair<CivilDate, CivilTime>> stamps{
        {{2026, 12, 31}, {23, 59, 58, 10}}, {{2026, 12, 31}, {23, 59, 58, 990}}, {{2026, 12, 31}, {23, 59, 59}},
        {{2026, 12, 31}, {23, 58, 59}},     {{2026, 12, 31}, {22, 58, 59}},      {{2026, 12, 30}, {22, 58, 59}},
        {{2026, 11, 30}, {22, 58, 59}},     {{2027, 11, 30}, {22, 58, 59}},
    };
    LineComposer composer("Pix-Inside-Demo");
    std::string line = "left over from the line before";
    for (std::size_t i = 0; i < stamps.size(); ++i) {
        const std::string message = "%PIX-6-302013: message " + std::to_string(i);
        composer.compose(line, stamps[i].first, stamps[i].second, message);
        QCOMPARE(line, composeLine(stamps[i].first, stamps[i].second, "Pix-Inside-Demo", message));
    }
}
