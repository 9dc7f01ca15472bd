// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/runpresenter.h"

#include "session/runsession.h"

#include <cstdio>
#include <string>

namespace korvane {

void RunPresenter::present(const Controls& controls, const RunSession& session)
{
    m_controls = controls;
    m_session = &session;
    connect(m_controls.output, &OutputBox::flushed, this, &RunPresenter::showRunState);
}

void RunPresenter::endRun()
{
    refresh();
    const RunProgress progress = m_session->progress();
    if (progress.dropped > 0) {
        std::fprintf(stderr, "korvane: %lld of %lld lines dropped: the system could not take them at once\n",
                     static_cast<long long>(progress.dropped), static_cast<long long>(progress.emitted));
    }
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

void RunPresenter::setTransport(bool playEnabled, bool pauseEnabled, bool stopEnabled)
{
    m_controls.transport->setEnabledButtons(playEnabled, pauseEnabled, stopEnabled);
}

void RunPresenter::showRunTitle()
{
    m_controls.programName->hide();
    m_controls.title->setText(QStringLiteral("Log's Generation"));
    m_controls.title->setToolTip(QString());
    m_controls.title->show();
    m_lineCountPending = true; // a new run: the last run's dropped lines leave the tooltip
}

void RunPresenter::setSourceButtonEnabled(bool enabled)
{
    m_controls.sourceButton->setEnabled(enabled);
}

void RunPresenter::clearOutput()
{
    m_controls.output->clearLater();
}

void RunPresenter::appendOutput(std::string_view line)
{
    m_controls.output->appendLine(line);
}

void RunPresenter::setLineCount(std::int64_t count)
{
    m_shownLineCount = count;
    m_lineCountPending = true;
}

bool RunPresenter::lampsVisible() const
{
    return m_lampsOn;
}

void RunPresenter::setLampsVisible(bool visible)
{
    m_lampsOn = visible;
}

void RunPresenter::showFailure(std::string_view reason)
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
    if (m_lineCountPending) {
        m_lineCountPending = false;
        if (m_shownLineCount >= 0) {
            m_controls.lineCount->setText(QStringLiteral("Lines : %1").arg(m_shownLineCount));
        }
        const std::int64_t dropped = m_session->progress().dropped;
        m_controls.lineCount->setToolTip(
            dropped > 0 ? QStringLiteral("%1 lines dropped: the system could not take them at once").arg(dropped)
                        : QString());
    }
    if (m_controls.greenLamp->isHidden() == m_lampsOn) {
        for (StatusLamp* lamp : {m_controls.greenLamp, m_controls.redLamp, m_controls.yellowLamp}) {
            lamp->setHidden(!m_lampsOn);
        }
    }
}

} // namespace korvane
