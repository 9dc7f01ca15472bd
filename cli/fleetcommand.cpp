// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/fleetcommand.h"

#include "cli/clirun.h"
#include "cli/durationlimit.h"
#include "cli/runreport.h"
#include "platform/systemwallclock.h"
#include "session/destination.h"
#include "session/fleetoutput.h"
#include "session/fleetrun.h"
#include "session/manifest.h"
#include "session/outputdrain.h"
#include "session/ratesampler.h"
#include "settings/profile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>

#include <unistd.h>

namespace korvane::cli {

int runFleet(const FleetRequest& request)
{
    const Options& options = request.options;
    const FleetPlan plan{options.fleet, options.fleetOffset, options.fleetWidth};
    RunConfig config = request.startup.config;
    config.manifest = !options.manifest.isEmpty();

    FleetOutput output;
    if (const Result<> prepared =
            output.prepare(config, plan, options.newFile ? FileSink::Mode::Truncate : FileSink::Mode::Append);
        !prepared) {
        say(prepared.reason());
        return kRunFailed;
    }

    SystemWallClock wallClock;
    SteadyClock monotonicClock;
    const QString destination = destinationText(config);
    const bool onTerminal = !options.quiet && ::isatty(STDERR_FILENO) == 1;
    if (onTerminal) {
        say(QStringLiteral("in %1, lines of %2 from firewalls %3 to %4 to %5")
                .arg(QDir::currentPath(), QString::fromStdString(config.run.sourceFile.string()))
                .arg(plan.firstNumber())
                .arg(plan.lastNumber())
                .arg(destination)
                .toStdString());
    }
    std::optional<std::int64_t> total;
    if (options.count > 0) {
        total = options.count;
    }
    CliRun view(destination, total, onTerminal);
    FleetRun fleet(config, plan, output, wallClock, monotonicClock);
    view.attach([&fleet] { return fleet.progress(); });
    fleet.setLineLimit(options.count);
    fleet.setRecordsForManifest(config.manifest);

    bool halted = false;
    QObject::connect(&fleet, &FleetRun::ended, &fleet, [&halted](bool failed) {
        halted = failed;
        QCoreApplication::exit(0);
    });
    QObject::connect(&request.termination, &TerminationSignals::terminationRequested, &fleet, &FleetRun::finish);
    PreciseWakeUpTimer durationTimer;
    DurationLimit duration(monotonicClock, durationTimer, [&fleet] { fleet.finish(); });
    if (options.durationSeconds > 0) {
        duration.start(std::chrono::duration<double>(options.durationSeconds));
    }
    RateSampler rates([&fleet] { return fleet.progress(); });

    view.startProgress();
    fleet.start();
    if (!request.rateLogPath.isEmpty() || !options.manifest.isEmpty()) {
        rates.start(); // the manifest holds the rate too
    }
    if (fleet.running()) {
        QCoreApplication::exec();
    }
    // As for one firewall: the connections' queues get a few seconds to go out (half a second once
    // a signal came), then are closed in order, and what could not go is said.
    DrainEnd streamEnd;
    if (!halted) {
        OutputDrain drain(output);
        QObject::connect(&request.termination, &TerminationSignals::terminationRequested, &drain, &OutputDrain::hurry);
        if (request.signalled) {
            drain.hurry();
        }
        QObject::connect(&drain, &OutputDrain::ended, &drain, [] { QCoreApplication::exit(0); });
        drain.start(OutputDrain::Leave::GiveUp);
        QCoreApplication::exec();
        streamEnd = drain.end();
    }
    view.stopProgress();
    rates.finish();
    if (!request.rateLogPath.isEmpty()) {
        writeRateLog(request.rateLogPath, rates.log());
    }
    const RunProgress progress = fleet.progress();
    if (!streamEnd.notDelivered.empty()) {
        say(streamEnd.notDelivered);
    }
    if (progress.dropped > 0) {
        say(QStringLiteral("%1 lines dropped: %2")
                .arg(progress.dropped)
                .arg(QString::fromStdString(output.status().dropReason))
                .toStdString());
    }
    view.printSummary();
    if (!streamEnd.failure.empty()) {
        say("the run failed: " + streamEnd.failure);
    } else if (halted) {
        say("the run failed: " + fleet.failure());
    }
    if (!options.manifest.isEmpty()) {
        Result<Manifest> manifest = manifestOf(request.startup.settings, localeDecimalSeparator(), config,
                                               fleet.record(), progress, manifestEntries(fleet.members()));
        if (manifest) {
            manifest.value().perSecond = rates.log().rows();
        }
        const Result<> written =
            manifest ? writeManifest(manifest.value(), options.manifest.toStdString()) : Result<>(manifest.failure());
        if (!written) {
            say("the manifest was not written: " + written.reason());
            return kRunFailed;
        }
    }
    return exitStatusOf(halted || !streamEnd.failure.empty(), progress);
}

} // namespace korvane::cli
