// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QString>

namespace korvane::cli {

// What `korvane-cli --check` is asked to compare.
struct CheckRequest
{
    QString stored;       // the collector's file, one message per line
    QString manifest;     // the run's manifest
    QString report;       // where the JSON report goes; empty for none
    bool escaped = false; // the lines escape control bytes as `harkwell --stdout` writes them
};

// Finds each of the run's messages in what the collector stored, knowing them again by their
// sequence ids or, without, by emitting the run's messages again from its manifest and the
// working folder's source. Says one summary line on standard error and writes the report if asked.
// Returns 0 when nothing is missing, doubled or damaged, 3 otherwise, 1 when a file cannot be read
// (or the source has changed since the run).
int runCheck(const CheckRequest& request);

} // namespace korvane::cli
