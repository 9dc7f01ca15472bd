// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/rateprofile.h"

#include "settings/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <vector>

namespace korvane {

namespace {

// Far above what any sink takes, and low enough that a line's time keeps its nanoseconds.
constexpr double kMostLinesPerSecond = 1e7;
constexpr double kLongestSeconds = 1e7;

struct FormName
{
    std::string_view name;
    RateProfile::Form form;
    std::size_t numbers;
};

constexpr std::array<FormName, 5> kForms{{
    {"ramp", RateProfile::Form::Ramp, 3},
    {"steps", RateProfile::Form::Steps, 4},
    {"sine", RateProfile::Form::Sine, 3},
    {"burst", RateProfile::Form::Burst, 4},
    {"poisson", RateProfile::Form::Poisson, 1},
}};

bool sameWord(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> found;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        std::size_t end = i;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t') {
            ++end;
        }
        if (end > i) {
            found.push_back(text.substr(i, end - i));
        }
        i = end;
    }
    return found;
}

// Digits with an optional "." and digits: a plain decimal without a sign.
std::optional<double> plainNumber(std::string_view text)
{
    if (text.empty() || text.front() == '+' || text.front() == '-') {
        return std::nullopt;
    }
    return plainDecimal(text);
}

bool rate(double v, bool zeroToo)
{
    return (zeroToo ? v >= 0 : v > 0) && v <= kMostLinesPerSecond;
}

bool span(double v)
{
    return v > 0 && v <= kLongestSeconds;
}

bool inRange(RateProfile::Form form, const std::array<double, 4>& p)
{
    switch (form) {
    case RateProfile::Form::Ramp:
        return rate(p[0], true) && rate(p[1], false) && span(p[2]);
    case RateProfile::Form::Steps:
        return rate(p[0], true) && rate(p[1], false) && span(p[2]) && rate(p[3], false) && p[3] >= p[0];
    case RateProfile::Form::Sine:
        return rate(p[0], false) && p[1] >= 0 && p[1] <= p[0] && span(p[2]);
    case RateProfile::Form::Burst:
        return rate(p[0], true) && rate(p[1], false) && span(p[2]) && span(p[3]);
    case RateProfile::Form::Poisson:
        return rate(p[0], false);
    }
    return false;
}

std::string number(double v)
{
    std::array<char, 64> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    return error == std::errc() ? std::string(text.data(), end) : std::string("?");
}

} // namespace

std::optional<RateProfile> RateProfile::parse(std::string_view text)
{
    const std::vector<std::string_view> parts = words(text);
    if (parts.empty()) {
        return std::nullopt;
    }
    const auto named = std::ranges::find_if(kForms, [&](const FormName& f) { return sameWord(f.name, parts[0]); });
    if (named == kForms.end() || parts.size() != named->numbers + 1) {
        return std::nullopt;
    }
    std::array<double, 4> p{};
    for (std::size_t i = 0; i < named->numbers; ++i) {
        const std::optional<double> v = plainNumber(parts[i + 1]);
        if (!v) {
            return std::nullopt;
        }
        p[i] = *v;
    }
    if (!inRange(named->form, p)) {
        return std::nullopt;
    }
    return RateProfile(named->form, p);
}

double RateProfile::rateAt(double t) const
{
    const auto& [a, b, c, d] = m_p;
    switch (m_form) {
    case Form::Ramp:
        return t < c ? a + (b - a) * std::max(t, 0.0) / c : b;
    case Form::Steps:
        return std::min(a + b * std::floor(std::max(t, 0.0) / c), d);
    case Form::Sine:
        return a + b * std::sin(2 * std::numbers::pi * t / c);
    case Form::Burst:
        return std::fmod(std::max(t, 0.0), c + d) < c ? b : a;
    case Form::Poisson:
        break;
    }
    return a;
}

double RateProfile::integral(double t) const
{
    if (!(t > 0)) {
        return 0;
    }
    const auto& [a, b, c, d] = m_p;
    switch (m_form) {
    case Form::Ramp:
        return t < c ? a * t + (b - a) * t * t / (2 * c) : (a + b) * c / 2 + b * (t - c);
    case Form::Steps: {
        // Segment k runs at min(FROM + k STEP, UNTIL); the first `raised` segments stay below UNTIL.
        const double raised = std::ceil((d - a) / b);
        const double k = std::min(std::floor(t / c), raised);
        const double atK = c * (k * a + b * k * (k - 1) / 2);
        return atK + (t - k * c) * std::min(a + k * b, d);
    }
    case Form::Sine: {
        const double w = 2 * std::numbers::pi / c;
        return a * t + b / w * (1 - std::cos(w * t));
    }
    case Form::Burst: {
        const double cycle = c + d;
        const double q = std::floor(t / cycle);
        const double r = t - q * cycle;
        return q * (b * c + a * d) + (r < c ? b * r : b * c + a * (r - c));
    }
    case Form::Poisson:
        break;
    }
    return a * t;
}

