// Exit and closing: a run under way ends at once and the window's place is stored.
#include "app/korvanefrm.h"

#include "settings/numbers.h"

#include <QCloseEvent>

namespace korvane {

void KorvaneFRM::writePosition()
{
    const QPoint place = pos();
    m_services.profile.write("PositionX", singleToText(static_cast<float>(place.x() * kTwipsPerPixel)));
    m_services.profile.write("PositionY", singleToText(static_cast<float>(place.y() * kTwipsPerPixel)));
}

void KorvaneFRM::onExit()
{
    m_session.quit();
    writePosition();
    close();
}

void KorvaneFRM::closeEvent(QCloseEvent* event)
{
    m_session.quit();
    // A minimised window's coordinates mean nothing to the next start.
    if (!isMinimized()) {
        writePosition();
    }
    event->accept();
}

void KorvaneFRM::unload()
{
    m_session.quit();
    writePosition();
}

} // namespace korvane
