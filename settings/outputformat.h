// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <string_view>

// The choices that shape and carry emitted lines. Plain enumerations, shared by the settings
// that choose them and the engine and sinks that apply them.

namespace korvane {

// Where the emitted lines go.
enum class OutputKind
{
    File, // "GENERATE.TXT"
    Udp,  // one datagram per line to HostIP, UDP_Port_Syslog
    Tcp,  // a stream of framed messages to the same receiver
    Tls,  // the same stream in TLS
    Relp  // one RELP message per line, each acknowledged by the receiver
};

// A network transport as the Protocol key names it. One row per transport: the key's accepted
// values, the run's output and the operator's texts all come from here.
struct Transport
{
    std::string_view name; // as Protocol holds it, upper case
    OutputKind kind;
    bool framed; // a byte stream whose messages need a framing (TCP_Framing)
};

inline constexpr Transport kTransports[] = {
    {"UDP", OutputKind::Udp, false},
    {"TCP", OutputKind::Tcp, true},
    {"TLS", OutputKind::Tls, true},
    {"RELP", OutputKind::Relp, false}, // RELP frames each message itself
};

// The transport named `name` (upper case); nullptr for none.
constexpr const Transport* transportNamed(std::string_view name)
{
    for (const Transport& t : kTransports) {
        if (t.name == name) {
            return &t;
        }
    }
    return nullptr;
}

// The transport of a network output; nullptr for the file.
constexpr const Transport* transportOf(OutputKind kind)
{
    for (const Transport& t : kTransports) {
        if (t.kind == kind) {
            return &t;
        }
    }
    return nullptr;
}

// The header a line gets before it goes out.
enum class SyslogFormat
{
    Plain,   // the line as composed (or read), no priority
    Rfc3164, // <PRI>Mmm dd hh:mm:ss HOST MSG
    Rfc5424, // <PRI>1 TIMESTAMP HOST APP-NAME PROCID MSGID SD MSG
    Device   // <PRI>Mmm dd yyyy hh:mm:ss HOST : %PIX-n-NNNNNN: MSG, as the firewall itself sends it
};

// How messages are delimited on a TCP or TLS stream.
enum class StreamFraming
{
    LineFeed,     // each message ends with LF
    OctetCounting // "LEN SP MSG"
};

} // namespace korvane
