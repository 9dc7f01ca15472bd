// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/trafficscenarios.h"
#include "session/ratelog.h"
#include "session/runrecord.h"
#include "session/runsession.h"
#include "settings/result.h"
#include "settings/runconfig.h"
#include "settings/settings.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace korvane {

// What a run sent, where, and what became of it: enough to emit the same messages again (see
// session/expectedrun.h) and to tell a collector's losses from Korvane's.
struct Manifest
{
    std::string korvaneVersion;
    // Every key start-up read (the receiver's only with SyslogFile 1), as the run used it after
    // repairs, written as korvane.ini would hold it.
    std::map<std::string, std::string> settings;
    char decimalSeparator = '.'; // the one SessionNum and ElapsedTime were written with
    std::string destination;     // destinationText
    std::string sourceFile;      // "SAMPLE.TXT" or "KORVANE.TXT"
    std::string sourceSha256;    // of its content at Play, lower-case hex
    std::uint64_t randomDrawsBefore = 0;
    bool sequenceIds = false;
    std::string started; // ISO 8601 with the offset, to the millisecond
    std::string ended;
    struct Lines
    {
        std::int64_t emitted = 0;
        std::int64_t delivered = 0;
        std::int64_t dropped = 0;
        std::int64_t undelivered = 0;
        std::int64_t resent = 0;
        friend bool operator==(const Lines&, const Lines&) = default;
    } lines;
    std::map<std::string, std::int64_t> byId; // "6-302013" -> lines emitted
    std::array<std::int64_t, 8> bySeverity{}; // per severity 0 to 7
    std::vector<RateLog::Row> perSecond;      // the achieved rate, where the front-end followed it
    std::vector<ScenarioTruth> scenarios;     // Traffic 1: what each scenario did, and when
    // A fleet's firewalls (korvane-cli --fleet), each with enough to emit its lines again: its name
    // in the lines, its number, its random stream and its own counts. Empty for one firewall.
    struct Firewall
    {
        std::string name;
        std::int64_t number = 0;
        std::string sourceAddress; // "" when the system chose
        std::uint32_t seed = 0;    // of its std::mt19937
        std::uint64_t randomDrawsBefore = 0;
        std::uint64_t randomDraws = 0; // made in the run
        Lines lines;
        std::vector<ScenarioTruth> scenarios; // Traffic 1: what its scenarios did, and when
        friend bool operator==(const Firewall&, const Firewall&) = default;
    };
    std::vector<Firewall> firewalls;

    friend bool operator==(const Manifest&, const Manifest&) = default;
};

// The keys of `settings` that start-up reads, each as korvane.ini holds it: numbers in the form
// the repairs write (numberToText), texts as they are. TCP_Framing left to follow the protocol is
// empty, as absent.
std::map<std::string, std::string> settingsAsWritten(const Settings& settings);

// The manifest of the run `record` and `progress` describe, run on `settings` (as start-up gave
// them, with `decimalSeparator`) and `config`, with the entries of a fleet's `firewalls`. A source
// that could not be read at Play fails.
Result<Manifest> manifestOf(const Settings& settings, char decimalSeparator, const RunConfig& config,
                            const RunRecord& record, const RunProgress& progress,
                            std::vector<Manifest::Firewall> firewalls = {});

// The manifest as one JSON document, and back. A document that lacks a field, or holds one of
// the wrong kind, fails naming it.
std::string manifestJson(const Manifest& manifest);
Result<Manifest> manifestFromJson(std::string_view json);

// Replaces the file at `path` atomically / reads one; failures name the file.
Result<> writeManifest(const Manifest& manifest, const std::filesystem::path& path);
Result<Manifest> readManifest(const std::filesystem::path& path);

} // namespace korvane
