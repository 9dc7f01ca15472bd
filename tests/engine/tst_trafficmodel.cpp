// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/generationrun.h"
#include "runfakes.h"
#include "trafficlines.h"

#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <set>

using namespace korvane;
using namespace korvane::test;

namespace {

// What a build said of its connection, to be said again by the teardown.
struct Opened
{
    TrafficLine line;
    bool translated = false;
};

// The lines of a scenario's source within its window, by line number.
std::vector<TrafficLine> linesFrom(const TrafficRun& run, const ScenarioTruth& truth)
{
    std::vector<TrafficLine> found;
    for (const TrafficLine& line : run.lines) {
        if (line.number >= truth.firstLine && line.number <= truth.lastLine &&
            line.source() == QString::fromStdString(truth.source)) {
            found.push_back(line);
        }
    }
    return found;
}

RunSettings withScenarios(const char* scenarios)
{
    RunSettings s = trafficSettings(0.01, 100, 30, 0.1);
    s.traffic.scenarios = scenarios;
    return s;
}

} // namespace

class TestTrafficModel : public QObject
{
    Q_OBJECT

private slots:
    void teardownRepeatsItsBuild_data();
    void teardownRepeatsItsBuild();
    void openConnectionsKeepNearTheTable_data();
    void openConnectionsKeepNearTheTable();
    void denyShareOfTheLines_data();
    void denyShareOfTheLines();
    void portScanTriesManyPortsOfManyHostsMostlyDenied();
    void bruteForceFailsThenSucceedsOnce();
    void denyStormDeniesAtFiftyTimesTheBackground();
    void sameSettingsMakeTheSameLines();
    void severitySelectionFiltersTheMessages_data();
    void severitySelectionFiltersTheMessages();
    void messageMissingFromTheCatalogueIsSkipped();
    void runEmitsTheModelsLinesOnItsLineClock();
};

void TestTrafficModel::teardownRepeatsItsBuild_data()
{
    QTest::addColumn<double>("delay");
    QTest::addColumn<int>("connections");
    QTest::addColumn<double>("meanDuration");
    QTest::addColumn<QString>("profile");

    QTest::newRow("100 lines a second, the default table") << 0.01 << 100 << 30.0 << "";
    QTest::newRow("a small table closes early") << 0.01 << 5 << 30.0 << "";
    QTest::newRow("a slow rate: fewer open, hours long") << 1.0 << 100 << 3600.0 << "";
    QTest::newRow("on a rate profile's clock") << 1.0 << 50 << 5.0 << "ramp 10 1000 20";
}

void TestTrafficModel::teardownRepeatsItsBuild()
{
    QFETCH(double, delay);
    QFETCH(int, connections);
    QFETCH(double, meanDuration);
    QFETCH(QString, profile);
    RunSettings s = trafficSettings(delay, connections, meanDuration, 0.1);
    s.rateProfile = profile.toStdString();
    DefaultRandomSource random;
    const TrafficRun run = runTraffic(s, 20000, random);

    std::map<qint64, Opened> open;
    int teardowns = 0;
    for (std::size_t i = 0; i < run.lines.size(); ++i) {
        const TrafficLine& line = run.lines[i];
        const QString where = QStringLiteral("line %1: %2").arg(line.number).arg(line.text);
        if (line.id == "302013" || line.id == "302015") {
            QVERIFY2(!open.contains(line.connection), qPrintable(where));
            const bool translated = i > 0 && run.lines[i - 1].id == "305011";
            open[line.connection] = {line, translated};
            QCOMPARE(line.protocol, line.id == "302013" ? "TCP" : "UDP");
        } else if (line.id == "302014" || line.id == "302016") {
            const auto built = open.find(line.connection);
            QVERIFY2(built != open.end(), qPrintable(where));
            const TrafficLine& b = built->second.line;
            QCOMPARE(line.protocol, b.protocol);
            QCOMPARE(line.outside, b.outside);
            QCOMPARE(line.inside, b.inside);
            QCOMPARE(line.durationSeconds, (line.timeUs - b.timeUs) / 1'000'000);
            QVERIFY(line.bytes >= 0);
            if (built->second.translated && i + 1 < run.lines.size()) {
                QVERIFY2(run.lines[i + 1].id == "305012", qPrintable(where));
                QVERIFY(run.lines[i + 1].text.contains(QStringLiteral("inside:") + line.inside + QLatin1Char(' ')));
            }
            open.erase(built);
            ++teardowns;
        } else if (line.id == "305011" && i + 1 < run.lines.size()) {
            QVERIFY2(run.lines[i + 1].text.contains(QStringLiteral("Built outbound")), qPrintable(where));
        }
    }
    QVERIFY(teardowns > 1000);
}

