// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/ratechart.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>

namespace korvane::harkwell {

namespace {

constexpr int kGap = 4; // between the plot area, its labels and the edge

// x of the boundary secondsAgo seconds before the end of the newest second.
int xAt(const QRect& plot, int secondsAgo, int seconds)
{
    return plot.left() + (seconds - secondsAgo) * plot.width() / seconds;
}

// y of value on a value axis from 0 at the bottom of plot to maximum at its top.
int yAt(const QRect& plot, double value, double maximum)
{
    return plot.bottom() - static_cast<int>(value / maximum * plot.height());
}

void paintLegend(QPainter& painter, QPoint at, const QPalette& palette, int seconds)
{
    const QFontMetrics metrics = painter.fontMetrics();
    const int box = metrics.height() / 2;
    int x = at.x();
    const QString title = QObject::tr("Lines/s, last %1:").arg(spanText(seconds));
    painter.setPen(palette.color(QPalette::Text));
    painter.drawText(x, at.y() + metrics.ascent(), title);
    x += metrics.horizontalAdvance(title) + 2 * kGap;
    for (const auto& [colour, name] :
         {std::pair{kReceivedColour, QObject::tr("received")}, {kDroppedColour, QObject::tr("dropped")}}) {
        painter.fillRect(x, at.y() + (metrics.height() - box) / 2, box, box, colour);
        x += box + kGap;
        painter.drawText(x, at.y() + metrics.ascent(), name);
        x += metrics.horizontalAdvance(name) + 3 * kGap;
    }
}

} // namespace

void paintRateChart(QPainter& painter, const QRect& rect, const RateHistory& history, const QPalette& palette,
                    int seconds)
{
    seconds = std::clamp(seconds, 1, RateHistory::kSeconds);
    painter.save();
    painter.fillRect(rect, palette.color(QPalette::Base));
    const QFontMetrics metrics = painter.fontMetrics();
    const ValueScale scale = valueScaleFor(history.peak());
    const auto maximum = static_cast<double>(scale.maximum);
    int labelWidth = 0;
    for (int step = 0; step <= scale.divisions; ++step) {
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(rateLabel(maximum * step / scale.divisions)));
    }
    // The legend above, the value labels left, the time labels below; the last time label is centred on the
    // right edge, so half of it stays clear.
    const QRect plot = rect.adjusted(kGap + labelWidth + kGap, kGap + metrics.height() + kGap,
                                     -(kGap + metrics.horizontalAdvance(QStringLiteral("now")) / 2),
                                     -(kGap + metrics.height() + kGap));
    paintLegend(painter, {plot.left(), rect.top() + kGap}, palette, seconds);
    if (plot.width() <= 0 || plot.height() <= 0) {
        painter.restore();
        return;
    }

    QColor gridColour = palette.color(QPalette::Text);
    gridColour.setAlpha(60);
    // In a short chart, labels on every other line, or fewer, so that they never touch.
    const int labelEvery = 1 + (metrics.height() * scale.divisions) / std::max(1, plot.height());
    for (int step = 0; step <= scale.divisions; ++step) {
        const double value = maximum * step / scale.divisions;
        const int y = yAt(plot, value, maximum);
        painter.setPen(gridColour);
        painter.drawLine(plot.left(), y, plot.right(), y);
        if ((scale.divisions - step) % labelEvery != 0) {
            continue; // the top line keeps its label
        }
        painter.setPen(palette.color(QPalette::Text));
        const QRect label(rect.left() + kGap, y - metrics.height() / 2, plot.left() - kGap - rect.left() - kGap,
                          metrics.height());
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, rateLabel(value));
    }
    for (const TimeTick& tick : timeTicks(seconds)) {
        const int x = xAt(plot, tick.secondsAgo, seconds);
        painter.setPen(gridColour);
        painter.drawLine(x, plot.top(), x, plot.bottom() + kGap);
        painter.setPen(palette.color(QPalette::Text));
        const int width = metrics.horizontalAdvance(tick.label);
        painter.drawText(std::max(x - width / 2, rect.left()), plot.bottom() + kGap + metrics.ascent() + kGap,
                         tick.label);
    }

    // A column a second, at least a pixel wide; the dropped part on top of the received one.
    for (int secondsAgo = 0; secondsAgo < std::min(history.size(), seconds); ++secondsAgo) {
        const RateSample sample = history.at(secondsAgo);
        const int left = xAt(plot, secondsAgo + 1, seconds);
        const int width = std::max(1, xAt(plot, secondsAgo, seconds) - left);
        const int receivedTop = yAt(plot, static_cast<double>(sample.received), maximum);
        const int droppedTop = yAt(plot, static_cast<double>(sample.received + sample.dropped), maximum);
        painter.fillRect(left, receivedTop, width, plot.bottom() - receivedTop, kReceivedColour);
        painter.fillRect(left, droppedTop, width, receivedTop - droppedTop, kDroppedColour);
    }
    painter.restore();
}

QImage renderRateChart(const RateHistory& history, QSize size, int seconds)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paintRateChart(painter, image.rect(), history, QGuiApplication::palette(), seconds);
    return image;
}

RateChart::RateChart(const RateSampler& sampler, QWidget* parent) : QWidget(parent), m_sampler(sampler)
{
    connect(&sampler, &RateSampler::sampled, this, qOverload<>(&QWidget::update));
    setToolTip(tr("Messages received each second over the last ten minutes, with the datagrams the system dropped "
                  "(UDP only) stacked on them"));
}

QSize RateChart::sizeHint() const
{
    return {RateHistory::kSeconds, 11 * fontMetrics().height()};
}

QSize RateChart::minimumSizeHint() const
{
    return {200, 6 * fontMetrics().height()};
}

void RateChart::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    paintRateChart(painter, rect(), m_sampler.history(), palette());
}

} // namespace korvane::harkwell
