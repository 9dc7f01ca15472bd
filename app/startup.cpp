// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Start-up: runs once, before the window is first shown. The steps themselves are the session's;
// the window shows what they found.
#include "app/korvanefrm.h"

#include "app/startupdialogs.h"
#include "app/windowposition.h"
#include "session/startup.h"
#include "settings/numbers.h"

namespace korvane {

namespace {

QString number(double value, char separator)
{
    return QString::fromStdString(numberToText(value, separator));
}

} // namespace

KorvaneFRM::LoadOutcome KorvaneFRM::load()
{
    setWindowTitle(QStringLiteral("Korvane") + QStringLiteral(" 2.0"));
    LBL_ProgName->setText(QStringLiteral("Korvane"));
    LBL_titre->hide();
    TXT_OutPut->clearText();
    LBL_SyslogFile->setText(QStringLiteral("Syslog File : No"));
    m_helpFile = QStringLiteral("Korvane.chm");

    const char sep = localeDecimalSeparator();
    const StartupResult r = runStartup(m_services.profile, &m_services.instanceLock, true, sep);
    m_settings = r.settings;
    m_config = r.config;
    StartupDialogs dialogs(m_services.messages);
    if (!dialogs.showNotices(r.notices)) {
        return LoadOutcome::Interrupted;
    }
    if (r.outcome == StartupResult::Outcome::Refused) {
        m_session.quit();
        return LoadOutcome::Refused;
    }

    move(WindowPosition::fromTwips(r.positionX, r.positionY));
    LBL_Logs->setText(m_config.realLogs ? QStringLiteral("Real Logs") : QStringLiteral("Sample Logs"));
    // A replay at the log's pace says so, with its speed, where the delay is shown.
    LBL_Delay->setText(m_config.replayAtLogPace
                           ? QStringLiteral("Delay : log x") + number(m_config.replaySpeed, sep)
                           : QStringLiteral("Delay : ") + number(m_config.delay, sep) + QStringLiteral(" s"));
    LBL_LineNumber->setText(m_config.justOne ? QStringLiteral("Just One : Yes") : QStringLiteral("Just One : No"));
    LBL_GenerationType->setText(QStringLiteral("Generation Type : ") + number(m_config.generationType, sep));
    if (r.outcome == StartupResult::Outcome::SourceMissing) {
        unload();
        return LoadOutcome::SourceMissing;
    }
    if (!r.failure.isEmpty()) {
        m_runView.showUnknownError(r.failure);
        return LoadOutcome::Shown;
    }

    FileSink::Mode mode = FileSink::Mode::Append;
    if (m_config.output != OutputKind::File) {
        LBL_SyslogFile->setText(QStringLiteral("Syslog File : Yes"));
        LBL_HostIP->setText(QStringLiteral("Host IP : ") + QString::fromStdString(m_config.host));
        LBL_HostIP->show();
        m_connectionLamp->showOutput(m_config.output, m_output.streamSink());
    } else if (RunOutput::fileExists()) {
        // The output file: appended to or emptied as the operator answers; created silently when
        // absent.
        const std::optional<FileSink::Mode> chosen = dialogs.askOutputFileMode();
        if (!chosen) {
            return LoadOutcome::Interrupted;
        }
        mode = *chosen;
    }
    const Result<> prepared = m_output.prepare(m_config, mode);
    m_session.configure(m_config, m_output.sink());
    if (!prepared) {
        m_runView.showUnknownError(QString::fromStdString(prepared.reason()));
    }
    return LoadOutcome::Shown;
}

} // namespace korvane
