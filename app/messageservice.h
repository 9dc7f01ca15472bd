// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QString>

class QMessageBox;
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
        No,
        Interrupted // the program is ending (a termination signal): the box was closed unanswered
    };

    virtual ~MessageService() = default;
    // A box with an OK button: Ok, or Interrupted.
    virtual Answer notify(Icon icon, const QString& title, const QString& text) = 0;
    // A box with Yes and No buttons: Yes, No, or Interrupted. Yes is the default button, and
    // also the answer when the box is dismissed (Escape, the close button), as the question is
    // always put so that Yes destroys nothing.
    virtual Answer ask(Icon icon, const QString& title, const QString& text) = 0;
};

// Real modal QMessageBox dialogs.
class QtMessageService final : public MessageService
{
public:
    explicit QtMessageService(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    Answer notify(Icon icon, const QString& title, const QString& text) override;
    Answer ask(Icon icon, const QString& title, const QString& text) override;

    // The program is ending: closes the box that is open, and every later box is answered
    // Interrupted without being shown.
    void interrupt();

private:
    Answer show(QMessageBox& box);

    QWidget* m_parent = nullptr;
    QMessageBox* m_open = nullptr;
    bool m_interrupted = false;
};

} // namespace korvane
