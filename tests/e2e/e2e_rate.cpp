// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A run paced by a rate profile, from the real korvane-cli over UDP to the real harkwell on
// 127.0.0.1: what arrives in each second follows the profile, as does the CLI's own rate log.

#include "e2ekit.h"

#include <QTime>

#include <cmath>

using namespace korvane::e2e;

namespace {

// The profile of the run: 200 lines/s rising to 2000 over 5 s, the lines ending with the ramp.
constexpr double kFrom = 200;
constexpr double kTo = 2000;
constexpr int kSeconds = 5;

// The lines due from Play to t.
double due(double t)
{
    return kFrom * t + (kTo - kFrom) * t * t / (2 * kSeconds);
}

// When the first line is due: where due() reaches 1.
double firstLineTime()
{
    const double a = (kTo - kFrom) / (2 * kSeconds);
    return (-kFrom + std::sqrt(kFrom * kFrom + 4 * a)) / (2 * a);
}

const int kLines = static_cast<int>(std::lround(due(kSeconds)));

// What is wrong with the count of each second against the profile (10 % either way), or nothing.
QString perSecondProblem(const QString& what, const QList<qint64>& counts)
{
    QString report;
    bool off = counts.size() < kSeconds;
    for (int s = 0; s < std::min<int>(kSeconds, int(counts.size())); ++s) {
        const double expected = due(s + 1) - due(s);
        off = off || std::abs(double(counts[s]) - expected) > 0.1 * expected;
        report += QStringLiteral(" %1/%2").arg(counts[s]).arg(expected, 0, 'f', 0);
    }
    return off ? what + QStringLiteral(" per second (got/due):") + report : QString();
}

// The lines harkwell printed in each second since the first line was due, by the arrival time its
// verbose lines begin with (HH:mm:ss.zzz, local time).
QList<qint64> receivedPerSecond(const QList<QByteArray>& lines)
{
    QList<qint64> counts;
    std::optional<int> firstMs;
    constexpr int kDayMs = 24 * 3600 * 1000;
    for (const QByteArray& line : lines) {
        const QTime at = QTime::fromString(QString::fromLatin1(line.left(12)), QStringLiteral("HH:mm:ss.zzz"));
        if (!at.isValid()) {
            continue;
        }
        if (!firstMs) {
            firstMs = at.msecsSinceStartOfDay();
        }
        const int sinceFirst = (at.msecsSinceStartOfDay() - *firstMs + kDayMs) % kDayMs;
        const auto second = static_cast<qsizetype>((sinceFirst / 1000.0) + firstLineTime());
        if (counts.size() <= second) {
            counts.resize(second + 1, 0);
        }
        ++counts[second];
    }
    return counts;
}

QString countsText(const QList<qint64>& counts)
{
    QStringList texts;
    for (const qint64 count : counts) {
        texts.append(QString::number(count));
    }
    return texts.join(QLatin1Char(' '));
}

// The sent column of korvane-cli's rate log, a row per second.
QList<qint64> sentPerSecond(const QByteArray& csv)
{
    QList<qint64> counts;
    const QList<QByteArray> rows = csv.split('\n');
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QList<QByteArray> fields = rows[i].split(',');
        if (fields.size() == 4) {
            counts.append(fields[2].toLongLong());
        }
    }
    return counts;
}

} // namespace

class E2eRate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void rampArrivesAtItsRateEachSecond();
};

void E2eRate::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
}

void E2eRate::rampArrivesAtItsRateEachSecond()
{
    // A busy machine may hold either program back for part of a second: then the run is measured again.
    constexpr int kAttempts = 2;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        Workspace ws;
        std::unique_ptr<Harkwell> harkwell;
        quint16 port = 0;
        // The free port may be taken by another test between the probe and harkwell's bind: try another.
        for (int tries = 0; tries < 5 && !harkwell; ++tries) {
            port = freeUdpPort();
            QVERIFY(port != 0);
            harkwell = std::make_unique<Harkwell>(ws, port, QStringLiteral("harkwell%1").arg(tries),
                                                  QStringList{QStringLiteral("--verbose")});
            if (!harkwell->waitUntilListening()) {
                harkwell.reset();
            }
        }
        QVERIFY2(harkwell, "harkwell found no free port to listen on");

        const QByteArray profile =
            "ramp " + QByteArray::number(kFrom) + ' ' + QByteArray::number(kTo) + ' ' + QByteArray::number(kSeconds);
        QVERIFY(
            ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys({{"SyslogFile", "1"},
                                                                          {"HostIP", "127.0.0.1"},
                                                                          {"UDP_Port_Syslog", QByteArray::number(port)},
                                                                          {"RateProfile", profile},
                                                                          {"onetime", "0"},
                                                                          {"GenerationType", "0"}}))));
        QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(20))));
        Cli cli(ws.folder(), {QStringLiteral("--count"), QString::number(kLines), QStringLiteral("--rate-log"),
                              ws.path(QStringLiteral("rate.csv"))});
        const CliResult r = cli.wait(kSeconds * 1000 + 60000);
        QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
        // Datagrams on their way are printed soon; one the system dropped never is, so the wait ends anyway.
        waitUntil([&] { return harkwell->lines().size() >= kLines; }, 10000);
        QCOMPARE(harkwell->stop(), 0);

        const QList<QByteArray> lines = harkwell->lines();
        const QList<qint64> sent = sentPerSecond(ws.read(QStringLiteral("rate.csv")));
        QStringList problems;
        if (std::abs(double(lines.size()) - kLines) > 0.02 * kLines) {
            problems.append(QStringLiteral("%1 lines received of the %2 due").arg(lines.size()).arg(kLines));
        }
        for (const QString& problem : {perSecondProblem(QStringLiteral("sent"), sent),
                                       perSecondProblem(QStringLiteral("received"), receivedPerSecond(lines))}) {
            if (!problem.isEmpty()) {
                problems.append(problem);
            }
        }
        if (problems.isEmpty()) {
            qInfo("%lld lines received of %d; per second sent %s, received %s", qlonglong(lines.size()), kLines,
                  qPrintable(countsText(sent)), qPrintable(countsText(receivedPerSecond(lines))));
            return;
        }
        const QString report = problems.join(QStringLiteral("; "));
        if (attempt == kAttempts) {
            QFAIL(qPrintable(report + QLatin1Char('\n') + QString::fromLocal8Bit(harkwell->errors()) + r.errors));
        }
        qWarning("off the profile, measuring again: %s", qPrintable(report));
    }
}

QTEST_GUILESS_MAIN(E2eRate)
#include "e2e_rate.moc"
