#pragma once

#include <QLabel>
#include <QMouseEvent>
#include <QWidget>

namespace korvane {

// A label that reports a click: the left button pressed and released over it.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            emit clicked();
    }
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
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            emit clicked();
    }

private:
    QPixmap m_picture;
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
    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
};

} // namespace korvane
