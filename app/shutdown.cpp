// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Exit and closing: a run under way ends at once and the window's place is stored.
#include "app/korvanefrm.h"

#include "app/windowposition.h"

#include <QCloseEvent>

namespace korvane {

void KorvaneFRM::onExit()
{
    m_session.quit();
    WindowPosition::store(m_services.profile, pos());
    close();
}

void KorvaneFRM::closeEvent(QCloseEvent* event)
{
    m_session.quit();
    // A minimised window's coordinates mean nothing to the next start.
    if (!isMinimized()) {
        WindowPosition::store(m_services.profile, pos());
    }
    event->accept();
}

void KorvaneFRM::unload()
{
    m_session.quit();
    WindowPosition::store(m_services.profile, pos());
}

} // namespace korvane
