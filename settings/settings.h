// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/profile.h"

#include <array>
#include <string>
#include <vector>

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
    // Optional keys: an absent one leaves its default here and is not written. Each default is
    // the replacement its row of the key table names (checked where the table is built).
    double SyslogFormat = 0;      // 0 the line as it is, 1 RFC 3164, 2 RFC 5424, 3 the device's own
    double Facility = 20;         // 0..23 (also given by name); 20 is local4
    std::string Protocol = "UDP"; // UDP, TCP, TLS or RELP
    double TCP_Framing = -1;      // 0 line feed, 1 octet counting; -1 absent: tcpFramingDefault
    std::string TLS_CAFile;       // "" the system's authorities
    std::string TLS_CertFile;     // a client certificate, with its key
    std::string TLS_KeyFile;
    std::string TLS_PeerName;  // "" HostIP
    std::string SourceAddress; // "" the system chooses; else the local address the lines are sent from
    double ReplayTiming = 0;   // 1: real logs go out at the pace of their time stamps
    double ReplaySpeed = 1;    // > 0: 2 replays twice as fast
    double ReplayMaxGap = 60;  // > 0: the longest wait between two lines, in seconds
    double ReplayRestamp = 0;  // 1: a real log line's time stamp becomes the time it is sent
    double SequenceId = 0;     // 1: RFC 5424 messages carry [meta sequenceId="N"]
    double Manifest = 0;       // 1: the window writes MANIFEST.JSON at the end of each run
    std::string RateProfile;   // "" one line every Delay; else a rate over time ("ramp 1000 20000 60")
    double Traffic = 0;        // 1: templates carry connections that open and close, and denies
    double Connections = 100;  // the connections open at once, on average
    double MeanDuration = 30;  // seconds a connection lasts, on average
    double DenyShare = 0.1;    // of the lines, those that deny traffic
    std::string SRC_NET;       // "" SRC_IP_1..5; else the outside hosts ("198.51.100.0/24")
    std::string DST_NET;       // "" DST_IP_1..5; else the inside hosts ("10.10.0.0/16")
    std::string Scenarios;     // "" none; else "portscan@60+30,bruteforce@120+20,denystorm@200+10"

    friend bool operator==(const Settings&, const Settings&) = default;
};

// TCP_Framing when the file does not say: octet counting (1) over TLS, and over TCP for lines
// that do not begin with "<" (SyslogFormat 0), where a receiver could not tell a line from a
// count; line feeds (0) for the standard headers over TCP, as most receivers expect there.
double tcpFramingDefault(const Settings& s);

// Reads, tests and repairs the keys of korvane.ini in the order start-up needs them, by walking
// the rows of the key table (settings/keytable.h) of each function's phase. Each key is read,
// tested, and when it fails replaced and (where its row says so) written back before the next
// key is read; a replacement that is written is also what this run uses. Each replaced value is
// said once in repairs().
class SettingsLoader
{
public:
    enum class Repairs
    {
        WriteBack, // replaced values go into the file, and are said
        None       // the file cannot be read: replaced values are only used, nothing is written or said
    };

    explicit SettingsLoader(ProfileStore& store, Repairs repairs = Repairs::WriteBack)
        : m_store(store), m_writeBack(repairs == Repairs::WriteBack)
    {}

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
    // above, an absent (or empty) key takes its default without a word to the file. A present
    // value must be exactly one of those accepted (a plain decimal number within range, blanks
    // around it allowed; Facility also by name, kept as written), or it is replaced by the
    // default and written back.
    void loadOutputFormatKeys(Settings& s);
    // The optional keys of a replay at the log's own pace: ReplayTiming, ReplaySpeed,
    // ReplayMaxGap and ReplayRestamp, taken as the keys above are.
    void loadReplayKeys(Settings& s);

    // One line per replaced value so far, in the order of the keys:
    // 'korvane.ini: Delay "0" is not a number above 0; 1 written back'.
    const std::vector<std::string>& repairs() const { return m_repairs; }

private:
    ProfileStore& m_store;
    bool m_writeBack;
    std::vector<std::string> m_repairs;
};

} // namespace korvane
