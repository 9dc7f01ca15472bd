#pragma once

#include <QString>

class QWidget;

namespace korvane {

// The modal message boxes the operator answers. The window asks through this interface so
// that tests can answer in its place.
class MessageService
{
public:
    enum class Icon
    {
        Critical,
        Warning,
        Information
    };
    enum class Answer
    {
        Ok,
        Yes,
        No
    };

    virtual ~MessageService() = default;
    // A box with an OK button.
    virtual void notify(Icon icon, const QString& title, const QString& text) = 0;
    // A box with Yes and No buttons; Yes is the default button.
    virtual Answer ask(Icon icon, const QString& title, const QString& text) = 0;
};

// Real modal QMessageBox dialogs.
class QtMessageService final : public MessageService
{
public:
    explicit QtMessageService(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void notify(Icon icon, const QString& title, const QString& text) override;
    Answer ask(Icon icon, const QString& title, const QString& text) override;

private:
    QWidget* m_parent = nullptr;
};

} // namespace korvane
