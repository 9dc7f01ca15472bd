// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/deliverytext.h"

namespace korvane {

QString deliveryText(const RunProgress& progress)
{
    return QStringLiteral("%1 lines: %2 delivered, %3 dropped, %4 not delivered, %5 sent again")
        .arg(progress.emitted)
        .arg(progress.delivered)
        .arg(progress.dropped)
        .arg(progress.undelivered)
        .arg(progress.resent);
}

} // namespace korvane
