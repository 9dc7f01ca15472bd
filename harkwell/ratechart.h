// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/ratehistory.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QWidget>

class QPainter;

namespace korvane::harkwell {

// The colours of the two series, the same in the window and in the plot.
inline const QColor kReceivedColour{0x2a, 0x7a, 0xb0};
inline const QColor kDroppedColour{0xc0, 0x30, 0x20};

// Draws history into rect: a column per second over the last ten minutes, what was received with what the
// system dropped stacked on it in the second colour, on a value axis up to valueScaleFor(peak) and a time axis
// from "-10 min" to "now". Shared by the window's chart and the plot, so that both show the same. A shorter
// span of seconds draws only the newest seconds, wider, on an axis of that span.
void paintRateChart(QPainter& painter, const QRect& rect, const RateHistory& history, const QPalette& palette,
                    int seconds = RateHistory::kSeconds);

// The plot written at the end of a standard-output run: the size of the image, and the image itself.
inline constexpr QSize kPlotSize{800, 300};
[[nodiscard]] QImage renderRateChart(const RateHistory& history, QSize size = kPlotSize,
                                     int seconds = RateHistory::kSeconds);

// The window's live chart of the rate; repaints at each sample of the sampler it shows.
class RateChart : public QWidget
{
    Q_OBJECT

public:
    explicit RateChart(const RateSampler& sampler, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const RateSampler& m_sampler;
};

} // namespace korvane::harkwell
