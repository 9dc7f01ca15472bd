// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "currentfolder.h"
#include "settings/keytable.h"
#include "settings/numbers.h"
#include "settings/runconfig.h"
#include "settings/settings.h"
#include "stdtostring.h"

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <map>

using namespace korvane;
namespace fs = std::filesystem;

namespace {

// Keys in memory, with a log of every read ("R:Key") and write ("W:Key=value") in order.
class MemoryStore final : public ProfileStore
{
public:
    explicit MemoryStore(std::map<std::string, std::string> values = {}) : m_values(std::move(values)) {}

    std::string read(std::string_view key) override
    {
        m_events << "R:" + QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
        const auto it = m_values.find(std::string(key));
        return it == m_values.end() ? std::string() : it->second;
    }
    bool write(std::string_view key, std::string_view value) override
    {
        m_events << QStringLiteral("W:%1=%2").arg(
            QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())),
            QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
        if (m_failWrites) {
            return false;
        }
        m_values[std::string(key)] = std::string(value);
        return true;
    }

    void failWrites() { m_failWrites = true; }
    const QStringList& events() const { return m_events; }
    QStringList writes() const
    {
        QStringList result;
        for (const QString& event : m_events) {
            if (event.startsWith("W:")) {
                result << event.mid(2);
            }
        }
        return result;
    }

private:
    std::map<std::string, std::string> m_values;
    QStringList m_events;
    bool m_failWrites = false;
};

// A file in which every key passes its test, with the UDP sink chosen.
std::map<std::string, std::string> validFile()
{
    return {{"PositionX", "1440"},
            {"PositionY", "-120"},
            {"RealLogFile", "1"},
            {"Delay", "2"},
            {"onetime", "1"},
            {"GenerationType", "3"},
            {"RemoveHeader", "1"},
            {"HeaderString", "%PIX"},
            {"SRC_IP_1", "1.1.1.1"},
            {"SRC_IP_2", "2.2.2.2"},
            {"SRC_IP_3", "3.3.3.3"},
            {"SRC_IP_4", "4.4.4.4"},
            {"SRC_IP_5", "5.5.5.5"},
            {"DST_IP_1", "10.0.0.1"},
            {"DST_IP_2", "10.0.0.2"},
            {"DST_IP_3", "10.0.0.3"},
            {"DST_IP_4", "10.0.0.4"},
            {"DST_IP_5", "10.0.0.5"},
            {"GTW_IP", "10.0.0.254"},
            {"UserName", "operator"},
            {"SessionNum", "5"},
            {"ElapsedTime", "7"},
            {"FirewallName", "edge-lab"},
            {"SyslogFile", "1"},
            {"UDP_Port_Syslog", "1514"},
            {"HostIP", "192.168.1.5"}};
}

const QStringList kKeyOrder = {
    "PositionX",    "PositionY",    "RealLogFile", "Delay",           "onetime",  "GenerationType", "RemoveHeader",
    "HeaderString", "SRC_IP_1",     "SRC_IP_2",    "SRC_IP_3",        "SRC_IP_4", "SRC_IP_5",       "DST_IP_1",
    "DST_IP_2",     "DST_IP_3",     "DST_IP_4",    "DST_IP_5",        "GTW_IP",   "UserName",       "SessionNum",
    "ElapsedTime",  "FirewallName", "SyslogFile",  "UDP_Port_Syslog", "HostIP"};

const QStringList kSourceDefaults = {"194.98.65.10", "193.10.22.23", "193.50.60.70", "195.60.61.62", "193.99.98.99"};
const QStringList kDestinationDefaults = {"10.10.12.12", "10.10.12.20", "10.10.12.30", "10.10.12.40", "10.11.11.1"};

// Start-up's reads in its order: the position, then the three phases.
Settings loadAll(ProfileStore& store)
{
    SettingsLoader loader(store);
    loader.readPosition("PositionX");
    loader.readPosition("PositionY");
    Settings s;
    loader.loadRunKeys(s);
    loader.loadTemplateKeys(s);
    loader.loadReceiverKeys(s);
    return s;
}

double numberIn(const Settings& s, const QString& key)
{
    const std::map<QString, double Settings::*> numbers = {{"RealLogFile", &Settings::RealLogFile},
                                                           {"Delay", &Settings::Delay},
                                                           {"onetime", &Settings::onetime},
                                                           {"GenerationType", &Settings::GenerationType},
                                                           {"RemoveHeader", &Settings::RemoveHeader},
                                                           {"SessionNum", &Settings::SessionNum},
                                                           {"ElapsedTime", &Settings::ElapsedTime},
                                                           {"SyslogFile", &Settings::SyslogFile},
                                                           {"UDP_Port_Syslog", &Settings::UDP_Port_Syslog}};
    return s.*numbers.at(key);
}

QString textIn(const Settings& s, const QString& key)
{
    const std::map<QString, std::string Settings::*> texts = {{"HeaderString", &Settings::HeaderString},
                                                              {"GTW_IP", &Settings::GTW_IP},
                                                              {"UserName", &Settings::UserName},
                                                              {"FirewallName", &Settings::FirewallName},
                                                              {"HostIP", &Settings::HostIP}};
    return QString::fromStdString(s.*texts.at(key));
}

