// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// korvane-cli with Traffic=1 and a port scan: a rule of this test's own, which knows nothing of the
// model, reads GENERATE.TXT as a collector would and names the one source that scanned, at the time
// the run's manifest says.
#include "e2ekit.h"
#include "receiverkit.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <map>
#include <set>
#include <utility>

using namespace korvane::e2e;

namespace {

// A source that reaches this many distinct ports of the inside within the window is scanning.
constexpr int kScanPorts = 10;
constexpr qint64 kScanWindowSeconds = 60;

// Who tried which port when, from the lines where the outside starts the traffic: denies and
// inbound connections.
struct Attempt
{
    qint64 second = 0; // of the line's own time stamp
    int line = 0;      // from 1
    QString source;
    int port = 0;
};

std::vector<Attempt> attemptsIn(const QList<QByteArray>& lines)
{
    static const QRegularExpression stamp(QStringLiteral(R"(^(\d\d \w{3} \d{4} \d\d:\d\d:\d\d) )"));
    static const QRegularExpression denied(QStringLiteral(
        R"(%PIX-\d-(?:106023|106001|106015|710003): .*?(\d+\.\d+\.\d+\.\d+)/\d+.*?\d+\.\d+\.\d+\.\d+/(\d+))"));
    static const QRegularExpression inbound(
        QStringLiteral(R"(%PIX-\d-302013: Built inbound .* for outside:([\d.]+)/\d+ .* to inside:[\d.]+/(\d+))"));
    std::vector<Attempt> attempts;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromLatin1(lines[i]);
        QRegularExpressionMatch t = denied.match(line);
        if (!t.hasMatch()) {
            t = inbound.match(line); // a connection the outside started
        }
        const QRegularExpressionMatch s = stamp.match(line);
        if (!t.hasMatch() || !s.hasMatch()) {
            continue;
        }
        const QDateTime when = QLocale::c().toDateTime(s.captured(1), QStringLiteral("dd MMM yyyy HH:mm:ss"));
        attempts.push_back({when.toSecsSinceEpoch(), i + 1, t.captured(1), t.captured(2).toInt()});
    }
    return attempts;
}

// Each source that reached kScanPorts distinct ports within a window, with the line where it did.
std::map<QString, int> scanners(const std::vector<Attempt>& attempts)
{
    std::map<QString, std::vector<const Attempt*>> bySource;
    for (const Attempt& a : attempts) {
        bySource[a.source].push_back(&a);
    }
    std::map<QString, int> found;
    for (const auto& [source, tries] : bySource) {
        std::size_t first = 0;
        std::map<int, int> ports; // port -> tries in the window
        for (const Attempt* a : tries) {
            ++ports[a->port];
            while (a->second - tries[first]->second > kScanWindowSeconds) {
                if (--ports[tries[first]->port] == 0) {
                    ports.erase(tries[first]->port);
                }
                ++first;
            }
            if (static_cast<int>(ports.size()) >= kScanPorts) {
                found.emplace(source, a->line);
                break;
            }
        }
    }
    return found;
}

} // namespace

class E2eTraffic : public QObject
{
    Q_OBJECT

private slots:
    void scanIsFoundFromItsSourceAtItsTime();
};

void E2eTraffic::scanIsFoundFromItsSourceAtItsTime()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), shippedFile(QStringLiteral("SAMPLE.TXT"))));
    // 10000 lines a second: the scan's window is lines 20000 to 29999.
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys({{"Delay", "0.0001"},
                                                                          {"onetime", "0"},
                                                                          {"Traffic", "1"},
                                                                          {"Connections", "500"},
                                                                          {"SRC_NET", "198.51.100.0/24"},
                                                                          {"DST_NET", "10.10.0.0/16"},
                                                                          {"Scenarios", "portscan@2+1"}}))));
    const CliResult run =
        Cli(ws.folder(), {QStringLiteral("--count"), QStringLiteral("40000"), QStringLiteral("--new"),
                          QStringLiteral("--quiet"), QStringLiteral("--manifest"), QStringLiteral("run.json")})
            .wait(120000);
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(run.errors));

    const QJsonArray scenarios = QJsonDocument::fromJson(ws.read(QStringLiteral("run.json")))
                                     .object()
                                     .value(QStringLiteral("scenarios"))
                                     .toArray();
    QCOMPARE(scenarios.size(), 1);
    const QJsonObject scan = scenarios.first().toObject();
    QCOMPARE(scan.value(QStringLiteral("kind")).toString(), QStringLiteral("portscan"));

    const QList<QByteArray> lines = textLines(ws.read(QStringLiteral("GENERATE.TXT")));
    QCOMPARE(lines.size(), 40000);
    const std::map<QString, int> found = scanners(attemptsIn(lines));
    QCOMPARE(found.size(), std::size_t(1));
    QCOMPARE(found.begin()->first, scan.value(QStringLiteral("source")).toString());
    const int at = found.begin()->second;
    QVERIFY2(at >= scan.value(QStringLiteral("first_line")).toInt() &&
                 at <= scan.value(QStringLiteral("last_line")).toInt(),
             qPrintable(QString::number(at)));
}

QTEST_GUILESS_MAIN(E2eTraffic)
#include "e2e_traffic.moc"
