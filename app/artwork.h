// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QImage>
#include <QRect>
#include <QRgb>

namespace korvane {

// The three pictures of the window are drawn by code, so the program carries no image files and every build shows
// the same pixels.

// Logo at the left of the top strip: 88 x 80 pixels, 24-bit colour (a shield holding a flame over a stream of waves).
QImage korvaneLogo();

// Front of the firewall appliance behind the title panel: 290 x 85 pixels, 16-colour palette (Format_Indexed8).
// The window lays white labels, a yellow-on-grey display and the status lamps over it, so the picture keeps the
// middle of its face dark and plain, frames the display box and holds an indicator panel under the lamps.
QImage applianceFront();

// Window icon: 32 x 32 pixels, 256-colour palette (Format_Indexed8) with a transparent background.
QImage korvaneIcon();

// The icon's shield, flame and waves at any size, full colour on a transparent square (desktop icons).
QImage korvaneEmblem(int side);

// Plain face colour of the appliance; the window's white title text is drawn over it.
inline constexpr QRgb kApplianceFaceColour = qRgb(52, 58, 68);

// Colour of the recessed indicator panel that the status lamps sit on.
inline constexpr QRgb kApplianceIndicatorColour = qRgb(22, 25, 31);

// Inner area of the indicator panel (picture pixels); every lamp and a one-pixel margin around it lie inside.
inline constexpr QRect kApplianceIndicatorArea{108, 56, 41, 21};

} // namespace korvane