std::string fileContent(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void putFile(const fs::path& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

const QString kAbsent = "<absent>";

// "Key=value;Key=value" over `values`; kAbsent as a value takes the key out.
void setPairs(std::map<std::string, std::string>& values, const QString& pairs)
{
    for (const QString& pair : pairs.split(';', Qt::SkipEmptyParts)) {
        const std::string key = pair.section('=', 0, 0).toStdString();
        const QString value = pair.section('=', 1);
        if (value == kAbsent) {
            values.erase(key);
        } else {
            values[key] = value.toStdString();
        }
    }
}

// Every key start-up reads, in its order, with the loader's words on what it replaced.
Settings loadEverything(SettingsLoader& loader)
{
    Settings s;
    loader.loadRunKeys(s);
    loader.loadTemplateKeys(s);
    loader.loadReceiverKeys(s);
    loader.loadOutputFormatKeys(s);
    loader.loadReplayKeys(s);
    return s;
}

} // namespace

class TestLoader : public QObject
{
    Q_OBJECT

private slots:
    void repairsNumberKeys_data();
    void repairsNumberKeys();
    void repairsTextKeys_data();
    void repairsTextKeys();
    void addressGroupsRepairedWhole_data();
    void addressGroupsRepairedWhole();
    void receiverKeysOnlyForSyslog_data();
    void receiverKeysOnlyForSyslog();
    void optionalOutputKeys_data();
    void optionalOutputKeys();
    void replayKeys_data();
    void replayKeys();
    void rateProfileKey_data();
    void rateProfileKey();
    void trafficKeys_data();
    void trafficKeys();
    void eachRepairSaidOnce_data();
    void eachRepairSaidOnce();
    void absentOptionalKeyRunsAsItsRepair();
    void unreadableFileTakesDefaultsUnrepaired();
    void framingByDefault_data();
    void framingByDefault();
    void positionsReadAsStored_data();
    void positionsReadAsStored();
    void validFileReadInOrderUntouched();
    void firstStartWritesEachKeyBeforeTheNext();
    void failedWritesChangeNothingInUse_data();
    void failedWritesChangeNothingInUse();
    void firstStartInEmptyFolder();
    void editedFileKeepsItsLayout_data();
    void editedFileKeepsItsLayout();
    void readsTextThroughTheFile_data();
    void readsTextThroughTheFile();
    void protectedFileLoadsTheSameValues_data();
    void protectedFileLoadsTheSameValues();
};

void TestLoader::repairsNumberKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("inUse");
    QTest::addColumn<QStringList>("writes");

    const QStringList none;
    QTest::newRow("RealLogFile absent: 0, written") << "RealLogFile" << kAbsent << 0.0 << QStringList{"RealLogFile=0"};
    QTest::newRow("RealLogFile 0: written again") << "RealLogFile"
                                                  << "0" << 0.0 << QStringList{"RealLogFile=0"};
    QTest::newRow("RealLogFile 0.5: used as 1, file keeps it") << "RealLogFile"
                                                               << "0.5" << 1.0 << none;
    QTest::newRow("RealLogFile 2: 0, written") << "RealLogFile"
                                               << "2" << 0.0 << QStringList{"RealLogFile=0"};
    QTest::newRow("RealLogFile text: 0, written") << "RealLogFile"
                                                  << "yes" << 0.0 << QStringList{"RealLogFile=0"};
    QTest::newRow("Delay absent: 1, written") << "Delay" << kAbsent << 1.0 << QStringList{"Delay=1"};
    QTest::newRow("Delay 0: 1, written") << "Delay"
                                         << "0" << 1.0 << QStringList{"Delay=1"};
    QTest::newRow("Delay negative: 1, written") << "Delay"
                                                << "-3" << 1.0 << QStringList{"Delay=1"};
    QTest::newRow("Delay 0.5 accepted") << "Delay"
                                        << "0.5" << 0.5 << none;
    QTest::newRow("Delay with unit accepted by its number") << "Delay"
                                                            << "2.5 s" << 2.5 << none;
    QTest::newRow("onetime absent: 0, written") << "onetime" << kAbsent << 0.0 << QStringList{"onetime=0"};
    QTest::newRow("onetime 0: written again") << "onetime"
                                              << "0" << 0.0 << QStringList{"onetime=0"};
    QTest::newRow("onetime 0.5 stays 0.5") << "onetime"
                                           << "0.5" << 0.5 << none;
    QTest::newRow("onetime 1.5: 0, written") << "onetime"
                                             << "1.5" << 0.0 << QStringList{"onetime=0"};
    QTest::newRow("GenerationType absent: 0, not written") << "GenerationType" << kAbsent << 0.0 << none;
    QTest::newRow("GenerationType -1 accepted") << "GenerationType"
                                                << "-1" << -1.0 << none;
    QTest::newRow("GenerationType 7 accepted") << "GenerationType"
                                               << "7" << 7.0 << none;
    QTest::newRow("GenerationType in hexadecimal") << "GenerationType"
                                                   << "&H5" << 5.0 << none;
    QTest::newRow("GenerationType 8: 0, written") << "GenerationType"
                                                  << "8" << 0.0 << QStringList{"GenerationType=0"};
    QTest::newRow("GenerationType -2: 0, written") << "GenerationType"
                                                   << "-2" << 0.0 << QStringList{"GenerationType=0"};
    QTest::newRow("GenerationType 2.5 not whole: 0, written") << "GenerationType"
                                                              << "2.5" << 0.0 << QStringList{"GenerationType=0"};
    QTest::newRow("RemoveHeader absent: 0, not written") << "RemoveHeader" << kAbsent << 0.0 << none;
    QTest::newRow("RemoveHeader 0.5 accepted") << "RemoveHeader"
                                               << "0.5" << 0.5 << none;
    QTest::newRow("RemoveHeader 2: 0, written") << "RemoveHeader"
                                                << "2" << 0.0 << QStringList{"RemoveHeader=0"};
    QTest::newRow("RemoveHeader negative: 0, written") << "RemoveHeader"
                                                       << "-0.1" << 0.0 << QStringList{"RemoveHeader=0"};
    QTest::newRow("SessionNum absent: 10, written") << "SessionNum" << kAbsent << 10.0 << QStringList{"SessionNum=10"};
    QTest::newRow("SessionNum negative: 10, written") << "SessionNum"
                                                      << "-5" << 10.0 << QStringList{"SessionNum=10"};
    QTest::newRow("SessionNum 42 accepted") << "SessionNum"
                                            << "42" << 42.0 << none;
    QTest::newRow("ElapsedTime 0: 10, written") << "ElapsedTime"
                                                << "0" << 10.0 << QStringList{"ElapsedTime=10"};
    QTest::newRow("ElapsedTime 3.5 accepted") << "ElapsedTime"
                                              << "3.5" << 3.5 << none;
    QTest::newRow("UDP_Port_Syslog absent: 514, written")
        << "UDP_Port_Syslog" << kAbsent << 514.0 << QStringList{"UDP_Port_Syslog=514"};
    QTest::newRow("UDP_Port_Syslog 40000: 514, written") << "UDP_Port_Syslog"
                                                         << "40000" << 514.0 << QStringList{"UDP_Port_Syslog=514"};
    QTest::newRow("UDP_Port_Syslog 32000 accepted") << "UDP_Port_Syslog"
                                                    << "32000" << 32000.0 << none;
    QTest::newRow("UDP_Port_Syslog 32000.5: 514, written") << "UDP_Port_Syslog"
                                                           << "32000.5" << 514.0 << QStringList{"UDP_Port_Syslog=514"};
    QTest::newRow("UDP_Port_Syslog 0.3 rounds to 0: 514, written")
        << "UDP_Port_Syslog"
        << "0.3" << 514.0 << QStringList{"UDP_Port_Syslog=514"};
    QTest::newRow("UDP_Port_Syslog 0.5 rounds to even 0: 514, written")
        << "UDP_Port_Syslog"
        << "0.5" << 514.0 << QStringList{"UDP_Port_Syslog=514"};
    QTest::newRow("UDP_Port_Syslog 0.6 rounds to 1: accepted") << "UDP_Port_Syslog"
                                                               << "0.6" << 0.6 << none;
}

void TestLoader::repairsNumberKeys()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(double, inUse);
    QFETCH(QStringList, writes);

    std::map<std::string, std::string> values = validFile();
    if (stored == kAbsent) {
        values.erase(key.toStdString());
    } else {
        values[key.toStdString()] = stored.toStdString();
    }
    MemoryStore store(values);
    const Settings s = loadAll(store);
    QCOMPARE(numberIn(s, key), inUse);
    QCOMPARE(store.writes(), writes);
}

