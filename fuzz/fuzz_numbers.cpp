// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Feeds arbitrary bytes to the number parser and renders the result back, checking that no
// input yields a value the rest of the program cannot handle and that rendering round-trips.
#include "settings/numbers.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = korvane::parseNumber(text);
    check(std::isfinite(value));

    // Fifteen significant digits: the text reads back to within half a unit of the last one.
    const std::string rendered = korvane::numberToText(value);
    check(!rendered.empty() && rendered.size() < 32);
    const double back = korvane::parseNumber(rendered);
    check(std::abs(back - value) <= std::abs(value) * 1e-14);

    const std::string withComma = korvane::numberToText(value, ',');
    check(withComma.find('.') == std::string::npos);

    // A position is a single-precision number; only a value in its range may be narrowed.
    const double limit = std::numeric_limits<float>::max();
    const float single = static_cast<float>(std::fmax(-limit, std::fmin(limit, value)));
    const std::string singleText = korvane::singleToText(single);
    check(!singleText.empty() && singleText.size() < 20);
    const double singleBack = korvane::parseNumber(singleText);
    check(std::abs(singleBack - single) <= std::abs(static_cast<double>(single)) * 1e-6);
    return 0;
}
