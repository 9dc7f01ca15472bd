// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QString>

#include <string_view>

namespace korvane {

// Lines are bytes in whatever encoding their file has. For display, valid UTF-8 is shown as
// such and anything else as Latin-1, so that no byte is lost or shown as a replacement mark.
QString displayText(std::string_view bytes);

} // namespace korvane