void TestLoader::repairsTextKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("inUse");
    QTest::addColumn<QStringList>("writes");

    const QStringList none;
    QTest::newRow("HeaderString absent: never written") << "HeaderString" << kAbsent << "" << none;
    QTest::newRow("HeaderString loses trailing blanks") << "HeaderString"
                                                        << "%PIX-  "
                                                        << "%PIX-" << none;
    QTest::newRow("HeaderString keeps leading blanks") << "HeaderString"
                                                       << "  %PIX"
                                                       << "  %PIX" << none;
    QTest::newRow("GTW_IP absent: default used and written")
        << "GTW_IP" << kAbsent << "10.11.11.11" << QStringList{"GTW_IP=10.11.11.11"};
    QTest::newRow("GTW_IP one character: default used and written")
        << "GTW_IP"
        << "x"
        << "10.11.11.11" << QStringList{"GTW_IP=10.11.11.11"};
    QTest::newRow("GTW_IP measured without trailing blanks") << "GTW_IP"
                                                             << "a   "
                                                             << "10.11.11.11" << QStringList{"GTW_IP=10.11.11.11"};
    QTest::newRow("GTW_IP two characters accepted") << "GTW_IP"
                                                    << "gw"
                                                    << "gw" << none;
    QTest::newRow("UserName one character: default used and written") << "UserName"
                                                                      << "J"
                                                                      << "PIX_User" << QStringList{"UserName=PIX_User"};
    QTest::newRow("UserName accepted") << "UserName"
                                       << "jdoe"
                                       << "jdoe" << none;
    QTest::newRow("FirewallName absent: default used and written")
        << "FirewallName" << kAbsent << "Pix-Inside-Demo" << QStringList{"FirewallName=Pix-Inside-Demo"};
    QTest::newRow("FirewallName of blanks: default used and written")
        << "FirewallName"
        << "   "
        << "Pix-Inside-Demo" << QStringList{"FirewallName=Pix-Inside-Demo"};
    QTest::newRow("FirewallName one character accepted") << "FirewallName"
                                                         << "F"
                                                         << "F" << none;
    QTest::newRow("HostIP absent: default used and written")
        << "HostIP" << kAbsent << "127.0.0.1" << QStringList{"HostIP=127.0.0.1"};
    QTest::newRow("HostIP 0.0.0.0: default used and written") << "HostIP"
                                                              << "0.0.0.0"
                                                              << "127.0.0.1" << QStringList{"HostIP=127.0.0.1"};
    QTest::newRow("HostIP host name: default used and written") << "HostIP"
                                                                << "loghost"
                                                                << "127.0.0.1" << QStringList{"HostIP=127.0.0.1"};
    QTest::newRow("HostIP address accepted") << "HostIP"
                                             << "10.1.2.3"
                                             << "10.1.2.3" << none;
}

void TestLoader::repairsTextKeys()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, inUse);
    QFETCH(QStringList, writes);

    std::map<std::string, std::string> values = validFile();
    if (stored == kAbsent) {
        values.erase(key.toStdString());
    } else {
        values[key.toStdString()] = stored.toStdString();
    }
    MemoryStore store(values);
    const Settings s = loadAll(store);
    QCOMPARE(textIn(s, key), inUse);
    QCOMPARE(store.writes(), writes);
}

void TestLoader::addressGroupsRepairedWhole_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("inUse");
    QTest::addColumn<bool>("repaired");

    const QStringList good = {"1.1.1.1", "2.2.2.2", "3.3.3.3", "4.4.4.4", "5.5.5.5"};
    QStringList shortThird = good;
    shortThird[2] = "9";
    QStringList absentLast = good;
    absentLast[4] = kAbsent;
    QStringList blankPadded = good;
    blankPadded[0] = "1   ";
    const QStringList allAbsent(5, kAbsent);

    for (const QString& group : {QString("SRC_IP"), QString("DST_IP")}) {
        const QStringList& defaults = group == "SRC_IP" ? kSourceDefaults : kDestinationDefaults;
        QTest::addRow("%s: five good values kept", qPrintable(group)) << group << good << good << false;
        QTest::addRow("%s: one short value: all five defaults used and written", qPrintable(group))
            << group << shortThird << defaults << true;
        QTest::addRow("%s: one absent value: all five defaults", qPrintable(group))
            << group << absentLast << defaults << true;
        QTest::addRow("%s: short once trailing blanks are gone", qPrintable(group))
            << group << blankPadded << defaults << true;
        QTest::addRow("%s: all absent", qPrintable(group)) << group << allAbsent << defaults << true;
    }
}

void TestLoader::addressGroupsRepairedWhole()
{
    QFETCH(QString, group);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, inUse);
    QFETCH(bool, repaired);

    std::map<std::string, std::string> values = validFile();
    for (int i = 0; i < 5; ++i) {
        const std::string key = QStringLiteral("%1_%2").arg(group).arg(i + 1).toStdString();
        if (stored[i] == kAbsent) {
            values.erase(key);
        } else {
            values[key] = stored[i].toStdString();
        }
    }
    MemoryStore store(values);
    const Settings s = loadAll(store);

    const std::array<std::string, 5>& variable = group == "SRC_IP" ? s.SRC_IP : s.DST_IP;
    QStringList used;
    for (const std::string& text : variable) {
        used << QString::fromStdString(text);
    }
    QCOMPARE(used, inUse);

    const QStringList& defaults = group == "SRC_IP" ? kSourceDefaults : kDestinationDefaults;
    QStringList expectedWrites;
    for (int i = 0; repaired && i < 5; ++i) {
        expectedWrites << QStringLiteral("%1_%2=%3").arg(group).arg(i + 1).arg(defaults[i]);
    }
    QCOMPARE(store.writes(), expectedWrites);
    // All five are read before any is written.
    const QString lastRead = QStringLiteral("R:%1_5").arg(group);
    for (const QString& write : expectedWrites) {
        QVERIFY(store.events().indexOf(lastRead) < store.events().indexOf("W:" + write));
    }
}

void TestLoader::receiverKeysOnlyForSyslog_data()
{
    QTest::addColumn<QString>("syslogFile");
    QTest::addColumn<bool>("receiverRead");

    QTest::newRow("SyslogFile absent: file output, receiver untouched") << kAbsent << false;
    QTest::newRow("SyslogFile 0: receiver untouched") << "0" << false;
    QTest::newRow("SyslogFile 3: repaired to 0, receiver untouched") << "3" << false;
    QTest::newRow("SyslogFile 1: receiver read and repaired") << "1" << true;
    QTest::newRow("SyslogFile 0.5 counts as 1") << "0.5" << true;
}

