// The Source File button: lists the current source file in the output box.
#include "app/korvanefrm.h"

#include "engine/linereader.h"
#include "platform/displaytext.h"

namespace korvane {

void KorvaneFRM::onSourceFile()
{
    // The box holds at most this many characters; a longer text is emptied before the next line.
    constexpr qint64 boxLimit = 61800;

    setCursor(Qt::WaitCursor);
    TXT_OutPut->clearText();
    LBL_ProgName->hide();
    LBL_titre->show();
    LBL_titre->setText(QStringLiteral("Source File"));
    LBL_titre->setToolTip(QString());
    TXT_OutPut->show();

    LineReader reader;
    if (const Result<> opened = reader.open(m_config.sourceFile); !opened) {
        unsetCursor();
        m_services.messages.notify(
            MessageService::Icon::Warning, QStringLiteral("No File"),
            QStringLiteral("Warning: The %1 file can't be read: %2.")
                .arg(QString::fromStdString(m_config.sourceFile), QString::fromStdString(opened.reason())));
        return;
    }

    // The whole file is read in one go; the box is filled once at the end.
    QStringList shown;
    qint64 length = 0;
    std::int64_t counter = 0;
    std::int64_t lastShown = -1;
    std::string line;
    while (reader.readLine(line)) {
        ++counter;
        if (length > boxLimit) {
            shown.clear();
            length = 0;
            continue;
        }
        QString text = displayText(line);
        length += text.size() + 2;
        shown.append(std::move(text));
        lastShown = counter;
    }
    const std::optional<Failure> failure = reader.failure();
    reader.close();

    if (lastShown >= 0) {
        LBL_LineCount->setText(QStringLiteral("Lines : %1").arg(lastShown));
    }
    TXT_OutPut->setLines(shown);
    unsetCursor();
    if (failure) {
        m_services.messages.notify(
            MessageService::Icon::Warning, QStringLiteral("No File"),
            QStringLiteral("Warning: The %1 file can't be read: %2.")
                .arg(QString::fromStdString(m_config.sourceFile), QString::fromStdString(failure->reason)));
    }
}

} // namespace korvane
