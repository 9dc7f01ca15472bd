// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/outputformat.h"
#include "settings/runsettings.h"
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
    RunSettings run;                      // what the generation run reads, as it reads it
    bool justOne = false;                 // onetime exactly 1, as the settings panel says it
    OutputKind output = OutputKind::File; // SyslogFile 1: by Protocol
    std::string host;                     // HostIP as written, for the receiver
    std::uint16_t port = 514;             // UDP_Port_Syslog to the nearest whole, halves to even
    StreamFraming framing = StreamFraming::LineFeed;
    std::string tlsCaFile;   // "" trusts the system's authorities
    std::string tlsCertFile; // client certificate and key, both or neither
    std::string tlsKeyFile;
    std::string tlsPeerName;   // the name the server's certificate must carry
    std::string sourceAddress; // the local address to send from; "" lets the system choose
    bool manifest = false;     // the window writes MANIFEST.JSON at the end of each run
};

// The typed configuration of repaired settings. Numbers that go into lines are written with
// `decimalSeparator`, as the operator's locale writes them.
RunConfig runConfigFrom(const Settings& settings, char decimalSeparator);

} // namespace korvane
