// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <chrono>
#include <memory>
#include <thread>

namespace korvane {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered by the event loop, so that a program
// ends as a close would (position stored, output complete) instead of dying mid-line. The handler
// only writes the signal number into a pipe, the one thing a signal handler may safely do, and
// keeps errno as it found it. A second termination signal is an operator who will not wait: the
// program ends at once, as that signal ends a program by default. One at a time per process;
// destroying it restores the default handling and closes the pipe.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the pipe could not be made; the default handling (end the process) then stays.
    [[nodiscard]] bool isWatching() const { return m_notifier != nullptr; }

    // From now on, a program still running `grace` after the first signal ends as that signal
    // ends a program by default, whatever its event loop is doing (a write that does not return,
    // a file that does not open). A thread of its own keeps the time. Once at most.
    void endWithin(std::chrono::milliseconds grace);

signals:
    void terminationRequested(int signalNumber);

private:
    void readPipe();

    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_watchdogPipe[2] = {-1, -1};
    std::thread m_watchdog;
};

} // namespace korvane
