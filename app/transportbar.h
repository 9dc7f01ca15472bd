// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QToolButton>
#include <QWidget>

namespace korvane {

// MMControl1: a row of three transport buttons, Play, Pause and Stop, each with its own enabled
// state and its own press signal. No media device stands behind them.
class TransportBar : public QWidget
{
    Q_OBJECT

public:
    explicit TransportBar(QWidget* parent = nullptr);

    QToolButton* playButton() const { return m_play; }
    QToolButton* pauseButton() const { return m_pause; }
    QToolButton* stopButton() const { return m_stop; }
    void setEnabledButtons(bool play, bool pause, bool stop);

signals:
    void playPressed();
    void pausePressed();
    void stopPressed();

private:
    QToolButton* m_play;
    QToolButton* m_pause;
    QToolButton* m_stop;
};

} // namespace korvane