double RateProfile::lineTime(double n) const
{
    if (!(n > 0)) {
        return 0;
    }
    const auto& [a, b, c, d] = m_p;
    switch (m_form) {
    case Form::Ramp: {
        const double whole = (a + b) * c / 2;
        if (n <= whole) {
            // The root of (k/2) t^2 + a t = n in the form that stays exact for a flat ramp.
            return 2 * n / (a + std::sqrt(a * a + 2 * (b - a) / c * n));
        }
        return c + (n - whole) / b;
    }
    case Form::Steps:
        return stepsLineTime(n);
    case Form::Sine:
        return sineLineTime(n);
    case Form::Burst: {
        const double cycle = c + d;
        const double perCycle = b * c + a * d;
        // The cycle in which the integral reaches n: n lies in (q L, (q + 1) L].
        double q = std::ceil(n / perCycle) - 1;
        double rest = n - q * perCycle;
        if (rest <= 0) {
            q -= 1;
            rest += perCycle;
        }
        if (rest <= b * c) {
            return q * cycle + rest / b;
        }
        return q * cycle + c + (rest - b * c) / a;
    }
    case Form::Poisson:
        break;
    }
    return n / a;
}

double RateProfile::stepsLineTime(double n) const
{
    // Plain copies: a lambda may not capture structured bindings with every compiler in use.
    const double from = m_p[0];
    const double step = m_p[1];
    const double every = m_p[2];
    const double until = m_p[3];
    const double raised = std::ceil((until - from) / step);
    const auto before = [&](double k) { return every * (k * from + step * k * (k - 1) / 2); };
    if (n > before(raised)) {
        return raised * every + (n - before(raised)) / until;
    }
    // The segment k with before(k) < n <= before(k + 1): the quadratic's root, then set right
    // where rounding left it one off.
    const double half = step / 2;
    const double lin = from - half;
    double k = std::floor((-lin + std::sqrt(lin * lin + 4 * half * n / every)) / (2 * half));
    k = std::clamp(k, 0.0, raised - 1);
    while (k > 0 && before(k) >= n) {
        k -= 1;
    }
    while (k + 1 < raised && before(k + 1) < n) {
        k += 1;
    }
    return k * every + (n - before(k)) / (from + k * step);
}

double RateProfile::sineLineTime(double n) const
{
    const double mean = m_p[0];
    const double amplitude = m_p[1];
    const double period = m_p[2];
    // The integral lies between MEAN t and MEAN t + 2 AMPLITUDE / w: a bracket that Newton steps
    // narrow, with a halving wherever a step would leave it (the rate may touch 0).
    const double w = 2 * std::numbers::pi / period;
    double low = std::max(0.0, (n - 2 * amplitude / w) / mean);
    double high = n / mean;
    double t = high;
    for (int i = 0; i < 60; ++i) {
        const double over = integral(t) - n;
        if (std::abs(over) < 1e-7 + 1e-15 * n) {
            break;
        }
        (over > 0 ? high : low) = t;
        const double slope = rateAt(t);
        double next = slope > 0 ? t - over / slope : low;
        if (!(next > low && next < high)) {
            next = (low + high) / 2;
        }
        if (next == t) {
            break;
        }
        t = next;
    }
    return t;
}

std::string RateProfile::label() const
{
    const auto& [a, b, c, d] = m_p;
    switch (m_form) {
    case Form::Ramp:
        return "ramp " + number(a) + "-" + number(b) + "/" + number(c) + "s";
    case Form::Steps:
        return "steps " + number(a) + "-" + number(d) + " +" + number(b) + "/" + number(c) + "s";
    case Form::Sine:
        return "sine " + number(a) + "+-" + number(b) + "/" + number(c) + "s";
    case Form::Burst:
        return "burst " + number(a) + "/" + number(b) + " " + number(c) + "s/" + number(d) + "s";
    case Form::Poisson:
        break;
    }
    return "poisson " + number(a);
}

double LineSchedule::next()
{
    if (m_profile.form() != RateProfile::Form::Poisson) {
        m_line += 1;
        return m_profile.lineTime(m_line);
    }
    // u in (0, 1): 53 bits of the draw, centred in their step, so that the logarithm is finite.
    const double u = (static_cast<double>(m_generator() >> 11) + 0.5) * 0x1p-53;
    m_time += -std::log(u) / m_profile.rateAt(0);
    return m_time;
}

double LineSchedule::resumeAt(double t)
{
    if (m_profile.form() == RateProfile::Form::Poisson) {
        // Memoryless: the arrivals from `t` on are those of a process started there.
        m_time = std::max(m_time, t);
        return next();
    }
    m_line = std::max(m_line, std::floor(m_profile.integral(t)));
    double time = next();
    while (time < t) {
        time = next();
    }
    return time;
}

} // namespace korvane
