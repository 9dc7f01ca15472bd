// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A fleet of firewalls from one process: what each firewall is (name, seed, stagger, address), and
// the fleet's run on virtual time.
#include "../support/enginefakes.h"
#include "../support/manualtimer.h"
#include "../support/udpreceiver.h"
#include "../support/workfolder.h"
#include "session/expectedrun.h"
#include "session/fleetoutput.h"
#include "session/fleetplan.h"
#include "session/fleetrun.h"
#include "session/startup.h"
#include "session/storedfleet.h"
#include "settings/profile.h"

#include <QTest>

#include <map>

using namespace korvane;
using namespace std::chrono_literals;

namespace {

// Three templates, each drawing from the random stream.
const QByteArray kTemplates = "first line, never picked\n"
                              "%PIX-6-302013: Built outbound TCP connection 1 for outside:IP_addr/port\n"
                              "%PIX-4-106023: Deny tcp src outside:IP_addr/port dst inside:IP_addr/port\n"
                              "%PIX-3-305005: No translation group found for tcp src inside:IP_addr/port\n";

RunConfig fileConfig(double delay)
{
    RunConfig config;
    config.output = OutputKind::File;
    config.run.delay = delay;
    config.run.onePass = false;
    config.run.generationType = -1;
    config.run.firewallName = "Fw";
    config.run.sourceFile = "SAMPLE.TXT";
    config.run.rewrite.srcIp = {"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.4", "192.0.2.5"};
    config.run.rewrite.dstIp = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"};
    return config;
}

// A fleet on virtual time, writing GENERATE.TXT of the current folder.
struct VirtualFleet
{
    explicit VirtualFleet(const FleetPlan& plan, double delay = 0.1) : VirtualFleet(plan, fileConfig(delay)) {}
    VirtualFleet(const FleetPlan& plan, RunConfig runConfig) : config(std::move(runConfig))
    {
        prepared = output.prepare(config, plan, FileSink::Mode::Truncate);
        fleet = std::make_unique<FleetRun>(config, plan, output, wallClock, clock, &timer);
    }
    // Runs for `time` on virtual time, then ends; true once the fleet has ended.
    bool runFor(std::chrono::milliseconds time)
    {
        fleet->start();
        timer.advance(time);
        fleet->finish();
        return QTest::qWaitFor([this] { return !fleet->running(); });
    }
    RunConfig config;
    test::ManualClock clock;
    test::ManualTimer timer{clock};
    test::FixedWallClock wallClock;
    FleetOutput output;
    Result<> prepared;
    std::unique_ptr<FleetRun> fleet;
};

// The lines of GENERATE.TXT by the name in their header.
std::map<std::string, std::vector<std::string>> linesByHost(const QByteArray& file)
{
    std::map<std::string, std::vector<std::string>> hosts;
    for (const QByteArray& line : file.split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        for (const QByteArray& word : words) {
            if (word.startsWith("Fw-")) {
                hosts[word.toStdString()].push_back(line.mid(line.indexOf("%PIX")).trimmed().toStdString());
                break;
            }
        }
    }
    return hosts;
}

} // namespace

class TestFleet : public QObject
{
    Q_OBJECT

private slots:
    void firewallIsNamedByItsNumberPaddedToTheFleetsWidth_data();
    void firewallIsNamedByItsNumberPaddedToTheFleetsWidth();
    void firewallsStartSpreadOverTheFirstDelay_data();
    void firewallsStartSpreadOverTheFirstDelay();
    void sourceAddressesFollowTheNumbers_data();
    void sourceAddressesFollowTheNumbers();
    void fleetSendsItsAggregateRateEverySecond();
    void halfTheFleetHasSpokenHalfwayThroughItsStagger();
    void firewallDrawsTheSameLinesAtEveryStartAndNotItsNeighbours();
    void sourceAddressPastTheBlockFailsBeforeAnyLine();
    void datagramsOfEachFirewallLeaveFromItsAddressWhicheverSenderTakesThem();
    void manifestBringsBackEachFirewallsLinesAndTheCheckCountsPerHost();
    void eachFirewallHasTheTruthOfItsOwnScenarios();
    void storedLineIsKnownByTheNameBeforeItsMessage_data();
    void storedLineIsKnownByTheNameBeforeItsMessage();
};

