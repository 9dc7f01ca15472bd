#include "messageservice.h"

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

void QtMessageService::notify(Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(toQt(icon), title, text, QMessageBox::Ok, m_parent);
    box.exec();
}

MessageService::Answer QtMessageService::ask(Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(toQt(icon), title, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

} // namespace korvane
