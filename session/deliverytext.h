// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "session/runsession.h"

#include <QString>

namespace korvane {

// What became of a run's lines, for the operator: "1000 lines: 990 delivered, 5 dropped, 5 not
// delivered, 12 sent again". Every count is said, also when it is 0, so that "nothing lost" reads
// as plainly as a loss.
QString deliveryText(const RunProgress& progress);

} // namespace korvane
