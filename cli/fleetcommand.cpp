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
#include "session/ratelog.h"
#include "settings/profile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>

#include <unistd.h>

namespace korvane::cli {

namespace {

// Lines still queued for connections get up to this long to go out (half a second after a signal).
constexpr qint64 kDrainMs = 10'000;
constexpr qint64 kHurriedDrainMs = 500;

// Waits for the connections' queues to drain (a file and datagrams have nothing queued), then
// ends them; the lines still queued count as undelivered.
void drain(FleetOutput& output, const bool& signalled, TerminationSignals& termination)
{
    bool hurried = signalled;
    QMetaObject::Connection hurry = QObject::connect(&termination, &TerminationSignals::terminationRequested,
                                                     &termination, [&hurried] { hurried = true; });
    QElapsedTimer waited;
    waited.start();
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        if (output.status().queued == 0 || waited.elapsed() >= (hurried ? kHurriedDrainMs : kDrainMs)) {
            QCoreApplication::exit(0);
        }
    });
    poll.start();
    if (output.status().queued > 0) {
        QCoreApplication::exec();
    }
    poll.stop();
    if (!output.finish()) {
        QElapsedTimer closing;
        closing.start();
        QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
            if (output.finish() || closing.elapsed() >= kHurriedDrainMs) {
                QCoreApplication::exit(0);
            }
        });
        poll.start();
        QCoreApplication::exec();
    }
    QObject::disconnect(hurry);
}

} // namespace

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
    RateLog rateLog;
    QTimer rateSampler;
    rateSampler.setTimerType(Qt::PreciseTimer);
    QObject::connect(&rateSampler, &QTimer::timeout, &rateSampler, [&] { rateLog.sample(fleet.progress()); });
    if (!request.rateLogPath.isEmpty() || !options.manifest.isEmpty()) {
        rateSampler.start(RateLog::kSampleEvery);
    }

    view.startProgress();
    fleet.start();
    if (fleet.running()) {
        QCoreApplication::exec();
    }
    if (!halted) {
        drain(output, request.signalled, request.termination);
    }
    view.stopProgress();
    rateSampler.stop();
    rateLog.finish(fleet.progress());
    if (!request.rateLogPath.isEmpty()) {
        writeRateLog(request.rateLogPath, rateLog);
    }
    const RunProgress progress = fleet.progress();
    if (progress.undelivered > 0 && !progress.intoFile) {
        say(QStringLiteral("%1 lines not delivered").arg(progress.undelivered).toStdString());
    }
    if (progress.dropped > 0) {
        say(QStringLiteral("%1 lines dropped: %2")
                .arg(progress.dropped)
                .arg(QString::fromStdString(output.status().dropReason))
                .toStdString());
    }
    view.printSummary();
    if (halted) {
        say("the run failed: " + fleet.failure());
    }
    if (!options.manifest.isEmpty()) {
        Result<Manifest> manifest =
            manifestOf(request.startup.settings, localeDecimalSeparator(), config, fleet.record(), progress);
        if (manifest) {
            manifest.value().perSecond = rateLog.rows();
            manifest.value().firewalls = manifestEntries(fleet.members());
        }
        const Result<> written =
            manifest ? writeManifest(manifest.value(), options.manifest.toStdString()) : Result<>(manifest.failure());
        if (!written) {
            say("the manifest was not written: " + written.reason());
            return kRunFailed;
        }
    }
    return exitStatusOf(halted, progress);
}

} // namespace korvane::cli
