// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The manifest of a run into GENERATE.TXT, and the messages emitted again from it.
#include "enginefakes.h"
#include "session/destination.h"
#include "session/expectedrun.h"
#include "session/manifest.h"
#include "session/runoutput.h"
#include "session/runsession.h"
#include "session/startup.h"
#include "workfolder.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

using Keys = std::vector<std::pair<QByteArray, QByteArray>>;

// Runs into GENERATE.TXT of a fresh folder holding the shipped templates and real logs, each with
// a line whose number starts with 0 added.
struct FileRun
{
    FileRun()
    {
        const QString data = qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/data/");
        for (const QString& name : {QStringLiteral("SAMPLE.TXT"), QStringLiteral("KORVANE.TXT")}) {
            QFile source(data + name);
            if (source.open(QIODevice::ReadOnly)) {
                folder.write(name, source.readAll() + "%PIX-4-012345: a number with a leading zero\r\n");
            }
        }
    }

    // `runs` runs in one session, as the window makes them, each ending after `limit` lines when
    // it has no end of its own; `manifest` tells the last.
    void run(const Keys& keys, int runs, std::int64_t limit)
    {
        folder.writeSettings(keys);
        IniProfileStore profile;
        startup = runStartup(profile, nullptr, false, '.');
        QVERIFY(startup.failure.isEmpty());
        QVERIFY(startup.outcome == StartupResult::Outcome::Go);
        startup.config.manifest = true;
        QVERIFY(output.prepare(startup.config, FileSink::Mode::Truncate).ok());
        RunSession session(random, wall, steady, observer);
        session.configure(startup.config, output.sink());
        session.setLineLimit(limit);
        QSignalSpy ended(&session, &RunSession::runEnded);
        for (int n = 1; n <= runs; ++n) {
            session.play();
            QVERIFY(ended.wait(10000));
        }
        Result<Manifest> made = manifestOf(startup.settings, '.', startup.config, session.record(), session.progress());
        QVERIFY(made.ok());
        manifest = made.value();
    }

    // The last run's lines in GENERATE.TXT, without their line ends.
    QList<QByteArray> lastLines() const
    {
        QList<QByteArray> lines = folder.read(QStringLiteral("GENERATE.TXT")).split('\n');
        lines.removeLast(); // after the last line end
        lines = lines.mid(lines.size() - static_cast<qsizetype>(manifest.lines.emitted));
        for (QByteArray& line : lines) {
            line.chop(line.endsWith('\r') ? 1 : 0);
        }
        return lines;
    }

    WorkFolder folder;
    StartupResult startup;
    RunOutput output;
    DefaultRandomSource random; // the process's, across the session's runs
    FixedWallClock wall;
    SteadyClock steady;
    RunObserver observer;
    Manifest manifest;
};

QList<QByteArray> regenerated(const Manifest& manifest, Result<>* outcome = nullptr)
{
    QList<QByteArray> messages;
    const Result<> r = regenerateMessages(manifest, std::filesystem::current_path(), [&](std::string_view message) {
        messages.append(QByteArray(message.data(), static_cast<qsizetype>(message.size())));
    });
    if (outcome != nullptr) {
        *outcome = r;
    }
    return messages;
}

} // namespace

class TestManifest : public QObject
{
    Q_OBJECT

private slots:
    void manifestTellsTheRunAndItsMessagesComeAgain_data();
    void manifestTellsTheRunAndItsMessagesComeAgain();
    void changedSourceIsRefused();
    void documentLackingAFieldIsRefusedByName();
};

void TestManifest::manifestTellsTheRunAndItsMessagesComeAgain_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<int>("runs");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("source");
    const Keys templates{{"RealLogFile", "0"},  {"Delay", "0.0001"}, {"onetime", "1"},     {"GenerationType", "0"},
                         {"SyslogFormat", "2"}, {"SequenceId", "1"}, {"SessionNum", "2.5"}};
    QTest::newRow("templates, one pass") << templates << 1 << 0 << QStringLiteral("SAMPLE.TXT");
    const Keys randomLogs{{"RealLogFile", "1"},     {"Delay", "0.0001"},   {"onetime", "0"},
                          {"GenerationType", "-1"}, {"RemoveHeader", "1"}, {"HeaderString", "\" %PIX\""},
                          {"SyslogFormat", "3"}};
    QTest::newRow("real logs at random, second run of the process")
        << randomLogs << 2 << 40 << QStringLiteral("KORVANE.TXT");
    const Keys traffic{{"RealLogFile", "0"},
                       {"Delay", "0.0001"},
                       {"onetime", "0"},
                       {"Traffic", "1"},
                       {"SRC_NET", "198.51.100.0/24"},
                       {"Scenarios", "portscan@0.01+0.02"}};
    QTest::newRow("traffic with a scan, second run of the process")
        << traffic << 2 << 400 << QStringLiteral("SAMPLE.TXT");
}

