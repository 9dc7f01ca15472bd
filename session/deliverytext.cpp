// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/deliverytext.h"

namespace korvane {

QString deliveryText(const RunProgress& p)
{
    QString text = QStringLiteral("%1 %2").arg(p.delivered).arg(p.intoFile ? "written" : "delivered");
    if (p.dropped > 0) {
        text += QStringLiteral(", %1 dropped").arg(p.dropped);
    }
    if (p.undelivered > 0) {
        text += QStringLiteral(", %1 %2").arg(p.undelivered).arg(p.intoFile ? "not written" : "not delivered");
    }
    if (p.resent > 0) {
        text += QStringLiteral(", %1 sent again after a broken connection").arg(p.resent);
    }
    return text;
}

} // namespace korvane
