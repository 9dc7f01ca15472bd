// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace korvane::cli {

// What the command line asks for.
struct Options
{
    QString folder;             // --dir: the working folder; empty for the current one
    std::int64_t count = 0;     // --count: end after this many lines; 0 for no limit
    double durationSeconds = 0; // --duration: end after this long; 0 for no limit
    bool newFile = false;       // --new: GENERATE.TXT starts afresh instead of being appended to
    bool quiet = false;         // --quiet: no start line and no progress line
    QString rateLog;            // --rate-log: a CSV of the lines of each second since Play; empty for none
    QString check;              // --check: the collector's file to compare with the run of --manifest
    QString report;             // --report: the check's JSON report goes here
    bool escaped = false;       // --escaped: the checked lines escape control bytes as harkwell --stdout does
    QString manifest;           // --manifest: the run's manifest goes here, as an absolute path; empty for none
    int fleet = 0;              // --fleet: run this many firewalls at once; 0 for the one firewall
    int fleetOffset = 0;        // --fleet-offset: the fleet's firewalls are numbered from this + 1
    int fleetWidth = 0;         // --fleet-width: digits of the numbers in the names; 0 for those of the highest
};

struct ParseResult
{
    enum class Status
    {
        Run,
        Check, // compare a collector's file with a run's manifest
        ShowHelp,
        ShowVersion,
        Invalid
    };
    Status status = Status::Run;
    Options options;
    QString error; // why the command line is invalid
};

// Parses the program's arguments (the first one is the program's name).
[[nodiscard]] ParseResult parseOptions(const QStringList& arguments);

// The --help text.
[[nodiscard]] QString helpText();

} // namespace korvane::cli
