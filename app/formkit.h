// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QColor>
#include <QFont>
#include <QLatin1String>
#include <QRect>
#include <QWidget>

#include <utility>

namespace korvane {

// The form is laid out in twips, as it was drawn for 96 dots per inch.
constexpr int kTwipsPerPixel = 15;

constexpr int px(int twips)
{
    return twips / kTwipsPerPixel;
}

inline QRect twipsRect(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

// The window's font sizes, in pixels at 96 dots per inch: 11 for 8 pt and 8.25 pt, 18 for 13.5 pt.
QFont sansFont(int pixelSize, bool bold);

// Text colour, and a background when `background` is valid.
void setColours(QWidget* widget, const QColor& text, const QColor& background);

// A control of `parent`, named as the tests and the window's history know it, placed at `geometry`.
template <typename T, typename... Args>
T* make(QWidget* parent, const char* name, QRect geometry, Args&&... args)
{
    auto* widget = new T(std::forward<Args>(args)..., parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace korvane
