// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/fleetcommand.h"

#include "cli/clirun.h"
#include "cli/durationlimit.h"
#include "cli/runend.h"
#include "cli/runreport.h"
#include "platform/systemwallclock.h"
#include "session/destination.h"
#include "session/fleetoutput.h"
#include "session/fleetrun.h"
#include "session/manifest.h"
#include "session/ratesampler.h"
#include "settings/profile.h"

#include <QCoreApplication>
#include <QDir>

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
    return finishRun({output, view, rates, request.termination, request.signalled, halted, request.rateLogPath,
                      options.manifest, [&fleet] { return fleet.progress(); }, [&fleet] { return fleet.failure(); },
                      [&](const RunProgress& progress) {
                          return manifestOf(request.startup.settings, localeDecimalSeparator(), config, fleet.record(),
                                            progress, manifestEntries(fleet.members()));
                      }});
}

} // namespace korvane::cli
