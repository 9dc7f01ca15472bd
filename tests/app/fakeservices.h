#pragma once

// Stand-ins for what the window takes from outside: the operator's answers, the desktop, the
// wall clock and the random draws. The settings store, the lock and the monotonic clock are
// the real ones, each test with its own folder (see windowtest.h).

#include "korvaneservices.h"

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

    void notify(Icon icon, const QString& title, const QString& text) override
    {
        calls.append({icon, title, text, false});
        if (onCall)
            onCall();
    }

    Answer ask(Icon icon, const QString& title, const QString& text) override
    {
        calls.append({icon, title, text, true});
        if (onCall)
            onCall();
        return answers.isEmpty() ? Answer::No : answers.takeFirst();
    }

    QList<Call> calls;
    QList<Answer> answers; // given to the questions in turn; No when none is left
    std::function<void()> onCall;
};

// Counts launches of the companion listener and help requests; a launch can be made to fail.
class FakeDesktop final : public DesktopActions
{
public:
    bool launchCompanion(QString* error) override
    {
        ++launches;
        if (!launchWorks && error != nullptr)
            *error = launchError;
        return launchWorks;
    }
    void showHelp(const QString& helpFile) override { helpFiles.append(helpFile); }

    int launches = 0;
    bool launchWorks = true;
    QString launchError = QStringLiteral("execvp: No such file or directory");
    QStringList helpFiles;
};

// The same date and time for every composed line.
class FixedWallClock final : public WallClock
{
public:
    CivilDate date() override { return today; }
    CivilTime time() override { return now; }

    CivilDate today{2026, 12, 6};
    CivilTime now{4, 47, 51};
};

// Plays back a fixed list of draws, over and over; an empty list draws 0.
class ScriptedRandom final : public RandomSource
{
public:
    explicit ScriptedRandom(std::vector<double> draws = {}) : m_draws(std::move(draws)) {}

    double next() override
    {
        const double r = m_draws.empty() ? 0.0 : m_draws[drawn % m_draws.size()];
        ++drawn;
        return r;
    }

    std::size_t drawn = 0;

private:
    std::vector<double> m_draws;
};

} // namespace korvane::test
