// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/transportbar.h"

#include <QPainter>
#include <QPainterPath>

namespace korvane {

namespace {

enum class Symbol
{
    Play,
    Pause,
    Stop
};

// The usual media symbols, drawn so they look the same under every style and theme.
QIcon symbolIcon(Symbol symbol)
{
    QIcon icon;
    for (const bool enabled : {true, false}) {
        QPixmap pm(14, 14);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(enabled ? QColor(0, 0, 0) : QColor(150, 150, 150));
        switch (symbol) {
        case Symbol::Play: {
            QPainterPath path;
            path.moveTo(3, 2);
            path.lineTo(12, 7);
            path.lineTo(3, 12);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case Symbol::Pause:
            p.drawRect(3, 2, 3, 10);
            p.drawRect(8, 2, 3, 10);
            break;
        case Symbol::Stop:
            p.drawRect(3, 3, 8, 8);
            break;
        }
        p.end();
        icon.addPixmap(pm, enabled ? QIcon::Normal : QIcon::Disabled);
    }
    return icon;
}

QToolButton* makeButton(QWidget* parent, Symbol symbol, const QString& name, const QString& tip, int x)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(symbolIcon(symbol));
    button->setIconSize(QSize(14, 14));
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setGeometry(x, 0, 26, 21); // 390 x 315 twips
    return button;
}

} // namespace

TransportBar::TransportBar(QWidget* parent)
    : QWidget(parent), m_play(makeButton(this, Symbol::Play, QStringLiteral("Play"), tr("Play"), 0)),
      m_pause(makeButton(this, Symbol::Pause, QStringLiteral("Pause"), tr("Pause"), 26)),
      m_stop(makeButton(this, Symbol::Stop, QStringLiteral("Stop"), tr("Stop"), 52))
{
    connect(m_play, &QToolButton::clicked, this, &TransportBar::playPressed);
    connect(m_pause, &QToolButton::clicked, this, &TransportBar::pausePressed);
    connect(m_stop, &QToolButton::clicked, this, &TransportBar::stopPressed);
    setEnabledButtons(true, false, false);
}

void TransportBar::setEnabledButtons(bool play, bool pause, bool stop)
{
    m_play->setEnabled(play);
    m_pause->setEnabled(pause);
    m_stop->setEnabled(stop);
}

} // namespace korvane
