// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/formkit.h"

#include <QPalette>

namespace korvane {

QFont sansFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    // The window's boxes were laid out for a narrow face; a condensed sans keeps its captions whole.
    font.setStretch(88);
    return font;
}

void setColours(QWidget* widget, const QColor& text, const QColor& background)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, text);
    if (background.isValid()) {
        pal.setColor(QPalette::Window, background);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(pal);
}

} // namespace korvane
