// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/templaterewriter.h"
#include "scriptedrandomsource.h"

#include <QTest>

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace korvane;

namespace {

// The address pools and fixed values of the default settings file.
RewriteValues defaultValues()
{
    RewriteValues values;
    values.srcIp = {"194.98.65.10", "193.10.22.23", "193.50.60.70", "195.60.61.62", "193.99.98.99"};
    values.dstIp = {"10.10.12.12", "10.10.12.20", "10.10.12.30", "10.10.12.40", "10.11.11.1"};
    values.gatewayIp = "10.11.11.11";
    values.userName = "PIX_User";
    values.sessionNum = "10";
    values.elapsedTime = "25";
    return values;
}

// Every draw distinct, so that each value in a result tells which draw produced it.
LineDraws distinctDraws()
{
    LineDraws draws;
    draws.s = 2; // 193.50.60.70
    draws.d = 1; // 10.10.12.20
    draws.p1 = 312;
    draws.p2 = 9023;
    draws.p3 = 77;
    draws.p4 = 31337;
    draws.m1 = 4711;
    draws.m2 = 65535;
    return draws;
}

QByteArray rewrite(const QByteArray& line, const RewriteValues& values = defaultValues(),
                   const LineDraws& draws = distinctDraws())
{
    const std::string out =
        rewriteTemplate(std::string_view(line.constData(), static_cast<std::size_t>(line.size())), values, draws);
    return QByteArray(out.data(), static_cast<qsizetype>(out.size()));
}

// The r that makes floor(count * r + base) land on `wanted`, in the middle of its interval.
double drawFor(int wanted, int count, int base)
{
    return (wanted - base + 0.5) / count;
}

} // namespace

class TemplateRewriterTest : public QObject
{
    Q_OBJECT

private slots:
    void workedExampleFromScriptedDraws();
    void rules_data();
    void rules();
    void insertedValuesAreSeenByLaterRules_data();
    void insertedValuesAreSeenByLaterRules();
    void valuesJoiningTheirNeighboursFormPlaceholders_data();
    void valuesJoiningTheirNeighboursFormPlaceholders();
    void drawsAreTakenInOrder();
    void eightDrawsEvenWithoutPlaceholders();
    void drawRanges_data();
    void drawRanges();
    void drawsOutsideThePoolsUseTheNearestEntry();
    void poolsAreDrawnEvenly();
    void defaultSourceRepeatsItsSequence();
    void megabyteLineWithNulAndHighBytesPassesThrough();
    void rulesBeyondTheTableWithAnyPlaceholder_data();
    void rulesBeyondTheTableWithAnyPlaceholder();

private:
    // One rewriter and one output buffer for all rows of a test, as a generation run reuses
    // them: what a line leaves behind must not show in the next one.
    TemplateRewriter m_reused{defaultValues()};
    std::string m_reusedOut;
};

void TemplateRewriterTest::workedExampleFromScriptedDraws()
{
    ScriptedRandomSource random({drawFor(2, 5, 0), drawFor(1, 5, 0), drawFor(312, 1024, 1), drawFor(9023, 10000, 1),
                                 drawFor(77, 1024, 1), 0.0, drawFor(4711, 65535, 1), 0.0});
    const std::string result = rewriteTemplate("%PIX-6-302001: Built outbound TCP connection %d for faddr IP_addr/port "
                                               "gaddr IP_addr/port laddr IP_addr/port",
                                               defaultValues(), random);
    QCOMPARE(result, std::string("%PIX-6-302001: Built outbound TCP connection 4711 for faddr 193.50.60.70/312 gaddr "
                                 "10.11.11.11/9023 laddr 10.10.12.20/77"));
    QCOMPARE(random.taken(), std::size_t(8));
}

