// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/messageservice.h"

#include <QMessageBox>

namespace korvane {

namespace {

QMessageBox::Icon toQt(MessageService::Icon icon)
{
    switch (icon) {
    case MessageService::Icon::Critical:
        return QMessageBox::Critical;
    case MessageService::Icon::Warning:
        return QMessageBox::Warning;
    case MessageService::Icon::Information:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

MessageService::Answer QtMessageService::notify(Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, m_parent);
    return show(box) == Answer::Interrupted ? Answer::Interrupted : Answer::Ok;
}

MessageService::Answer QtMessageService::ask(Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(toQt(icon), title, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    // Left to itself the box would make No the answer to Escape and to its close button.
    box.setEscapeButton(QMessageBox::Yes);
    return show(box);
}

void QtMessageService::interrupt()
{
    m_interrupted = true;
    if (m_open != nullptr) {
        m_open->reject();
    }
}

MessageService::Answer QtMessageService::show(QMessageBox& box)
{
    if (m_interrupted) {
        return Answer::Interrupted;
    }
    m_open = &box;
    const int button = box.exec();
    m_open = nullptr;
    if (m_interrupted) {
        return Answer::Interrupted;
    }
    return button == QMessageBox::No ? Answer::No : Answer::Yes;
}

} // namespace korvane