void TestLoader::receiverKeysOnlyForSyslog()
{
    QFETCH(QString, syslogFile);
    QFETCH(bool, receiverRead);

    std::map<std::string, std::string> values = validFile();
    values["UDP_Port_Syslog"] = "40000";
    values["HostIP"] = "loghost";
    if (syslogFile == kAbsent) {
        values.erase("SyslogFile");
    } else {
        values["SyslogFile"] = syslogFile.toStdString();
    }
    MemoryStore store(values);
    const Settings s = loadAll(store);

    QCOMPARE(store.events().contains("R:UDP_Port_Syslog"), receiverRead);
    QCOMPARE(store.events().contains("R:HostIP"), receiverRead);
    QCOMPARE(s.UDP_Port_Syslog, receiverRead ? 514.0 : 0.0);
    QCOMPARE(s.HostIP, std::string(receiverRead ? "127.0.0.1" : ""));
    QCOMPARE(store.writes().contains("UDP_Port_Syslog=514"), receiverRead);
    QCOMPARE(store.writes().contains("HostIP=127.0.0.1"), receiverRead);
}

void TestLoader::positionsReadAsStored_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<double>("position");

    QTest::newRow("absent reads as 0") << kAbsent << 0.0;
    QTest::newRow("twips") << "1440" << 1440.0;
    QTest::newRow("left of the screen") << "-120" << -120.0;
    QTest::newRow("fraction") << "7.5" << 7.5;
    QTest::newRow("garbage reads as 0") << "left" << 0.0;
}

void TestLoader::positionsReadAsStored()
{
    QFETCH(QString, stored);
    QFETCH(double, position);

    std::map<std::string, std::string> values;
    if (stored != kAbsent) {
        values["PositionY"] = stored.toStdString();
    }
    MemoryStore store(values);
    SettingsLoader loader(store);
    QCOMPARE(loader.readPosition("PositionY"), position);
    QVERIFY(store.writes().isEmpty());
}

void TestLoader::validFileReadInOrderUntouched()
{
    MemoryStore store(validFile());
    const Settings s = loadAll(store);
    QStringList reads;
    for (const QString& key : kKeyOrder) {
        reads << "R:" + key;
    }
    QCOMPARE(store.events(), reads);
    QCOMPARE(s.RealLogFile, 1.0);
    QCOMPARE(s.GenerationType, 3.0);
    QCOMPARE(s.SRC_IP[4], std::string("5.5.5.5"));
    QCOMPARE(s.UDP_Port_Syslog, 1514.0);
    QCOMPARE(s.HostIP, std::string("192.168.1.5"));
}

void TestLoader::firstStartWritesEachKeyBeforeTheNext()
{
    MemoryStore store;
    loadAll(store);
    QStringList expected = {"R:PositionX",      "R:PositionY",    "R:RealLogFile", "W:RealLogFile=0",
                            "R:Delay",          "W:Delay=1",      "R:onetime",     "W:onetime=0",
                            "R:GenerationType", "R:RemoveHeader", "R:HeaderString"};
    for (const QString& group : {QString("SRC_IP"), QString("DST_IP")}) {
        for (int i = 1; i <= 5; ++i) {
            expected << QStringLiteral("R:%1_%2").arg(group).arg(i);
        }
        const QStringList& defaults = group == "SRC_IP" ? kSourceDefaults : kDestinationDefaults;
        for (int i = 1; i <= 5; ++i) {
            expected << QStringLiteral("W:%1_%2=%3").arg(group).arg(i).arg(defaults[i - 1]);
        }
    }
    expected << "R:GTW_IP"
             << "W:GTW_IP=10.11.11.11"
             << "R:UserName"
             << "W:UserName=PIX_User"
             << "R:SessionNum"
             << "W:SessionNum=10"
             << "R:ElapsedTime"
             << "W:ElapsedTime=10"
             << "R:FirewallName"
             << "W:FirewallName=Pix-Inside-Demo"
             << "R:SyslogFile"
             << "W:SyslogFile=0";
    QCOMPARE(store.events(), expected);
}

void TestLoader::failedWritesChangeNothingInUse_data()
{
    QTest::addColumn<bool>("emptyFile");

    QTest::newRow("empty file") << true;
    QTest::newRow("every key failing its test") << false;
}

void TestLoader::failedWritesChangeNothingInUse()
{
    QFETCH(bool, emptyFile);

    std::map<std::string, std::string> values;
    if (!emptyFile) {
        for (const QString& key : kKeyOrder) {
            values.emplace(key.toStdString(), std::string(1, '9'));
        }
        values.insert_or_assign("SyslogFile", std::string(1, '1'));
    }
    MemoryStore working(values);
    MemoryStore failing(values);
    failing.failWrites();
    const Settings expected = loadAll(working);
    const Settings actual = loadAll(failing);
    QVERIFY(!failing.writes().isEmpty());
    QCOMPARE(failing.writes(), working.writes());
    QVERIFY(actual == expected);
}

void TestLoader::firstStartInEmptyFolder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    IniProfileStore store;

    const Settings first = loadAll(store);
    const std::string created = "[Settings]\r\n"
                                "RealLogFile=0\r\nDelay=1\r\nonetime=0\r\n"
                                "SRC_IP_1=194.98.65.10\r\nSRC_IP_2=193.10.22.23\r\nSRC_IP_3=193.50.60.70\r\n"
                                "SRC_IP_4=195.60.61.62\r\nSRC_IP_5=193.99.98.99\r\n"
                                "DST_IP_1=10.10.12.12\r\nDST_IP_2=10.10.12.20\r\nDST_IP_3=10.10.12.30\r\n"
                                "DST_IP_4=10.10.12.40\r\nDST_IP_5=10.11.11.1\r\n"
                                "GTW_IP=10.11.11.11\r\nUserName=PIX_User\r\nSessionNum=10\r\nElapsedTime=10\r\n"
                                "FirewallName=Pix-Inside-Demo\r\nSyslogFile=0\r\n";
    QCOMPARE(fileContent("korvane.ini"), created);

    // This run already uses what it wrote: the template values do not wait for the next start.
    QCOMPARE(first.SRC_IP[0], std::string("194.98.65.10"));
    QCOMPARE(first.DST_IP[4], std::string("10.11.11.1"));
    QCOMPARE(first.GTW_IP, std::string("10.11.11.11"));
    QCOMPARE(first.UserName, std::string("PIX_User"));
    QCOMPARE(first.SessionNum, 10.0);
    QCOMPARE(first.ElapsedTime, 10.0);
    QCOMPARE(first.Delay, 1.0);
    QCOMPARE(first.FirewallName, std::string("Pix-Inside-Demo"));

    // Shutdown appends the position after the last key.
    QVERIFY(store.write("PositionX", singleToText(1440.0f)));
    QVERIFY(store.write("PositionY", singleToText(-120.0f)));
    const std::string afterShutdown = created + "PositionX=1440\r\nPositionY=-120\r\n";
    QCOMPARE(fileContent("korvane.ini"), afterShutdown);

    // The next start takes the defaults and changes nothing.
    SettingsLoader loader(store);
    QCOMPARE(loader.readPosition("PositionX"), 1440.0);
    const Settings second = loadAll(store);
    QCOMPARE(fileContent("korvane.ini"), afterShutdown);
    QVERIFY(second == first);
}

