// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// Reads the leading number of a settings value the way the profile always has:
// blanks, tabs and line feeds are skipped wherever they stand, then an optional sign,
// digits, an optional "." with digits and an optional exponent (E or e) are taken, stopping
// at the first character that does not fit. "&H" and "&O" (either case) introduce
// hexadecimal and octal integers. Anything unreadable yields 0. The decimal separator is
// always ".". A value beyond the range of a double is clamped to the largest finite one.
// "12abc" -> 12, "1.5" -> 1.5, "127.0.0.1" -> 127, " 1 2 " -> 12, "&H1F" -> 31.
double parseNumber(std::string_view text);

// Shortest decimal text of a number with up to 15 significant digits, with the given
// decimal separator: 10 -> "10", 0.5 -> "0.5" (or "0,5"), -120 -> "-120". Only magnitudes
// from 1e15 up or below 1e-4 take an exponent ("1e+20"), as "%.15g" would.
std::string numberToText(double value, char decimalSeparator = '.');

// Shortest decimal text of a single-precision number (up to 7 significant digits), as the
// window position is stored: 1440 -> "1440", -120 -> "-120". Always "." as separator.
std::string singleToText(float value);

// A plain decimal number and nothing else: an optional sign, digits, an optional "." with
// digits; no exponent, no "&H", no blanks inside. Read the same whatever the locale.
std::optional<double> plainDecimal(std::string_view text);

} // namespace korvane
