// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/korvanefrm.h"
#include "app/messageservice.h"
#include "app/systemdesktop.h"
#include "platform/menustart.h"
#include "platform/systemwallclock.h"
#include "platform/terminationsignals.h"

#include <QApplication>
#include <QDir>

#include <chrono>
#include <csignal>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QStringLiteral("2.0"));

    // From the very start: a signal during a start-up message box closes it and ends the
    // program cleanly (lock released, nothing more written) instead of killing it outright.
    // Whatever the event loop is doing, the program is over within a second of the signal.
    korvane::TerminationSignals termination;
    termination.endWithin(std::chrono::seconds(1));
    // Past a file size limit a write should fail with its reason, not end the program; a reader
    // of standard error that went away leaves nothing to say, not a program to kill.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    korvane::QtMessageService messages;

    // The desktop entry starts Korvane with --menu-start: it then works in a folder of the user's
    // own, given the shipped samples the first time. Started otherwise, it works in the current folder.
    if (QCoreApplication::arguments().contains(QStringLiteral("--menu-start"))) {
        const QString folder = korvane::menuStartFolder();
        const auto prepared = korvane::prepareMenuStartFolder(folder, korvane::findSampleFolder());
        if (!prepared || !QDir::setCurrent(folder)) {
            const QString reason = prepared ? QStringLiteral("%1: cannot enter the folder").arg(folder)
                                            : QString::fromStdString(prepared.reason());
            messages.notify(korvane::MessageService::Icon::Critical, QStringLiteral("Korvane"),
                            QStringLiteral("Korvane cannot prepare its working folder: %1.").arg(reason));
            return 1;
        }
    }
    korvane::IniProfileStore profile;
    korvane::SingleInstanceLock instanceLock;
    korvane::DefaultRandomSource random;
    korvane::SystemWallClock wallClock;
    korvane::SteadyClock monotonicClock;
    korvane::SystemDesktop desktop;

    korvane::KorvaneFRM window({messages, profile, instanceLock, random, wallClock, monotonicClock, desktop});
    QObject::connect(&termination, &korvane::TerminationSignals::terminationRequested, &window, [&] {
        messages.interrupt();
        if (window.isVisible()) {
            window.close();
        }
    });
    if (window.load() != korvane::KorvaneFRM::LoadOutcome::Shown) {
        return 0;
    }

    window.show();
    return QApplication::exec();
}
