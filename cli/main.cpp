// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// korvane-cli: the runs of Korvane's window, without a window.
#include "cli/clirun.h"
#include "cli/durationlimit.h"
#include "cli/options.h"
#include "cli/runreport.h"
#include "engine/randomsource.h"
#include "platform/systemwallclock.h"
#include "platform/terminationsignals.h"
#include "session/destination.h"
#include "session/runoutput.h"
#include "session/runsession.h"
#include "session/startup.h"
#include "settings/profile.h"
#include "version.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
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

// How long lines already on their way still get once a termination signal came: enough for a
// receiver that reads to take them, well within the second in which the program must end.
constexpr std::chrono::milliseconds kSignalGrace{500};

// Runs the event loop until `done` holds (checked whenever the stream changes state or drains),
// `limit` has passed, or the grace after a termination signal (`signalledAt`, if it came) is over.
void waitForStream(StreamSink& stream, TerminationSignals& termination, const QDeadlineTimer& signalledAt,
                   std::chrono::seconds limit, const std::function<bool()>& done)
{
    const QDeadlineTimer limitEnds(limit, Qt::PreciseTimer);
    const auto deadline = [&] {
        if (signalledAt.isForever()) {
            return limitEnds;
        }
        const QDeadlineTimer graceEnds = signalledAt + kSignalGrace.count();
        return std::min(limitEnds, graceEnds);
    };
    if (done() || deadline().hasExpired()) {
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(std::chrono::milliseconds(deadline().remainingTime()));
    const auto check = [&] {
        if (done()) {
            loop.quit();
        }
    };
    QObject::connect(&stream, &StreamSink::stateChanged, &loop, check);
    QObject::connect(&stream, &StreamSink::drained, &loop, check);
    // A signal during the wait shortens it to the grace.
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &loop,
                     [&] { timer.start(std::chrono::milliseconds(std::max<qint64>(0, deadline().remainingTime()))); });
    loop.exec();
}

struct StreamEnd
{
    std::string failure;      // the connection failed for good: the run failed
    std::string notDelivered; // why lines were left in the queue; "" when none were
};

// Lines of a TCP or TLS run may still wait for the receiver when the run ends: they get a few
// seconds to go out, then the connection is closed in order, and what could not go is said.
// Once a termination signal came, draining and closing together get only its grace. A connection
// that failed for good (TLS refused) fails the run, even one that ended before the refusal came.
StreamEnd drainStream(RunOutput& output, TerminationSignals& termination, const QDeadlineTimer& signalledAt)
{
    constexpr std::chrono::seconds kDrainTime{10};
    constexpr std::chrono::seconds kClosingTime{2};
    if (output.kind() != OutputKind::Tcp && output.kind() != OutputKind::Tls) {
        return {};
    }
    StreamSink& stream = output.streamSink();
    waitForStream(stream, termination, signalledAt, kDrainTime,
                  [&] { return stream.isDrained() || !stream.failure().empty(); });
    // Why lines are left, now that the run gives up on them (after the closing, the connection
    // is down by choice).
    QString why;
    if (!stream.isConnected() && !stream.lastProblem().isEmpty()) {
        why = stream.lastProblem();
    } else if (!signalledAt.isForever()) {
        why = QStringLiteral("the run was ended by a signal before they went out");
    } else {
        why = QStringLiteral("the receiver did not take them within %1 s").arg(kDrainTime.count());
    }
    stream.finish(); // what is still queued now counts as undelivered
    if (stream.isConnected()) {
        waitForStream(stream, termination, signalledAt, kClosingTime, [&] { return !stream.isConnected(); });
    }
    StreamEnd end{stream.failure(), {}};
    if (stream.queuedMessages() > 0 && end.failure.empty()) {
        const QString where = QStringLiteral("%1 %2").arg(
            output.kind() == OutputKind::Tls ? QStringLiteral("TLS") : QStringLiteral("TCP"), output.destination());
        end.notDelivered = QStringLiteral("%1 lines not delivered to %2: %3")
                               .arg(stream.queuedMessages())
                               .arg(where, why)
                               .toStdString();
    }
    return end;
}

// Why lines were dropped: whose buffer was full.
QString dropReason(RunOutput& output)
{
    if (output.kind() == OutputKind::Tcp || output.kind() == OutputKind::Tls) {
        return output.streamSink().dropReason();
    }
    return QStringLiteral("the system's send buffer was full: lines came faster than it could send them");
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
    QDeadlineTimer signalledAt(QDeadlineTimer::Forever);
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app, [&] {
        if (signalledAt.isForever()) {
            signalledAt = QDeadlineTimer(0, Qt::PreciseTimer); // now
        }
    });
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
        break;
    }
    const cli::Options& options = parsed.options;

    if (!options.folder.isEmpty() && ::chdir(QFile::encodeName(options.folder).constData()) != 0) {
        return fail(QStringLiteral("cannot work in %1: %2")
                        .arg(options.folder, QString::fromLocal8Bit(std::strerror(errno)))
                        .toStdString());
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
    session.configure(startup.config, output.sink());
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

    view.startProgress();
    session.play();
    if (session.running()) {
        QCoreApplication::exec();
    }
    StreamEnd streamEnd;
    if (!halted) {
        streamEnd = drainStream(output, termination, signalledAt);
    }
    view.stopProgress();
    if (!streamEnd.notDelivered.empty()) {
        cli::say(streamEnd.notDelivered);
    }
    if (const std::int64_t dropped = session.progress().dropped; dropped > 0) {
        cli::say(QStringLiteral("%1 lines dropped: %2").arg(dropped).arg(dropReason(output)).toStdString());
    }
    view.printSummary();
    // Reasons name what failed (the source, the file, the receiver) and are said as given.
    if (!streamEnd.failure.empty()) {
        cli::say("the run failed: " + streamEnd.failure);
    } else if (halted) {
        cli::say("the run failed: " + view.failure());
    }
    return cli::exitStatusOf(halted || !streamEnd.failure.empty(), session.progress());
}