void TestFleet::firewallIsNamedByItsNumberPaddedToTheFleetsWidth_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("a fleet of nine needs one digit") << 9 << 0 << 0 << 3 << "Pix-Inside-Demo-3";
    QTest::newRow("a fleet of ten pads to two") << 10 << 0 << 0 << 3 << "Pix-Inside-Demo-03";
    QTest::newRow("a fleet of a hundred pads to three") << 100 << 0 << 0 << 7 << "Pix-Inside-Demo-007";
    QTest::newRow("a pod pads to its highest number") << 100 << 900 << 0 << 901 << "Pix-Inside-Demo-0901";
    QTest::newRow("the highest number itself") << 100 << 900 << 0 << 1000 << "Pix-Inside-Demo-1000";
    QTest::newRow("the first pod of a thousand, told the width") << 100 << 0 << 4 << 1 << "Pix-Inside-Demo-0001";
    QTest::newRow("a width too small for the numbers") << 100 << 900 << 2 << 1000 << "Pix-Inside-Demo-1000";
}

void TestFleet::firewallIsNamedByItsNumberPaddedToTheFleetsWidth()
{
    QFETCH(int, count);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(int, number);
    QFETCH(QString, name);
    const FleetPlan plan{count, offset, width};
    QCOMPARE(QString::fromStdString(fleetMemberName("Pix-Inside-Demo", number, fleetNameWidth(plan))), name);
}

void TestFleet::firewallsStartSpreadOverTheFirstDelay_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("delay");
    QTest::addColumn<qint64>("stagger");
    QTest::newRow("the first starts at once") << 0 << 100 << 1.0 << qint64(0);
    QTest::newRow("the middle one half a delay later") << 50 << 100 << 1.0 << qint64(500'000'000);
    QTest::newRow("the last one just before the second delay") << 99 << 100 << 0.01 << qint64(9'900'000);
    QTest::newRow("one firewall alone is not delayed") << 0 << 1 << 5.0 << qint64(0);
}

void TestFleet::firewallsStartSpreadOverTheFirstDelay()
{
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(double, delay);
    QFETCH(qint64, stagger);
    QCOMPARE(fleetStagger(index, count, delay).count(), stagger);
}

void TestFleet::sourceAddressesFollowTheNumbers_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("failure");
    QTest::newRow("a thousand firewalls on loopback") << "127.0.1.1" << 1000 << 0 << "127.0.1.1"
                                                      << "127.0.4.232"
                                                      << "";
    QTest::newRow("the fourth pod of a hundred") << "127.0.1.1" << 100 << 300 << "127.0.2.45"
                                                 << "127.0.2.144"
                                                 << "";
    QTest::newRow("up to the end of the /8") << "127.255.255.254" << 2 << 0 << "127.255.255.254"
                                             << "127.255.255.255"
                                             << "";
    QTest::newRow("past the end of the /8")
        << "127.255.255.254" << 3 << 0 << ""
        << ""
        << "SourceAddress 127.255.255.254 + 2 runs past the end of 127.0.0.0/8 (128.0.0.0): firewalls 1 to 3 need 3 "
           "addresses";
    QTest::newRow("past the end of IPv4")
        << "255.255.255.255" << 1 << 1 << ""
        << ""
        << "SourceAddress 255.255.255.255 + 1 runs past the end of 255.0.0.0/8 (past 255.255.255.255): firewalls 2 "
           "to 2 need 1 addresses";
    QTest::newRow("not IPv4") << "::1" << 2 << 0 << ""
                              << ""
                              << "SourceAddress ::1 is not an IPv4 address in dotted form, as a fleet needs";
}

void TestFleet::sourceAddressesFollowTheNumbers()
{
    QFETCH(QString, base);
    QFETCH(int, count);
    QFETCH(int, offset);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, failure);
    const Result<std::vector<std::uint32_t>> addresses = fleetAddresses(base.toStdString(), {count, offset});
    if (!failure.isEmpty()) {
        QVERIFY(!addresses);
        QCOMPARE(QString::fromStdString(addresses.reason()), failure);
        return;
    }
    QVERIFY(addresses);
    QCOMPARE(addresses.value().size(), std::size_t(count));
    QCOMPARE(QString::fromStdString(ipv4Text(addresses.value().front())), first);
    QCOMPARE(QString::fromStdString(ipv4Text(addresses.value().back())), last);
}

