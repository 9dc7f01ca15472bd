#include "app/korvanefrm.h"
#include "app/messageservice.h"
#include "app/systemdesktop.h"
#include "platform/systemwallclock.h"
#include "platform/terminationsignals.h"

#include <QApplication>

#include <csignal>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QStringLiteral("2.0"));

    // From the very start: a signal during a start-up message box closes it and ends the
    // program cleanly (lock released, nothing more written) instead of killing it outright.
    korvane::TerminationSignals termination;
    // Past a file size limit a write should fail with its reason, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    korvane::QtMessageService messages;
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
