// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/randomsource.h"

#include <cstdint>

namespace korvane {

// Ranks 1 to n with chances falling as 1 / rank^exponent, so that a few hosts carry most of the
// traffic. Drawn by rejection-inversion: a constant expected number of draws (a little over one),
// whatever n, and nothing stored per rank.
class ZipfSampler
{
public:
    ZipfSampler(std::uint64_t n, double exponent);

    // A rank from 1 to n.
    std::uint64_t sample(RandomSource& random) const;
    std::uint64_t size() const { return m_n; }

private:
    double h(double x) const;
    double hIntegral(double x) const;
    double hIntegralInverse(double x) const;

    std::uint64_t m_n;
    double m_exponent;
    double m_hIntegralX1;
    double m_hIntegralN;
    double m_s;
};

} // namespace korvane
