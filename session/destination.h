// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/runconfig.h"

#include <QString>

namespace korvane {

// Where the lines of `config` go and in what form, for the operator: "TCP 127.0.0.1:5516, octet
// counting, RFC 5424", "UDP 127.0.0.1:514, plain lines", or the whole path of "GENERATE.TXT" in the
// current folder with the form of its lines.
QString destinationText(const RunConfig& config);

// What the lines of `config` go to, in short, as failures and reports name it: "GENERATE.TXT",
// "UDP 127.0.0.1:514", "TLS 127.0.0.1:6514".
QString outputName(const RunConfig& config);

// The name a syslog header form goes by: "plain lines", "RFC 3164", "RFC 5424", "device format".
QString formatName(SyslogFormat format);

} // namespace korvane
