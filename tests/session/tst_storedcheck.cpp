// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The check of stored lines: the message of a line under each collector's prefix, the counts of a
// match by text and by sequence number, the report, and the reading of a stored file.
#include "session/storedcheck.h"
#include "session/storedreport.h"

#include <QTemporaryDir>
#include <QTest>

#include <fstream>

using namespace korvane;

Q_DECLARE_METATYPE(korvane::CheckCounts)
Q_DECLARE_METATYPE(korvane::CheckOptions)

namespace {

const QByteArray kBuilt = "PIX-6-302013: Built inbound TCP connection 4411 for outside:192.0.2.7/40001 to "
                          "inside:10.4.0.9/443";
const QByteArray kTeardown = "PIX-6-302014: Teardown TCP connection 4411 for outside:192.0.2.7/40001 to "
                             "inside:10.4.0.9/443 duration 0:00:02 bytes 1180";
const QByteArray kDeny = "PIX-4-106023: Deny udp src outside:198.51.100.3/5353 dst inside:10.4.0.2/53 by "
                         "access-group \"edge\"";
const QByteArray kBuiltOther = "PIX-6-302013: Built inbound TCP connection 4412 for outside:192.0.2.8/40002 to "
                               "inside:10.4.0.9/443";

std::string messageOf(int n)
{
    return "PIX-6-302013: Built inbound TCP connection " + std::to_string(n);
}

// As rsyslog's default file format stores a message: its tag is the message's own "%PIX-...:".
QByteArray rsyslog(const QByteArray& message)
{
    return "Dec  8 10:11:12 fw-edge %" + message;
}

// The wire form with a sequence number, as rsyslog's %rawmsg% keeps it.
QByteArray numbered(const QByteArray& message, quint32 id)
{
    return "<134>1 2026-12-08T10:11:12.345+01:00 fw-edge PIX - - [meta sequenceId=\"" + QByteArray::number(id) +
           "\"] %" + message;
}

CheckCounts counts(std::uint64_t expected, std::uint64_t stored, std::uint64_t missing, std::uint64_t duplicated,
                   std::uint64_t reordered, std::uint64_t damaged, std::uint64_t foreign)
{
    return {expected, stored, missing, duplicated, reordered, damaged, foreign};
}

ExpectedMessages expectedOf(const QByteArrayList& texts)
{
    ExpectedMessages expected;
    for (const QByteArray& text : texts) {
        expected.append(text.toStdString());
    }
    return expected;
}

// What the counts must satisfy whatever went wrong: every expected message is matched, missing or
// stood for by a damaged line, every line of the run matched, doubled or damaged.
void checkIdentity(const CheckCounts& c)
{
    QVERIFY(c.expected >= c.missing + c.damaged);
    QVERIFY(c.stored >= c.duplicated + c.damaged);
    const std::uint64_t matched = c.expected - c.missing - c.damaged;
    QCOMPARE(c.stored - c.duplicated - c.damaged, matched);
    QVERIFY(c.reordered <= matched);
}

} // namespace

class TestStoredCheck : public QObject
{
    Q_OBJECT

private slots:
    void storedMessage_data();
    void storedMessage();
    void expectedMessages();
    void match_data();
    void match();
    void report();
    void storedFile();
    void unreadableFile();
};

void TestStoredCheck::storedMessage_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("escaped");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<uint>("sequenceId");

    const QByteArray deny = kDeny;
    QTest::newRow("rsyslog default file format") << rsyslog(deny) << false << deny << 0u;
    QTest::newRow("rsyslog rawmsg, RFC 3164") << "<164>Dec  8 10:11:12 fw-edge %" + deny << false << deny << 0u;
    QTest::newRow("rsyslog rawmsg, RFC 5424")
        << "<164>1 2026-12-08T10:11:12.345+01:00 fw-edge PIX - 106023 - %" + deny << false << deny << 0u;
    QTest::newRow("rsyslog rawmsg, RFC 5424 with a sequence number") << numbered(deny, 17) << false << deny << 17u;
    QTest::newRow("rsyslog rawmsg, device form")
        << "<164>Dec 08 2026 10:11:12 fw-edge : %" + deny << false << deny << 0u;
    QTest::newRow("syslog-ng default file format") << "Dec  8 10:11:12 fw-edge %" + deny + "\n" << false << deny << 0u;
    QTest::newRow("harkwell --stdout") << "<164>Dec  8 10:11:12 fw-edge %" + deny << true << deny << 0u;
    QTest::newRow("harkwell --stdout --verbose") << "10:11:12.345  127.0.0.1:50000  20  4  fw-edge  <164>Dec  8 "
                                                    "10:11:12 fw-edge %" +
                                                        deny
                                                 << true << deny << 0u;
    QTest::newRow("harkwell --stdout, escapes undone")
        << QByteArray("<164>Dec  8 10:11:12 fw-edge %PIX-4-106023: path C:\\\\logs\\x01\\t") << true
        << QByteArray("PIX-4-106023: path C:\\logs\x01\t") << 0u;
    QTest::newRow("harkwell --stdout, the cut mark dropped")
        << QByteArray("%PIX-4-106023: Deny udp\t[cut]") << true << QByteArray("PIX-4-106023: Deny udp") << 0u;
    QTest::newRow("GENERATE.TXT") << "Dec 08 2026 10:11:12: %" + deny + "\r\n" << false << deny << 0u;
    QTest::newRow("no PIX-: foreign") << QByteArray("Dec  8 10:11:12 fw-edge sshd[42]: session opened") << false
                                      << QByteArray() << 0u;
    QTest::newRow("sequence number out of range")
        << numbered(deny, 0).replace("=\"0\"", "=\"2147483648\"") << false << deny << 0u;
    QTest::newRow("sequence number in another element")
        << "<164>1 2026-12-08T10:11:12.345Z fw-edge PIX - - [origin sequenceId=\"5\"] %" + deny << false << deny << 0u;
}