void TestLoader::editedFileKeepsItsLayout_data()
{
    QTest::addColumn<QByteArray>("eol");

    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("LF") << QByteArray("\n");
}

void TestLoader::editedFileKeepsItsLayout()
{
    QFETCH(QByteArray, eol);

    // "|" stands for the line end under test.
    const QByteArray before = "; Korvane settings, edited by hand|"
                              "# lab bench 2|"
                              "|"
                              "[Display]|"
                              "Delay=99|"
                              "|"
                              "[settings]|"
                              "; seconds between lines|"
                              "Delay = 0|"
                              "RealLogFile=\"0.5\"|"
                              "UserName=J|"
                              "SRC_IP_1=1.1.1.1|SRC_IP_2=2.2.2.2|SRC_IP_3=x|SRC_IP_4=4.4.4.4|SRC_IP_5=5.5.5.5|"
                              "DST_IP_1=10.0.0.1|DST_IP_2=10.0.0.2|DST_IP_3=10.0.0.3|DST_IP_4=10.0.0.4|"
                              "dst_ip_5 = 10.0.0.5|"
                              "GTW_IP=gw|SessionNum=3|ElapsedTime=4|FirewallName=edge|SyslogFile=0|"
                              "|"
                              "; the other tool's section|"
                              "[Other]|"
                              "onetime=1|";
    const QByteArray after = "; Korvane settings, edited by hand|"
                             "# lab bench 2|"
                             "|"
                             "[Display]|"
                             "Delay=99|"
                             "|"
                             "[settings]|"
                             "; seconds between lines|"
                             "Delay = 1|"
                             "RealLogFile=\"0.5\"|"
                             "UserName=PIX_User|"
                             "SRC_IP_1=194.98.65.10|SRC_IP_2=193.10.22.23|SRC_IP_3=193.50.60.70|"
                             "SRC_IP_4=195.60.61.62|SRC_IP_5=193.99.98.99|"
                             "DST_IP_1=10.0.0.1|DST_IP_2=10.0.0.2|DST_IP_3=10.0.0.3|DST_IP_4=10.0.0.4|"
                             "dst_ip_5 = 10.0.0.5|"
                             "GTW_IP=gw|SessionNum=3|ElapsedTime=4|FirewallName=edge|SyslogFile=0|"
                             "onetime=0|"
                             "|"
                             "; the other tool's section|"
                             "[Other]|"
                             "onetime=1|";

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    putFile("korvane.ini", QByteArray(before).replace("|", eol).toStdString());
    IniProfileStore store;
    const Settings s = loadAll(store);

    QCOMPARE(fileContent("korvane.ini"), QByteArray(after).replace("|", eol).toStdString());
    QCOMPARE(s.Delay, 1.0);
    QCOMPARE(s.RealLogFile, 1.0);
    QCOMPARE(s.UserName, std::string("PIX_User"));
    QCOMPARE(s.SRC_IP[2], std::string("193.50.60.70"));
    QCOMPARE(s.DST_IP[4], std::string("10.0.0.5"));
}

void TestLoader::readsTextThroughTheFile_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("firewallName");

    const QByteArray longName = QByteArray(90, 'f') + QByteArray(60, 'g');
    QTest::newRow("plain") << QByteArray("FirewallName=edge") << "edge";
    QTest::newRow("key in another case, blanks around") << QByteArray("  FIREWALLNAME  =  edge fw  ") << "edge fw";
    QTest::newRow("quotes taken off, trailing blanks then removed")
        << QByteArray("FirewallName=\" edge  \"") << " edge";
    QTest::newRow("150 characters cut to 99") << "FirewallName=" + longName << QString(longName.left(99));
    QTest::newRow("commented out: default") << QByteArray(";FirewallName=edge") << "Pix-Inside-Demo";
}

void TestLoader::readsTextThroughTheFile()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, firewallName);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    CurrentFolder here(dir.path().toStdString());
    putFile("korvane.ini", ("[Settings]\r\n" + line + "\r\n").toStdString());
    IniProfileStore store;
    const Settings s = loadAll(store);
    QCOMPARE(QString::fromStdString(s.FirewallName), firewallName);
}

void TestLoader::protectedFileLoadsTheSameValues_data()
{
    QTest::addColumn<bool>("folderReadOnly");

    QTest::newRow("read-only file") << false;
    QTest::newRow("read-only file in a read-only folder") << true;
}

// A failed write is no failure: the values in use are those a writable file would give, and
// the protected file keeps every byte.
void TestLoader::protectedFileLoadsTheSameValues()
{
    QFETCH(bool, folderReadOnly);

    const std::string content = "[Settings]\nDelay=0\nUDP_Port_Syslog=40000\nSyslogFile=1\nSRC_IP_1=x\n";
    QTemporaryDir writable;
    QTemporaryDir protectedDir;
    QVERIFY(writable.isValid() && protectedDir.isValid());
    const fs::path writableFolder = writable.path().toStdString();
    const fs::path protectedFolder = protectedDir.path().toStdString();
    putFile(writableFolder / "korvane.ini", content);
    putFile(protectedFolder / "korvane.ini", content);
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const fs::perms folderPerms = fs::status(protectedFolder).permissions();
    // A writable file in a read-only folder is rewritten in place (see tst_inifile), so the
    // file's own bits are what protects it in both rows.
    fs::permissions(protectedFolder / "korvane.ini", readOnly);
    if (folderReadOnly) {
        fs::permissions(protectedFolder, readOnly | fs::perms::owner_exec);
    }

    IniProfileStore store;
    Settings expected;
    {
        CurrentFolder here(writableFolder);
        expected = loadAll(store);
    }
    Settings actual;
    {
        CurrentFolder here(protectedFolder);
        actual = loadAll(store);
    }
    const std::string left = fileContent(protectedFolder / "korvane.ini");
    const auto entries = std::distance(fs::directory_iterator(protectedFolder), fs::directory_iterator());
    fs::permissions(protectedFolder, folderPerms);

    QVERIFY(fileContent(writableFolder / "korvane.ini") != content);
    QCOMPARE(left, content);
    QCOMPARE(entries, std::ptrdiff_t{1});
    QVERIFY(actual == expected);
    QCOMPARE(actual.Delay, 1.0);
    QCOMPARE(actual.UDP_Port_Syslog, 514.0);
}

