// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// The outcome of a check of stored lines, for a file and for the terminal. No Qt.

#include "session/storedcheck.h"

#include <string>

namespace korvane {

// A JSON document: {"expected": N, "stored": N, "missing": N, "duplicated": N, "reordered": N,
// "damaged": N, "foreign": N, "by_id": {"6-302013": {the same seven counts}, ...}}, ended by a
// newline; a fleet's also "by_host": {"Pix-Inside-Demo-007": {the same seven counts}, ...}.
std::string checkReportJson(const CheckReport& report);

// One line without its end: "1000 expected, 998 stored: 2 missing, 0 duplicated, 0 reordered,
// 0 damaged, 3 foreign".
std::string checkSummary(const CheckCounts& counts);

} // namespace korvane
