// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Start-up's hold on korvane.ini: one lock from the first read to the last repair, the repairs
// said as the loader words them, and a file that cannot be read left alone.
#include "currentfolder.h"
#include "session/startup.h"
#include "stdtostring.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <latch>
#include <map>
#include <thread>
#include <vector>

using namespace korvane;
namespace fs = std::filesystem;

namespace {

// Keys in memory; every read, write, lock and unlock logged in order.
class RecordingStore final : public ProfileStore
{
public:
    explicit RecordingStore(std::map<std::string, std::string> values) : m_values(std::move(values)) {}

    std::string read(std::string_view key) override
    {
        events << "R:" + QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
        const auto it = m_values.find(std::string(key));
        return it == m_values.end() ? std::string() : it->second;
    }
    bool write(std::string_view key, std::string_view value) override
    {
        events << "W:" + QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
        m_values[std::string(key)] = std::string(value);
        return true;
    }
    void lock() override { events << "lock"; }
    void unlock() override { events << "unlock"; }

    QStringList events;

private:
    std::map<std::string, std::string> m_values;
};

std::string fileContent(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void putFile(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

QStringList listed(const std::vector<QString>& lines)
{
    return QStringList(lines.begin(), lines.end());
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void oneLockFromFirstReadToLastRepair_data();
    void oneLockFromFirstReadToLastRepair();
    void parallelStartsKeepEachOthersRepairs();
    void unreadableFileRunsOnDefaults();
};

void TestStartup::oneLockFromFirstReadToLastRepair_data()
{
    QTest::addColumn<QString>("generationType");
    QTest::addColumn<QStringList>("said");

    QTest::newRow("all the way: every repair said")
        << "0"
        << QStringList{"korvane.ini: Delay absent; 1 written",
                       "korvane.ini: onetime absent; 0 written",
                       "korvane.ini: SRC_IP_1 to SRC_IP_5 absent; their defaults written",
                       "korvane.ini: DST_IP_1 to DST_IP_5 absent; their defaults written",
                       "korvane.ini: GTW_IP absent; 10.11.11.11 written",
                       "korvane.ini: UserName absent; PIX_User written",
                       "korvane.ini: SessionNum absent; 10 written",
                       "korvane.ini: ElapsedTime absent; 10 written",
                       "korvane.ini: FirewallName absent; Pix-Inside-Demo written",
                       "korvane.ini: UDP_Port_Syslog absent; 514 written",
                       "korvane.ini: HostIP absent; 127.0.0.1 written"};
    QTest::newRow("stopped at the absent source: the repairs made so far")
        << "-1" << QStringList{"korvane.ini: Delay absent; 1 written", "korvane.ini: onetime absent; 0 written"};
}

void TestStartup::oneLockFromFirstReadToLastRepair()
{
    QFETCH(QString, generationType);
    QFETCH(QStringList, said);

    QTemporaryDir dir; // no SAMPLE.TXT or KORVANE.TXT
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    RecordingStore store({{"RealLogFile", "1"},
                          {"SyslogFile", "1"},
                          {"Protocol", "TLS"},
                          {"GenerationType", generationType.toStdString()}});
    const StartupResult r = runStartup(store, nullptr, true, '.');

    QCOMPARE(store.events.count("lock"), 1);
    QCOMPARE(store.events.count("unlock"), 1);
    QCOMPARE(store.events.front(), "lock");
    QCOMPARE(store.events.back(), "unlock");
    QCOMPARE(listed(r.repairs), said);
    QVERIFY(r.settingsProblem.isEmpty());
}

// Runs started together in one folder: each reads and repairs only when no other does, so the
// file ends as one start alone leaves it, whichever run came first.
void TestStartup::parallelStartsKeepEachOthersRepairs()
{
    const std::string lacking = "[Settings]\r\nSyslogFile=1\r\nProtocol=TCP\r\n";
    QTemporaryDir alone;
    QTemporaryDir together;
    QVERIFY(alone.isValid() && together.isValid());
    std::string expected;
    {
        CurrentFolder here(alone.path().toStdString());
        putFile("korvane.ini", lacking);
        IniProfileStore store;
        const StartupResult r = runStartup(store, nullptr, false, '.');
        QCOMPARE(r.config.run.rewrite.dstIp[0], std::string("10.10.12.12"));
        expected = fileContent("korvane.ini");
    }

    CurrentFolder here(together.path().toStdString());
    constexpr int kRuns = 8;
    for (int round = 0; round < 3; ++round) {
        putFile("korvane.ini", lacking);
        std::latch start(kRuns);
        std::vector<std::thread> runs;
        std::vector<StartupResult> results(kRuns);
        for (int i = 0; i < kRuns; ++i) {
            runs.emplace_back([&, i] {
                IniProfileStore store;
                start.arrive_and_wait();
                results[static_cast<std::size_t>(i)] = runStartup(store, nullptr, false, '.');
            });
        }
        for (std::thread& run : runs) {
            run.join();
        }
        QCOMPARE(fileContent("korvane.ini"), expected);
        // The first run in repairs; the others find nothing left to repair.
        int repairing = 0;
        for (const StartupResult& r : results) {
            repairing += r.repairs.empty() ? 0 : 1;
            QCOMPARE(r.config.run.rewrite.gatewayIp, std::string("10.11.11.11"));
        }
        QCOMPARE(repairing, 1);
    }
}

void TestStartup::unreadableFileRunsOnDefaults()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    fs::create_directory("korvane.ini");
    IniProfileStore store;
    const StartupResult r = runStartup(store, nullptr, true, '.');

    QCOMPARE(r.settingsProblem, QString("korvane.ini: ") + std::strerror(EISDIR));
    QVERIFY(r.repairs.empty());
    QCOMPARE(r.outcome, StartupResult::Outcome::Go);
    QCOMPARE(r.reached, StartupResult::Stage::ReceiverKeys);
    QCOMPARE(r.config.output, OutputKind::File);
    QCOMPARE(r.config.run.delay, 1.0);
    QCOMPARE(r.config.run.rewrite.srcIp[0], std::string("194.98.65.10"));
    QCOMPARE(r.config.run.rewrite.userName, std::string("PIX_User"));
    QVERIFY(fs::is_directory("korvane.ini"));
    QVERIFY(fs::is_empty("korvane.ini"));
}

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"
