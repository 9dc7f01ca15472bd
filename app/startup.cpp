// Start-up: runs once, before the window is first shown.
#include "korvanefrm.h"

#include "linereader.h"
#include "numbers.h"

#include <QLocale>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace korvane {

namespace {

QString number(double value, char separator)
{
    return QString::fromStdString(numberToText(value, separator));
}

// Twips to pixels, kept within what a window position can hold whatever the file says.
int positionPixels(double twips)
{
    if (!std::isfinite(twips))
        return 0;
    const double pixels = std::clamp(twips / KorvaneFRM::twipsPerPixel, -1.0e6, 1.0e6);
    return static_cast<int>(std::lround(pixels));
}

} // namespace

KorvaneFRM::LoadOutcome KorvaneFRM::load()
{
    setWindowTitle(QStringLiteral("Korvane") + QStringLiteral(" 2.0"));
    LBL_ProgName->setText(QStringLiteral("Korvane"));
    LBL_titre->hide();
    m_flags.Paused = 0;
    m_flags.StopRequested = 0;
    TXT_OutPut->clearText();
    m_flags.QuitRequested = 0;
    m_sourceLineCount = 0;
    LBL_SyslogFile->setText(QStringLiteral("Syslog File : No"));
    m_helpFile = QStringLiteral("Korvane.chm");

    // A second copy goes without a word to the settings file: the running copy's place stays.
    if (!m_services.instanceLock.tryAcquire()) {
        m_services.messages.notify(MessageService::Icon::Critical, QStringLiteral("Error"),
                                   QStringLiteral("Software already loaded."));
        m_flags.QuitRequested = 1;
        return LoadOutcome::Refused;
    }

    SettingsLoader loader(m_services.profile);
    const double left = loader.readPosition("PositionX");
    const double top = loader.readPosition("PositionY");
    move(positionPixels(left), positionPixels(top));

    loader.loadRunKeys(m_settings);
    const char sep = decimalSeparator();
    LBL_Logs->setText(m_settings.RealLogFile == 1 ? QStringLiteral("Real Logs") : QStringLiteral("Sample Logs"));
    LBL_Delay->setText(QStringLiteral("Delay : ") + number(m_settings.Delay, sep) + QStringLiteral(" s"));
    LBL_LineNumber->setText(m_settings.onetime == 1 ? QStringLiteral("Just One : Yes")
                                                    : QStringLiteral("Just One : No"));
    LBL_GenerationType->setText(QStringLiteral("Generation Type : ") + number(m_settings.GenerationType, sep));
    m_sourceFile = m_settings.RealLogFile == 0 ? "SAMPLE.TXT" : "KORVANE.TXT";

    if (m_settings.GenerationType == -1) {
        std::string error;
        const auto count = countLines(m_sourceFile, &error);
        if (!count) {
            std::error_code ec;
            if (!std::filesystem::exists(m_sourceFile, ec)) {
                const auto answer = m_services.messages.notify(
                    MessageService::Icon::Warning, QStringLiteral("No File"),
                    QStringLiteral("Warning: The %1 file doesn't exists.").arg(QString::fromStdString(m_sourceFile)));
                if (answer == MessageService::Answer::Interrupted)
                    return LoadOutcome::Interrupted;
                unload();
                return LoadOutcome::SourceMissing;
            }
            showUnknownError(
                QStringLiteral("%1: %2").arg(QString::fromStdString(m_sourceFile), QString::fromStdString(error)));
            return LoadOutcome::Shown;
        }
        m_sourceLineCount = *count - 1;
    }

    loader.loadTemplateKeys(m_settings);

    if (m_settings.SyslogFile == 1) {
        LBL_SyslogFile->setText(QStringLiteral("Syslog File : Yes"));
        loader.loadReceiverKeys(m_settings);
        LBL_HostIP->setText(QStringLiteral("Host IP : ") + QString::fromStdString(m_settings.HostIP));
        LBL_HostIP->show();
        FRM_Winsock->setColour(QColor(255, 0, 0));
        // The nearest integer, halves to the even one.
        const auto port = static_cast<quint16>(std::nearbyint(m_settings.UDP_Port_Syslog));
        if (!m_udpSink.configure(QString::fromStdString(m_settings.HostIP), port))
            showUnknownError(QStringLiteral("UDP %1:%2: %3")
                                 .arg(QString::fromStdString(m_settings.HostIP))
                                 .arg(port)
                                 .arg(m_udpSink.error()));
        return LoadOutcome::Shown;
    }
    if (m_settings.SyslogFile != 0)
        return LoadOutcome::Shown;

    // The output file: appended to or emptied when it exists, as the operator answers; created
    // silently when it does not.
    const std::filesystem::path output = "GENERATE.TXT";
    std::error_code ec;
    FileSink::Mode mode = FileSink::Mode::Append;
    if (std::filesystem::exists(output, ec)) {
        const auto answer = m_services.messages.ask(
            MessageService::Icon::Information, QStringLiteral("No File"),
            QStringLiteral("The Generate.txt file exists.") + QStringLiteral("\r\n\r\n") +
                QStringLiteral("Do you want add the logs (Yes). If No, a new file will be create."));
        // Only a plain No empties the file; a question closed by a termination signal leaves it
        // untouched.
        if (answer == MessageService::Answer::Interrupted)
            return LoadOutcome::Interrupted;
        mode = answer == MessageService::Answer::No ? FileSink::Mode::Truncate : FileSink::Mode::Append;
    }
    if (!m_fileSink.open(output, mode))
        showUnknownError(QStringLiteral("GENERATE.TXT: %1").arg(QString::fromStdString(m_fileSink.error())));
    return LoadOutcome::Shown;
}

} // namespace korvane
