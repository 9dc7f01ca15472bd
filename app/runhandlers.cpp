// Play, Pause and Stop of the transport control.
#include "app/korvanefrm.h"

namespace korvane {

void KorvaneFRM::onPlay()
{
    m_session.play();
}

void KorvaneFRM::onPause()
{
    MMControl1->stopButton()->setEnabled(true);
    m_session.pause();
}

void KorvaneFRM::onStop()
{
    m_session.stop();
}

} // namespace korvane
