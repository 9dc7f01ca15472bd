// Start-up: runs once, before the window is first shown. The steps themselves are the session's;
// the window shows what they found.
#include "app/korvanefrm.h"

#include "session/startup.h"
#include "settings/numbers.h"

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

const QColor kLampNetwork(255, 0, 0);
const QColor kLampConnecting(255, 160, 0);

QString number(double value, char separator)
{
    return QString::fromStdString(numberToText(value, separator));
}

// Twips to pixels, kept within what a window position can hold whatever the file says.
int positionPixels(double twips)
{
    if (!std::isfinite(twips)) {
        return 0;
    }
    const double pixels = std::clamp(twips / KorvaneFRM::kTwipsPerPixel, -1.0e6, 1.0e6);
    return static_cast<int>(std::lround(pixels));
}

MessageService::Icon iconFor(Notice::Kind kind)
{
    switch (kind) {
    case Notice::Kind::Critical:
        return MessageService::Icon::Critical;
    case Notice::Kind::Warning:
        return MessageService::Icon::Warning;
    case Notice::Kind::Information:
        break;
    }
    return MessageService::Icon::Information;
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
    for (const Notice& notice : r.notices) {
        if (m_services.messages.notify(iconFor(notice.kind), notice.title, notice.text) ==
            MessageService::Answer::Interrupted) {
            return LoadOutcome::Interrupted;
        }
    }
    if (r.outcome == StartupResult::Outcome::Refused) {
        m_session.quit();
        return LoadOutcome::Refused;
    }

    move(positionPixels(r.positionX), positionPixels(r.positionY));
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
        showUnknownError(r.failure);
        return LoadOutcome::Shown;
    }

    FileSink::Mode mode = FileSink::Mode::Append;
    if (m_config.output != OutputKind::File) {
        LBL_SyslogFile->setText(QStringLiteral("Syslog File : Yes"));
        LBL_HostIP->setText(QStringLiteral("Host IP : ") + QString::fromStdString(m_config.host));
        LBL_HostIP->show();
        FRM_Winsock->setColour(kLampNetwork);
        if (m_config.output != OutputKind::Udp) {
            showConnection();
            connect(&m_output.streamSink(), &StreamSink::stateChanged, this, &KorvaneFRM::showConnection,
                    Qt::UniqueConnection);
        }
    } else if (RunOutput::fileExists()) {
        // The output file: appended to or emptied as the operator answers; created silently when
        // absent. Only a plain No empties it; a question closed by a termination signal leaves
        // everything as it is.
        const auto answer = m_services.messages.ask(
            MessageService::Icon::Information, QStringLiteral("No File"),
            QStringLiteral("The Generate.txt file exists.") + QStringLiteral("\r\n\r\n") +
                QStringLiteral("Do you want add the logs (Yes). If No, a new file will be create."));
        if (answer == MessageService::Answer::Interrupted) {
            return LoadOutcome::Interrupted;
        }
        mode = answer == MessageService::Answer::No ? FileSink::Mode::Truncate : FileSink::Mode::Append;
    }
    const Result<> prepared = m_output.prepare(m_config, mode);
    m_session.configure(m_config, m_output.sink());
    if (!prepared) {
        showUnknownError(QString::fromStdString(prepared.reason()));
    }
    return LoadOutcome::Shown;
}

// The lamp of a TCP or TLS output: red while the connection is up, as for UDP; amber while it
// is being made or waits to be tried again. Its tooltip says which, and why.
void KorvaneFRM::showConnection()
{
    const StreamSink& stream = m_output.streamSink();
    FRM_Winsock->setColour(stream.isConnected() ? kLampNetwork : kLampConnecting);
    FRM_Winsock->setToolTip(stream.stateText());
}

} // namespace korvane
