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
    c.realLogs = s.RealLogFile == 1;
    c.sourceFile = s.RealLogFile == 0 ? "SAMPLE.TXT" : "KORVANE.TXT";
    c.delay = s.Delay;
    c.onePass = s.onetime != 0;
    c.justOne = s.onetime == 1;
    c.generationType = static_cast<int>(s.GenerationType);
    c.removeHeader = s.RemoveHeader == 1;
    c.headerString = s.HeaderString;
    c.firewallName = s.FirewallName;
    c.output = OutputKind::File;
    if (s.SyslogFile == 1) {
        c.output = s.Protocol == "TCP" ? OutputKind::Tcp : s.Protocol == "TLS" ? OutputKind::Tls : OutputKind::Udp;
    }
    c.host = s.HostIP;
    // The nearest integer, halves to the even one; the key's test keeps it within 1..32000.
    c.port = static_cast<std::uint16_t>(std::clamp(std::nearbyint(s.UDP_Port_Syslog), 0.0, 65535.0));
    c.format = static_cast<SyslogFormat>(std::clamp(static_cast<int>(s.SyslogFormat), 0, 3));
    c.facility = std::clamp(static_cast<int>(s.Facility), 0, 23);
    // Framing is a matter of streams; a file or datagrams keep the plain form.
    const bool stream = c.output == OutputKind::Tcp || c.output == OutputKind::Tls;
    const bool octetCounting = s.TCP_Framing < 0 ? stream && tcpFramingDefault(s) == 1 : s.TCP_Framing == 1;
    c.framing = octetCounting ? StreamFraming::OctetCounting : StreamFraming::LineFeed;
    c.tlsCaFile = s.TLS_CAFile;
    c.tlsCertFile = s.TLS_CertFile;
    c.tlsKeyFile = s.TLS_KeyFile;
    c.tlsPeerName = s.TLS_PeerName.empty() ? s.HostIP : s.TLS_PeerName;
    // The log's pace needs its time stamps (real logs) and an order (no random picks).
    c.replayAtLogPace = s.ReplayTiming == 1 && c.realLogs && c.generationType >= 0 && c.generationType <= 7;
    c.replaySpeed = s.ReplaySpeed;
    c.replayMaxGap = s.ReplayMaxGap;
    c.restamp = s.ReplayRestamp == 1 && c.realLogs;
    c.srcIp = s.SRC_IP;
    c.dstIp = s.DST_IP;
    c.gatewayIp = s.GTW_IP;
    c.userName = s.UserName;
    c.sessionNum = numberToText(s.SessionNum, decimalSeparator);
    c.elapsedTime = numberToText(s.ElapsedTime, decimalSeparator);
    return c;
}

} // namespace korvane
