// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/linecomposer.h"
#include "engine/templaterewriter.h"
#include "scriptedrandomsource.h"
#include "settings/keytable.h"
#include "settings/profile.h"

#include <QRegularExpression>
#include <QTest>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace korvane;

namespace {

std::string readFile(const char* name)
{
    const std::string path = qEnvironmentVariable("KORVANE_SOURCE_DIR").toStdString() + "/data/" + name;
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a CR LF file, without their line ends.
std::vector<std::string> crLfLines(const std::string& content)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = content.find("\r\n"); end != std::string::npos; end = content.find("\r\n", start)) {
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    if (start < content.size()) {
        lines.push_back(content.substr(start));
    }
    return lines;
}

// The severity digit after "PIX-", or 0 when the line has none.
int severityOf(const std::string& line)
{
    const std::size_t at = line.find("PIX-");
    if (at == std::string::npos || at + 4 >= line.size() || line[at + 4] < '1' || line[at + 4] > '7') {
        return 0;
    }
    return line[at + 4] - '0';
}

RewriteValues exampleValues()
{
    RewriteValues values;
    values.srcIp = {"194.98.65.10", "193.10.22.23", "193.50.60.70", "195.60.61.62", "193.99.98.99"};
    values.dstIp = {"10.10.12.12", "10.10.12.20", "10.10.12.30", "10.10.12.40", "10.11.11.1"};
    values.gatewayIp = "10.11.11.11";
    values.userName = "PIX_User";
    values.sessionNum = "10";
    values.elapsedTime = "10";
    return values;
}

// Seconds since the start of the month of a classic syslog stamp "Mmm dd hh:mm:ss".
int stampSeconds(const std::string& line)
{
    std::istringstream in(line.substr(3, 12));
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    char colon = 0;
    in >> day >> hour >> colon >> minute >> colon >> second;
    return ((day * 24 + hour) * 60 + minute) * 60 + second;
}

struct MessageShape
{
    const char* id;
    int level;
    const char* pattern;
};

// The fields each message carries, one row per message id: its severity and the message text
// after the tag. Tokens: {ip} an IPv4 address, {port} a port, {n} a number, {if} an interface
// name, {w} a name, {hms} a duration, {hex} a hexadecimal number, {hash} the access-list hash
// pair, {mac} a MAC address, {unit} the failover unit. A source address is captured as
// (?<src>...), a destination address as (?<dst>...).
const std::vector<MessageShape>& messageShapes()
{
    static const std::vector<MessageShape> shapes{
        {"101001", 1, R"({unit} Failover cable OK\.)"},
        {"101002", 1, R"({unit} Bad failover cable\.)"},
        {"103001", 1, R"({unit} No response from other firewall \(reason code {n}\)\.)"},
        {"104001", 1, R"({unit} Switching to ACTIVE - .+)"},
        {"104002", 1, R"({unit} Switching to STANDBY - .+)"},
        {"104003", 1, R"({unit} Switching to FAILED\.)"},
        {"104004", 1, R"({unit} Switching to OK\.)"},
        {"105003", 1, R"({unit} Monitoring on interface {if} waiting)"},
        {"105004", 1, R"({unit} Monitoring on interface {if} normal)"},
        {"105005", 1, R"({unit} Lost Failover communications with mate on interface {if})"},
        {"105008", 1, R"({unit} Testing Interface {if})"},
        {"105009", 1, R"({unit} Testing on interface {if} (?:Passed|Failed))"},
        {"106021", 1,
         R"(Deny (?:TCP|UDP|ICMP) reverse path check from (?<src>{ip}) to (?<dst>{ip}) on interface {if})"},
        {"107001", 1,
         R"(RIP auth failed from (?<src>{ip}): version={n}, type=\w+, mode=\w+, sequence={n} on interface {if})"},
        {"709003", 1, R"({unit} Beginning configuration replication: Sending to mate\.)"},
        {"106001", 2,
         R"(Inbound TCP connection denied from (?<src>{ip})/{port} to (?<dst>{ip})/{port} flags [A-Z ]+ on interface {if})"},
        {"106002", 2, R"((?:tcp|udp) Connection denied by outbound list {w} src (?<src>{ip}) dest (?<dst>{ip}))"},
        {"106006", 2, R"(Deny inbound UDP from (?<src>{ip})/{port} to (?<dst>{ip})/{port} on interface {if})"},
        {"106007", 2,
         R"(Deny inbound UDP from (?<src>{ip})/{port} to (?<dst>{ip})/{port} due to DNS (?:Query|Response))"},
        {"106016", 2, R"(Deny IP spoof from \((?<src>{ip})\) to (?<dst>{ip}) on interface {if})"},
        // A land attack is a packet whose source is its own destination.
        {"106017", 2, R"(Deny IP due to Land Attack from (?<land>{ip}) to \k<land>)"},
        {"106018", 2, R"(ICMP packet type {n} denied by outbound list {w} src (?<src>{ip}) dest (?<dst>{ip}))"},
        {"106020", 2, R"(Deny IP teardrop fragment \(size = {n}, offset = {n}\) from (?<src>{ip}) to (?<dst>{ip}))"},
        {"108003", 2,
         R"(Terminating E?SMTP connection; malicious pattern detected in the mail address from {if}:(?<src>{ip})/{port} )"
         R"(to {if}:(?<dst>{ip})/{port}\. Data:.+)"},
        {"109011", 2, R"(Authen Session Start: user '[^']+', sid {n})"},
        {"201003", 2,
         R"(Embryonic limit exceeded {n}/{n} for (?<src>{ip})/{port} \({ip}\) (?<dst>{ip})/{port} on interface {if})"},
        {"105010", 3, R"({unit} Failover message block alloc failed)"},
        {"106010", 3,
         R"(Deny inbound (?:protocol {n}|tcp|udp) src {if}:(?<src>{ip})(?:/{port})? dst {if}:(?<dst>{ip})(?:/{port})?)"},
        {"106011", 3,
         R"(Deny inbound \(No xlate\) (?:tcp|udp) src {if}:(?<src>{ip})/{port} dst {if}:(?<dst>{ip})/{port})"},
        {"106014", 3, R"(Deny inbound icmp src {if}:(?<src>{ip}) dst {if}:(?<dst>{ip}) \(type {n}, code {n}\))"},
        {"201008", 3, R"(The PIX is disallowing new connections\.)"},
        {"202001", 3, R"(Out of address translation slots!)"},
        {"210005", 3,
         R"(LU allocate connection failed for (?:TCP|UDP) connection from {if}:(?<src>{ip})/{port} )"
         R"(to {if}:(?<dst>{ip})/{port})"},
        {"305005", 3,
         R"(No translation group found for (?:tcp|udp) src {if}:(?<src>{ip})/{port} dst {if}:(?<dst>{ip})/{port})"},
        {"305006", 3,
         R"((?:regular|identity|portmap|outbound static) translation creation failed for icmp )"
         R"(src {if}:(?<src>{ip}) dst {if}:(?<dst>{ip}) \(type {n}, code {n}\))"},
        {"313001", 3, R"(Denied ICMP type={n}, code={n} from (?<src>{ip}) on interface {if})"},
        {"313008", 3, R"(Denied IPv6-ICMP type={n}, code={n} from [0-9a-f:]+ on interface {if})"},
        {"315004", 3, R"(Fail to establish SSH session because RSA host key retrieval failed\.)"},
        {"320001", 3, R"(The subject name of the peer cert is not allowed for connection)"},
        {"710003", 3, R"((?:TCP|UDP) access denied by ACL from (?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port})"},
        {"713902", 3, R"(Group = {w}, IP = {ip}, Removing peer from peer table failed, no match!)"},
        {"106023", 4,
         R"(Deny (?:tcp|udp|icmp|protocol {n}) src {if}:(?<src>{ip})(?:/{port})? dst {if}:(?<dst>{ip})(?:/{port})?)"
         R"((?: \(type {n}, code {n}\))? by access-group "{w}" {hash})"},
        {"106103", 4,
         R"(access-list {w} denied (?:tcp|udp) for user '[^']+' {if}/(?<src>{ip})\({port}\) -> )"
         R"({if}/(?<dst>{ip})\({port}\) hit-cnt {n} first hit {hash})"},
        {"209003", 4,
         R"(Fragment database limit of {n} exceeded: src = (?<src>{ip}), dest = (?<dst>{ip}), proto = \w+, id = {n})"},
        {"313004", 4,
         R"(Denied ICMP type={n}, from laddr (?<src>{ip}) on interface {if} to (?<dst>{ip}): no matching session)"},
        {"313005", 4,
         R"(No matching connection for ICMP error message: icmp src {if}:(?<src>{ip}) dst {if}:(?<dst>{ip}) )"
         R"(\(type {n}, code {n}\) on {if} interface\.  Original IP payload: (?:tcp|udp) src {ip}/{port} dst {ip}/{port})"},
        {"400010", 4, R"(IDS:2000 ICMP Echo Reply from (?<src>{ip}) to (?<dst>{ip}) on interface {if})"},
        {"400011", 4, R"(IDS:2001 ICMP Host Unreachable from (?<src>{ip}) to (?<dst>{ip}) on interface {if})"},
        {"400013", 4, R"(IDS:2003 ICMP Redirect from (?<src>{ip}) to (?<dst>{ip}) on interface {if})"},
        {"400014", 4, R"(IDS:2004 ICMP Echo Request from (?<src>{ip}) to (?<dst>{ip}) on interface {if})"},
        {"400023", 4, R"(IDS:2150 ICMP Fragment from (?<src>{ip}) to (?<dst>{ip}) on interface {if})"},
        {"400025", 4, R"(IDS:2154 ICMP Ping of Death from (?<src>{ip}) to (?<dst>{ip}) on interface {if})"},
        {"400032", 4, R"(IDS:4050 UDP Bomb attack from (?<src>{ip}) to (?<dst>{ip}) on interface {if})"},
        {"400041", 4, R"(IDS:6100 RPC Port Registration from (?<src>{ip}) to (?<dst>{ip}) on interface {if})"},
        {"401002", 4, R"(Shun added: (?<src>{ip}) {ip} {n} {n})"},
        {"401004", 4, R"(Shunned packet: (?<src>{ip}) ==> (?<dst>{ip}) on interface {if})"},
        {"402117", 4, R"(IPSEC: Received a non-IPSec packet \(protocol= \w+\) from (?<src>{ip}) to (?<dst>{ip})\.)"},
        {"402119", 4,
         R"(IPSEC: Received an (?:ESP|AH) packet \(SPI= {hex}, sequence number= {hex}\) from (?<src>{ip}) )"
         R"(\(user= [^)]+\) to (?<dst>{ip}) that failed anti-replay checking\.)"},
        {"403101", 4,
         R"(PPTP session state not established, but received an XGRE packet, tunnel_id={n}, session_id={n})"},
        {"405001", 4, R"(Received ARP (?:request|response) collision from (?<src>{ip})/{mac} on interface {if})"},
        {"410001", 4,
         R"(Dropped UDP DNS (?:request|reply) from {if}:(?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port}; )"
         R"(packet length {n} bytes exceeds configured limit of {n} bytes)"},
        {"411001", 4, R"(Line protocol on Interface {if}, changed state to up)"},
        {"411002", 4, R"(Line protocol on Interface {if}, changed state to down)"},
        {"419001", 4,
         R"(Dropping TCP packet from {if}:(?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port}, )"
         R"(reason: MSS exceeded, MSS {n}, data {n})"},
        {"419002", 4,
         R"(Duplicate TCP SYN from {if}:(?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port} )"
         R"(with different initial sequence number)"},
        {"500004", 4, R"(Invalid transport field for protocol=\w+, from (?<src>{ip})/{port} to (?<dst>{ip})/{port})"},
        {"733100", 4,
         R"(\[ ?[\w ]+\] drop rate-\d exceeded\. Current burst rate is {n} per second, max configured rate is {n}; )"
         R"(Current average rate is {n} per second, max configured rate is {n}; Cumulative total count is {n})"},
        {"109012", 5, R"(Authen Session End: user '[^']+', sid {n}, elapsed {n} seconds)"},
        {"111001", 5, R"(Begin configuration: {ip} writing to (?:memory|device))"},
        {"111004", 5, R"({ip} end configuration: (?:OK|FAILED))"},
        {"111005", 5, R"({ip} end configuration: OK)"},
        {"111007", 5, R"(Begin configuration: {ip} reading from device\.)"},
        {"111008", 5, R"(User '[^']+' executed the '[^']+' command\.)"},
        {"199001", 5, R"(PIX reload command executed from telnet \(remote (?<src>{ip})\)\.)"},
        {"304001", 5, R"((?<src>{ip}) Accessed URL (?<dst>{ip}):/\S*)"},
        {"304002", 5, R"(Access denied URL http://{ip}/\S* SRC (?<src>{ip}) DEST (?<dst>{ip}) on interface {if})"},
        {"321001", 5, R"(Resource '\w+' limit of {n} reached for system)"},
        {"500001", 5, R"(ActiveX content modified src (?<src>{ip}) dest (?<dst>{ip}) on interface {if})"},
        {"500002", 5, R"(Java content modified src (?<src>{ip}) dest (?<dst>{ip}) on interface {if})"},
        {"502103", 5, R"(User priv level changed: Uname: {w} From: {n} To: {n})"},
        {"611103", 5, R"(User logged out: Uname: {w})"},
        {"611104", 5, R"(Serial console idle timeout exceeded)"},
        {"713049", 5,
         R"(Group = {w}, Username = {w}, IP = {ip}, Security negotiation complete for User \({w}\)  )"
         R"((?:Responder|Initiator), Inbound SPI = {hex}, Outbound SPI = {hex})"},
        {"713050", 5,
         R"(Group = {w}, Username = {w}, IP = {ip}, Connection terminated for peer {ip}\. )"
         R"(Reason: [\w ]+ Remote Proxy {ip}, Local Proxy {ip})"},
        {"106015", 6,
         R"(Deny TCP \(no connection\) from (?<src>{ip})/{port} to (?<dst>{ip})/{port} flags [A-Z ]+ on interface {if})"},
        {"106100", 6,
         R"(access-list {w} (?:permitted|denied|est-allowed) (?:tcp|udp|icmp) {if}/(?<src>{ip})\({port}\) -> )"
         R"({if}/(?<dst>{ip})\({port}\) hit-cnt {n} (?:first hit|{n}-second interval) {hash})"},
        {"106102", 6,
         R"(access-list {w} (?:permitted|denied) (?:tcp|udp) for user '[^']+' {if}/(?<src>{ip})\({port}\) -> )"
         R"({if}/(?<dst>{ip})\({port}\) hit-cnt {n} (?:first hit|{n}-second interval) {hash})"},
        {"109001", 6, R"(Auth start for user '[^']+' from (?<src>{ip})/{port} to (?<dst>{ip})/{port})"},
        {"109005", 6,
         R"(Authentication succeeded for user '[^']+' from (?<src>{ip})/{port} to (?<dst>{ip})/{port} on interface {if})"},
        {"109006", 6,
         R"(Authentication failed for user '[^']+' from (?<src>{ip})/{port} to (?<dst>{ip})/{port} on interface {if})"},
        {"109007", 6,
         R"(Authorization permitted for user '[^']+' from (?<src>{ip})/{port} to (?<dst>{ip})/{port} on interface {if})"},
        {"109008", 6,
         R"(Authorization denied for user '[^']+' from (?<src>{ip})/{port} to (?<dst>{ip})/{port} on interface {if})"},
        {"110001", 6, R"(No route to (?<dst>{ip}) from (?<src>{ip}))"},
        {"110002", 6,
         R"(Failed to locate egress interface for (?:TCP|UDP|ICMP) from {if}:(?<src>{ip})/{port} to (?<dst>{ip})/{port})"},
        {"113004", 6, R"(AAA user authentication Successful : server = {ip} : user = {w})"},
        {"113005", 6, R"(AAA user authentication Rejected : reason = [\w ]+ : server = {ip} : user = {w})"},
        {"113008", 6, R"(AAA transaction status ACCEPT : user = {w})"},
        {"302001", 6,
         R"(Built (?:inbound|outbound) TCP connection {n} for faddr (?<src>{ip})/{port} gaddr {ip}/{port} )"
         R"(laddr (?<dst>{ip})/{port})"},
        {"302002", 6,
         R"(Teardown TCP connection {n} faddr (?<src>{ip})/{port} gaddr {ip}/{port} laddr (?<dst>{ip})/{port} )"
         R"(duration {hms} bytes {n} \([\w -]+\))"},
        {"302005", 6,
         R"(Built UDP connection for faddr (?<src>{ip})/{port} gaddr {ip}/{port} laddr (?<dst>{ip})/{port})"},
        {"302006", 6,
         R"(Teardown UDP connection for faddr (?<src>{ip})/{port} gaddr {ip}/{port} laddr (?<dst>{ip})/{port})"},
        {"302010", 6, R"({n} in use, {n} most used)"},
        {"302013", 6,
         R"(Built (?:inbound|outbound) TCP connection {n} for {if}:(?<src>{ip})/{port} \({ip}/{port}\) )"
         R"(to {if}:(?<dst>{ip})/{port} \({ip}/{port}\))"},
        {"302014", 6,
         R"(Teardown TCP connection {n} for {if}:(?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port} )"
         R"(duration {hms} bytes {n} (?:TCP FINs|TCP Reset-I|TCP Reset-O|SYN Timeout|Conn-timeout))"},
        {"302015", 6,
         R"(Built (?:inbound|outbound) UDP connection {n} for {if}:(?<src>{ip})/{port} \({ip}/{port}\) )"
         R"(to {if}:(?<dst>{ip})/{port} \({ip}/{port}\))"},
        {"302016", 6,
         R"(Teardown UDP connection {n} for {if}:(?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port} )"
         R"(duration {hms} bytes {n})"},
        {"302020", 6,
         R"(Built (?:inbound|outbound) ICMP connection for faddr (?<src>{ip})/{n} gaddr {ip}/{n} laddr (?<dst>{ip})/{n})"},
        {"302021", 6, R"(Teardown ICMP connection for faddr (?<src>{ip})/{n} gaddr {ip}/{n} laddr (?<dst>{ip})/{n})"},
        {"303002", 6,
         R"(FTP connection from {if}:(?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port}, user {w} )"
         R"((?:Retrieved|Stored) file \S+)"},
        {"304004", 6, R"(URL Server {ip} request failed URL \S+)"},
        {"305009", 6, R"(Built (?:static|dynamic) translation from {if}:(?<src>{ip}) to {if}:(?<dst>{ip}))"},
        {"305010", 6,
         R"(Teardown (?:static|dynamic) translation from {if}:(?<src>{ip}) to {if}:(?<dst>{ip}) duration {hms})"},
        {"305011", 6,
         R"(Built (?:static|dynamic) (?:TCP|UDP|ICMP) translation from {if}:(?<src>{ip})/{port} )"
         R"(to {if}:(?<dst>{ip})/{port})"},
        {"305012", 6,
         R"(Teardown (?:static|dynamic) (?:TCP|UDP|ICMP) translation from {if}:(?<src>{ip})/{port} )"
         R"(to {if}:(?<dst>{ip})/{port} duration {hms})"},
        {"308001", 6, R"(console enable password incorrect for {n} tries \(from (?<src>{ip})\))"},
        {"315011", 6,
         R"(SSH session from (?<src>{ip}) on interface {if} for user "{w}" disconnected by SSH server, )"
         R"(reason: "[^"]+" \({hex}\))"},
        {"602101", 6,
         R"(PMTU-D packet {n} bytes greater than effective mtu {n} dest_addr=(?<dst>{ip}), src_addr=(?<src>{ip}), )"
         R"(prot=\w+)"},
        {"602303", 6,
         R"(IPSEC: An (?:inbound|outbound) (?:LAN-to-LAN|remote access) SA \(SPI= {hex}\) )"
         R"(between (?<src>{ip}) and (?<dst>{ip}) \(user= [^)]+\) has been created\.)"},
        {"602304", 6,
         R"(IPSEC: An (?:inbound|outbound) (?:LAN-to-LAN|remote access) SA \(SPI= {hex}\) )"
         R"(between (?<src>{ip}) and (?<dst>{ip}) \(user= [^)]+\) has been deleted\.)"},
        {"604103", 6, R"(DHCP daemon interface {if}: address granted {mac} \({ip}\))"},
        {"605004", 6,
         R"(Login denied from (?<src>{ip})/{port} to {if}:(?<dst>{ip})/(?:ssh|telnet|https) for user "{w}")"},
        {"605005", 6,
         R"(Login permitted from (?<src>{ip})/{port} to {if}:(?<dst>{ip})/(?:ssh|telnet|https) for user "{w}")"},
        {"606001", 6, R"(PDM session number {n} from (?<src>{ip}) started)"},
        {"606002", 6, R"(PDM session number {n} from (?<src>{ip}) ended)"},
        {"611101", 6, R"(User authentication succeeded: Uname: {w})"},
        {"611102", 6, R"(User authentication failed: Uname: {w})"},
        {"611301", 6, R"(VPNClient: NAT configured for Client Mode with no split tunneling: NAT address: {ip})"},
        {"713172", 6,
         R"(Group = {w}, IP = {ip}, Automatic NAT Detection Status:\s+Remote end\s+is(?: NOT)? behind a NAT device)"
         R"(\s+This\s+end\s+is(?: NOT)? behind a NAT device)"},
        {"716001", 6, R"(Group <{w}> User <{w}> IP <{ip}> WebVPN session started\.)"},
        {"716002", 6, R"(Group <{w}> User <{w}> IP <{ip}> WebVPN session terminated: [\w ]+\.)"},
        {"111009", 7, R"(User '[^']+' executed cmd: .+)"},
        {"304009", 7, R"(Ran out of buffer blocks specified by url-block command)"},
        {"609001", 7, R"(Built local-host {if}:{ip})"},
        {"609002", 7, R"(Teardown local-host {if}:{ip} duration {hms})"},
        {"702209", 7,
         R"(ISAKMP Phase 2 exchange started \(local (?<dst>{ip}) \((?:initiator|responder)\), remote (?<src>{ip})\))"},
        {"702211", 7,
         R"(ISAKMP Phase 2 exchange completed \(local (?<dst>{ip}) \((?:initiator|responder)\), remote (?<src>{ip})\))"},
        {"710001", 7, R"((?:TCP|UDP) access requested from (?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port})"},
        {"710002", 7, R"((?:TCP|UDP) access permitted from (?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port})"},
        {"710004", 7,
         R"(TCP connection limit exceeded from (?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port} )"
         R"(\(current connections/connection limit = {n}/{n}\))"},
        {"710005", 7, R"((?:TCP|UDP) request discarded from (?<src>{ip})/{port} to {if}:(?<dst>{ip})/{port})"},
        {"710006", 7, R"(\w+ request discarded from (?<src>{ip}) to {if}:(?<dst>{ip}))"},
        {"711001", 7, R"(Debug trace: received packet from (?<src>{ip})/{port} on interface {if})"},
        {"713236", 7,
         R"(IP = {ip}, IKE_DECODE (?:RECEIVED|SENDING) Message \(msgid={n}\) with payloads : HDR(?: \+ [A-Z]+ \({n}\))+ )"
         R"(total length : {n})"},
        {"713906", 7, R"(IKE Receiver: Packet received on (?<dst>{ip}):{port} from (?<src>{ip}):{port})"},
        {"715047", 7, R"(IP = {ip}, processing SA payload)"},
    };
    return shapes;
}

// A shape's pattern with its tokens spelled out, matching the whole message text.
QRegularExpression compiledShape(const MessageShape& shape)
{
    static const std::vector<std::pair<QString, QString>> tokens{
        {"{ip}", R"((?:(?:25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)\.){3}(?:25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d))"},
        {"{port}", R"(\d{1,5})"},
        {"{n}", R"(\d+)"},
        {"{if}", R"([A-Za-z][\w-]*)"},
        {"{w}", R"([\w.-]+)"},
        {"{hms}", R"(\d+:[0-5]\d:[0-5]\d)"},
        {"{hash}", R"(\[0x[0-9A-Fa-f]+, 0x[0-9A-Fa-f]+\])"},
        {"{hex}", R"(0x[0-9A-Fa-f]+)"},
        {"{mac}", R"([0-9a-f]{4}\.[0-9a-f]{4}\.[0-9a-f]{4})"},
        {"{unit}", R"(\((?:Primary|Secondary)\))"},
    };
    QString pattern = QString::fromLatin1(shape.pattern);
    for (const auto& [token, expansion] : tokens) {
        pattern.replace(token, expansion);
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern));
}

struct CompiledShape
{
    int level;
    QRegularExpression text;
};

const std::map<QString, CompiledShape>& shapesById()
{
    static const std::map<QString, CompiledShape> shapes = [] {
        std::map<QString, CompiledShape> byId;
        for (const MessageShape& shape : messageShapes()) {
            byId.emplace(QString::fromLatin1(shape.id), CompiledShape{shape.level, compiledShape(shape)});
        }
        return byId;
    }();
    return shapes;
}

// One message as the firewall would send it.
struct ShippedMessage
{
    QString where; // file, line number and sent text, for failure reports
    int level = 0;
    QString id;
    QString text; // after the tag
};

ShippedMessage parsedMessage(const QString& where, const std::string& line)
{
    static const QRegularExpression tag(QStringLiteral(R"(%PIX-([1-7])-(\d{6}): (.*)$)"));
    ShippedMessage message{where + QStringLiteral(": ") + QString::fromStdString(line), 0, {}, {}};
    const QRegularExpressionMatch m = tag.match(QString::fromStdString(line));
    if (m.hasMatch()) {
        message.level = m.captured(1).toInt();
        message.id = m.captured(2);
        message.text = m.captured(3);
    }
    return message;
}

// A template line rewritten with the lowest, a middle and the highest draws, so that no
// field passes by luck of its numbers; a real-log line stays as it is.
std::vector<std::string> sentForms(const std::string& file, const std::string& line)
{
    if (file != "SAMPLE.TXT") {
        return {line};
    }
    const RewriteValues values = exampleValues();
    std::vector<std::string> forms;
    for (const LineDraws& draws :
         {LineDraws{0, 0, 1, 1, 1, 1, 1, 1}, LineDraws{2, 3, 512, 5000, 512, 20000, 32768, 32768},
          LineDraws{4, 4, 1024, 10000, 1024, 40000, 65535, 65535}}) {
        forms.push_back(rewriteTemplate(line, values, draws));
    }
    return forms;
}

// Every shipped message in every form it is sent in.
const std::vector<ShippedMessage>& shippedMessages()
{
    static const std::vector<ShippedMessage> messages = [] {
        std::vector<ShippedMessage> all;
        for (const std::string file : {"SAMPLE.TXT", "KORVANE.TXT"}) {
            const std::vector<std::string> lines = crLfLines(readFile(file.c_str()));
            for (std::size_t i = 0; i < lines.size(); ++i) {
                const QString where = QString::fromStdString(file + ":" + std::to_string(i + 1));
                for (const std::string& form : sentForms(file, lines[i])) {
                    all.push_back(parsedMessage(where, form));
                }
            }
        }
        return all;
    }();
    return messages;
}

// The numbers a pattern captures in a message, in order.
std::vector<long long> capturedNumbers(const QRegularExpression& pattern, const QString& text)
{
    std::vector<long long> numbers;
    for (QRegularExpressionMatchIterator it = pattern.globalMatch(text); it.hasNext();) {
        numbers.push_back(it.next().captured(1).toLongLong());
    }
    return numbers;
}

// A plausibility rule: returns what is wrong with one message, or nothing.
struct PlausibilityRule
{
    const char* name;
    std::function<QString(const ShippedMessage&)> problem;
};

QString numbersAbove(const QRegularExpression& pattern, const QString& text, long long limit)
{
    for (const long long value : capturedNumbers(pattern, text)) {
        if (value > limit) {
            return QString::number(value) + QStringLiteral(" exceeds ") + QString::number(limit);
        }
    }
    return {};
}

const std::vector<PlausibilityRule>& plausibilityRules()
{
    static const QString ip = QStringLiteral(R"(\d+\.\d+\.\d+\.\d+)");
    static const std::vector<PlausibilityRule> rules{
        {"ICMP type and code fit in a byte",
         [](const ShippedMessage& m) {
             static const QRegularExpression field(QStringLiteral(R"(\b(?:type|code)[= ](\d+))"));
             return numbersAbove(field, m.text, 255);
         }},
        {"IP protocol numbers fit in a byte",
         [](const ShippedMessage& m) {
             static const QRegularExpression field(QStringLiteral(R"(\bprot(?:ocol|o)?[= ]+(\d+))"));
             return numbersAbove(field, m.text, 255);
         }},
        {"ports fit in sixteen bits",
         [](const ShippedMessage& m) {
             static const QRegularExpression field(ip + QStringLiteral(R"([/:(](\d+))"));
             return numbersAbove(field, m.text, 65535);
         }},
        {"durations read hours, minutes and seconds",
         [](const ShippedMessage& m) {
             static const QRegularExpression field(QStringLiteral(R"(\bduration (\S+))"));
             static const QRegularExpression hms(QStringLiteral(R"(^\d+:[0-5]\d:[0-5]\d$)"));
             for (QRegularExpressionMatchIterator it = field.globalMatch(m.text); it.hasNext();) {
                 const QString value = it.next().captured(1);
                 if (!hms.match(value).hasMatch()) {
                     return QStringLiteral("duration ") + value;
                 }
             }
             return QString();
         }},
        {"source and destination addresses differ",
         [](const ShippedMessage& m) {
             const auto shape = shapesById().find(m.id);
             if (shape == shapesById().end()) {
                 return QStringLiteral("no shape for ") + m.id;
             }
             const QRegularExpressionMatch match = shape->second.text.match(m.text);
             const QString src = match.captured(QStringLiteral("src"));
             return !src.isEmpty() && src == match.captured(QStringLiteral("dst")) ? QStringLiteral("both ") + src
                                                                                   : QString();
         }},
    };
    return rules;
}

} // namespace

