// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/runend.h"

#include "cli/runreport.h"
#include "session/outputdrain.h"

#include <QCoreApplication>

namespace korvane::cli {

int finishRun(const RunEnd& end)
{
    DrainEnd streamEnd;
    if (!end.halted) {
        OutputDrain drain(end.output);
        QObject::connect(&end.termination, &TerminationSignals::terminationRequested, &drain, &OutputDrain::hurry);
        if (end.signalled) {
            drain.hurry();
        }
        QObject::connect(&drain, &OutputDrain::ended, &drain, [] { QCoreApplication::exit(0); });
        drain.start(OutputDrain::Leave::GiveUp);
        QCoreApplication::exec();
        streamEnd = drain.end();
    }
    end.view.stopProgress();
    end.rates.finish();
    if (!end.rateLogPath.isEmpty()) {
        writeRateLog(end.rateLogPath, end.rates.log());
    }
    const RunProgress progress = end.progress();
    if (!streamEnd.notDelivered.empty()) {
        say(streamEnd.notDelivered);
    }
    if (progress.dropped > 0) {
        say(QStringLiteral("%1 lines dropped: %2")
                .arg(progress.dropped)
                .arg(QString::fromStdString(end.output.status().dropReason))
                .toStdString());
    }
    end.view.printSummary();
    // Reasons name what failed (the source, the file, the receiver) and are said as given.
    if (!streamEnd.failure.empty()) {
        say("the run failed: " + streamEnd.failure);
    } else if (end.halted) {
        say("the run failed: " + end.failure());
    }
    if (!end.manifestPath.isEmpty()) {
        Result<Manifest> manifest = end.manifest(progress);
        if (manifest) {
            manifest.value().perSecond = end.rates.log().rows();
        }
        const Result<> written =
            manifest ? writeManifest(manifest.value(), end.manifestPath.toStdString()) : Result<>(manifest.failure());
        if (!written) {
            say("the manifest was not written: " + written.reason());
            return kRunFailed;
        }
    }
    return exitStatusOf(end.halted || !streamEnd.failure.empty(), progress);
}

} // namespace korvane::cli
