#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace korvane {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the event loop, so that the program ends
// as a close would (position stored, output complete) instead of dying mid-line.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested(int signalNumber);

private:
    void onReadable();
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace korvane