void TestTrafficModel::openConnectionsKeepNearTheTable_data()
{
    QTest::addColumn<double>("delay");
    QTest::addColumn<int>("connections");
    QTest::addColumn<int>("lines");
    QTest::addColumn<double>("least"); // of the mean open count after the first half of the lines
    QTest::addColumn<double>("most");

    QTest::newRow("100 at 100 lines a second") << 0.01 << 100 << 20000 << 95.0 << 100.0;
    QTest::newRow("10000 at 10000 lines a second") << 0.0001 << 10000 << 100000 << 9500.0 << 10000.0;
    // 0.84 opening steps a second, half of them opening, for 30 s each: about 13 open.
    QTest::newRow("a rate too slow for the table keeps the lifetimes") << 1.0 << 100 << 20000 << 8.0 << 20.0;
}

void TestTrafficModel::openConnectionsKeepNearTheTable()
{
    QFETCH(double, delay);
    QFETCH(int, connections);
    QFETCH(int, lines);
    QFETCH(double, least);
    QFETCH(double, most);
    DefaultRandomSource random;
    const TrafficRun run = runTraffic(trafficSettings(delay, connections, 30, 0.1), lines, random);
    double sum = 0;
    for (std::size_t i = run.open.size() / 2; i < run.open.size(); ++i) {
        sum += static_cast<double>(run.open[i]);
        QVERIFY(run.open[i] <= static_cast<std::size_t>(connections));
    }
    const double mean = sum / static_cast<double>(run.open.size() - run.open.size() / 2);
    QVERIFY2(mean >= least && mean <= most, qPrintable(QString::number(mean)));
}

void TestTrafficModel::denyShareOfTheLines_data()
{
    QTest::addColumn<double>("share");
    QTest::newRow("none") << 0.0;
    QTest::newRow("the default tenth") << 0.1;
    QTest::newRow("half") << 0.5;
    QTest::newRow("all") << 1.0;
}

void TestTrafficModel::denyShareOfTheLines()
{
    QFETCH(double, share);
    DefaultRandomSource random;
    const TrafficRun run = runTraffic(trafficSettings(0.01, 100, 30, share), 40000, random);
    const auto denies =
        std::count_if(run.lines.begin(), run.lines.end(), [](const TrafficLine& l) { return l.deny(); });
    const double measured = static_cast<double>(denies) / static_cast<double>(run.lines.size());
    QVERIFY2(std::abs(measured - share) < 0.02, qPrintable(QString::number(measured)));
}

void TestTrafficModel::portScanTriesManyPortsOfManyHostsMostlyDenied()
{
    DefaultRandomSource random;
    const TrafficRun run = runTraffic(withScenarios("portscan@60+30"), 12000, random);
    QCOMPARE(run.scenarios.size(), std::size_t(1));
    const ScenarioTruth& truth = run.scenarios[0];
    QCOMPARE(truth.kind, ScenarioKind::PortScan);
    // Line n is at n / 100 s: the window is lines 6000 to 8999.
    QVERIFY(truth.firstLine >= 6000 && truth.lastLine < 9000);
    std::set<QString> hosts;
    std::set<int> ports;
    int denied = 0;
    const std::vector<TrafficLine> scan = linesFrom(run, truth);
    for (const TrafficLine& line : scan) {
        hosts.insert(line.target());
        ports.insert(line.targetPort());
        denied += line.deny() ? 1 : 0;
    }
    QVERIFY(scan.size() >= static_cast<std::size_t>(truth.lines));
    QVERIFY2(hosts.size() >= 10, qPrintable(QString::number(hosts.size())));
    QVERIFY2(ports.size() >= 20, qPrintable(QString::number(ports.size())));
    QVERIFY(denied > truth.lines * 7 / 10);
    QCOMPARE(truth.targets.size(), std::size_t(TrafficScenarios::kScanHosts));
}

void TestTrafficModel::bruteForceFailsThenSucceedsOnce()
{
    DefaultRandomSource random;
    const TrafficRun run = runTraffic(withScenarios("bruteforce@30+20"), 6000, random);
    const ScenarioTruth& truth = run.scenarios.at(0);
    QVERIFY(truth.firstLine >= 3000 && truth.lastLine >= 5000 && truth.lastLine < 5100);
    std::vector<QString> logins;
    for (const TrafficLine& line : linesFrom(run, truth)) {
        if (line.id == "109006" || line.id == "109005") {
            QCOMPARE(line.target(), QString::fromStdString(truth.targets.at(0)));
            QVERIFY(line.text.contains(QStringLiteral("'PIX_User'")));
            logins.push_back(line.id);
        }
    }
    QCOMPARE(static_cast<std::int64_t>(logins.size()), truth.lines);
    QVERIFY(logins.size() > 500);
    QCOMPARE(logins.back(), QStringLiteral("109005"));
    QCOMPARE(std::count(logins.begin(), logins.end(), QStringLiteral("109005")), 1);
}