class ShippedDataTest : public QObject
{
    Q_OBJECT

private slots:
    void filesUseCrLfLineEnds_data();
    void filesUseCrLfLineEnds();
    void templatesCoverEverySeverity();
    void templatesCoverEveryMessageShape();
    void sentLineHasTheShapeOfItsMessage_data();
    void sentLineHasTheShapeOfItsMessage();
    void sentValuesArePlausible_data();
    void sentValuesArePlausible();
    void realLogCoversEverySeverity();
    void realLogHeadersAreCutByTheExampleMarker();
    void realLogTimestampsIncrease();
    void exampleSettingsHoldEveryKey();
};

void ShippedDataTest::filesUseCrLfLineEnds_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("templates") << QByteArray("SAMPLE.TXT");
    QTest::newRow("real logs") << QByteArray("KORVANE.TXT");
    QTest::newRow("example settings") << QByteArray("korvane.ini");
}

void ShippedDataTest::filesUseCrLfLineEnds()
{
    QFETCH(QByteArray, name);
    const std::string content = readFile(name.constData());
    QVERIFY2(!content.empty(), name.constData());
    QVERIFY(content.ends_with("\r\n"));
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\n' || content[i] == '\r') {
            QVERIFY2(content.compare(i > 0 && content[i] == '\n' ? i - 1 : i, 2, "\r\n") == 0,
                     ("bare line end at byte " + std::to_string(i)).c_str());
        }
    }
}

