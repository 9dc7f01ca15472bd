// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/outputformat.h"
#include "settings/settings.h"

#include <array>
#include <cstdint>
#include <string>

namespace korvane {

// The repaired settings as a run, its sink and the front-ends use them: switches as booleans,
// the output as what it means, the template values as the texts that go into a line. Built once
// after start-up has read the keys; nothing downstream looks at the raw numbers again.
struct RunConfig
{
    bool realLogs = false;                 // RealLogFile 1: real logs, sent as they are
    std::string sourceFile = "SAMPLE.TXT"; // or "KORVANE.TXT" for real logs
    double delay = 1;                      // seconds before each line, > 0
    bool onePass = true;                   // onetime not 0: the run ends after one pass
    bool justOne = false;                  // onetime exactly 1, as the settings panel says it
    int generationType = 0;                // -1 random line, 0 every "PIX-" line, 1..7 one level
    bool removeHeader = false;             // RemoveHeader 1
    std::string headerString;              // the marker header removal looks for
    std::string firewallName;              // the name in a composed line's header
    OutputKind output = OutputKind::File;  // SyslogFile 1: by Protocol
    std::string host;                      // HostIP as written, for the receiver
    std::uint16_t port = 514;              // UDP_Port_Syslog to the nearest whole, halves to even
    SyslogFormat format = SyslogFormat::Plain;
    int facility = 20; // 0..23
    StreamFraming framing = StreamFraming::LineFeed;
    std::string tlsCaFile;   // "" trusts the system's authorities
    std::string tlsCertFile; // client certificate and key, both or neither
    std::string tlsKeyFile;
    std::string tlsPeerName;          // the name the server's certificate must carry
    bool replayAtLogPace = false;     // real logs, one level or every "PIX-" line, at their own pace
    double replaySpeed = 1;           // > 0
    double replayMaxGap = 60;         // seconds, > 0, after the speed
    bool restamp = false;             // real log lines get the time they are sent
    std::array<std::string, 5> srcIp; // SRC_IP_1..5
    std::array<std::string, 5> dstIp; // DST_IP_1..5
    std::string gatewayIp;            // GTW_IP
    std::string userName;             // UserName
    std::string sessionNum;           // SessionNum as it goes into a line
    std::string elapsedTime;          // ElapsedTime as it goes into a line
};

// The typed configuration of repaired settings. Numbers that go into lines are written with
// `decimalSeparator`, as the operator's locale writes them.
RunConfig runConfigFrom(const Settings& settings, char decimalSeparator);

} // namespace korvane
