// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/windowposition.h"

#include "app/formkit.h"
#include "settings/numbers.h"

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

int positionPixels(double twips)
{
    if (!std::isfinite(twips)) {
        return 0;
    }
    const double pixels = std::clamp(twips / kTwipsPerPixel, -1.0e6, 1.0e6);
    return static_cast<int>(std::lround(pixels));
}

} // namespace

QPoint WindowPosition::fromTwips(double x, double y)
{
    return {positionPixels(x), positionPixels(y)};
}

void WindowPosition::store(ProfileStore& profile, QPoint place)
{
    const ProfileLock held(profile); // not between another run's read of korvane.ini and its repairs
    profile.write("PositionX", singleToText(static_cast<float>(place.x() * kTwipsPerPixel)));
    profile.write("PositionY", singleToText(static_cast<float>(place.y() * kTwipsPerPixel)));
}

} // namespace korvane
