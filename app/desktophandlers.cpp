// The companion listener and the help.
#include "app/korvanefrm.h"

namespace korvane {

void KorvaneFRM::onHarkwell()
{
    QString error;
    if (!m_services.desktop.launchCompanion(&error)) {
        m_services.messages.notify(MessageService::Icon::Warning, QStringLiteral("Harkwell"),
                                   QStringLiteral("Harkwell could not be started: %1").arg(error));
    }
}

void KorvaneFRM::onHelp()
{
    m_services.desktop.showHelp(m_helpFile);
}

} // namespace korvane
