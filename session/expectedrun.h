// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "session/manifest.h"
#include "settings/result.h"
#include "settings/runconfig.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace korvane {

// The configuration a manifest's run used: its settings read through the loader start-up uses,
// from a store holding only them, with the manifest's decimal separator. The source file is named
// as in the run, relative to the run's folder.
RunConfig runConfigOf(const Manifest& manifest);

// Emits again the messages of the run `manifest` describes, whose source lies in `folder`: the
// same settings, the same source (its SHA-256 must still be the one at Play), the process's random
// draws moved on as far as they were at Play. The run goes without waits until `lines.emitted`
// lines came out, and each line's message is handed to `message` in order: its text from the
// first "PIX-" on, without a line end (empty for a line without "PIX-"), valid during the call.
// Fails when the source changed or cannot be read, or the run ends or fails sooner.
Result<> regenerateMessages(const Manifest& manifest, const std::filesystem::path& folder,
                            const std::function<void(std::string_view message)>& message);
// The same for firewall `firewall` of a fleet's manifest (an index into its firewalls): its name, its
// random stream and its count of lines.
Result<> regenerateMessages(const Manifest& manifest, std::size_t firewall, const std::filesystem::path& folder,
                            const std::function<void(std::string_view message)>& message);

} // namespace korvane