void ShippedDataTest::templatesCoverEverySeverity()
{
    const std::vector<std::string> templates = crLfLines(readFile("SAMPLE.TXT"));
    QVERIFY(templates.size() >= 80);
    std::set<int> severities;
    for (const std::string& line : templates) {
        QVERIFY2(line.starts_with("%PIX-"), line.c_str());
        severities.insert(severityOf(line));
    }
    QCOMPARE(severities, (std::set<int>{1, 2, 3, 4, 5, 6, 7}));
}

void ShippedDataTest::templatesCoverEveryMessageShape()
{
    std::set<QString> templateIds;
    for (const std::string& line : crLfLines(readFile("SAMPLE.TXT"))) {
        templateIds.insert(parsedMessage(QString(), line).id);
    }
    for (const auto& [id, shape] : shapesById()) {
        QVERIFY2(shape.text.isValid(), qPrintable(id + QStringLiteral(": ") + shape.text.errorString()));
        QVERIFY2(templateIds.contains(id), qPrintable(id));
    }
}

void ShippedDataTest::sentLineHasTheShapeOfItsMessage_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("line");
    for (const char* file : {"SAMPLE.TXT", "KORVANE.TXT"}) {
        const std::vector<std::string> lines = crLfLines(readFile(file));
        QVERIFY(!lines.empty());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string tag = std::string(file) + ":" + std::to_string(i + 1) + " " +
                                    parsedMessage(QString(), lines[i]).id.toStdString();
            QTest::newRow(tag.c_str()) << QByteArray(file) << QByteArray::fromStdString(lines[i]);
        }
    }
}

