// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// korvane-cli: the runs of Korvane's window, without a window.
#include "cli/clirun.h"
#include "cli/options.h"
#include "engine/randomsource.h"
#include "platform/systemwallclock.h"
#include "platform/terminationsignals.h"
#include "session/runoutput.h"
#include "session/runsession.h"
#include "session/startup.h"
#include "settings/profile.h"
#include "version.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>

#include <unistd.h>

using namespace korvane;

namespace {

int fail(const QString& reason)
{
    std::fprintf(stderr, "korvane-cli: %s\n", qPrintable(reason));
    return 1;
}

// Runs the event loop until `done` holds (checked whenever the stream changes state or drains),
// a termination signal comes, or `limit` has passed.
void waitForStream(StreamSink& stream, TerminationSignals& termination, std::chrono::seconds limit,
                   const std::function<bool()>& done)
{
    if (done()) {
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done()) {
            loop.quit();
        }
    };
    QObject::connect(&stream, &StreamSink::stateChanged, &loop, check);
    QObject::connect(&stream, &StreamSink::drained, &loop, check);
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &loop, &QEventLoop::quit);
    loop.exec();
}

// Lines of a TCP or TLS run may still wait for the receiver when the run ends: they get a few
// seconds to go out (a signal cuts that short), then the connection is closed in order, and what
// could not go is said. A connection that failed for good (TLS refused) fails the run, even one
// that ended before the refusal came.
QString drainStream(RunOutput& output, TerminationSignals& termination)
{
    constexpr std::chrono::seconds kDrainTime{10};
    constexpr std::chrono::seconds kClosingTime{2};
    if (output.kind() != OutputKind::Tcp && output.kind() != OutputKind::Tls) {
        return {};
    }
    StreamSink& stream = output.streamSink();
    waitForStream(stream, termination, kDrainTime, [&] { return stream.isDrained() || !stream.failure().empty(); });
    stream.finish(); // what is still queued now counts as undelivered
    if (stream.isConnected()) {
        waitForStream(stream, termination, kClosingTime, [&] { return !stream.isConnected(); });
    }
    if (stream.queuedMessages() > 0 && stream.failure().empty()) {
        std::fprintf(stderr, "korvane-cli: %zu lines not delivered to %s: %s\n", stream.queuedMessages(),
                     qPrintable(output.destination()), qPrintable(stream.lastProblem()));
    }
    return QString::fromStdString(stream.failure());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    // A signal ends the run as asked, whenever it comes; past a file size limit a write fails
    // with its reason instead of ending the program.
    TerminationSignals termination;
    std::signal(SIGXFSZ, SIG_IGN);

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
        return 2;
    case cli::ParseResult::Status::Run:
        break;
    }
    const cli::Options& options = parsed.options;

    if (!options.folder.isEmpty() && ::chdir(QFile::encodeName(options.folder).constData()) != 0) {
        return fail(
            QStringLiteral("cannot work in %1: %2").arg(options.folder, QString::fromLocal8Bit(std::strerror(errno))));
    }

    // korvane.ini read and repaired as the window does; the window's own keys are left alone.
    IniProfileStore profile;
    const StartupResult startup = runStartup(profile, nullptr, false, localeDecimalSeparator());
    for (const Notice& notice : startup.notices) {
        std::fprintf(stderr, "korvane-cli: %s\n", qPrintable(notice.text));
    }
    if (startup.outcome != StartupResult::Outcome::Go) {
        return 1;
    }
    if (!startup.failure.isEmpty()) {
        return fail(startup.failure);
    }

    RunOutput output;
    const Result<> prepared =
        output.prepare(startup.config, options.newFile ? FileSink::Mode::Truncate : FileSink::Mode::Append);
    if (!prepared) {
        return fail(QString::fromStdString(prepared.reason()));
    }

    DefaultRandomSource random;
    SystemWallClock wallClock;
    SteadyClock monotonicClock;
    std::optional<std::int64_t> total = linesInOnePass(startup.config);
    if (options.count > 0) {
        total = total ? std::min(*total, options.count) : options.count;
    }
    cli::CliRun view(output.destination(), total, !options.quiet && ::isatty(STDERR_FILENO) == 1);
    RunSession session(random, wallClock, monotonicClock, view);
    view.attach(session);
    session.configure(startup.config, output.sink());
    session.setLineLimit(options.count);

    int status = 0;
    QObject::connect(&session, &RunSession::runEnded, &app, [&](GenerationRun::Next how) {
        status = how == GenerationRun::Next::Halted ? 1 : 0;
        QCoreApplication::exit(status);
    });
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &session, &RunSession::finish);
    if (options.durationSeconds > 0) {
        QTimer::singleShot(std::chrono::milliseconds(static_cast<qint64>(options.durationSeconds * 1000)),
                           Qt::PreciseTimer, &session, &RunSession::finish);
    }

    view.startProgress();
    session.play();
    if (session.running()) {
        QCoreApplication::exec();
    }
    QString streamFailure;
    if (status == 0) {
        streamFailure = drainStream(output, termination);
    }
    view.finish();
    if (!streamFailure.isEmpty()) {
        return fail(QStringLiteral("the run failed: %1").arg(streamFailure));
    }
    if (status != 0) {
        if (session.progress().sinkFailed) { // the sink's reason names the file or the address
            return fail(QStringLiteral("the run failed: %1").arg(QString::fromStdString(view.failure())));
        }
        return fail(
            QStringLiteral("the run failed: %1: %2")
                .arg(QString::fromStdString(startup.config.sourceFile), QString::fromStdString(view.failure())));
    }
    return 0;
}