void TestLoader::optionalOutputKeys_data()
{
    QTest::addColumn<QString>("stored"); // "Key=value;Key=value", over a valid file with SyslogFile 1
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("writes");

    const QString defaults = "format 0, facility 20, UDP, framing -1";
    QTest::newRow("all absent: defaults, nothing written") << "" << defaults << QStringList();
    QTest::newRow("empty values count as absent") << "SyslogFormat=;Protocol=  " << defaults << QStringList();
    QTest::newRow("valid values are taken") << "SyslogFormat=2;Facility=0;Protocol=tls;TCP_Framing=0"
                                            << "format 2, facility 0, TLS, framing 0" << QStringList();
    QTest::newRow("invalid numbers take the default and are written")
        << "SyslogFormat=4;Facility=23.5" << defaults << QStringList{"SyslogFormat=0", "Facility=20"};
    QTest::newRow("SyslogFormat 3, the device's own form") << "SyslogFormat=3"
                                                           << "format 3, facility 20, UDP, framing -1" << QStringList();
    QTest::newRow("blanks around a number are allowed") << "SyslogFormat= 1 ;Facility=\t7 "
                                                        << "format 1, facility 7, UDP, framing -1" << QStringList();
    QTest::newRow("a decimal point is still a plain number")
        << "SyslogFormat=1.0;Facility=+3"
        << "format 1, facility 3, UDP, framing -1" << QStringList();
    QTest::newRow("a word is no 0: replaced")
        << "SyslogFormat=RFC5424;Facility=nan" << defaults << QStringList{"SyslogFormat=0", "Facility=20"};
    QTest::newRow("a number with text after it: replaced")
        << "SyslogFormat=1x;Facility=7abc" << defaults << QStringList{"SyslogFormat=0", "Facility=20"};
    QTest::newRow("hexadecimal: replaced") << "Facility=&H5" << defaults << QStringList{"Facility=20"};
    QTest::newRow("exponent: replaced") << "Facility=1e1" << defaults << QStringList{"Facility=20"};
    QTest::newRow("blanks inside: replaced") << "Facility=1 2" << defaults << QStringList{"Facility=20"};
    const QStringList names = {"kern", "user", "mail",     "daemon", "auth", "syslog",   "lpr",     "news",
                               "uucp", "cron", "authpriv", "ftp",    "ntp",  "security", "console", "solaris-cron"};
    for (int i = 0; i < names.size(); ++i) {
        QTest::addRow("Facility named %s, kept as written", qPrintable(names[i]))
            << "Facility=" + names[i] << QStringLiteral("format 0, facility %1, UDP, framing -1").arg(i)
            << QStringList();
    }
    QTest::newRow("Facility local0 in capitals") << "Facility=LOCAL0"
                                                 << "format 0, facility 16, UDP, framing -1" << QStringList();
    QTest::newRow("Facility Local7") << "Facility=Local7"
                                     << "format 0, facility 23, UDP, framing -1" << QStringList();
    QTest::newRow("an unknown facility name: replaced") << "Facility=local8" << defaults << QStringList{"Facility=20"};
    QTest::newRow("RELP, in any case") << "Protocol=Relp"
                                       << "format 0, facility 20, RELP, framing -1" << QStringList();
    QTest::newRow("an unknown protocol becomes UDP") << "Protocol=SCTP" << defaults << QStringList{"Protocol=UDP"};
    QTest::newRow("invalid framing is written as the default: TLS")
        << "Protocol=TLS;TCP_Framing=2"
        << "format 0, facility 20, TLS, framing 1" << QStringList{"TCP_Framing=1"};
    QTest::newRow("invalid framing is written as the default: TCP, plain lines")
        << "Protocol=TCP;TCP_Framing=-1"
        << "format 0, facility 20, TCP, framing 1" << QStringList{"TCP_Framing=1"};
    QTest::newRow("invalid framing is written as the default: TCP, RFC 3164")
        << "SyslogFormat=1;Protocol=TCP;TCP_Framing=lf"
        << "format 1, facility 20, TCP, framing 0" << QStringList{"TCP_Framing=0"};
    QTest::newRow("invalid framing follows the repaired format")
        << "SyslogFormat=9;Protocol=TCP;TCP_Framing=5"
        << "format 0, facility 20, TCP, framing 1" << QStringList{"SyslogFormat=0", "TCP_Framing=1"};
    QTest::newRow("file output: the transport keys are not even read")
        << "SyslogFile=0;SyslogFormat=1;Protocol=bogus;TCP_Framing=9"
        << "format 1, facility 20, UDP, framing -1" << QStringList();
}

void TestLoader::optionalOutputKeys()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QFETCH(QStringList, writes);

    std::map<std::string, std::string> values = validFile();
    setPairs(values, stored);
    MemoryStore store(values);
    Settings s = loadAll(store);
    const qsizetype before = store.writes().size();
    SettingsLoader(store).loadOutputFormatKeys(s);

    QCOMPARE(QStringLiteral("format %1, facility %2, %3, framing %4")
                 .arg(s.SyslogFormat)
                 .arg(s.Facility)
                 .arg(QString::fromStdString(s.Protocol))
                 .arg(s.TCP_Framing),
             expected);
    QCOMPARE(store.writes().mid(before), writes);
    QCOMPARE(store.events().contains("R:Protocol"), s.SyslogFile == 1);
}

void TestLoader::replayKeys_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected"); // timing, speed, longest gap, restamp
    QTest::addColumn<QStringList>("writes");

    QTest::newRow("absent: defaults, nothing written") << ""
                                                       << "0 1 60 0" << QStringList();
    QTest::newRow("valid values are taken") << "ReplayTiming=1;ReplaySpeed=0.5;ReplayMaxGap=2.5;ReplayRestamp=1"
                                            << "1 0.5 2.5 1" << QStringList();
    QTest::newRow("invalid values take the default and are written")
        << "ReplayTiming=2;ReplaySpeed=0;ReplayMaxGap=-3;ReplayRestamp=0.5"
        << "0 1 60 0" << QStringList{"ReplayTiming=0", "ReplaySpeed=1", "ReplayMaxGap=60", "ReplayRestamp=0"};
    QTest::newRow("a fraction without a leading 0") << "ReplaySpeed=.5"
                                                    << "0 0.5 60 0" << QStringList();
    QTest::newRow("a number with a unit or an exponent: replaced")
        << "ReplayTiming=1.0;ReplaySpeed=2x;ReplayMaxGap=1e3"
        << "1 1 60 0" << QStringList{"ReplaySpeed=1", "ReplayMaxGap=60"};
}

void TestLoader::replayKeys()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QFETCH(QStringList, writes);

    std::map<std::string, std::string> values;
    setPairs(values, stored);
    MemoryStore store(values);
    Settings s;
    SettingsLoader(store).loadReplayKeys(s);
    QCOMPARE(
        QStringLiteral("%1 %2 %3 %4").arg(s.ReplayTiming).arg(s.ReplaySpeed).arg(s.ReplayMaxGap).arg(s.ReplayRestamp),
        expected);
    QCOMPARE(store.writes(), writes);
}

void TestLoader::rateProfileKey_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("writes");

    QTest::newRow("absent: none, nothing written") << ""
                                                   << "" << QStringList();
    QTest::newRow("a profile is taken, blanks around it removed") << "RateProfile= ramp 1000 20000 60 "
                                                                  << "ramp 1000 20000 60" << QStringList();
    QTest::newRow("not a profile: taken out and written back absent") << "RateProfile=ramp 5"
                                                                      << "" << QStringList{"RateProfile="};
}