void TestFleet::fleetSendsItsAggregateRateEverySecond()
{
    test::WorkFolder folder;
    folder.write(QStringLiteral("SAMPLE.TXT"), kTemplates);
    VirtualFleet virtualFleet({50, 0}, 0.1);
    QVERIFY(virtualFleet.prepared);
    FleetRun& fleet = *virtualFleet.fleet;
    fleet.start();
    virtualFleet.timer.advance(1s); // the fleet's first second, staggered in
    for (int second = 2; second <= 10; ++second) {
        const std::int64_t before = fleet.progress().emitted;
        virtualFleet.timer.advance(1s);
        QCOMPARE(fleet.progress().emitted - before, std::int64_t(500)); // 50 firewalls, 10 lines a second each
    }
    // Never a timer per firewall: one wake-up per batch of lines due together.
    QVERIFY(virtualFleet.timer.wakeUps <= 10 * 500 + 50);
}

void TestFleet::halfTheFleetHasSpokenHalfwayThroughItsStagger()
{
    test::WorkFolder folder;
    folder.write(QStringLiteral("SAMPLE.TXT"), kTemplates);
    VirtualFleet virtualFleet({100, 0}, 1.0);
    virtualFleet.fleet->start();
    virtualFleet.timer.advance(1s + 495ms); // firewall i speaks at 1 s + (i - 1) * 10 ms
    QCOMPARE(virtualFleet.fleet->progress().emitted, std::int64_t(50));
}

void TestFleet::firewallDrawsTheSameLinesAtEveryStartAndNotItsNeighbours()
{
    test::WorkFolder folder;
    folder.write(QStringLiteral("SAMPLE.TXT"), kTemplates);
    std::map<std::string, std::vector<std::string>> runs[2];
    for (auto& run : runs) {
        VirtualFleet virtualFleet({3, 0}, 0.1);
        QVERIFY(virtualFleet.runFor(3s));
        run = linesByHost(folder.read(QStringLiteral("GENERATE.TXT")));
    }
    QCOMPARE(runs[0].size(), std::size_t(3));
    QCOMPARE(runs[0], runs[1]);
    QVERIFY(runs[0]["Fw-1"] != runs[0]["Fw-2"]);
    QVERIFY(runs[0]["Fw-2"] != runs[0]["Fw-3"]);
    // Its number makes the firewall, whichever process runs it.
    VirtualFleet alone({1, 1}, 0.1);
    QVERIFY(alone.runFor(3s));
    std::vector<std::string> second = linesByHost(folder.read(QStringLiteral("GENERATE.TXT")))["Fw-2"];
    std::vector<std::string> inFleet = runs[0]["Fw-2"];
    const std::size_t common = std::min(second.size(), inFleet.size()); // it started sooner alone
    QVERIFY(common > 20);
    second.resize(common);
    inFleet.resize(common);
    QCOMPARE(second, inFleet);
}

void TestFleet::sourceAddressPastTheBlockFailsBeforeAnyLine()
{
    RunConfig config = fileConfig(1);
    config.output = OutputKind::Udp;
    config.host = "127.0.0.1";
    config.port = 9;
    config.sourceAddress = "127.255.255.250";
    FleetOutput output;
    const Result<> prepared = output.prepare(config, {10, 0}, FileSink::Mode::Append);
    QVERIFY(!prepared);
    QVERIFY(QString::fromStdString(prepared.reason()).startsWith("SourceAddress 127.255.255.250 + 9 runs past"));
}

void TestFleet::datagramsOfEachFirewallLeaveFromItsAddressWhicheverSenderTakesThem()
{
    test::UdpReceiver receiver;
    QVERIFY(receiver.ok());
    RunConfig config = fileConfig(1);
    config.output = OutputKind::Udp;
    config.host = "127.0.0.1";
    config.port = receiver.port();
    config.sourceAddress = "127.0.3.1";
    FleetOutput output;
    QVERIFY(output.prepare(config, {5, 0}, FileSink::Mode::Append, 2));
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = 0; i < output.size(); ++i) {
            QVERIFY(output.member(i).write("line of " + std::to_string(i)));
        }
        QVERIFY(output.flush());
    }
    QVERIFY(output.flushAndWait());
    QTRY_COMPARE(receiver.total(), std::uint64_t(15));
    for (const test::Datagram& d : receiver.datagrams()) {
        QCOMPARE(d.payload, "line of " + std::to_string(d.from - 0x7f000301));
    }
    QCOMPARE(output.countsOf(3).delivered, std::int64_t(3));
    QCOMPARE(output.counts().delivered, std::int64_t(15));
}