void TestStoredCheck::storedMessage()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, escaped);
    QFETCH(QByteArray, message);
    QFETCH(uint, sequenceId);

    const std::string text = escaped ? unescapedStdoutLine(line.toStdString()) : line.toStdString();
    const StoredLine stored = parseStoredLine(text);
    QCOMPARE(QByteArray::fromStdString(std::string(stored.message)), message);
    QCOMPARE(stored.sequenceId, sequenceId);
}

void TestStoredCheck::expectedMessages()
{
    // Each text kept once and found again, past the growth of the index; a prefix left out as of a stored line.
    ExpectedMessages expected;
    for (int pass = 0; pass < 2; ++pass) {
        for (int n = 0; n < 1000; ++n) {
            expected.append((pass == 0 ? "" : "Dec  8 10:11:12 fw-edge %") + messageOf(n));
        }
    }
    QCOMPARE(expected.size(), 2000u);
    QCOMPARE(expected.distinctCount(), 1000u);
    for (std::uint32_t n = 0; n < 1000; ++n) {
        QCOMPARE(expected.find(messageOf(n)), n);
        QCOMPARE(expected.text(1000 + n), std::string_view(messageOf(n)));
    }
    QCOMPARE(expected.find("PIX-6-302013: Built inbound TCP connection 1000"), ExpectedMessages::kNotFound);
}