void TemplateRewriterTest::rules_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    // S = 193.50.60.70, D = 10.10.12.20, gateway 10.11.11.11.
    QTest::newRow("faddr takes the source") << QByteArray("faddr IP_addr") << QByteArray("faddr 193.50.60.70");
    QTest::newRow("from takes the source") << QByteArray("from IP_addr") << QByteArray("from 193.50.60.70");
    QTest::newRow("src takes the source") << QByteArray("src IP_addr") << QByteArray("src 193.50.60.70");
    QTest::newRow("SRC takes the source") << QByteArray("SRC IP_addr") << QByteArray("SRC 193.50.60.70");
    QTest::newRow("SRC= takes the source") << QByteArray("SRC=IP_addr") << QByteArray("SRC=193.50.60.70");
    QTest::newRow("for takes the source") << QByteArray("for IP_addr") << QByteArray("for 193.50.60.70");
    QTest::newRow("outside: takes the source") << QByteArray("outside:IP_addr") << QByteArray("outside:193.50.60.70");
    QTest::newRow("incoming takes the source") << QByteArray("incoming IP_addr") << QByteArray("incoming 193.50.60.70");
    QTest::newRow("(IP_addr/ takes the source") << QByteArray("(IP_addr/80") << QByteArray("(193.50.60.70/80");
    QTest::newRow("IP_addr) takes the source") << QByteArray("(IP_addr)") << QByteArray("(193.50.60.70)");
    // "IP_addr)" comes before the "to" rule: an address in brackets after "to" is a source.
    QTest::newRow("to IP_addr) takes the source, not the destination")
        << QByteArray("to IP_addr)") << QByteArray("to 193.50.60.70)");
    QTest::newRow("gaddr takes the gateway") << QByteArray("gaddr IP_addr") << QByteArray("gaddr 10.11.11.11");
    QTest::newRow("laddr takes the destination") << QByteArray("laddr IP_addr") << QByteArray("laddr 10.10.12.20");
    QTest::newRow("to takes the destination") << QByteArray("to IP_addr") << QByteArray("to 10.10.12.20");
    QTest::newRow("dest takes the destination") << QByteArray("dest IP_addr") << QByteArray("dest 10.10.12.20");
    QTest::newRow("DEST takes the destination") << QByteArray("DEST IP_addr") << QByteArray("DEST 10.10.12.20");
    QTest::newRow("DEST= takes the destination") << QByteArray("DEST=IP_addr") << QByteArray("DEST=10.10.12.20");
    QTest::newRow("server takes the destination") << QByteArray("server IP_addr") << QByteArray("server 10.10.12.20");
    QTest::newRow("static takes the destination") << QByteArray("static IP_addr") << QByteArray("static 10.10.12.20");
    QTest::newRow("inside: takes the destination") << QByteArray("inside:IP_addr") << QByteArray("inside:10.10.12.20");
    QTest::newRow("host takes the destination") << QByteArray("host IP_addr") << QByteArray("host 10.10.12.20");
    QTest::newRow("-IP_addr/ takes the destination") << QByteArray("a-IP_addr/8") << QByteArray("a-10.10.12.20/8");
    QTest::newRow("bare IP_addr/ takes the destination") << QByteArray("IP_addr/8") << QByteArray("10.10.12.20/8");
    QTest::newRow("(IP_addr/ is taken before a bare IP_addr/ to its left")
        << QByteArray("a IP_addr/1 (IP_addr/2") << QByteArray("a 10.10.12.20/1 (193.50.60.70/2");
    QTest::newRow("all source rules of a line use the same address")
        << QByteArray("from IP_addr for IP_addr") << QByteArray("from 193.50.60.70 for 193.50.60.70");
    QTest::newRow("IP_addr in no listed context stays") << QByteArray("at IP_addr now") << QByteArray("at IP_addr now");
    QTest::newRow("keyword inside a longer word matches")
        << QByteArray("into IP_addr") << QByteArray("into 10.10.12.20");
    QTest::newRow("second occurrence of a rule's text stays")
        << QByteArray("src IP_addr src IP_addr") << QByteArray("src 193.50.60.70 src IP_addr");
    QTest::newRow("second occurrence followed by slash goes to the bare rule")
        << QByteArray("src IP_addr src IP_addr/") << QByteArray("src 193.50.60.70 src 10.10.12.20/");
    QTest::newRow("keyword with a port keeps the keyword's address")
        << QByteArray("from IP_addr/port to IP_addr/port") << QByteArray("from 193.50.60.70/312 to 10.10.12.20/9023");

    QTest::newRow("one port gets the first port range") << QByteArray("x/port") << QByteArray("x/312");
    QTest::newRow("ports fill left to right and a fifth stays")
        << QByteArray("/port /port /port /port /port") << QByteArray("/312 /9023 /77 /31337 /port");
    QTest::newRow("port without slash stays") << QByteArray("port 80 support") << QByteArray("port 80 support");
    QTest::newRow("two numbers take m1 then m2, a third stays")
        << QByteArray("%d %d %d") << QByteArray("4711 65535 %d");
    QTest::newRow("user keeps its quotes") << QByteArray("user 'user'") << QByteArray("user 'PIX_User'");
    QTest::newRow("second user stays") << QByteArray("'user' 'user'") << QByteArray("'PIX_User' 'user'");
    QTest::newRow("session number") << QByteArray("sid session_num") << QByteArray("sid 10");
    QTest::newRow("elapsed time") << QByteArray("after num_seconds s") << QByteArray("after 25 s");
    QTest::newRow("dec five times, the sixth stays")
        << QByteArray("dec dec dec dec dec dec") << QByteArray("Eth0 Eth0 Eth0 Eth0 Eth0 dec");
    QTest::newRow("dec inside a word is replaced") << QByteArray("decrypt") << QByteArray("Eth0rypt");
    QTest::newRow("number replacing a placeholder that overlaps dec takes the dec along")
        << QByteArray("%dec dec") << QByteArray("4711ec Eth0");

    QTest::newRow("other letter case is not a placeholder")
        << QByteArray("Faddr IP_ADDR from ip_addr /Port %D 'USER' Session_num DEC")
        << QByteArray("Faddr IP_ADDR from ip_addr /Port %D 'USER' Session_num DEC");
    QTest::newRow("template without placeholders is unchanged")
        << QByteArray("%PIX-3-201008: The PIX is disallowing new connections.")
        << QByteArray("%PIX-3-201008: The PIX is disallowing new connections.");
    QTest::newRow("empty line") << QByteArray("") << QByteArray("");
    QTest::newRow("placeholder split by a NUL byte is no placeholder")
        << QByteArray("from IP_\0addr", 14) << QByteArray("from IP_\0addr", 14);
    QTest::newRow("full connection template")
        << QByteArray("%PIX-6-302013: Built inbound TCP connection %d for outside:IP_addr/port (IP_addr/port) to "
                      "inside:IP_addr/port (IP_addr/port)")
        << QByteArray("%PIX-6-302013: Built inbound TCP connection 4711 for outside:193.50.60.70/312 "
                      "(193.50.60.70/9023) to inside:10.10.12.20/77 (10.10.12.20/31337)");
}

