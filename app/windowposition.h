// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/profile.h"

#include <QPoint>

namespace korvane {

// The window's place as korvane.ini keeps it: PositionX and PositionY, in twips.
class WindowPosition
{
public:
    // The stored place in pixels, kept within what a window position can hold whatever the file says.
    static QPoint fromTwips(double x, double y);
    // Writes `place` (pixels) as PositionX, then PositionY.
    static void store(ProfileStore& profile, QPoint place);
};

} // namespace korvane