void TestStoredCheck::match_data()
{
    QTest::addColumn<QByteArrayList>("expected");
    QTest::addColumn<CheckOptions>("options");
    QTest::addColumn<QByteArrayList>("stored");
    QTest::addColumn<CheckCounts>("counts");

    const QByteArrayList run = {kBuilt, kTeardown, kDeny, kBuiltOther};
    const CheckOptions byText;
    QTest::newRow("nothing wrong") << run << byText
                                   << QByteArrayList{rsyslog(kBuilt), rsyslog(kTeardown), rsyslog(kDeny),
                                                     rsyslog(kBuiltOther)}
                                   << counts(4, 4, 0, 0, 0, 0, 0);
    QTest::newRow("a line missing") << run << byText
                                    << QByteArrayList{rsyslog(kBuilt), rsyslog(kDeny), rsyslog(kBuiltOther)}
                                    << counts(4, 3, 1, 0, 0, 0, 0);
    QTest::newRow("a line doubled") << run << byText
                                    << QByteArrayList{rsyslog(kBuilt), rsyslog(kTeardown), rsyslog(kTeardown),
                                                      rsyslog(kDeny), rsyslog(kBuiltOther)}
                                    << counts(4, 5, 0, 1, 0, 0, 0);
    QTest::newRow("a line swapped with its neighbour")
        << run << byText << QByteArrayList{kBuilt, kDeny, kTeardown, kBuiltOther} << counts(4, 4, 0, 0, 1, 0, 0);
    QTest::newRow("a line stored far too early is one out of order")
        << run << byText << QByteArrayList{kBuiltOther, kBuilt, kTeardown, kDeny} << counts(4, 4, 0, 0, 1, 0, 0);
    QTest::newRow("a line cut short is damaged, not missing")
        << run << byText << QByteArrayList{kBuilt, kTeardown, kDeny.left(30), kBuiltOther}
        << counts(4, 4, 0, 0, 0, 1, 0);
    QTest::newRow("a foreign line") << run << byText
                                    << QByteArrayList{kBuilt, kTeardown, "sshd[42]: session opened", kDeny, kBuiltOther}
                                    << counts(4, 4, 0, 0, 0, 0, 1);
    QTest::newRow("an unknown line no missing message of its id stands for is foreign")
        << run << byText << QByteArrayList{kBuilt, kTeardown, kDeny, kDeny.left(30), kBuiltOther}
        << counts(4, 4, 0, 0, 0, 0, 1);
    QTest::newRow("a replay: each copy of a text in turn, the last one missing")
        << QByteArrayList{kBuilt, kTeardown, kBuilt, kTeardown, kBuilt, kTeardown} << byText
        << QByteArrayList{kBuilt, kTeardown, kBuilt, kTeardown, kBuilt} << counts(6, 5, 1, 0, 0, 0, 0);

    const CheckOptions numberedRun{true, 1, false};
    QTest::newRow("sequence: nothing wrong")
        << run << numberedRun
        << QByteArrayList{numbered(kBuilt, 1), numbered(kTeardown, 2), numbered(kDeny, 3), numbered(kBuiltOther, 4)}
        << counts(4, 4, 0, 0, 0, 0, 0);
    QTest::newRow("sequence: an id twice")
        << run << numberedRun
        << QByteArrayList{numbered(kBuilt, 1), numbered(kTeardown, 2), numbered(kTeardown, 2), numbered(kDeny, 3),
                          numbered(kBuiltOther, 4)}
        << counts(4, 5, 0, 1, 0, 0, 0);
    QTest::newRow("sequence: a gap") << run << numberedRun
                                     << QByteArrayList{numbered(kBuilt, 1), numbered(kDeny, 3),
                                                       numbered(kBuiltOther, 4)}
                                     << counts(4, 3, 1, 0, 0, 0, 0);
    QTest::newRow("sequence: out of order")
        << run << numberedRun
        << QByteArrayList{numbered(kBuilt, 1), numbered(kDeny, 3), numbered(kTeardown, 2), numbered(kBuiltOther, 4)}
        << counts(4, 4, 0, 0, 1, 0, 0);
    QTest::newRow("sequence: a changed text is damaged under its id")
        << run << numberedRun
        << QByteArrayList{numbered(kBuilt, 1), numbered(kBuiltOther, 2), numbered(kDeny, 3), numbered(kBuiltOther, 4)}
        << counts(4, 4, 0, 0, 0, 1, 0);
    QTest::newRow("sequence: the same text twice under two ids is no duplicate")
        << QByteArrayList{kBuilt, kBuilt} << numberedRun << QByteArrayList{numbered(kBuilt, 1), numbered(kBuilt, 2)}
        << counts(2, 2, 0, 0, 0, 0, 0);
    QTest::newRow("sequence: lines whose ids were dropped are known by their text")
        << run << numberedRun << QByteArrayList{rsyslog(kBuilt), rsyslog(kDeny), rsyslog(kBuiltOther)}
        << counts(4, 3, 1, 0, 0, 0, 0);
    const QByteArrayList wrapping = {kBuilt, kTeardown, kDeny, kBuiltOther};
    const CheckOptions nearTheEnd{true, kLargestSequenceId - 1, false};
    QTest::newRow("sequence: wrap from 2147483647 to 1")
        << wrapping << nearTheEnd
        << QByteArrayList{numbered(kBuilt, kLargestSequenceId - 1), numbered(kTeardown, kLargestSequenceId),
                          numbered(kDeny, 1), numbered(kBuiltOther, 2)}
        << counts(4, 4, 0, 0, 0, 0, 0);
    QTest::newRow("sequence: out of order across the wrap")
        << wrapping << nearTheEnd
        << QByteArrayList{numbered(kBuilt, kLargestSequenceId - 1), numbered(kDeny, 1),
                          numbered(kTeardown, kLargestSequenceId), numbered(kBuiltOther, 2)}
        << counts(4, 4, 0, 0, 1, 0, 0);
}

void TestStoredCheck::match()
{
    QFETCH(QByteArrayList, expected);
    QFETCH(CheckOptions, options);
    QFETCH(QByteArrayList, stored);
    QFETCH(CheckCounts, counts);

    const ExpectedMessages run = expectedOf(expected);
    StoredCheck check(run, options);
    for (const QByteArray& line : stored) {
        check.add(line.toStdString());
    }
    const CheckReport report = check.report();
    QCOMPARE(QString::fromStdString(checkSummary(report.total)), QString::fromStdString(checkSummary(counts)));
    checkIdentity(report.total);

    // The counts by id add up to the totals and satisfy the identity each.
    CheckCounts sum;
    for (const auto& [id, byId] : report.byId) {
        checkIdentity(byId);
        sum.expected += byId.expected;
        sum.stored += byId.stored;
        sum.missing += byId.missing;
        sum.duplicated += byId.duplicated;
        sum.reordered += byId.reordered;
        sum.damaged += byId.damaged;
        sum.foreign += byId.foreign;
    }
    const std::uint64_t foreignWithoutId = report.total.foreign - sum.foreign;
    sum.foreign = report.total.foreign;
    QCOMPARE(QString::fromStdString(checkSummary(sum)), QString::fromStdString(checkSummary(report.total)));
    QVERIFY(foreignWithoutId <= report.total.foreign);
}