void TemplateRewriterTest::rules()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    QCOMPARE(rewrite(line), expected);

    m_reused.rewrite(std::string_view(line.constData(), static_cast<std::size_t>(line.size())), distinctDraws(),
                     m_reusedOut);
    QCOMPARE(QByteArray::fromStdString(m_reusedOut), expected);
}

void TemplateRewriterTest::insertedValuesAreSeenByLaterRules_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("userName");
    QTest::addColumn<QByteArray>("gateway");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty user name leaves two quotes")
        << QByteArray("by 'user' now") << QByteArray("") << QByteArray("10.11.11.11") << QByteArray("by '' now");
    QTest::newRow("user name holding dec is changed by the last rule")
        << QByteArray("'user'") << QByteArray("decker") << QByteArray("10.11.11.11") << QByteArray("'Eth0ker'");
    QTest::newRow("gateway holding a later keyword is filled by that rule")
        << QByteArray("gaddr IP_addr") << QByteArray("PIX_User") << QByteArray("gw to IP_addr")
        << QByteArray("gaddr gw to 10.10.12.20");
    QTest::newRow("user name holding a placeholder of an earlier rule stays")
        << QByteArray("'user'") << QByteArray("from IP_addr") << QByteArray("10.11.11.11")
        << QByteArray("'from IP_addr'");
    QTest::newRow("gateway completing a placeholder with the text after it")
        << QByteArray("gaddr IP_addraddr/1") << QByteArray("PIX_User") << QByteArray("IP_")
        << QByteArray("gaddr 10.10.12.20/1");
    QTest::newRow("gateway and the text after it making a keyword for the next placeholder")
        << QByteArray("gaddr IP_addro IP_addr") << QByteArray("PIX_User") << QByteArray("x t")
        << QByteArray("gaddr x to 10.10.12.20");
}

void TemplateRewriterTest::insertedValuesAreSeenByLaterRules()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, userName);
    QFETCH(QByteArray, gateway);
    QFETCH(QByteArray, expected);

    RewriteValues values = defaultValues();
    values.userName = userName.toStdString();
    values.gatewayIp = gateway.toStdString();
    QCOMPARE(rewrite(line, values), expected);

    TemplateRewriter rewriter(values);
    std::string out = "left over from an earlier line";
    rewriter.rewrite(line.toStdString(), distinctDraws(), out);
    QCOMPARE(QByteArray::fromStdString(out), expected);
}

void TemplateRewriterTest::valuesJoiningTheirNeighboursFormPlaceholders_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("sessionNum");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("value completing a placeholder begun before it")
        << QByteArray("desession_num") << QByteArray("c") << QByteArray("Eth0");
    QTest::newRow("empty value joining the two halves of a placeholder")
        << QByteArray("x dsession_numec") << QByteArray("") << QByteArray("x Eth0");
    QTest::newRow("value joining neither side stays as it is")
        << QByteArray("dsession_numc") << QByteArray("d") << QByteArray("ddc");
}

