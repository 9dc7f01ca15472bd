// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// The choices that shape and carry emitted lines. Plain enumerations, shared by the settings
// that choose them and the engine and sinks that apply them.

namespace korvane {

// Where the emitted lines go.
enum class OutputKind
{
    File, // "GENERATE.TXT"
    Udp,  // one datagram per line to HostIP, UDP_Port_Syslog
    Tcp,  // a stream of framed messages to the same receiver
    Tls   // the same stream in TLS
};

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