void TestStoredCheck::report()
{
    CheckReport report;
    report.total = counts(3, 3, 1, 1, 0, 0, 2);
    report.byId["4-106023"] = counts(1, 0, 1, 0, 0, 0, 0);
    report.byId["6-\"x\\"] = counts(2, 3, 0, 1, 0, 0, 1);

    QCOMPARE(QByteArray::fromStdString(checkReportJson(report)), QByteArray("{\n"
                                                                            "  \"expected\": 3,\n"
                                                                            "  \"stored\": 3,\n"
                                                                            "  \"missing\": 1,\n"
                                                                            "  \"duplicated\": 1,\n"
                                                                            "  \"reordered\": 0,\n"
                                                                            "  \"damaged\": 0,\n"
                                                                            "  \"foreign\": 2,\n"
                                                                            "  \"by_id\": {\n"
                                                                            "    \"4-106023\": {\n"
                                                                            "      \"expected\": 1,\n"
                                                                            "      \"stored\": 0,\n"
                                                                            "      \"missing\": 1,\n"
                                                                            "      \"duplicated\": 0,\n"
                                                                            "      \"reordered\": 0,\n"
                                                                            "      \"damaged\": 0,\n"
                                                                            "      \"foreign\": 0\n"
                                                                            "    },\n"
                                                                            "    \"6-\\\"x\\\\\": {\n"
                                                                            "      \"expected\": 2,\n"
                                                                            "      \"stored\": 3,\n"
                                                                            "      \"missing\": 0,\n"
                                                                            "      \"duplicated\": 1,\n"
                                                                            "      \"reordered\": 0,\n"
                                                                            "      \"damaged\": 0,\n"
                                                                            "      \"foreign\": 1\n"
                                                                            "    }\n"
                                                                            "  }\n"
                                                                            "}\n"));
    QCOMPARE(QByteArray::fromStdString(checkReportJson(CheckReport{})).simplified(),
             QByteArray("{ \"expected\": 0, \"stored\": 0, \"missing\": 0, \"duplicated\": 0, \"reordered\": 0, "
                        "\"damaged\": 0, \"foreign\": 0, \"by_id\": {} }"));
    QCOMPARE(QByteArray::fromStdString(checkSummary(report.total)),
             QByteArray("3 expected, 3 stored: 1 missing, 1 duplicated, 0 reordered, 0 damaged, 2 foreign"));
}

void TestStoredCheck::storedFile()
{
    // CR LF ends, an empty line (foreign), a foreign line longer than the reader's buffer, a line that crosses
    // from one buffer (a MiB) into the next, and a last line without an end.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string path = dir.filePath("GENERATE.TXT").toStdString();
    const std::string first = "Dec 08 2026 10:11:12: %" + kBuilt.toStdString() + "\r\n\r\n";
    const std::string longLine = std::string(4 * 1024 * 1024 - first.size() - 2 - 30, 'y') + "\r\n";
    {
        std::ofstream out(path, std::ios::binary);
        out << first << longLine << "Dec 08 2026 10:11:13: %" << kTeardown.toStdString() << "\r\n"
            << "Dec 08 2026 10:11:14: %" << kDeny.toStdString();
    }
    const ExpectedMessages run = expectedOf({kBuilt, kTeardown, kDeny, kBuiltOther});
    const Result<CheckReport> checked = checkStoredFile(path, run);
    QVERIFY2(checked.ok(), checked.reason().c_str());
    QCOMPARE(QString::fromStdString(checkSummary(checked.value().total)),
             QString::fromStdString(checkSummary(counts(4, 3, 1, 0, 0, 0, 2))));
}

void TestStoredCheck::unreadableFile()
{
    const ExpectedMessages run = expectedOf({kBuilt});
    const Result<CheckReport> checked = checkStoredFile("/nonexistent/stored.log", run);
    QVERIFY(!checked.ok());
    QCOMPARE(checked.systemError(), ENOENT);
}

QTEST_APPLESS_MAIN(TestStoredCheck)
#include "tst_storedcheck.moc"