void TestTrafficModel::denyStormDeniesAtFiftyTimesTheBackground()
{
    DefaultRandomSource random;
    const TrafficRun run = runTraffic(withScenarios("denystorm@20+40"), 8000, random);
    const ScenarioTruth& truth = run.scenarios.at(0);
    int storm = 0;
    int background = 0;
    for (const TrafficLine& line : run.lines) {
        if (line.deny() && line.number >= 2000 && line.number < 6000) {
            ++(line.source() == QString::fromStdString(truth.source) ? storm : background);
        }
    }
    const double ratio = static_cast<double>(storm) / std::max(1, background);
    QVERIFY2(ratio > 40 && ratio < 62, qPrintable(QString::number(ratio)));
}

void TestTrafficModel::sameSettingsMakeTheSameLines()
{
    const RunSettings s = withScenarios("portscan@5+5,bruteforce@12+3,denystorm@20+2");
    DefaultRandomSource first;
    DefaultRandomSource second;
    const TrafficRun a = runTraffic(s, 3000, first);
    const TrafficRun b = runTraffic(s, 3000, second);
    QCOMPARE(a.lines.size(), b.lines.size());
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        QCOMPARE(a.lines[i].text, b.lines[i].text);
    }
    QVERIFY(a.scenarios == b.scenarios);
    // The manifest's truth, made again without the run.
    DefaultRandomSource third;
    QVERIFY(scenariosOfRun(s, shippedCatalogue(), third, 3000) == a.scenarios);
}

void TestTrafficModel::severitySelectionFiltersTheMessages_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("made");
    QTest::newRow("4: the access-group denies") << 4 << true;
    QTest::newRow("6: connections and translations") << 6 << true;
    QTest::newRow("5: none of the model's messages") << 5 << false;
}

void TestTrafficModel::severitySelectionFiltersTheMessages()
{
    QFETCH(int, level);
    QFETCH(bool, made);
    RunSettings s = trafficSettings(0.01, 100, 30, 0.1);
    s.generationType = level;
    DefaultRandomSource random;
    const TrafficRun run = runTraffic(s, 2000, random);
    QCOMPARE(!run.lines.empty(), made);
    for (const TrafficLine& line : run.lines) {
        QCOMPARE(line.severity, level);
    }
}

void TestTrafficModel::messageMissingFromTheCatalogueIsSkipped()
{
    std::vector<std::string> catalogue;
    for (const std::string& line : shippedCatalogue()) {
        if (line.find("-305011:") == std::string::npos) {
            catalogue.push_back(line);
        }
    }
    DefaultRandomSource random;
    const TrafficRun run = runTraffic(trafficSettings(0.01, 100, 30, 0.1), 5000, random, catalogue);
    QCOMPARE(run.lines.size(), std::size_t(5000));
    QVERIFY(std::none_of(run.lines.begin(), run.lines.end(), [](const TrafficLine& l) { return l.id == "305011"; }));
    QVERIFY(std::any_of(run.lines.begin(), run.lines.end(), [](const TrafficLine& l) { return l.id == "305012"; }));
}

// The run hands the model the number of each line and its scheduled time; what it emits is the
// model's message behind the usual header.
void TestTrafficModel::runEmitsTheModelsLinesOnItsLineClock()
{
    QTemporaryDir dir;
    QStringList source;
    for (const std::string& line : shippedCatalogue()) {
        source << QString::fromStdString(line);
    }
    RunSettings s = trafficSettings(0.01, 100, 30, 0.1);
    s.sourceFile = writeSource(dir, source);
    s.onePass = false;
    s.firewallName = "fw";
    RunFlags flags;
    RecordingObserver observer;
    RecordingSink sink;
    DefaultRandomSource random;
    FixedWallClock clock;
    GenerationRun generation(s, flags, observer, sink, random, clock);
    GenerationRun::Next next = generation.start();
    while (sink.lines.size() < 3000 && next == GenerationRun::Next::Wait) {
        next = generation.waitOver();
    }
    QCOMPARE(sink.lines.size(), std::size_t(3000));

    DefaultRandomSource again;
    const TrafficRun alone = runTraffic(s, 3000, again);
    for (std::size_t i = 0; i < sink.lines.size(); ++i) {
        QCOMPARE(
            QString::fromStdString(sink.lines[i]).section(QStringLiteral(" fw "), 1),
            QStringLiteral("%PIX-%1-%2: %3").arg(alone.lines[i].severity).arg(alone.lines[i].id, alone.lines[i].text));
    }
}

QTEST_GUILESS_MAIN(TestTrafficModel)
#include "tst_trafficmodel.moc"
