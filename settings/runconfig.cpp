// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/runconfig.h"

#include "settings/numbers.h"

#include <algorithm>
#include <cmath>

namespace korvane {

RunConfig runConfigFrom(const Settings& s, char decimalSeparator)
{
    RunConfig c;
    RunSettings& run = c.run;
    run.realLogs = s.RealLogFile == 1;
    run.sourceFile = s.RealLogFile == 0 ? "SAMPLE.TXT" : "KORVANE.TXT";
    run.delay = s.Delay;
    run.onePass = s.onetime != 0;
    c.justOne = s.onetime == 1;
    run.generationType = static_cast<int>(s.GenerationType);
    run.removeHeader = s.RemoveHeader == 1;
    run.headerString = s.HeaderString;
    run.firewallName = s.FirewallName;
    c.output = OutputKind::File;
    if (s.SyslogFile == 1) {
        const Transport* transport = transportNamed(s.Protocol); // the key's test accepts only these
        c.output = transport != nullptr ? transport->kind : OutputKind::Udp;
    }
    c.host = s.HostIP;
    // The nearest integer, halves to the even one; the key's test keeps it within 1..32000.
    c.port = static_cast<std::uint16_t>(std::clamp(std::nearbyint(s.UDP_Port_Syslog), 0.0, 65535.0));
    run.format = static_cast<SyslogFormat>(std::clamp(static_cast<int>(s.SyslogFormat), 0, 3));
    run.facility = std::clamp(static_cast<int>(s.Facility), 0, 23);
    // Framing is a matter of streams; a file or datagrams keep the plain form.
    const Transport* transport = transportOf(c.output);
    const bool stream = transport != nullptr && transport->framed;
    const bool octetCounting = s.TCP_Framing < 0 ? stream && tcpFramingDefault(s) == 1 : s.TCP_Framing == 1;
    c.framing = octetCounting ? StreamFraming::OctetCounting : StreamFraming::LineFeed;
    c.tlsCaFile = s.TLS_CAFile;
    c.tlsCertFile = s.TLS_CertFile;
    c.tlsKeyFile = s.TLS_KeyFile;
    c.tlsPeerName = s.TLS_PeerName.empty() ? s.HostIP : s.TLS_PeerName;
    c.sourceAddress = s.SourceAddress;
    // The log's pace needs its time stamps (real logs) and an order (no random picks).
    run.replayAtLogPace = s.ReplayTiming == 1 && run.realLogs && run.generationType >= 0 && run.generationType <= 7;
    // A replay at the log's pace keeps the log's gaps: a profile paces the other runs.
    run.rateProfile = run.replayAtLogPace ? std::string() : s.RateProfile;
    run.replaySpeed = s.ReplaySpeed;
    run.replayMaxGap = s.ReplayMaxGap;
    run.restamp = s.ReplayRestamp == 1 && run.realLogs;
    run.sequenceIds = s.SequenceId == 1 && run.format == SyslogFormat::Rfc5424; // the one form with a place for it
    c.manifest = s.Manifest == 1;
    run.traffic.enabled = s.Traffic == 1 && !run.realLogs;
    if (run.traffic.enabled && run.generationType == -1) {
        run.generationType = 0; // the model makes every line: there is no line to pick at random
    }
    run.traffic.connections = static_cast<int>(s.Connections);
    run.traffic.meanDuration = s.MeanDuration;
    run.traffic.denyShare = s.DenyShare;
    run.traffic.srcNet = s.SRC_NET;
    run.traffic.dstNet = s.DST_NET;
    run.traffic.scenarios = s.Scenarios;
    run.rewrite.srcIp = s.SRC_IP;
    run.rewrite.dstIp = s.DST_IP;
    run.rewrite.gatewayIp = s.GTW_IP;
    run.rewrite.userName = s.UserName;
    run.rewrite.sessionNum = numberToText(s.SessionNum, decimalSeparator);
    run.rewrite.elapsedTime = numberToText(s.ElapsedTime, decimalSeparator);
    return c;
}

} // namespace korvane