void TemplateRewriterTest::valuesJoiningTheirNeighboursFormPlaceholders()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, sessionNum);
    QFETCH(QByteArray, expected);

    RewriteValues values = defaultValues();
    values.sessionNum = sessionNum.toStdString();
    QCOMPARE(rewrite(line, values), expected);

    TemplateRewriter rewriter(values);
    std::string out;
    rewriter.rewrite(line.toStdString(), distinctDraws(), out);
    QCOMPARE(QByteArray::fromStdString(out), expected);
}

void TemplateRewriterTest::drawsAreTakenInOrder()
{
    // Each draw lands in a different place of its range, so a swapped pair shows.
    ScriptedRandomSource random({0.0, 0.9, 0.25, 0.5, 0.75, 0.1, 0.2, 0.3});
    const LineDraws draws = drawLine(random);
    QCOMPARE(draws.s, 0);
    QCOMPARE(draws.d, 4);
    QCOMPARE(draws.p1, 257);   // floor(1024 * 0.25 + 1)
    QCOMPARE(draws.p2, 5001);  // floor(10000 * 0.5 + 1)
    QCOMPARE(draws.p3, 769);   // floor(1024 * 0.75 + 1)
    QCOMPARE(draws.p4, 4001);  // floor(40000 * 0.1 + 1)
    QCOMPARE(draws.m1, 13108); // floor(65535 * 0.2 + 1)
    QCOMPARE(draws.m2, 19661); // floor(65535 * 0.3 + 1)
    QCOMPARE(random.taken(), std::size_t(8));
}

void TemplateRewriterTest::eightDrawsEvenWithoutPlaceholders()
{
    ScriptedRandomSource random({0.5});
    const RewriteValues values = defaultValues();
    QCOMPARE(rewriteTemplate("%PIX-1-101001: (Primary) Failover cable OK.", values, random),
             std::string("%PIX-1-101001: (Primary) Failover cable OK."));
    QCOMPARE(random.taken(), std::size_t(8));
    QCOMPARE(rewriteTemplate("", values, random), std::string());
    QCOMPARE(random.taken(), std::size_t(16));
}

void TemplateRewriterTest::drawRanges_data()
{
    QTest::addColumn<double>("r");
    QTest::addColumn<QList<int>>("expected"); // s, d, p1, p2, p3, p4, m1, m2

    const QList<int> bottom{0, 0, 1, 1, 1, 1, 1, 1};
    const QList<int> top{4, 4, 1024, 10000, 1024, 40000, 65535, 65535};
    QTest::newRow("zero gives the bottom of each range") << 0.0 << bottom;
    QTest::newRow("just below one gives the top of each range") << 0.999999 << top;
    QTest::newRow("largest 32-bit draw gives the top") << 4294967295.0 / 4294967296.0 << top;
    QTest::newRow("one half") << 0.5 << QList<int>{2, 2, 513, 5001, 513, 20001, 32768, 32768};
    QTest::newRow("faulty one is held at the top") << 1.0 << top;
    QTest::newRow("faulty value above one is held at the top") << 7.5 << top;
    QTest::newRow("faulty negative value is held at the bottom") << -0.25 << bottom;
    QTest::newRow("faulty NaN is held at the bottom") << std::numeric_limits<double>::quiet_NaN() << bottom;
}

void TemplateRewriterTest::drawRanges()
{
    QFETCH(double, r);
    QFETCH(QList<int>, expected);

    ScriptedRandomSource random({r});
    const LineDraws draws = drawLine(random);
    const QList<int> actual{draws.s, draws.d, draws.p1, draws.p2, draws.p3, draws.p4, draws.m1, draws.m2};
    QCOMPARE(actual, expected);
}

void TemplateRewriterTest::drawsOutsideThePoolsUseTheNearestEntry()
{
    LineDraws draws = distinctDraws();
    draws.s = 9;
    draws.d = -3;
    QCOMPARE(rewrite("from IP_addr to IP_addr", defaultValues(), draws),
             QByteArray("from 193.99.98.99 to 10.10.12.12"));
}

void TemplateRewriterTest::poolsAreDrawnEvenly()
{
    constexpr int kLines = 100000;
    const RewriteValues values = defaultValues();
    DefaultRandomSource random;
    std::map<std::string, int> used;
    for (int i = 0; i < kLines; ++i) {
        const std::string line = rewriteTemplate("src IP_addr dest IP_addr", values, random);
        const std::size_t gap = line.find(" dest ");
        ++used[line.substr(4, gap - 4)];
        ++used[line.substr(gap + 6)];
    }
    QCOMPARE(used.size(), std::size_t(10));
    for (const auto& pool : {values.srcIp, values.dstIp}) {
        for (const std::string& address : pool) {
            const double share = double(used[address]) / kLines;
            QVERIFY2(std::abs(share - 0.2) <= 0.01, (address + " drawn at " + std::to_string(share)).c_str());
        }
    }
}