void TestLoader::rateProfileKey()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QFETCH(QStringList, writes);

    std::map<std::string, std::string> values;
    setPairs(values, stored);
    MemoryStore store(values);
    Settings s;
    SettingsLoader(store).loadReplayKeys(s);
    QCOMPARE(QString::fromStdString(s.RateProfile), expected);
    QCOMPARE(store.writes(), writes);
    // The run takes it, unless it replays at the log's pace.
    QCOMPARE(QString::fromStdString(runConfigFrom(s, '.').run.rateProfile), expected);
    s.RealLogFile = 1;
    s.ReplayTiming = 1;
    QVERIFY(runConfigFrom(s, '.').run.rateProfile.empty());
}

void TestLoader::trafficKeys_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected"); // Traffic Connections MeanDuration DenyShare|SRC_NET|DST_NET|Scenarios
    QTest::addColumn<QStringList>("writes");

    QTest::newRow("absent: defaults, nothing written") << ""
                                                       << "0 100 30 0.1|||" << QStringList();
    QTest::newRow("valid values are taken")
        << "Traffic=1;Connections=100000;MeanDuration=2.5;DenyShare=0;SRC_NET=198.51.100.0/24;DST_NET= 10.10.0.0/16 ;"
           "Scenarios=portscan@60+30, denystorm@200+10.5"
        << "1 100000 2.5 0|198.51.100.0/24|10.10.0.0/16|portscan@60+30, denystorm@200+10.5" << QStringList();
    QTest::newRow("numbers out of range take the default, written back")
        << "Traffic=2;Connections=2.5;MeanDuration=0;DenyShare=1.5"
        << "0 100 30 0.1|||" << QStringList{"Traffic=0", "Connections=100", "MeanDuration=30", "DenyShare=0.1"};
    QTest::newRow("not a network, not a scenario: taken out, written back absent")
        << "SRC_NET=198.51.100.0;DST_NET=10.10.0.0/33;Scenarios=portscan@60"
        << "0 100 30 0.1|||" << QStringList{"SRC_NET=", "DST_NET=", "Scenarios="};
    QTest::newRow("a scenario of no known kind or no length")
        << "Scenarios=bruteforce@1+2,flood@1+2;SRC_NET=300.1.1.0/24"
        << "0 100 30 0.1|||" << QStringList{"SRC_NET=", "Scenarios="};
}

void TestLoader::trafficKeys()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QFETCH(QStringList, writes);

    std::map<std::string, std::string> values;
    setPairs(values, stored);
    MemoryStore store(values);
    Settings s;
    SettingsLoader(store).loadReplayKeys(s);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4|%5|%6|%7")
                 .arg(s.Traffic)
                 .arg(s.Connections)
                 .arg(s.MeanDuration)
                 .arg(s.DenyShare)
                 .arg(QString::fromStdString(s.SRC_NET), QString::fromStdString(s.DST_NET),
                      QString::fromStdString(s.Scenarios)),
             expected);
    QCOMPARE(store.writes(), writes);
}

void TestLoader::eachRepairSaidOnce_data()
{
    QTest::addColumn<QString>("stored"); // over a valid file with SyslogFile 1
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QStringList>("said");

    QTest::newRow("valid file: nothing said") << "" << true << QStringList();
    QTest::newRow("Delay 0") << "Delay=0" << true
                             << QStringList{"korvane.ini: Delay \"0\" is not a number above 0; 1 written back"};
    QTest::newRow("Delay absent") << "Delay=" + kAbsent << true << QStringList{"korvane.ini: Delay absent; 1 written"};
    QTest::newRow("RealLogFile 0 is written again, but nothing changed") << "RealLogFile=0" << true << QStringList();
    QTest::newRow("RealLogFile 0.0 becomes 0")
        << "RealLogFile=0.0" << true
        << QStringList{"korvane.ini: RealLogFile \"0.0\" is not a number above 0 up to 1; 0 written back"};
    QTest::newRow("GenerationType 9")
        << "GenerationType=9" << true
        << QStringList{"korvane.ini: GenerationType \"9\" is not a whole number from -1 to 7; 0 written back"};
    QTest::newRow("RemoveHeader 2")
        << "RemoveHeader=2" << true
        << QStringList{"korvane.ini: RemoveHeader \"2\" is not a number from 0 to 1; 0 written back"};
    QTest::newRow("UDP_Port_Syslog 40000")
        << "UDP_Port_Syslog=40000" << true
        << QStringList{"korvane.ini: UDP_Port_Syslog \"40000\" is not a port from 1 to 32000; 514 written back"};
    QTest::newRow("HostIP a host name") << "HostIP=localhost" << true
                                        << QStringList{"korvane.ini: HostIP \"localhost\" is not an address whose "
                                                       "first number is above 0; 127.0.0.1 written back"};
    QTest::newRow("GTW_IP one character")
        << "GTW_IP=x" << true
        << QStringList{"korvane.ini: GTW_IP \"x\" is shorter than 2 characters; 10.11.11.11 written back"};
    QTest::newRow("FirewallName of quoted blanks")
        << "FirewallName=   " << true
        << QStringList{"korvane.ini: FirewallName \"   \" is blank; Pix-Inside-Demo written back"};
    QTest::newRow("one short address: one line for the group")
        << "SRC_IP_3=x;SRC_IP_4=y" << true
        << QStringList{"korvane.ini: SRC_IP_3 \"x\" is shorter than 2 characters; the defaults of SRC_IP_1 to "
                       "SRC_IP_5 written back"};
    QTest::newRow("one absent address")
        << "DST_IP_2=" + kAbsent << true
        << QStringList{"korvane.ini: DST_IP_2 absent; the defaults of DST_IP_1 to DST_IP_5 written back"};
    QTest::newRow("a whole group absent")
        << "DST_IP_1=;DST_IP_2=;DST_IP_3=;DST_IP_4=;DST_IP_5=" << true
        << QStringList{"korvane.ini: DST_IP_1 to DST_IP_5 absent; their defaults written"};
    QTest::newRow("Protocol TPC")
        << "Protocol=TPC" << true
        << QStringList{"korvane.ini: Protocol \"TPC\" is not UDP, TCP, TLS or RELP; UDP written back"};
    QTest::newRow("SyslogFormat and Facility")
        << "SyslogFormat=RFC5424;Facility=99" << true
        << QStringList{"korvane.ini: SyslogFormat \"RFC5424\" is not 0, 1, 2 or 3; 0 written back",
                       "korvane.ini: Facility \"99\" is neither a whole number from 0 to 23 nor a facility name; 20 "
                       "written back"};
    QTest::newRow("TCP_Framing") << "Protocol=TCP;TCP_Framing=2" << true
                                 << QStringList{"korvane.ini: TCP_Framing \"2\" is not 0 or 1; 1 written back"};
    QTest::newRow("replay keys") << "ReplayTiming=yes;ReplaySpeed=0;ReplayMaxGap=-1;ReplayRestamp=2" << true
                                 << QStringList{
                                        "korvane.ini: ReplayTiming \"yes\" is not 0 or 1; 0 written back",
                                        "korvane.ini: ReplaySpeed \"0\" is not a number above 0; 1 written back",
                                        "korvane.ini: ReplayMaxGap \"-1\" is not a number above 0; 60 written back",
                                        "korvane.ini: ReplayRestamp \"2\" is not 0 or 1; 0 written back"};
    QTest::newRow("RateProfile of too few numbers")
        << "RateProfile=ramp 5" << true
        << QStringList{"korvane.ini: RateProfile \"ramp 5\" is not a rate profile (ramp, steps, sine, burst or "
                       "poisson and its numbers); absent written back"};
    QTest::newRow("traffic keys")
        << "Connections=0;DenyShare=-0.1;DST_NET=10.10.0.0;Scenarios=portscan" << true
        << QStringList{"korvane.ini: Connections \"0\" is not a whole number from 1 to 1000000; 100 written back",
                       "korvane.ini: DenyShare \"-0.1\" is not a number from 0 to 1; 0.1 written back",
                       "korvane.ini: DST_NET \"10.10.0.0\" is not an IPv4 network such as 198.51.100.0/24 (a prefix "
                       "of 8 to 32); absent written back",
                       "korvane.ini: Scenarios \"portscan\" is not a list of portscan, bruteforce or denystorm "
                       "@START+LENGTH; absent written back"};
    QTest::newRow("SourceAddress by name") << "SourceAddress=localhost" << true
                                           << QStringList{"korvane.ini: SourceAddress \"localhost\" is not an IP "
                                                          "address; absent written back"};
    QTest::newRow("several, in the order of the keys")
        << "HostIP=loghost;Delay=-1;SessionNum=0" << true
        << QStringList{"korvane.ini: Delay \"-1\" is not a number above 0; 1 written back",
                       "korvane.ini: SessionNum \"0\" is not a number above 0; 10 written back",
                       "korvane.ini: HostIP \"loghost\" is not an address whose first number is above 0; 127.0.0.1 "
                       "written back"};
    QTest::newRow("a write refused: used, not written back")
        << "Delay=0;ElapsedTime=" + kAbsent + ";SRC_IP_1=x;Protocol=SCTP" << false
        << QStringList{"korvane.ini: Delay \"0\" is not a number above 0; 1 used, not written back",
                       "korvane.ini: SRC_IP_1 \"x\" is shorter than 2 characters; the defaults of SRC_IP_1 to "
                       "SRC_IP_5 used, not written back",
                       "korvane.ini: ElapsedTime absent; 10 used, not written",
                       "korvane.ini: Protocol \"SCTP\" is not UDP, TCP, TLS or RELP; UDP used, not written back"};
}

