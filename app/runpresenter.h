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
// The counter and the lamps follow the output box's updates, so a fast run repaints a few times
// a second rather than three widgets per line; whatever an update shows, the counter then reads
// the true count.
class RunPresenter final : public QObject, public RunView
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

    // The session is made with its view, the form's controls only after: both come here, once,
    // before the first run. `progress` tells how far the run has come (the session's).
    void present(const Controls& controls, std::function<RunProgress()> progress);

    // The run ended or failed: what is pending is shown, and what became of the lines is told on
    // standard error.
    void endRun();
    // "Unknown Error !!!" as the title, the reason in its tooltip and on standard error.
    void showUnknownError(const QString& reason);
    // The delivery counts in the counter's tooltip, from the first run on: also after a run, while
    // the lines queued for a receiver still go out.
    void showDeliveries();

    // RunView
    void setTransport(bool playEnabled, bool pauseEnabled, bool stopEnabled) override;
    void showRunTitle() override;
    void setSourceButtonEnabled(bool enabled) override;
    void clearOutput() override;
    void appendOutput(std::string_view line) override;
    void setLineCount(std::int64_t count) override;
    bool lampsVisible() const override;
    void setLampsVisible(bool visible) override;
    void showFailure(std::string_view reason) override;

private:
    void refresh(); // shows pending lines, the counter and the lamps now
    void showRunState();

    Controls m_controls;
    std::function<RunProgress()> m_progress;
    std::int64_t m_lineCount = -1; // what the run last counted; -1 before its first line
    bool m_lineCountPending = false;
    bool m_runShown = false; // a run has begun: the tooltip has counts to tell
    bool m_lampsOn = false;  // what the run last set; shown with the next update
};

} // namespace korvane
