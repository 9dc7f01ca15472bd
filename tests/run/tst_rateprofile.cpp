// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/rateprofile.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

using namespace korvane;

namespace {

RateProfile profileOf(const QString& text)
{
    const std::optional<RateProfile> p = RateProfile::parse(text.toStdString());
    if (!p) {
        qFatal("not a profile: %s", qPrintable(text));
    }
    return *p;
}

} // namespace

class TestRateProfile : public QObject
{
    Q_OBJECT

private slots:
    void integral_data();
    void integral();
    void lineTimeInvertsTheIntegral_data();
    void lineTimeInvertsTheIntegral();
    void parse_data();
    void parse();
    void poissonGapsAreExponential_data();
    void poissonGapsAreExponential();
    void aScheduleThatFellBehindGoesOnWhereTheProfileIs();
};

void TestRateProfile::integral_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<double>("t");
    QTest::addColumn<double>("lines");

    QTest::newRow("ramp, halfway: the mean of the rates so far") << "ramp 1000 20000 60" << 30.0 << 172500.0;
    QTest::newRow("ramp, after it: TO from there on") << "ramp 1000 20000 60" << 70.0 << 830000.0;
    QTest::newRow("a falling ramp") << "ramp 200 100 10" << 10.0 << 1500.0;
    QTest::newRow("steps, within the third") << "steps 100 100 10 500" << 25.0 << 4500.0;
    QTest::newRow("steps, held at UNTIL") << "steps 100 100 10 500" << 100.0 << 40000.0;
    QTest::newRow("steps, the last step cut to UNTIL") << "steps 100 150 10 300" << 30.0 << 1000.0 + 2500.0 + 3000.0;
    QTest::newRow("sine, a quarter period")
        << "sine 1000 500 60" << 15.0 << 15000.0 + 500.0 * 60.0 / (2 * std::numbers::pi);
    QTest::newRow("sine, a whole period: the mean") << "sine 1000 500 60" << 60.0 << 60000.0;
    QTest::newRow("burst, within the peak") << "burst 100 5000 2 8" << 1.0 << 5000.0;
    QTest::newRow("burst, within the base") << "burst 100 5000 2 8" << 5.0 << 10300.0;
    QTest::newRow("burst, the second cycle's peak") << "burst 100 5000 2 8" << 12.0 << 20800.0;
    QTest::newRow("poisson: the mean") << "poisson 1000" << 2.5 << 2500.0;
    QTest::newRow("nothing before Play") << "ramp 1000 20000 60" << -1.0 << 0.0;
}

void TestRateProfile::integral()
{
    QFETCH(QString, profile);
    QFETCH(double, t);
    QFETCH(double, lines);

    QCOMPARE(profileOf(profile).integral(t), lines);
}

void TestRateProfile::lineTimeInvertsTheIntegral_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<double>("n");
    QTest::addColumn<double>("t"); // < 0: only checked against the integral

    QTest::newRow("ramp, the first line") << "ramp 1000 20000 60" << 1.0 << -1.0;
    QTest::newRow("ramp, the end of the ramp") << "ramp 1000 20000 60" << 630000.0 << 60.0;
    QTest::newRow("ramp, after it") << "ramp 1000 20000 60" << 830000.0 << 70.0;
    QTest::newRow("ramp from 0") << "ramp 0 100 10" << 500.0 << 10.0;
    QTest::newRow("a flat ramp") << "ramp 10 10 5" << 7.0 << 0.7;
    QTest::newRow("steps, within a step") << "steps 100 100 10 500" << 4500.0 << 25.0;
    QTest::newRow("steps, at UNTIL") << "steps 100 100 10 500" << 40000.0 << 100.0;
    QTest::newRow("steps from 0: the silent first step passed over") << "steps 0 10 1 30" << 10.0 << 2.0;
    QTest::newRow("steps, far into the steps") << "steps 1 1 1 100000" << 12345678.0 << -1.0;
    QTest::newRow("sine, rising") << "sine 1000 500 60" << 19000.0 << -1.0;
    QTest::newRow("sine, falling") << "sine 1000 500 60" << 45000.0 << -1.0;
    QTest::newRow("sine touching 0") << "sine 100 100 10" << 1000.0 << 10.0;
    QTest::newRow("sine, far on") << "sine 20000 15000 7" << 123456789.0 << -1.0;
    QTest::newRow("burst, the end of the peak") << "burst 100 5000 2 8" << 10000.0 << 2.0;
    QTest::newRow("burst, in the base") << "burst 100 5000 2 8" << 10001.0 << 2.01;
    QTest::newRow("burst of silence: the end of the peak, not the next cycle") << "burst 0 10 1 1" << 10.0 << 1.0;
    QTest::newRow("burst of silence, the next peak") << "burst 0 10 1 1" << 11.0 << 2.1;
    QTest::newRow("poisson: the mean's") << "poisson 1000" << 2500.0 << 2.5;
}

