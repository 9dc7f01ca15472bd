// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/runpresenter.h"

#include "session/deliverytext.h"

#include <cstdio>
#include <string>

namespace korvane {

void RunPresenter::present(const Controls& controls, std::function<RunProgress()> progress)
{
    m_controls = controls;
    m_progress = std::move(progress);
    connect(m_controls.output, &OutputBox::flushed, this, &RunPresenter::showRunState);
}

void RunPresenter::endRun()
{
    refresh();
}

void RunPresenter::reportRun()
{
    showDeliveries();
    const RunProgress progress = m_progress();
    std::fprintf(stderr, "korvane: %lld lines: %s\n", static_cast<long long>(progress.emitted),
                 qPrintable(deliveryText(progress)));
    std::fflush(stderr);
}

void RunPresenter::showUnknownError(const QString& reason)
{
    m_controls.title->setText(QStringLiteral("Unknown Error !!!"));
    m_controls.title->setToolTip(reason);
    m_controls.title->show();
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "korvane: %s\n", qPrintable(reason));
    }
}

void RunPresenter::showDeliveries()
{
    if (m_runShown) {
        const RunProgress progress = m_progress();
        m_controls.lineCount->setToolTip(
            QStringLiteral("%1 lines: %2").arg(progress.emitted).arg(deliveryText(progress)));
    }
}

void RunPresenter::runStarted()
{
    m_controls.transport->setEnabledButtons(false, true, true);
    m_controls.programName->hide();
    m_controls.title->setText(QStringLiteral("Log's Generation"));
    m_controls.title->setToolTip(QString());
    m_controls.title->show();
    m_controls.sourceButton->setEnabled(false);
    // A new run: the caption keeps the last count until the run's first line, the tooltip takes
    // the new run's counts.
    m_lineCount = -1;
    m_lineCountPending = true;
    m_runShown = true;
}

void RunPresenter::passStarted()
{
    m_controls.output->clearLater();
}

void RunPresenter::lineEmitted(std::string_view line, std::int64_t count)
{
    m_lineCount = count;
    m_lineCountPending = true;
    m_controls.output->appendLine(line);
}

void RunPresenter::lineWritten()
{
    m_lampsOn = !m_lampsOn;
}

void RunPresenter::runEnded()
{
    m_lampsOn = false;
    m_controls.transport->setEnabledButtons(true, false, false);
    m_controls.sourceButton->setEnabled(true);
}

void RunPresenter::runFailed(std::string_view reason)
{
    refresh();
    showUnknownError(QString::fromStdString(std::string(reason)));
}

void RunPresenter::refresh()
{
    m_controls.output->flush();
    showRunState();
}

void RunPresenter::showRunState()
{
    if (m_lineCountPending && m_lineCount >= 0) {
        m_controls.lineCount->setText(QStringLiteral("Lines : %1").arg(m_lineCount));
    }
    m_lineCountPending = false;
    // Lines are delivered after they are counted: the tooltip follows every update.
    showDeliveries();
    if (m_controls.greenLamp->isHidden() == m_lampsOn) {
        for (StatusLamp* lamp : {m_controls.greenLamp, m_controls.redLamp, m_controls.yellowLamp}) {
            lamp->setHidden(!m_lampsOn);
        }
    }
}

} // namespace korvane
