#pragma once

#include "settings/profile.h"

#include <array>
#include <string>

namespace korvane {

// The settings in force, one variable per key of korvane.ini, named after the key.
// Numbers are doubles as read (0 before the read), texts have trailing blanks removed.
struct Settings
{
    double RealLogFile = 0;
    double Delay = 0;
    double onetime = 0;
    double GenerationType = 0;
    double RemoveHeader = 0;
    std::string HeaderString;
    std::array<std::string, 5> SRC_IP;
    std::array<std::string, 5> DST_IP;
    std::string GTW_IP;
    std::string UserName;
    double SessionNum = 0;
    double ElapsedTime = 0;
    std::string FirewallName;
    double SyslogFile = 0;
    double UDP_Port_Syslog = 0;
    std::string HostIP;

    friend bool operator==(const Settings&, const Settings&) = default;
};

// Reads, tests and repairs the keys of korvane.ini in the order start-up needs them.
// Each key is read, tested, and when it fails replaced and (where the key table says so)
// written back before the next key is read. Whether a replacement is used at once or only
// from the next start follows the key table.
class SettingsLoader
{
public:
    explicit SettingsLoader(ProfileStore& store) : m_store(store) {}

    // PositionX or PositionY as stored (twips); an absent key reads as 0. Never repaired.
    double readPosition(std::string_view key);

    // RealLogFile, Delay, onetime, GenerationType.
    void loadRunKeys(Settings& s);
    // RemoveHeader, HeaderString, SRC_IP_1..5, DST_IP_1..5, GTW_IP, UserName, SessionNum,
    // ElapsedTime, FirewallName, SyslogFile.
    void loadTemplateKeys(Settings& s);
    // UDP_Port_Syslog and HostIP. Does nothing unless s.SyslogFile is 1, so with file output
    // the two keys are neither read nor repaired.
    void loadReceiverKeys(Settings& s);

private:
    ProfileStore& m_store;
};

} // namespace korvane
