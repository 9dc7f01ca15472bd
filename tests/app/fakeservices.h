// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// Stand-ins for what the window takes from outside: the operator's answers, the desktop, the
// wall clock and the random draws. The settings store, the lock and the monotonic clock are
// the real ones, each test with its own folder (see windowtest.h).

#include "app/korvaneservices.h"
#include "enginefakes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace korvane::test {

// Records every message box the window opens and answers its questions from a queue.
class FakeMessages final : public MessageService
{
public:
    struct Call
    {
        Icon icon;
        QString title;
        QString text;
        bool question;
    };

    Answer notify(Icon icon, const QString& title, const QString& text) override
    {
        calls.append({icon, title, text, false});
        if (onCall) {
            onCall();
        }
        return notifyAnswer;
    }

    Answer ask(Icon icon, const QString& title, const QString& text) override
    {
        calls.append({icon, title, text, true});
        if (onCall) {
            onCall();
        }
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }

    QList<Call> calls;
    QList<Answer> answers; // given to the questions in turn; No when none is left
    Answer notifyAnswer = Answer::Ok;
    std::function<void()> onCall;
};

// Counts launches of the companion listener, with their arguments, and help requests; a launch
// can be made to fail.
class FakeDesktop final : public DesktopActions
{
public:
    Result<> launchCompanion(const QStringList& arguments) override
    {
        ++launches;
        launchArguments.append(arguments);
        if (!launchWorks) {
            return Failure{launchError.toStdString()};
        }
        return {};
    }
    void showHelp(const QString& helpFile) override { helpFiles.append(helpFile); }

    int launches = 0;
    QList<QStringList> launchArguments;
    bool launchWorks = true;
    QString launchError = QStringLiteral("execvp: No such file or directory");
    QStringList helpFiles;
};

} // namespace korvane::test
