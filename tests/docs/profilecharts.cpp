// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Draws the charts of README.md's load shapes: for each form of RateProfile an example, its lines
// of each second over a minute from Play, painted as Harkwell's window paints what it receives.
// Run as `profilecharts [FOLDER]` (docs/pictures of the source tree by default) after a change to
// the profiles or the chart; it is built only when asked for.

#include "harkwell/ratechart.h"
#include "settings/rateprofile.h"

#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <QString>

#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

using korvane::LineSchedule;
using korvane::RateProfile;
using korvane::harkwell::RateHistory;

namespace {

constexpr int kSeconds = 60;
constexpr QSize kChartSize{600, 220};

struct Example
{
    const char* name;
    const char* text;
};

constexpr Example kExamples[] = {
    {"ramp", "ramp 100 1000 40"},    {"steps", "steps 100 200 10 900"}, {"sine", "sine 500 300 20"},
    {"burst", "burst 100 800 5 15"}, {"poisson", "poisson 300"},
};

// The lines due in each second from Play: the whole lines the integral reaches by its end, less
// those before; poisson by the arrivals of a run's own schedule.
std::vector<quint64> perSecond(const RateProfile& profile)
{
    std::vector<quint64> counts(kSeconds, 0);
    if (profile.form() == RateProfile::Form::Poisson) {
        LineSchedule schedule(profile);
        for (double t = schedule.next(); t < kSeconds; t = schedule.next()) {
            ++counts[static_cast<std::size_t>(t)];
        }
        return counts;
    }
    for (int s = 0; s < kSeconds; ++s) {
        counts[static_cast<std::size_t>(s)] =
            static_cast<quint64>(std::floor(profile.integral(s + 1)) - std::floor(profile.integral(s)));
    }
    return counts;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KORVANE_SOURCE_TREE "/docs/pictures");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "profilecharts: cannot make %s\n", qPrintable(folder));
        return 1;
    }
    for (const Example& example : kExamples) {
        const std::optional<RateProfile> profile = RateProfile::parse(example.text);
        if (!profile) {
            std::fprintf(stderr, "profilecharts: not a profile: %s\n", example.text);
            return 1;
        }
        RateHistory history;
        for (const quint64 count : perSecond(*profile)) {
            history.add({count, 0});
        }
        const QString path = folder + QStringLiteral("/profile-%1.png").arg(QLatin1String(example.name));
        QImageWriter writer(path, "png");
        if (!writer.write(korvane::harkwell::renderRateChart(history, kChartSize, kSeconds))) {
            std::fprintf(stderr, "profilecharts: cannot write %s: %s\n", qPrintable(path),
                         qPrintable(writer.errorString()));
            return 1;
        }
        std::printf("%s  %s  (%s)\n", qPrintable(path), example.text, profile->label().c_str());
    }
    return 0;
}
