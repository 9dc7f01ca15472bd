#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace korvane::harkwell {

// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop. The handler only writes the signal
// number into a pipe, the one thing a signal handler may safely do; the loop reads it and emits signalled().
// One watcher at a time per process; destroying it restores the default handling.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

    // False when the pipe could not be made; the default handling (end the process) then stays in force.
    [[nodiscard]] bool isWatching() const { return m_notifier != nullptr; }

signals:
    void signalled(int signalNumber);

private:
    void readPipe();

    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace korvane::harkwell
