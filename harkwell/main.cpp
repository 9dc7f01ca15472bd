// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Harkwell: listens for syslog messages over UDP, TCP or TLS and shows them in a window, or prints them on
// standard output.

#include "harkwell/listener.h"
#include "harkwell/listenerwindow.h"
#include "harkwell/options.h"
#include "harkwell/ratechart.h"
#include "harkwell/ratehistory.h"
#include "harkwell/stdoutprinter.h"
#include "harkwell/tlsidentity.h"
#include "platform/terminationsignals.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSaveFile>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace korvane::harkwell;

namespace {

// Exit codes, for scripts that run the standard-output mode.
enum ExitCode
{
    ExitOk = 0,
    ExitUsage = 1,        // the command line is invalid, or names TLS files that cannot serve
    ExitCannotListen = 2, // the port could not be bound
    ExitOutputFailed = 3, // standard output refused a line or did not take every message in time, or the plot failed
};

void printError(const QString& text)
{
    std::fputs(qPrintable(QStringLiteral("harkwell: ") + text + u'\n'), stderr);
}

QString endpoint(const QHostAddress& address, quint16 port)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol
               ? QStringLiteral("[%1]:%2").arg(address.toString()).arg(port)
               : QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

// The TLS identity the options name, when they ask for TLS; a file that cannot serve is a command line error.
std::optional<QSslConfiguration> tlsFor(const Options& options)
{
    if (options.transport != Transport::Tls) {
        return QSslConfiguration();
    }
    TlsIdentity identity = loadTlsIdentity(options.tlsCertificate, options.tlsKey);
    if (!identity.isValid()) {
        printError(identity.error);
        printError(QStringLiteral("the options are listed by: harkwell --help"));
        return std::nullopt;
    }
    return identity.configuration;
}

// Writes the chart of history to path as PNG; false, with the reason told, when the file cannot be written.
bool writePlot(const RateHistory& history, const QString& path)
{
    QSaveFile file(path);
    QImageWriter writer(&file, "png");
    if (!file.open(QIODevice::WriteOnly) || !writer.write(renderRateChart(history)) || !file.commit()) {
        const QString why = file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        printError(QStringLiteral("cannot write the plot to %1: %2").arg(path, why));
        return false;
    }
    return true;
}

int runStdout(QCoreApplication& app, const Options& options, const QSslConfiguration& tls)
{
    korvane::TerminationSignals watcher;
    QObject::connect(&watcher, &korvane::TerminationSignals::terminationRequested, &app, &QCoreApplication::quit);
    // A reader that goes is a failed write to report, not a signal that ends the program mid-line.
    std::signal(SIGPIPE, SIG_IGN);

    StdoutPrinter printer(STDOUT_FILENO, options.verbose);
    if (printer.hasFailed()) {
        printError(QStringLiteral("cannot write to standard output: ") + printer.errorString());
        return ExitOutputFailed;
    }
    QObject::connect(&printer, &StdoutPrinter::failed, &app, [&] {
        printError(QStringLiteral("cannot write to standard output: ") + printer.errorString());
        app.exit(ExitOutputFailed);
    });
    const std::unique_ptr<Listener> listener = makeListener(options.transport, tls);
    QObject::connect(listener.get(), &Listener::datagramsReceived, &printer, &StdoutPrinter::print);
    // A peer's trouble (a failed handshake, bad framing) is not the listener's: it is told and listening goes on.
    QObject::connect(listener.get(), &Listener::peerProblem, &app, &printError);

    // UDP, the default, is announced as it always was; the stream transports are named.
    const bool isUdp = options.transport == Transport::Udp;
    const QString over = isUdp ? QString() : QStringLiteral(" (%1)").arg(transportName(options.transport));
    if (!listener->listen(options.bindAddress, options.port)) {
        printError(QStringLiteral("cannot listen on %1%2: %3")
                       .arg(endpoint(options.bindAddress, options.port), over, listener->errorString()));
        return ExitCannotListen;
    }
    // On standard error, so that standard output holds nothing but messages; names the port chosen for --port 0.
    printError(QStringLiteral("listening on %1%2").arg(endpoint(listener->address(), listener->port()), over));
    RateSampler sampler([&listener] { return RateSample{listener->datagramCount(), listener->droppedCount()}; });
    sampler.start();

    int code = app.exec();
    if (code == ExitOk) {
        listener->readPending(); // what arrived just before the signal is printed too, if the output takes it
    }
    // Never waits for the output: a signal ends the program however full its standard output is.
    printer.finish();
    const QString noun = isUdp ? QStringLiteral("datagrams") : QStringLiteral("messages");
    if (options.verbose) {
        // On standard error like the announcement; the losses are what a script cannot see in the lines.
        const QString cut = isUdp ? QString() : QStringLiteral(", cut short: %1").arg(listener->cutCount());
        printError(QStringLiteral("%1 received: %2 (%3 bytes)%4, dropped by the system: %5, not printed: %6")
                       .arg(noun)
                       .arg(listener->datagramCount())
                       .arg(listener->byteCount())
                       .arg(cut)
                       .arg(listener->droppedCount())
                       .arg(printer.notPrintedCount()));
        // What came from each sender, and what went missing on the way where sequence ids tell.
        for (const QString& line : listener->senderSummary()) {
            printError(line);
        }
    } else if (printer.notPrintedCount() > 0) {
        // After a failed write, its reason was told already.
        const QString why =
            printer.hasFailed() ? QString() : QStringLiteral(": standard output did not take them in time");
        printError(QStringLiteral("%1 %2 not printed%3").arg(printer.notPrintedCount()).arg(noun, why));
    }
    if (code == ExitOk && printer.notPrintedCount() > 0) {
        code = ExitOutputFailed;
    }
    if (!options.plotPath.isEmpty()) {
        sampler.sampleNow(); // the last part of a second, which holds all of a short run
        if (!writePlot(sampler.history(), options.plotPath) && code == ExitOk) {
            code = ExitOutputFailed;
        }
    }
    return code;
}

int runWindow(QApplication& app, const Options& options)
{
    korvane::TerminationSignals watcher;
    QObject::connect(&watcher, &korvane::TerminationSignals::terminationRequested, &app, &QCoreApplication::quit);

    ListenerWindow window(options.bindAddress);
    // Each one on standard error too, as in the standard-output mode: the window shows the latest only.
    QObject::connect(&window, &ListenerWindow::peerProblem, &app, &printError);
    window.setTransport(options.transport, options.tlsCertificate, options.tlsKey);
    window.show();
    window.listenOn(options.port); // a failure is shown in the window, which offers another port
    return app.exec();
}

QStringList argumentList(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return arguments;
}

// Handles everything but a run: help, version and an invalid command line. Returns -1 for a run.
int answerWithoutRunning(const ParseResult& parsed)
{
    switch (parsed.status) {
    case ParseStatus::Run:
        return -1;
    case ParseStatus::ShowHelp:
        std::fputs(qPrintable(helpText()), stdout);
        return ExitOk;
    case ParseStatus::ShowVersion:
        std::fputs(qPrintable(versionText()), stdout);
        return ExitOk;
    case ParseStatus::Invalid:
        printError(parsed.error);
        printError(QStringLiteral("the options are listed by: harkwell --help"));
        return ExitUsage;
    }
    return ExitUsage;
}

// Help, version, an invalid command line, or a standard-output run.
int runWithoutWindow(QCoreApplication& app)
{
    const ParseResult parsed = parseOptions(app.arguments());
    if (const int code = answerWithoutRunning(parsed); code >= 0) {
        return code;
    }
    const std::optional<QSslConfiguration> tls = tlsFor(parsed.options);
    if (!tls) {
        return ExitUsage;
    }
    return runStdout(app, parsed.options, *tls);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("harkwell"));

    // The window needs a display; the standard-output mode, help and version must work without one.
    if (wantsWindow(argumentList(argc, argv))) {
        QApplication app(argc, argv);
        const ParseResult parsed = parseOptions(app.arguments());
        if (const int code = answerWithoutRunning(parsed); code >= 0) {
            return code;
        }
        // Checked here as on standard output; the window reads the files again at each Listen.
        if (!tlsFor(parsed.options)) {
            return ExitUsage;
        }
        return runWindow(app, parsed.options);
    }
    // The plot is painted, which takes the GUI application; on the offscreen platform, since this mode never
    // shows a window and must run where there is no display.
    if (const ParseResult early = parseOptions(argumentList(argc, argv));
        early.status == ParseStatus::Run && !early.options.plotPath.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        return runWithoutWindow(app);
    }
    QCoreApplication app(argc, argv);
    return runWithoutWindow(app);
}
