// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

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
    // Optional keys: an absent one leaves its default here and is not written.
    double SyslogFormat = 0;      // 0 the line as it is, 1 RFC 3164, 2 RFC 5424
    double Facility = 20;         // 0..23; 20 is local4
    std::string Protocol = "UDP"; // UDP, TCP or TLS
    double TCP_Framing = -1;      // 0 line feed, 1 octet counting; -1 absent: by protocol
    std::string TLS_CAFile;       // "" the system's authorities
    std::string TLS_CertFile;     // a client certificate, with its key
    std::string TLS_KeyFile;
    std::string TLS_PeerName; // "" HostIP
    double ReplayTiming = 0;  // 1: real logs go out at the pace of their time stamps
    double ReplaySpeed = 1;   // > 0: 2 replays twice as fast
    double ReplayMaxGap = 60; // > 0: the longest wait between two lines, in seconds
    double ReplayRestamp = 0; // 1: a real log line's time stamp becomes the time it is sent

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
    // The optional keys that shape and carry the lines: SyslogFormat and Facility always;
    // Protocol, TCP_Framing and the TLS_ keys only when s.SyslogFile is 1. Unlike the keys
    // above, an absent (or empty) key takes its default without a word to the file; a present
    // but invalid one is replaced by the default and written back.
    void loadOutputFormatKeys(Settings& s);
    // The optional keys of a replay at the log's own pace: ReplayTiming, ReplaySpeed,
    // ReplayMaxGap and ReplayRestamp, taken as the keys above are.
    void loadReplayKeys(Settings& s);

private:
    ProfileStore& m_store;
};

} // namespace korvane
