// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "app/clickable.h"
#include "app/outputbox.h"
#include "app/transportbar.h"
#include "engine/generationrun.h"
#include "session/runsession.h"

#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QString>

#include <cstdint>
#include <functional>
#include <string_view>

namespace korvane {

// The run as the window shows it, over the form's controls: the transport buttons, the title,
// the output box, the line counter with the delivery counts in its tooltip and the three lamps.
// It hears what the run does and decides what each control shows: during a run only Pause and
// Stop work and the Source File button does not; the lamps change together once per line the
// sink took and go out at the end; a failure leaves them all as they were, but for the title.
// The counter and the lamps follow the output box's updates, so a fast run repaints a few times
// a second rather than three widgets per line; whatever an update shows, the counter then reads
// the true count.
class RunPresenter final : public QObject, public RunObserver
{
    Q_OBJECT

public:
    // The form's controls a run is shown on.
    struct Controls
    {
        TransportBar* transport = nullptr;
        QPushButton* sourceButton = nullptr;
        ClickableLabel* programName = nullptr;
        ClickableLabel* title = nullptr;
        OutputBox* output = nullptr;
        QLabel* lineCount = nullptr;
        StatusLamp* greenLamp = nullptr;
        StatusLamp* redLamp = nullptr;
        StatusLamp* yellowLamp = nullptr;
    };

    // The session is made with its observer, the form's controls only after: both come here, once,
    // before the first run. `progress` tells how far the run has come (the session's).
    void present(const Controls& controls, std::function<RunProgress()> progress);

    // The run ended or failed: what is pending is shown.
    void endRun();
    // What became of the run's lines, on standard error: once they have settled (the end-of-run
    // drain), or when the next run or the exit comes first.
    void reportRun();
    // "Unknown Error !!!" as the title, the reason in its tooltip and on standard error.
    void showUnknownError(const QString& reason);
    // The delivery counts in the counter's tooltip, from the first run on: also after a run, while
    // the lines queued for a receiver still go out.
    void showDeliveries();

    // RunObserver
    void runStarted() override;
    void passStarted() override;
    void lineEmitted(std::string_view line, std::int64_t count) override;
    void lineWritten() override;
    void runEnded() override;
    void runFailed(std::string_view reason) override;

private:
    void refresh(); // shows pending lines, the counter and the lamps now
    void showRunState();

    Controls m_controls;
    std::function<RunProgress()> m_progress;
    std::int64_t m_lineCount = -1; // what the run last counted; -1 before its first line
    bool m_lineCountPending = false;
    bool m_runShown = false; // a run has begun: the tooltip has counts to tell
    bool m_lampsOn = false;  // shown with the next update
};

} // namespace korvane
