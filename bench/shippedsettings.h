// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/templaterewriter.h"

namespace korvane::bench {

// The values a first start puts into korvane.ini, as the benchmarks fill the templates with.
inline RewriteValues shippedRewriteValues()
{
    RewriteValues values;
    values.srcIp = {"194.98.65.10", "193.10.22.23", "193.50.60.70", "195.60.61.62", "193.99.98.99"};
    values.dstIp = {"10.10.12.12", "10.10.12.20", "10.10.12.30", "10.10.12.40", "10.11.11.1"};
    values.gatewayIp = "10.11.11.11";
    values.userName = "PIX_User";
    values.sessionNum = "10";
    values.elapsedTime = "10";
    return values;
}

} // namespace korvane::bench