void ShippedDataTest::sentLineHasTheShapeOfItsMessage()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, line);
    for (const std::string& form : sentForms(file.toStdString(), line.toStdString())) {
        for (const char* placeholder : {"IP_addr", "/port", "%d", "'user'", "session_num", "num_seconds", "dec"}) {
            QVERIFY2(form.find(placeholder) == std::string::npos, (placeholder + (" left in: " + form)).c_str());
        }
        const ShippedMessage message = parsedMessage(QString(), form);
        const auto shape = shapesById().find(message.id);
        QVERIFY2(shape != shapesById().end(), ("no shape for the message id of: " + form).c_str());
        QCOMPARE(message.level, shape->second.level);
        QVERIFY2(shape->second.text.match(message.text).hasMatch(), form.c_str());
    }
}

void ShippedDataTest::sentValuesArePlausible_data()
{
    QTest::addColumn<int>("rule");
    for (std::size_t i = 0; i < plausibilityRules().size(); ++i) {
        QTest::newRow(plausibilityRules()[i].name) << static_cast<int>(i);
    }
}

void ShippedDataTest::sentValuesArePlausible()
{
    QFETCH(int, rule);
    QVERIFY(shippedMessages().size() > 400);
    QStringList problems;
    for (const ShippedMessage& message : shippedMessages()) {
        const QString problem = plausibilityRules()[static_cast<std::size_t>(rule)].problem(message);
        if (!problem.isEmpty()) {
            problems << problem + QStringLiteral(" in ") + message.where;
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void ShippedDataTest::realLogCoversEverySeverity()
{
    const std::vector<std::string> lines = crLfLines(readFile("KORVANE.TXT"));
    QVERIFY(lines.size() >= 300);
    std::set<int> severities;
    for (const std::string& line : lines) {
        QVERIFY2(severityOf(line) != 0, line.c_str());
        severities.insert(severityOf(line));
    }
    QCOMPARE(severities, (std::set<int>{1, 2, 3, 4, 5, 6, 7}));
}

void ShippedDataTest::realLogHeadersAreCutByTheExampleMarker()
{
    const std::string settings = readFile("korvane.ini");
    const std::string marker = profileRead(settings, "Settings", "HeaderString");
    QCOMPARE(marker, std::string(" %PIX"));
    for (const std::string& line : crLfLines(readFile("KORVANE.TXT"))) {
        const std::string cut(removeHeader(line, marker));
        QVERIFY2(cut.starts_with("%PIX-") && cut.size() < line.size(), line.c_str());
        QVERIFY2(line.ends_with(cut), line.c_str());
    }
}

void ShippedDataTest::realLogTimestampsIncrease()
{
    int previous = 0;
    for (const std::string& line : crLfLines(readFile("KORVANE.TXT"))) {
        QVERIFY2(line.starts_with("Dec "), line.c_str());
        const int seconds = stampSeconds(line);
        QVERIFY2(seconds >= previous && seconds > 0, line.c_str());
        previous = seconds;
    }
}

void ShippedDataTest::exampleSettingsHoldEveryKey()
{
    const std::string settings = readFile("korvane.ini");
    for (const KeyRow& key : keyTable()) {
        if (key.absent == Absent::KeepsDefault) {
            continue; // an optional key, left out unless wanted
        }
        const std::string value = profileRead(settings, "Settings", key.name);
        QVERIFY2(!value.empty(), std::string(key.name).c_str());
        // Every key that has a default is shipped at it; the others are examples.
        if (key.test != Test::Anything) {
            QCOMPARE(value, std::string(key.replacement));
        }
    }
}

QTEST_APPLESS_MAIN(ShippedDataTest)
#include "tst_shippeddata.moc"
