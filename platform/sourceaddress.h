// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <sys/socket.h>

#include <string>

namespace korvane {

// A local address lines are sent from (SourceAddress), as the system binds it.
struct SourceAddress
{
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = 0;
};

// Reads `text` (IPv4 dotted or IPv6) and binds a socket of `socketType` to it on any free port once,
// so that an address this machine does not have fails before the run with its name:
// "SourceAddress 192.0.2.1 cannot be bound: Cannot assign requested address".
Result<SourceAddress> bindableSourceAddress(const std::string& text, int socketType = SOCK_DGRAM);

} // namespace korvane