void TestFleet::manifestBringsBackEachFirewallsLinesAndTheCheckCountsPerHost()
{
    test::WorkFolder folder;
    folder.write(QStringLiteral("SAMPLE.TXT"), kTemplates);
    folder.writeSettings({{"Delay", "0.1"}, {"GenerationType", "-1"}, {"FirewallName", "Fw"}});
    IniProfileStore profile;
    const StartupResult startup = runStartup(profile, nullptr, false, '.');
    QVERIFY(startup.failure.isEmpty());
    VirtualFleet virtualFleet({3, 4}, startup.config); // firewalls 5 to 7
    QVERIFY(virtualFleet.prepared);
    FleetRun& fleet = *virtualFleet.fleet;
    fleet.setRecordsForManifest(true);
    QVERIFY(virtualFleet.runFor(2s));
    Result<Manifest> made = manifestOf(startup.settings, '.', startup.config, fleet.record(), fleet.progress(),
                                       manifestEntries(fleet.members()));
    QVERIFY(made);
    const Result<Manifest> read = manifestFromJson(manifestJson(made.value()));
    QVERIFY(read);
    QCOMPARE(read.value().firewalls, made.value().firewalls);
    QCOMPARE(read.value().firewalls[1].name, std::string("Fw-6"));
    QCOMPARE(read.value().firewalls[1].seed, fleetSeed(6));

    const std::map<std::string, std::vector<std::string>> stored = linesByHost(folder.read("GENERATE.TXT"));
    std::vector<std::unique_ptr<ExpectedMessages>> expected;
    std::vector<const ExpectedMessages*> each;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < read.value().firewalls.size(); ++i) {
        std::vector<std::string> again;
        auto messages = std::make_unique<ExpectedMessages>();
        QVERIFY(regenerateMessages(read.value(), i, std::filesystem::current_path(), [&](std::string_view message) {
            again.emplace_back(message);
            messages->append(message);
        }));
        const std::string& name = read.value().firewalls[i].name;
        std::vector<std::string> sent = stored.at(name);
        for (std::string& line : sent) {
            line.erase(0, 1); // the "%" before "PIX-"
        }
        QCOMPARE(again, sent);
        names.push_back(name);
        each.push_back(messages.get());
        expected.push_back(std::move(messages));
    }
    // One line of Fw-6 lost on the way, one line of a stranger among them.
    FleetStoredCheck check(names, each);
    bool lost = false;
    for (const QByteArray& line : folder.read("GENERATE.TXT").split('\n')) {
        if (!lost && line.contains(" Fw-6 ")) {
            lost = true;
            continue;
        }
        if (!line.isEmpty()) {
            check.add(line.toStdString());
        }
    }
    check.add("08 Dec 2026 04:47:51  Fw-8 %PIX-6-302013: Built outbound TCP connection 1 for outside:192.0.2.1/1");
    const CheckReport report = check.report();
    QCOMPARE(report.byHost.size(), std::size_t(3));
    QCOMPARE(report.byHost[1].first, std::string("Fw-6"));
    QCOMPARE(report.byHost[1].second.missing, std::uint64_t(1));
    QCOMPARE(report.byHost[0].second.missing + report.byHost[2].second.missing, std::uint64_t(0));
    QCOMPARE(report.total.missing, std::uint64_t(1));
    QCOMPARE(report.total.foreign, std::uint64_t(1));
    QCOMPARE(report.total.expected, std::uint64_t(fleet.progress().emitted));
}

