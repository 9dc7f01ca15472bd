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
    c.output = s.SyslogFile == 1 ? OutputKind::Udp : OutputKind::File;
    c.host = s.HostIP;
    // The nearest integer, halves to the even one; the key's test keeps it within 1..32000.
    c.port = static_cast<std::uint16_t>(std::clamp(std::nearbyint(s.UDP_Port_Syslog), 0.0, 65535.0));
    c.srcIp = s.SRC_IP;
    c.dstIp = s.DST_IP;
    c.gatewayIp = s.GTW_IP;
    c.userName = s.UserName;
    c.sessionNum = numberToText(s.SessionNum, decimalSeparator);
    c.elapsedTime = numberToText(s.ElapsedTime, decimalSeparator);
    return c;
}

} // namespace korvane
