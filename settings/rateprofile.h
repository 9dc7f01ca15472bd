// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace korvane {

// A rate of lines that changes over a run: lines per second as a function of the seconds since
// Play. The line n (from 1) is due where the rate's integral from Play reaches n, so that every
// stretch of the run carries the lines the profile puts there, however short the gaps.
class RateProfile
{
public:
    enum class Form
    {
        Ramp,    // FROM TO SECONDS: linear from FROM to TO over SECONDS, then TO
        Steps,   // FROM STEP EVERY UNTIL: FROM, raised by STEP every EVERY seconds up to UNTIL
        Sine,    // MEAN AMPLITUDE PERIOD: MEAN + AMPLITUDE sin(2 pi t / PERIOD), AMPLITUDE <= MEAN
        Burst,   // BASE PEAK ON OFF: PEAK for the first ON seconds of every ON + OFF, BASE the rest
        Poisson, // MEAN: arrivals at random, exponential gaps of mean 1 / MEAN
    };

    // The form's name and its plain decimal numbers, separated by blanks; nothing when the text is
    // not one of the forms or a number is out of its range.
    static std::optional<RateProfile> parse(std::string_view text);

    Form form() const { return m_form; }
    // Lines per second at `t` seconds after Play (poisson: the mean rate).
    double rateAt(double t) const;
    // The lines due from Play to `t` (poisson: their expected number).
    double integral(double t) const;
    // The first time at which the integral reaches `n` > 0.
    double lineTime(double n) const;
    // The short form the window shows in place of the delay: "ramp 1000-20000/60s".
    std::string label() const;

private:
    RateProfile(Form form, std::array<double, 4> p) : m_form(form), m_p(p) {}

    double stepsLineTime(double n) const;
    double sineLineTime(double n) const;

    Form m_form;
    std::array<double, 4> m_p; // the numbers, in the order the form takes them
};

// The times of a run's lines by a profile, in seconds after Play, one after the other. Poisson
// gaps come from a generator of the schedule's own with a fixed seed: every run draws the same
// arrivals, and the lines' contents stay those of a run at a fixed rate.
class LineSchedule
{
public:
    explicit LineSchedule(const RateProfile& profile, std::uint64_t stream = 0)
        : m_profile(profile), m_generator(kSeed + stream)
    {}

    const RateProfile& profile() const { return m_profile; }
    // The time of the next line.
    double next();
    // The run fell behind: the next line is the first not due before `t`; those before are left
    // out, so that the profile keeps its clock from Play.
    double resumeAt(double t);

private:
    RateProfile m_profile;
    double m_line = 0; // the lines scheduled so far
    double m_time = 0; // the last line's time (poisson)
    std::mt19937_64 m_generator;
    static constexpr std::uint64_t kSeed = 20260101;
};

} // namespace korvane
