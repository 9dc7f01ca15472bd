// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QPointer>
#include <QString>
#include <QTextBrowser>
#include <QUrl>

namespace korvane {

// Korvane's own help window: shows the help page built into the executable. One window; asking
// again brings it to the front.
class HelpViewer
{
public:
    explicit HelpViewer(QUrl page) : m_page(std::move(page)) {}
    ~HelpViewer();
    void show(const QString& title);

private:
    QUrl m_page;
    QPointer<QTextBrowser> m_window;
};

} // namespace korvane