// With Traffic=1 every firewall runs the scenarios on its own stream: its manifest entry says whom
// its scan came from, and the fleet as a whole names none.
void TestFleet::eachFirewallHasTheTruthOfItsOwnScenarios()
{
    test::WorkFolder folder;
    folder.write(QStringLiteral("SAMPLE.TXT"),
                 "%PIX-6-302013: Built inbound TCP connection %d for outside:IP_addr/port (IP_addr/port) to "
                 "inside:IP_addr/80 (IP_addr/80)\n"
                 "%PIX-6-302014: Teardown TCP connection %d for outside:IP_addr/port to inside:IP_addr/80 duration "
                 "0:00:30 bytes %d TCP FINs\n"
                 "%PIX-4-106023: Deny tcp src outside:IP_addr/port dst inside:IP_addr/3389 by access-group "
                 "\"outside_access_in\" [0x5b9d3c1e, 0x0]\n");
    folder.writeSettings({{"Delay", "0.01"},
                          {"FirewallName", "Fw"},
                          {"Traffic", "1"},
                          {"SRC_NET", "198.51.100.0/24"},
                          {"DST_NET", "10.10.0.0/16"},
                          {"Scenarios", "portscan@1+1"}});
    IniProfileStore profile;
    const StartupResult startup = runStartup(profile, nullptr, false, '.');
    QVERIFY(startup.failure.isEmpty());
    VirtualFleet virtualFleet({2, 0}, startup.config);
    QVERIFY(virtualFleet.prepared);
    FleetRun& fleet = *virtualFleet.fleet;
    fleet.setRecordsForManifest(true);
    QVERIFY(virtualFleet.runFor(3s));
    const Result<Manifest> made = manifestOf(startup.settings, '.', startup.config, fleet.record(), fleet.progress(),
                                             manifestEntries(fleet.members()));
    QVERIFY(made);
    QVERIFY(made.value().scenarios.empty());
    const std::map<std::string, std::vector<std::string>> lines = linesByHost(folder.read("GENERATE.TXT"));
    std::vector<std::string> sources;
    for (const Manifest::Firewall& firewall : made.value().firewalls) {
        QCOMPARE(firewall.scenarios.size(), std::size_t(1));
        const ScenarioTruth& scan = firewall.scenarios.front();
        const std::vector<std::string>& own = lines.at(firewall.name);
        QVERIFY(scan.firstLine >= 1 && std::size_t(scan.lastLine) <= own.size());
        QVERIFY2(own.at(std::size_t(scan.firstLine - 1)).find(scan.source + '/') != std::string::npos,
                 own.at(std::size_t(scan.firstLine - 1)).c_str());
        sources.push_back(scan.source);
    }
    QVERIFY(sources[0] != sources[1]);
    const Result<Manifest> read = manifestFromJson(manifestJson(made.value()));
    QVERIFY(read);
    QCOMPARE(read.value().firewalls, made.value().firewalls);
}

void TestFleet::storedLineIsKnownByTheNameBeforeItsMessage_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("host"); // -1 for none
    QTest::newRow("GENERATE.TXT") << "08 Dec 2026 04:47:51  Fw-02 %PIX-6-302013: text" << 1;
    QTest::newRow("RFC 3164") << "<166>Dec  8 04:47:51 Fw-03 %PIX-6-302013: text" << 2;
    QTest::newRow("the device's own form") << "<166>Dec 08 2026 04:47:51 Fw-01 : %PIX-6-302013: text" << 0;
    QTest::newRow("a collector's columns") << "Fw-02|%PIX-6-302013:|6|20| text" << 1;
    QTest::newRow("a name with blanks as a syslog HOST") << "<166>Dec  8 04:47:51 Edge_Fw-01 %PIX-6-1: text" << 3;
    QTest::newRow("a name in the message is no host") << "<166>Dec  8 04:47:51 other %PIX-6-1: Fw-01" << -1;
    QTest::newRow("a name of another fleet") << "<166>Dec  8 04:47:51 Fw-1 %PIX-6-302013: text" << -1;
}

void TestFleet::storedLineIsKnownByTheNameBeforeItsMessage()
{
    QFETCH(QString, line);
    QFETCH(int, host);
    const FleetHosts hosts({"Fw-01", "Fw-02", "Fw-03", "Edge Fw-01"});
    const std::optional<std::size_t> found = hosts.find(line.toStdString());
    QCOMPARE(found ? static_cast<int>(*found) : -1, host);
}

QTEST_GUILESS_MAIN(TestFleet)
#include "tst_fleet.moc"
