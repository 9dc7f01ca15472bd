// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/trafficzipf.h"

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

// log1p(x) / x, and its limit 1 at 0.
double log1pOverX(double x)
{
    return std::abs(x) > 1e-8 ? std::log1p(x) / x : 1 - x / 2;
}

// (exp(x) - 1) / x, and its limit 1 at 0.
double expm1OverX(double x)
{
    return std::abs(x) > 1e-8 ? std::expm1(x) / x : 1 + x / 2;
}

} // namespace

// The hat function h(x) = x^-exponent is integrated in closed form (H below); a rank is the
// inverse of H at a uniform point, kept unless it falls outside the area under the true chances.
ZipfSampler::ZipfSampler(std::uint64_t n, double exponent)
    : m_n(std::max<std::uint64_t>(n, 1)), m_exponent(exponent), m_hIntegralX1(hIntegral(1.5) - 1),
      m_hIntegralN(hIntegral(static_cast<double>(m_n) + 0.5)), m_s(2 - hIntegralInverse(hIntegral(2.5) - h(2)))
{}

double ZipfSampler::h(double x) const
{
    return std::exp(-m_exponent * std::log(x));
}

double ZipfSampler::hIntegral(double x) const
{
    const double logX = std::log(x);
    return expm1OverX((1 - m_exponent) * logX) * logX;
}

double ZipfSampler::hIntegralInverse(double x) const
{
    const double t = std::max(-1.0, x * (1 - m_exponent));
    return std::exp(log1pOverX(t) * x);
}

std::uint64_t ZipfSampler::sample(RandomSource& random) const
{
    if (m_n == 1) {
        return 1;
    }
    for (;;) {
        const double u = m_hIntegralN + random.next() * (m_hIntegralX1 - m_hIntegralN);
        const double x = hIntegralInverse(u);
        const double rounded = std::clamp(std::floor(x + 0.5), 1.0, static_cast<double>(m_n));
        const auto k = static_cast<std::uint64_t>(rounded);
        if (rounded - x <= m_s || u >= hIntegral(rounded + 0.5) - h(rounded)) {
            return k;
        }
    }
}

} // namespace korvane
