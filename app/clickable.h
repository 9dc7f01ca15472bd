// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QLabel>
#include <QMouseEvent>
#include <QWidget>

#include <utility>

namespace korvane {

// Tells clicks apart from the second press of a double click, which the window does not take as
// another click: a double click on the logo must not switch the view twice.
class ClickTracker
{
public:
    void press(QMouseEvent* event)
    {
        event->accept();
        m_secondPress = false;
    }
    void doublePress(QMouseEvent* event)
    {
        event->accept();
        m_secondPress = true;
    }
    // True when this release ends a click: the left button, released over the widget, and not
    // the second press of a double click.
    bool release(QMouseEvent* event, const QRect& area)
    {
        const bool second = std::exchange(m_secondPress, false);
        return !second && event->button() == Qt::LeftButton && area.contains(event->position().toPoint());
    }

private:
    bool m_secondPress = false;
};

// A label that reports a click: the left button pressed and released over it.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override { m_clicks.press(event); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { m_clicks.doublePress(event); }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (m_clicks.release(event, rect())) {
            emit clicked();
        }
    }

private:
    ClickTracker m_clicks;
};

// A picture box: draws its picture from the top-left corner, cut at its own edges, on the
// window's background colour, and reports clicks on its own background.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);
    void setPicture(const QPixmap& picture);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override { m_clicks.press(event); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { m_clicks.doublePress(event); }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (m_clicks.release(event, rect())) {
            emit clicked();
        }
    }

private:
    QPixmap m_picture;
    ClickTracker m_clicks;
};

// A status lamp: a small filled square that takes no part in clicks, so a click on it does not
// reach the panel underneath.
class StatusLamp : public QWidget
{
    Q_OBJECT

public:
    StatusLamp(const QColor& colour, QWidget* parent = nullptr);
    void setColour(const QColor& colour);
    QColor colour() const;

protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
};

} // namespace korvane