void TestRateProfile::lineTimeInvertsTheIntegral()
{
    QFETCH(QString, profile);
    QFETCH(double, n);
    QFETCH(double, t);

    const RateProfile p = profileOf(profile);
    const double at = p.lineTime(n);
    if (t >= 0) {
        QVERIFY2(std::abs(at - t) < 1e-9 * std::max(1.0, t), qPrintable(QString::number(at, 'g', 17)));
    }
    QVERIFY2(std::abs(p.integral(at) - n) < 1e-6 + 1e-12 * n, qPrintable(QString::number(p.integral(at), 'g', 17)));
    QVERIFY(p.lineTime(n - 0.5) <= at);
}

void TestRateProfile::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("label"); // empty: refused

    QTest::newRow("ramp") << "ramp 1000 20000 60"
                          << "ramp 1000-20000/60s";
    QTest::newRow("steps") << "steps 100 100 10 5000"
                           << "steps 100-5000 +100/10s";
    QTest::newRow("sine") << "sine 1000 500 60"
                          << "sine 1000+-500/60s";
    QTest::newRow("burst") << "burst 100 5000 2 8"
                           << "burst 100/5000 2s/8s";
    QTest::newRow("poisson, fractions") << "poisson 2.5"
                                        << "poisson 2.5";
    QTest::newRow("any case, blanks and tabs") << " RAMP\t1  2   0.5 "
                                               << "ramp 1-2/0.5s";
    QTest::newRow("too few numbers") << "ramp 5"
                                     << "";
    QTest::newRow("too many numbers") << "poisson 5 6"
                                      << "";
    QTest::newRow("an unknown form") << "wave 1 2 3"
                                     << "";
    QTest::newRow("a negative rate") << "ramp -1 2 3"
                                     << "";
    QTest::newRow("an exponent") << "ramp 1e3 2 3"
                                 << "";
    QTest::newRow("a comma") << "poisson 2,5"
                             << "";
    QTest::newRow("amplitude above the mean") << "sine 100 200 60"
                                              << "";
    QTest::newRow("UNTIL below FROM") << "steps 500 100 10 100"
                                      << "";
    QTest::newRow("a zero span") << "burst 1 5 0 8"
                                 << "";
    QTest::newRow("a zero mean") << "poisson 0"
                                 << "";
    QTest::newRow("above 10 million lines a second") << "poisson 10000001"
                                                     << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestRateProfile::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, label);

    const std::optional<RateProfile> p = RateProfile::parse(text.toStdString());
    QCOMPARE(p.has_value(), !label.isEmpty());
    if (p) {
        QCOMPARE(QString::fromStdString(p->label()), label);
    }
}

void TestRateProfile::poissonGapsAreExponential_data()
{
    QTest::addColumn<quint64>("stream");
    QTest::newRow("one firewall") << quint64(0);
    QTest::newRow("a fleet's firewall 8") << quint64(7);
}

void TestRateProfile::poissonGapsAreExponential()
{
    QFETCH(quint64, stream);
    const double mean = 250;
    LineSchedule schedule(profileOf(QStringLiteral("poisson 250")), stream);
    LineSchedule again(schedule.profile(), stream);
    LineSchedule neighbour(schedule.profile(), stream + 1);
    std::vector<double> gaps;
    double last = 0;
    int sharedWithNeighbour = 0;
    for (int i = 0; i < 10000; ++i) {
        const double t = schedule.next();
        QCOMPARE(again.next(), t); // the same arrivals in every run
        sharedWithNeighbour += neighbour.next() == t ? 1 : 0;
        gaps.push_back(t - last);
        last = t;
    }
    // Kolmogorov-Smirnov against 1 - exp(-mean x), under the 1% critical value.
    std::sort(gaps.begin(), gaps.end());
    const double n = static_cast<double>(gaps.size());
    double d = 0;
    for (std::size_t i = 0; i < gaps.size(); ++i) {
        const double f = 1 - std::exp(-mean * gaps[i]);
        d = std::max({d, static_cast<double>(i + 1) / n - f, f - static_cast<double>(i) / n});
    }
    QVERIFY2(d < 1.63 / std::sqrt(n), qPrintable(QString::number(d)));
    QCOMPARE(sharedWithNeighbour, 0); // the next firewall's arrivals are its own
}

void TestRateProfile::aScheduleThatFellBehindGoesOnWhereTheProfileIs()
{
    LineSchedule schedule(profileOf(QStringLiteral("ramp 1000 20000 60")));
    schedule.next();
    const double t = schedule.resumeAt(30);
    QVERIFY(t >= 30);
    // The first line not due before 30 s: the one after those the profile puts before it.
    QCOMPARE(t, schedule.profile().lineTime(172501));
    QCOMPARE(schedule.next(), schedule.profile().lineTime(172502));
}

QTEST_APPLESS_MAIN(TestRateProfile)
#include "tst_rateprofile.moc"
