// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "session/runsession.h"

#include <QString>

namespace korvane {

// What became of a run's lines, for the operator: "990 delivered, 5 dropped, 5 not delivered,
// 12 sent again after a broken connection" ("written" and "not written" for GENERATE.TXT). The
// delivered count is always said, the others when they are not 0.
QString deliveryText(const RunProgress& progress);

} // namespace korvane
