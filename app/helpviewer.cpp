// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/helpviewer.h"

namespace korvane {

HelpViewer::~HelpViewer()
{
    delete m_window;
}

void HelpViewer::show(const QString& title)
{
    if (!m_window) {
        m_window = new QTextBrowser;
        m_window->setObjectName(QStringLiteral("HelpViewer"));
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        // The help never keeps the program alive once its main window has closed.
        m_window->setAttribute(Qt::WA_QuitOnClose, false);
        m_window->setOpenExternalLinks(true);
        m_window->setSource(m_page);
        m_window->resize(640, 720);
    }
    m_window->setWindowTitle(title);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace korvane