void TestManifest::manifestTellsTheRunAndItsMessagesComeAgain()
{
    QFETCH(Keys, keys);
    QFETCH(int, runs);
    QFETCH(int, limit);
    QFETCH(QString, source);
    FileRun file;
    file.run(keys, runs, limit);
    if (QTest::currentTestFailed()) {
        return;
    }
    const Manifest& m = file.manifest;
    QCOMPARE(QString::fromStdString(m.sourceFile), source);
    QCOMPARE(m.sourceSha256, fileSha256(source.toStdString()).value());
    QCOMPARE(m.randomDrawsBefore > 0, runs > 1);

    // The counts, against the file's lines counted here.
    const QList<QByteArray> lines = file.lastLines();
    QVERIFY(!lines.isEmpty());
    QCOMPARE(m.lines.emitted, lines.size());
    QCOMPARE(m.lines.delivered, lines.size());
    std::map<std::string, std::int64_t> byId;
    std::array<std::int64_t, 8> bySeverity{};
    const QRegularExpression id(QStringLiteral("PIX-([0-7])-([0-9]+)"));
    QList<QByteArray> messages;
    for (const QByteArray& line : lines) {
        messages.append(line.mid(line.indexOf("PIX-")));
        const QRegularExpressionMatch found = id.match(QString::fromLatin1(line));
        ++byId[found.captured(1).toStdString() + '-' + found.captured(2).toStdString()];
        ++bySeverity[found.captured(1).toUInt()];
    }
    QCOMPARE(m.byId, byId);
    QCOMPARE(m.bySeverity, bySeverity);
    // Each scenario's first and last line come from its source.
    for (const ScenarioTruth& scenario : m.scenarios) {
        QVERIFY(scenario.firstLine >= 1 && scenario.lastLine <= lines.size());
        QVERIFY(lines.at(scenario.firstLine - 1).contains(QByteArray::fromStdString(scenario.source + '/')));
        QVERIFY(lines.at(scenario.lastLine - 1).contains(QByteArray::fromStdString(scenario.source + '/')));
    }
    const bool scenarios =
        std::any_of(keys.begin(), keys.end(), [](const auto& key) { return key.first == "Scenarios"; });
    QCOMPARE(m.scenarios.size(), std::size_t(scenarios ? 1 : 0));

    // The settings give the run's configuration again, and the manifest survives its document.
    const RunConfig again = runConfigOf(m);
    const RunConfig& used = file.startup.config;
    QCOMPARE(destinationText(again), destinationText(used));
    QCOMPARE(again.run.sourceFile, used.run.sourceFile);
    QCOMPARE(again.run.generationType, used.run.generationType);
    QCOMPARE(again.run.headerString, used.run.headerString);
    QCOMPARE(again.run.rewrite.sessionNum, used.run.rewrite.sessionNum);
    QCOMPARE(again.run.sequenceIds, used.run.sequenceIds);
    Manifest withRate = m;
    withRate.perSecond = {{0, 900, 880, 20}, {1, 1000, 1000, 0}};
    for (const Manifest& written : {m, withRate}) {
        const Result<Manifest> read = manifestFromJson(manifestJson(written));
        QVERIFY2(read.ok(), read.reason().c_str());
        QVERIFY(read.value() == written);
    }

    Result<> outcome;
    QCOMPARE(regenerated(m, &outcome), messages);
    QVERIFY2(outcome.ok(), outcome.reason().c_str());
}

void TestManifest::changedSourceIsRefused()
{
    FileRun file;
    file.run({{"Delay", "0.0001"}, {"onetime", "1"}}, 1, 0);
    if (QTest::currentTestFailed()) {
        return;
    }
    file.folder.write(QStringLiteral("SAMPLE.TXT"), "%PIX-6-302013: another template\r\n");
    Result<> outcome;
    QVERIFY(regenerated(file.manifest, &outcome).isEmpty());
    QCOMPARE(outcome.reason(), "SAMPLE.TXT has changed since the run: its digest is " +
                                   fileSha256("SAMPLE.TXT").value() + ", not " + file.manifest.sourceSha256);
}

void TestManifest::documentLackingAFieldIsRefusedByName()
{
    Manifest m;
    m.sourceFile = "SAMPLE.TXT";
    QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(manifestJson(m))).object();
    QJsonObject lines = root.value(QStringLiteral("lines")).toObject();
    lines.remove(QStringLiteral("emitted"));
    root.insert(QStringLiteral("lines"), lines);
    const Result<Manifest> read = manifestFromJson(QJsonDocument(root).toJson().toStdString());
    QCOMPARE(read.reason(), std::string("not a manifest of a run: \"lines.emitted\" is missing or not a number"));
}

QTEST_GUILESS_MAIN(TestManifest)
#include "tst_manifest.moc"