void TemplateRewriterTest::defaultSourceRepeatsItsSequence()
{
    DefaultRandomSource first;
    DefaultRandomSource second;
    for (int i = 0; i < 100; ++i) {
        const double r = first.next();
        QVERIFY(r >= 0.0 && r < 1.0);
        QCOMPARE(second.next(), r);
    }
    // It is std::mt19937, whose 10,000th number the C++ standard fixes, also for a fleet's seeds.
    DefaultRandomSource standard;
    standard.discard(9999);
    QCOMPARE(standard.next() * 4294967296.0, 4123659995.0);
    DefaultRandomSource seeded(42);
    std::mt19937 reference(42);
    for (int i = 0; i < 1000; ++i) {
        QCOMPARE(seeded.next() * 4294967296.0, double(reference()));
    }
}

void TemplateRewriterTest::megabyteLineWithNulAndHighBytesPassesThrough()
{
    std::string filler(1 << 20, 'x');
    for (std::size_t i = 0; i < filler.size(); i += 4096) {
        filler[i] = '\0';
        filler[i + 1] = '\xE9';
        filler[i + 2] = '\xFF';
    }
    const std::string line = "from IP_addr " + filler + " to IP_addr/port \xC3\xA9 dec";
    const std::string result = rewriteTemplate(line, defaultValues(), distinctDraws());
    QCOMPARE(result, "from 193.50.60.70 " + filler + " to 10.10.12.20/312 \xC3\xA9 Eth0");
}

void TemplateRewriterTest::rulesBeyondTheTableWithAnyPlaceholder_data()
{
    QTest::addColumn<bool>("readsNumbers"); // a last rule whose text holds digits
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");      // with distinctDraws()
    QTest::addColumn<QByteArray>("expectedLater"); // the same line once more, with other draws

    QTest::newRow("placeholders beginning like IP_addr, dec and num_seconds")
        << false << QByteArray("IP_proto from IP_addr to dst_ip sent num_bytes")
        << QByteArray("TCP from 193.50.60.70 to 10.10.12.20 sent 65535")
        << QByteArray("TCP from 194.98.65.10 to 10.11.11.1 sent 2");
    QTest::newRow("shipped placeholders beside the new ones")
        << false << QByteArray("dec dst_ip %d") << QByteArray("Eth0 10.10.12.20 4711")
        << QByteArray("Eth0 10.11.11.1 1");
    QTest::newRow("a later rule reads a number an earlier one drew")
        << true << QByteArray("id=%d") << QByteArray("id=PIX_User11") << QByteArray("id=1");
    QTest::newRow("line without placeholders")
        << true << QByteArray("dst ip") << QByteArray("dst ip") << QByteArray("dst ip");
}

void TemplateRewriterTest::rulesBeyondTheTableWithAnyPlaceholder()
{
    QFETCH(bool, readsNumbers);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, expectedLater);

    // The shipped table, then rules of placeholders that begin with the letters of its own.
    std::vector<RewriteRule> rules(templateRules().begin(), templateRules().end());
    rules.push_back({"", "IP_proto", "", RewriteFill::Session});
    rules.push_back({"", "dst_ip", "", RewriteFill::Destination});
    rules.push_back({"", "num_bytes", "", RewriteFill::Number2});
    if (readsNumbers) {
        rules.push_back({"=", "47", "", RewriteFill::User});
    }
    QVERIFY(rules.size() > 32);
    RewriteValues values = defaultValues();
    values.sessionNum = "TCP";

    LineDraws later;
    later.s = 0; // 194.98.65.10
    later.d = 4; // 10.11.11.1
    later.p1 = later.p2 = later.p3 = later.p4 = 1;
    later.m1 = 1;
    later.m2 = 2;

    TemplateRewriter rewriter(values, rules);
    std::string out;
    rewriter.rewrite(line.toStdString(), distinctDraws(), out);
    QCOMPARE(QByteArray::fromStdString(out), expected);
    rewriter.rewrite(line.toStdString(), later, out);
    QCOMPARE(QByteArray::fromStdString(out), expectedLater);
}

QTEST_APPLESS_MAIN(TemplateRewriterTest)
#include "tst_templaterewriter.moc"