void TestLoader::eachRepairSaidOnce()
{
    QFETCH(QString, stored);
    QFETCH(bool, writable);
    QFETCH(QStringList, said);

    std::map<std::string, std::string> values = validFile();
    setPairs(values, stored);
    MemoryStore store(values);
    if (!writable) {
        store.failWrites();
    }
    SettingsLoader loader(store);
    loadEverything(loader);
    QStringList lines;
    for (const std::string& line : loader.repairs()) {
        lines << QString::fromStdString(line);
    }
    QCOMPARE(lines, said);
}

// Nothing can be written into a file that cannot be read: the values in use are those a
// writable empty file gives, without a write or a word.
void TestLoader::unreadableFileTakesDefaultsUnrepaired()
{
    MemoryStore writable;
    SettingsLoader repairing(writable);
    const Settings expected = loadEverything(repairing);
    MemoryStore unreadable;
    SettingsLoader notRepairing(unreadable, SettingsLoader::Repairs::None);
    const Settings actual = loadEverything(notRepairing);

    QVERIFY(!writable.writes().isEmpty());
    QVERIFY(!repairing.repairs().empty());
    QVERIFY(unreadable.writes().isEmpty());
    QVERIFY(notRepairing.repairs().empty());
    QVERIFY(actual == expected);
    QCOMPARE(actual.SRC_IP[0], std::string("194.98.65.10"));
}

void TestLoader::framingByDefault_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<double>("format");
    QTest::addColumn<double>("framing"); // TCP_Framing; -1 absent
    QTest::addColumn<bool>("octetCounting");

    QTest::newRow("TCP, plain lines: octet counting") << "TCP" << 0.0 << -1.0 << true;
    QTest::newRow("TCP, RFC 3164: line feeds") << "TCP" << 1.0 << -1.0 << false;
    QTest::newRow("TCP, RFC 5424: line feeds") << "TCP" << 2.0 << -1.0 << false;
    QTest::newRow("TCP, the device's form: line feeds") << "TCP" << 3.0 << -1.0 << false;
    QTest::newRow("TLS, plain lines: octet counting") << "TLS" << 0.0 << -1.0 << true;
    QTest::newRow("TLS, RFC 5424: octet counting") << "TLS" << 2.0 << -1.0 << true;
    QTest::newRow("UDP: datagrams, no framing") << "UDP" << 0.0 << -1.0 << false;
    QTest::newRow("TCP, plain lines, line feeds asked for") << "TCP" << 0.0 << 0.0 << false;
    QTest::newRow("TCP, RFC 5424, octet counting asked for") << "TCP" << 2.0 << 1.0 << true;
    QTest::newRow("TLS, line feeds asked for") << "TLS" << 1.0 << 0.0 << false;
}

void TestLoader::framingByDefault()
{
    QFETCH(QString, protocol);
    QFETCH(double, format);
    QFETCH(double, framing);
    QFETCH(bool, octetCounting);

    Settings s;
    s.SyslogFile = 1;
    s.Protocol = protocol.toStdString();
    s.SyslogFormat = format;
    s.TCP_Framing = framing;
    const RunConfig c = runConfigFrom(s, '.');
    QCOMPARE(c.framing == StreamFraming::OctetCounting, octetCounting);
    QCOMPARE(c.run.format, static_cast<SyslogFormat>(format));
}

QTEST_APPLESS_MAIN(TestLoader)
// An absent optional key keeps what Settings starts with: that must be the replacement its row
// names, so that a file that says nothing and a file whose value was repaired run alike.
void TestLoader::absentOptionalKeyRunsAsItsRepair()
{
    const Settings defaults;
    for (const KeyRow& row : keyTable()) {
        if (row.absent != Absent::KeepsDefault || row.computed != Replacement::AsWritten) {
            continue;
        }
        if (row.target.number != nullptr) {
            QVERIFY2(defaults.*row.target.number == parseNumber(row.replacement), row.name.data());
        }
        if (row.target.text != nullptr) {
            QVERIFY2(defaults.*row.target.text == row.replacement, row.name.data());
        }
    }
}

#include "tst_loader.moc"
