// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Start-up: runs once, before the window is first shown. The steps themselves are the session's;
// the window shows what they found.
#include "app/korvanefrm.h"

#include "app/startupdialogs.h"
#include "app/windowposition.h"
#include "session/destination.h"
#include "session/startup.h"
#include "settings/numbers.h"
#include "settings/rateprofile.h"

#include <QDir>

#include <cstdio>

namespace korvane {

namespace {

QString number(double value, char separator)
{
    return QString::fromStdString(numberToText(value, separator));
}

// What start-up had to say about korvane.ini: why it could not be read, and each value replaced.
QStringList settingsReport(const StartupResult& r)
{
    QStringList lines;
    if (!r.settingsProblem.isEmpty()) {
        lines.append(r.settingsProblem + QStringLiteral("; the defaults are in force"));
    }
    for (const QString& repair : r.repairs) {
        lines.append(repair);
    }
    return lines;
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
    const QStringList report = settingsReport(r);
    for (const QString& line : report) {
        std::fprintf(stderr, "korvane: %s\n", qPrintable(line));
    }
    FRM_Infos->setToolTip(report.join(QLatin1Char('\n')));
    StartupDialogs dialogs(m_services.messages);
    if (!dialogs.showNotices(r.notices)) {
        return LoadOutcome::Interrupted;
    }
    if (r.outcome == StartupResult::Outcome::Refused) {
        m_session.quit();
        return LoadOutcome::Refused;
    }

    move(WindowPosition::fromTwips(r.positionX, r.positionY));
    LBL_Logs->setText(m_config.run.realLogs ? QStringLiteral("Real Logs") : QStringLiteral("Sample Logs"));
    // A replay at the log's pace says so, with its speed, where the delay is shown; a rate
    // profile shows its short form.
    const std::optional<RateProfile> profile = RateProfile::parse(m_config.run.rateProfile);
    LBL_Delay->setText(m_config.run.replayAtLogPace
                           ? QStringLiteral("Delay : log x") + number(m_config.run.replaySpeed, sep)
                       : profile ? QStringLiteral("Delay : ") + QString::fromStdString(profile->label())
                                 : QStringLiteral("Delay : ") + number(m_config.run.delay, sep) + QStringLiteral(" s"));
    LBL_LineNumber->setText(m_config.justOne ? QStringLiteral("Just One : Yes") : QStringLiteral("Just One : No"));
    LBL_GenerationType->setText(QStringLiteral("Generation Type : ") + number(m_config.run.generationType, sep));
    if (r.outcome == StartupResult::Outcome::SourceMissing) {
        unload();
        return LoadOutcome::SourceMissing;
    }
    if (!r.failure.isEmpty()) {
        m_runView.showUnknownError(r.failure);
        return LoadOutcome::Shown;
    }

    // Where the lines go, in full, on the labels that say it in short.
    const QString destination = destinationText(m_config) + QStringLiteral("\nWorking folder: ") +
                                QDir::toNativeSeparators(QDir::currentPath());
    LBL_SyslogFile->setToolTip(destination);
    // The companion listener is started to hear what this output sends, where it can.
    m_companion = companionLaunch(m_config);
    CMD_Harkwell->setEnabled(m_companion.possible);
    CMD_Harkwell->setToolTip(m_companion.description);
    FileSink::Mode mode = FileSink::Mode::Append;
    if (m_config.output != OutputKind::File) {
        LBL_SyslogFile->setText(QStringLiteral("Syslog File : Yes"));
        LBL_HostIP->setText(QStringLiteral("Host IP : ") + QString::fromStdString(m_config.host));
        LBL_HostIP->setToolTip(destination);
        LBL_HostIP->show();
        m_connectionLamp->showOutput(m_output);
        // Queued lines go on to the receiver after a run has ended; the counts follow them.
        connect(&m_output, &RunOutput::statusChanged, &m_runView, &RunPresenter::showDeliveries);
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
