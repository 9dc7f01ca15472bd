// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Source File button: lists the current source file in the output box.
#include "app/korvanefrm.h"

#include "app/sourcelisting.h"

namespace korvane {

void KorvaneFRM::onSourceFile()
{
    setCursor(Qt::WaitCursor);
    TXT_OutPut->clearText();
    LBL_ProgName->hide();
    LBL_titre->show();
    LBL_titre->setText(QStringLiteral("Source File"));
    LBL_titre->setToolTip(QString());
    TXT_OutPut->show();

    const SourceListing listing = SourceListing::read(m_config.run.sourceFile.string());
    if (listing.opened) {
        if (listing.lastShown >= 0) {
            LBL_LineCount->setText(QStringLiteral("Lines : %1").arg(listing.lastShown));
        }
        TXT_OutPut->setLines(listing.lines);
    }
    unsetCursor();
    if (listing.failure) {
        m_services.messages.notify(MessageService::Icon::Warning, QStringLiteral("No File"),
                                   QStringLiteral("Warning: The %1 file can't be read: %2.")
                                       .arg(QString::fromStdString(m_config.run.sourceFile.string()),
                                            QString::fromStdString(listing.failure->reason)));
    }
}

} // namespace korvane
