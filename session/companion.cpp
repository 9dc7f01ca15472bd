// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/companion.h"

#include "session/destination.h"

namespace korvane {

CompanionLaunch companionLaunch(const RunConfig& config)
{
    const QString port = QString::number(config.port);
    switch (config.output) {
    case OutputKind::Udp:
        return {true,
                {QStringLiteral("--port"), port},
                QStringLiteral("Starts Harkwell listening on UDP port %1").arg(port)};
    case OutputKind::Tcp:
        return {true,
                {QStringLiteral("--tcp"), QStringLiteral("--port"), port},
                QStringLiteral("Starts Harkwell listening on TCP port %1").arg(port)};
    case OutputKind::Tls:
        return {false,
                {},
                QStringLiteral("Harkwell is not started for TLS: a TLS listener needs a server certificate and key, "
                               "which korvane.ini does not hold. Start it yourself: harkwell --tls-cert FILE "
                               "--tls-key FILE --port %1")
                    .arg(port)};
    case OutputKind::File:
        return {true, {}, QStringLiteral("Starts Harkwell (the lines go to GENERATE.TXT, not to a listener)")};
    default:
        break;
    }
    // A transport Harkwell has no listener for.
    return {false, {}, QStringLiteral("Harkwell is not started: it does not listen for %1").arg(outputName(config))};
}

} // namespace korvane
