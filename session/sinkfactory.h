// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/linesink.h"
#include "platform/filesink.h"
#include "settings/result.h"
#include "settings/runconfig.h"

#include <memory>

namespace korvane {

using MadeSink = Result<std::unique_ptr<LineSink>>;

// The sink `config` chooses, ready for a run: "GENERATE.TXT" opened as `mode` says, the UDP socket
// given its receiver, a connection started in the background. Its failures, and a failure to make
// it, name the file or the address once ("GENERATE.TXT: No space left on device",
// "TCP 127.0.0.1:5516: Connection refused").
MadeSink makeSink(const RunConfig& config, FileSink::Mode mode);

} // namespace korvane
