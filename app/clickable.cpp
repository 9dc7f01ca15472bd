// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/clickable.h"

#include <QPainter>

namespace korvane {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

void PictureBox::setPicture(const QPixmap& picture)
{
    m_picture = picture;
    update();
}

void PictureBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}

StatusLamp::StatusLamp(const QColor& colour, QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setAttribute(Qt::WA_NoMousePropagation);
    setColour(colour);
}

void StatusLamp::setColour(const QColor& colour)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    setPalette(pal);
}

QColor StatusLamp::colour() const
{
    return palette().color(QPalette::Window);
}

} // namespace korvane
