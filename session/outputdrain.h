// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "session/drainableoutput.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <string>

namespace korvane {

// What became of the lines still on their way when a run ended.
struct DrainEnd
{
    std::string failure;      // the output failed for good (a TLS refusal): the run failed
    std::string notDelivered; // "3 lines not delivered to TCP 127.0.0.1:5516: Connection refused"; "" for none
};

// The end of a run's output: the lines still on their way to a receiver get a while to go out.
// With Leave::GiveUp (a front-end about to end) the output is then given up on: it gets a while to
// close the orderly way, and what is left counts as not delivered. With Leave::KeepQueue (a window
// that goes on) the lines stay queued for later; the drain only waits to report. A termination
// signal cuts what is left of both waits together to a grace. ended() always comes from the event
// loop, at once for a file or datagrams.
class OutputDrain final : public QObject
{
    Q_OBJECT

public:
    struct Times
    {
        std::chrono::milliseconds drain{10000};
        std::chrono::milliseconds closing{2000};
        std::chrono::milliseconds grace{500}; // after a termination signal, for all that is left
    };
    enum class Leave
    {
        GiveUp,
        KeepQueue
    };

    explicit OutputDrain(DrainableOutput& output) : OutputDrain(output, Times{}) {}
    OutputDrain(DrainableOutput& output, Times times);

    void start(Leave leave);
    // A termination signal came, before the drain or during it.
    void hurry();
    // Ends the drain now, as if its time were up (ended() follows at once); nothing without one.
    void endNow();
    bool active() const { return m_phase != Phase::Idle; }
    const DrainEnd& end() const { return m_end; }

signals:
    void ended();

private:
    enum class Phase
    {
        Idle,
        Draining,
        Closing
    };

    void check();
    void giveUp();
    void done();
    bool overdue(const QDeadlineTimer& deadline) const;
    void arm(const QDeadlineTimer& deadline);
    QString whyLeft(const SinkStatus& status) const;

    DrainableOutput& m_output;
    Times m_times;
    Leave m_leave = Leave::GiveUp;
    Phase m_phase = Phase::Idle;
    QTimer m_timer;
    QDeadlineTimer m_deadline;                           // of the current wait
    QDeadlineTimer m_graceEnds{QDeadlineTimer::Forever}; // once hurried
    std::int64_t m_undeliveredBefore = 0;                // when the output was given up on
    QString m_why;                                       // why lines were left, as it stood then
    DrainEnd m_end;
};

} // namespace korvane
