#include "korvanefrm.h"
#include "messageservice.h"
#include "systemdesktop.h"
#include "systemwallclock.h"
#include "terminationsignals.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QStringLiteral("2.0"));

    korvane::QtMessageService messages;
    korvane::IniProfileStore profile;
    korvane::SingleInstanceLock instanceLock;
    korvane::DefaultRandomSource random;
    korvane::SystemWallClock wallClock;
    korvane::SteadyClock monotonicClock;
    korvane::SystemDesktop desktop;

    korvane::KorvaneFRM window({messages, profile, instanceLock, random, wallClock, monotonicClock, desktop});
    if (window.load() != korvane::KorvaneFRM::LoadOutcome::Shown)
        return 0;

    korvane::TerminationSignals termination;
    QObject::connect(&termination, &korvane::TerminationSignals::terminationRequested, &window,
                     [&window] { window.close(); });

    window.show();
    return QApplication::exec();
}
