// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/trafficclock.h"
#include "engine/trafficmodel.h"

#include <QRegularExpression>
#include <QString>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A traffic model's lines read back into what they say, for the tests.
namespace korvane::test {

// The shipped templates, one string a line.
inline std::vector<std::string> shippedCatalogue()
{
    std::ifstream in(qEnvironmentVariable("KORVANE_SOURCE_DIR").toStdString() + "/data/SAMPLE.TXT", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

inline RunSettings trafficSettings(double delay, int connections, double meanDuration, double denyShare)
{
    RunSettings s;
    s.delay = delay;
    s.traffic.enabled = true;
    s.traffic.connections = connections;
    s.traffic.meanDuration = meanDuration;
    s.traffic.denyShare = denyShare;
    s.traffic.srcNet = "198.51.100.0/24";
    s.traffic.dstNet = "10.10.0.0/16";
    s.rewrite.srcIp = {"194.98.65.10", "193.10.22.23", "193.50.60.70", "195.60.61.62", "193.99.98.99"};
    s.rewrite.dstIp = {"10.10.12.12", "10.10.12.20", "10.10.12.30", "10.10.12.40", "10.11.11.1"};
    s.rewrite.gatewayIp = "10.11.11.11";
    s.rewrite.userName = "PIX_User";
    return s;
}

// One line as a test reads it: its id, time, and the fields of the endpoints it names.
struct TrafficLine
{
    std::int64_t number = 0;
    std::int64_t timeUs = 0;
    QString id; // "302013"
    int severity = 0;
    QString text;     // after the id
    QString protocol; // TCP or UDP, for connections
    qint64 connection = 0;
    QString outside; // address/port: the source of a deny, the outside end of a connection
    QString inside;  // the destination of a deny, the inside end
    qint64 durationSeconds = -1;
    qint64 bytes = -1;
    bool deny() const { return id == "106023" || id == "106001" || id == "106015" || id == "710003"; }
    QString source() const { return outside.section(QLatin1Char('/'), 0, 0); }
    QString target() const { return inside.section(QLatin1Char('/'), 0, 0); }
    int targetPort() const { return inside.section(QLatin1Char('/'), 1, 1).toInt(); }
};

inline TrafficLine readTrafficLine(const std::string& message)
{
    static const QRegularExpression tag(QStringLiteral(R"(^%PIX-(\d)-(\d{6}): (.*)$)"));
    static const QRegularExpression connection(QStringLiteral(
        R"((?:Built \w+|Teardown) (TCP|UDP) connection (\d+) for outside:([\d.]+/\d+).* to inside:([\d.]+/\d+))"));
    static const QRegularExpression duration(QStringLiteral(R"(duration (\d+):(\d\d):(\d\d) bytes (\d+))"));
    static const QRegularExpression endpoints(QStringLiteral(R"((\d+\.\d+\.\d+\.\d+/\d+).*?(\d+\.\d+\.\d+\.\d+/\d+))"));
    TrafficLine t;
    const QRegularExpressionMatch m = tag.match(QString::fromStdString(message));
    if (!m.hasMatch()) {
        return t;
    }
    t.severity = m.captured(1).toInt();
    t.id = m.captured(2);
    t.text = m.captured(3);
    if (const QRegularExpressionMatch c = connection.match(t.text); c.hasMatch()) {
        t.protocol = c.captured(1);
        t.connection = c.captured(2).toLongLong();
        t.outside = c.captured(3);
        t.inside = c.captured(4);
    } else if (const QRegularExpressionMatch e = endpoints.match(t.text); e.hasMatch()) {
        t.outside = e.captured(1);
        t.inside = e.captured(2);
    }
    if (const QRegularExpressionMatch d = duration.match(t.text); d.hasMatch()) {
        t.durationSeconds =
            d.captured(1).toLongLong() * 3600 + d.captured(2).toLongLong() * 60 + d.captured(3).toLongLong();
        t.bytes = d.captured(4).toLongLong();
    }
    return t;
}

// `lines` lines of a model on `settings`, each read back, with the connections open after each.
struct TrafficRun
{
    std::vector<TrafficLine> lines;
    std::vector<std::size_t> open;
    std::vector<ScenarioTruth> scenarios;
};

inline TrafficRun runTraffic(const RunSettings& settings, std::int64_t lines, RandomSource& random,
                             const std::vector<std::string>& catalogue = shippedCatalogue())
{
    TrafficModel model(settings, catalogue, random);
    TrafficClock clock(settings);
    TrafficRun run;
    std::string message;
    for (std::int64_t n = 1; n <= lines; ++n) {
        const double now = clock.timeOf(n);
        if (!model.make(n, now, message)) {
            break;
        }
        TrafficLine line = readTrafficLine(message);
        line.number = n;
        line.timeUs = std::llround(now * 1e6);
        run.lines.push_back(line);
        run.open.push_back(model.openConnections());
    }
    run.scenarios = model.scenarios();
    return run;
}

} // namespace korvane::test
