// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// korvane-cli: the runs of Korvane's window, without a window.
#include "cli/checkcommand.h"
#include "cli/clirun.h"
#include "cli/durationlimit.h"
#include "cli/fleetcommand.h"
#include "cli/options.h"
#include "cli/runend.h"
#include "cli/runreport.h"
#include "engine/randomsource.h"
#include "platform/systemwallclock.h"
#include "platform/terminationsignals.h"
#include "session/destination.h"
#include "session/manifest.h"
#include "session/ratesampler.h"
#include "session/runoutput.h"
#include "session/runsession.h"
#include "session/startup.h"
#include "settings/profile.h"
#include "version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

using namespace korvane;

namespace {

int fail(const std::string& reason)
{
    cli::say(reason);
    return cli::kRunFailed;
}

// A standard stream the caller closed would be taken by the next file opened (GENERATE.TXT would
// then receive the summary): /dev/null stands in for it.
void keepStandardStreamsOpen()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            ::open("/dev/null", O_RDWR); // the lowest free number: this one
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    keepStandardStreamsOpen();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    // A signal ends the run as asked, whenever it comes, and the program within a second even
    // when a write does not return; a second signal ends it at once.
    TerminationSignals termination;
    termination.endWithin(std::chrono::seconds(1));
    bool signalled = false;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app, [&] { signalled = true; });
    // Past a file size limit a write fails with its reason instead of ending the program; a
    // reader of standard error that went away leaves nothing to say, not a program to kill.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    const cli::ParseResult parsed = cli::parseOptions(QCoreApplication::arguments());
    switch (parsed.status) {
    case cli::ParseResult::Status::ShowHelp:
        std::fputs(qPrintable(cli::helpText()), stdout);
        return 0;
    case cli::ParseResult::Status::ShowVersion:
        std::printf("korvane-cli %s\n", KORVANE_VERSION);
        return 0;
    case cli::ParseResult::Status::Invalid:
        std::fprintf(stderr, "korvane-cli: %s\nTry 'korvane-cli --help' for more information.\n",
                     qPrintable(parsed.error));
        return cli::kUsageError;
    case cli::ParseResult::Status::Run:
    case cli::ParseResult::Status::Check:
        break;
    }
    const cli::Options& options = parsed.options;
    // Named from where the command was given, before --dir.
    const QString rateLogPath = options.rateLog.isEmpty() ? QString() : QFileInfo(options.rateLog).absoluteFilePath();

    if (!options.folder.isEmpty() && ::chdir(QFile::encodeName(options.folder).constData()) != 0) {
        return fail(QStringLiteral("cannot work in %1: %2")
                        .arg(options.folder, QString::fromLocal8Bit(std::strerror(errno)))
                        .toStdString());
    }
    if (parsed.status == cli::ParseResult::Status::Check) {
        return cli::runCheck({options.check, options.manifest, options.report, options.escaped});
    }

    // korvane.ini read and repaired as the window does; the window's own keys are left alone.
    // Repairs are warnings, said even with --quiet; settings that could not be read at all are
    // not run on.
    IniProfileStore profile;
    const StartupResult startup = runStartup(profile, nullptr, false, localeDecimalSeparator());
    for (const QString& repair : startup.repairs) {
        cli::say(repair.toStdString());
    }
    if (!startup.settingsProblem.isEmpty()) {
        return fail(startup.settingsProblem.toStdString());
    }
    for (const Notice& notice : startup.notices) {
        cli::say(notice.text.toStdString());
    }
    if (startup.outcome != StartupResult::Outcome::Go) {
        return cli::kRunFailed;
    }
    if (!startup.failure.isEmpty()) {
        return fail(startup.failure.toStdString());
    }

    if (options.fleet > 0) {
        return cli::runFleet({options, startup, rateLogPath, termination, signalled});
    }

    RunOutput output;
    const Result<> prepared =
        output.prepare(startup.config, options.newFile ? FileSink::Mode::Truncate : FileSink::Mode::Append);
    if (!prepared) {
        return fail(prepared.reason());
    }

    DefaultRandomSource random;
    SystemWallClock wallClock;
    SteadyClock monotonicClock;
    std::optional<std::int64_t> total = linesInOnePass(startup.config);
    if (options.count > 0) {
        total = total ? std::min(*total, options.count) : options.count;
    }
    const QString destination = destinationText(startup.config);
    const bool onTerminal = !options.quiet && ::isatty(STDERR_FILENO) == 1;
    if (onTerminal) {
        cli::say(
            QStringLiteral("in %1, lines of %2 to %3")
                .arg(QDir::currentPath(), QString::fromStdString(startup.config.run.sourceFile.string()), destination)
                .toStdString());
    }
    cli::CliRun view(destination, total, onTerminal);
    RunSession session(random, wallClock, monotonicClock, view);
    view.attach(session);
    RunConfig runConfig = startup.config;
    runConfig.manifest = !options.manifest.isEmpty(); // the session then digests the source at Play
    session.configure(runConfig, output.sink());
    session.setLineLimit(options.count);

    bool halted = false;
    QObject::connect(&session, &RunSession::runEnded, &app, [&](GenerationRun::Next how) {
        halted = how == GenerationRun::Next::Halted;
        QCoreApplication::exit(0);
    });
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &session, &RunSession::finish);
    PreciseWakeUpTimer durationTimer;
    cli::DurationLimit duration(monotonicClock, durationTimer, [&session] { session.finish(); });
    if (options.durationSeconds > 0) {
        duration.start(std::chrono::duration<double>(options.durationSeconds));
    }

    RateSampler rates([&session] { return session.progress(); });
    const bool followsRate = !rateLogPath.isEmpty() || !options.manifest.isEmpty(); // the manifest holds the rate too

    view.startProgress();
    session.play();
    if (followsRate) {
        rates.start();
    }
    if (session.running()) {
        QCoreApplication::exec();
    }
    return cli::finishRun({output, view, rates, termination, signalled, halted, rateLogPath, options.manifest,
                           [&session] { return session.progress(); }, [&view] { return view.failure(); },
                           [&](const RunProgress& progress) {
                               return manifestOf(startup.settings, localeDecimalSeparator(), startup.config,
                                                 session.record(), progress);
                           }});
}
