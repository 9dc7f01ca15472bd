// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/outputformat.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

// What a generation run takes of the settings in force: the part of RunConfig the engine reads.
// Declared here, without Qt or the engine, so that the settings fill it and the engine uses it
// as it is.

namespace korvane {

// The configured values that templates are filled with. SessionNum and ElapsedTime are
// already rendered as text (number-to-text with the user's decimal separator).
struct RewriteValues
{
    std::array<std::string, 5> srcIp; // SRC_IP_1..5
    std::array<std::string, 5> dstIp; // DST_IP_1..5
    std::string gatewayIp;            // GTW_IP
    std::string userName;             // UserName
    std::string sessionNum;           // SessionNum as it goes into a line
    std::string elapsedTime;          // ElapsedTime as it goes into a line
};

// The traffic model's settings: with `enabled`, each template line's message is made by the model
// (engine/trafficmodel.h) from the template of the message id it picks.
struct TrafficSettings
{
    bool enabled = false;     // Traffic 1, with templates
    int connections = 100;    // the connections open at once, on average
    double meanDuration = 30; // seconds
    double denyShare = 0.1;   // of the lines
    std::string srcNet;       // "" the five SRC_IP; else a network in CIDR notation
    std::string dstNet;       // "" the five DST_IP
    std::string scenarios;    // as parseScenarios reads it; "" none
};

// The run's settings, as RunConfig::run holds them; the run reads them, never changes them.
struct RunSettings
{
    double delay = 1;        // seconds before each line, > 0 (the driver waits it)
    std::string rateProfile; // RateProfile as accepted; the driver paces by it in place of the delay
    // Which stream of random gaps a poisson profile draws: each firewall of a fleet its own (its
    // number - 1), so that their arrivals are independent.
    std::uint64_t scheduleStream = 0;
    bool onePass = true;                             // onetime not 0: the run ends after one pass
    int generationType = 0;                          // -1 random line, 0 every "PIX-" line, 1..7 one level
    bool removeHeader = false;                       // RemoveHeader 1
    std::string headerString;                        // the marker header removal looks for
    bool realLogs = false;                           // RealLogFile 1: lines go out unchanged after header removal
    std::filesystem::path sourceFile = "SAMPLE.TXT"; // or "KORVANE.TXT" for real logs
    std::string firewallName;                        // the name in a composed line's header
    RewriteValues rewrite;
    // A standard syslog header replaces the composed date-time-name header of template lines,
    // and the time stamp and host a real log line starts with (after header removal); a real log
    // line without them gets the header before it, with the firewall's name as its host.
    SyslogFormat format = SyslogFormat::Plain;
    int facility = 20; // 0..23
    // Real logs at the pace of their own time stamps: the wait before a line is the gap from the
    // previous selected line's stamp, divided by the speed and cut to the longest gap, less the
    // waits of the lines without a stamp in between. Lines without a stamp, and the first line
    // of a pass, wait `delay`.
    bool replayAtLogPace = false;
    double replaySpeed = 1;   // > 0
    double replayMaxGap = 60; // seconds, > 0, after the speed
    bool restamp = false;     // a real log line's own time stamp becomes the time it is sent
    // RFC 5424 messages carry [meta sequenceId="N"], N counted from 1 in each run.
    bool sequenceIds = false;
    TrafficSettings traffic;
};

} // namespace korvane
