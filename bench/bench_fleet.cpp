// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A fleet of firewalls from one korvane-cli over UDP, set beside one firewall at the same aggregate
// rate and beside loggen: every row sends 150-byte-ish lines to one receiver thread on 127.0.0.1,
// which counts them in one-second bins laid from the first datagram; a row's rate is the median of
// its inner bins (the first and last are dropped), its worst deviation the farthest inner bin from
// the rate asked for, its processor time per line that of the whole sending process over the inner
// seconds, its resident memory the sender's at the end of them. A measurement, not a test: run it
// by hand on a release build.
//
//     bench_fleet [--quick] [--rounds N] [seconds per row, default 10]
//
// --quick leaves out the 10,000-firewall and fastest-rate rows; --rounds runs the rows set beside
// loggen N times in turn and ends with their medians, as one run of a busy machine misleads. loggen comes from Debian's
// syslog-ng-core, unpacked and never installed: scripts/fetch-loggen puts it in build/loggen, or
// KORVANE_LOGGEN_DIR names another place; without it its rows are skipped.

#include "e2ekit.h"
#include "processkit.h"
#include "udpreceiver.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace {

namespace e2e = korvane::e2e;
namespace fs = std::filesystem;
using namespace korvane::bench;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using Receiver = korvane::test::UdpReceiver;

struct Row
{
    Row(std::string rowName, double rowTarget) : name(std::move(rowName)), target(rowTarget) {}
    std::string name;
    double target = 0; // lines/s asked for; 0: as fast as it goes
    std::string skipped;
    std::vector<long> bins;
    double rate = 0;
    double worstDeviation = -1; // percent
    double cpuPerLineUs = -1;
    double rssKb = -1;
    std::uint64_t drops = 0;
};

// Counts a sender already started: bins from its first datagram, processor time and memory over
// the inner seconds.
void measure(Receiver& receiver, int seconds, pid_t pid, Row& row)
{
    const std::optional<Clock::time_point> origin = receiver.firstArrival(30s);
    if (!origin) {
        row.skipped = "no datagram arrived";
        return;
    }
    std::this_thread::sleep_until(*origin + 1s);
    const std::function<double()> cpu = processCpu(pid);
    const double cpuStart = cpu();
    std::this_thread::sleep_until(*origin + std::chrono::seconds(seconds - 1));
    const double cpuEnd = cpu();
    row.rssKb = residentKb(pid);
    std::this_thread::sleep_until(*origin + std::chrono::seconds(seconds) + 50ms);
    row.bins = receiver.bins(seconds);
    const std::vector<long> inner(row.bins.begin() + 1, row.bins.end() - 1);
    row.rate = median(inner);
    long lines = 0;
    for (const long count : inner) {
        lines += count;
        if (row.target > 0) {
            row.worstDeviation = std::max(row.worstDeviation, std::abs(double(count) - row.target) / row.target * 100);
        }
    }
    if (lines > 0 && cpuStart >= 0 && cpuEnd >= cpuStart) {
        row.cpuPerLineUs = (cpuEnd - cpuStart) / double(lines) * 1e6;
    }
    row.drops = receiver.drops();
}

// korvane-cli of this build in a fresh folder: the shipped templates, one line every `delay` per
// firewall, `fleet` firewalls (0: without --fleet) from `source` on.
Row korvaneRow(int seconds, const std::string& name, double target, int fleet, double delay, const char* source)
{
    Row row(name, target);
    Receiver receiver(Receiver::Keep::CountOnly);
    e2e::Workspace folder;
    const fs::path data = fs::path(KORVANE_SOURCE_DIR) / "data";
    std::string ini = "[Settings]\r\nRealLogFile=0\r\nonetime=0\r\nGenerationType=0\r\nSyslogFile=1\r\n"
                      "HostIP=127.0.0.1\r\nSyslogFormat=1\r\nUDP_Port_Syslog=" +
                      std::to_string(receiver.port()) + "\r\n";
    char delayText[32];
    std::snprintf(delayText, sizeof delayText, "%.9g", delay);
    ini += std::string("Delay=") + delayText + "\r\n";
    if (source != nullptr) {
        ini += std::string("SourceAddress=") + source + "\r\n";
    }
    if (!folder.write(QStringLiteral("korvane.ini"), QByteArray::fromStdString(ini)) ||
        !folder.write(QStringLiteral("SAMPLE.TXT"), QByteArray::fromStdString(readFile(data / "SAMPLE.TXT")))) {
        row.skipped = "the folder could not be made";
        return row;
    }
    QStringList arguments = {QStringLiteral("--quiet"), QStringLiteral("--duration"), QString::number(seconds + 2)};
    if (fleet > 0) {
        arguments << QStringLiteral("--fleet") << QString::number(fleet);
    }
    e2e::Program cli;
    if (!cli.start(QStringLiteral(KORVANE_CLI_EXECUTABLE), arguments, QProcessEnvironment::systemEnvironment(),
                   folder.folder(), folder.root() + QStringLiteral("/cli.log"))) {
        row.skipped = "korvane-cli did not start";
        return row;
    }
    measure(receiver, seconds, pid_t(cli.pid()), row);
    if (!cli.waitForExit(30'000)) {
        cli.signal(SIGKILL);
    }
    if (!row.skipped.empty()) {
        std::printf("  %s: %s\n%s\n", name.c_str(), row.skipped.c_str(), qPrintable(cli.log()));
    }
    return row;
}

Row loggenRow(int seconds, const std::string& name, double rate, double target)
{
    Row row(name, target);
    const fs::path dir = loggenFolder(KORVANE_SOURCE_DIR);
    if (!fs::exists(dir / "usr/bin/loggen")) {
        row.skipped = "no loggen in " + dir.string() + " (scripts/fetch-loggen)";
        return row;
    }
    Receiver receiver(Receiver::Keep::CountOnly);
    e2e::Workspace folder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), QString::fromStdString((dir / "usr/lib/x86_64-linux-gnu").string() +
                                                                         ":" + (dir / "usr/lib/syslog-ng").string()));
    env.insert(QStringLiteral("SYSLOGNG_PREFIX"), QString::fromStdString((dir / "usr").string()));
    e2e::Program loggen;
    const QStringList arguments = {
        QStringLiteral("-D"),  QStringLiteral("-r"),         QString::number(std::llround(rate)),
        QStringLiteral("-I"),  QString::number(seconds + 1), QStringLiteral("-s"),
        QStringLiteral("150"), QStringLiteral("127.0.0.1"),  QString::number(receiver.port())};
    if (!loggen.start(QString::fromStdString((dir / "usr/bin/loggen").string()), arguments, env, folder.folder(),
                      folder.root() + QStringLiteral("/loggen.log"))) {
        row.skipped = "loggen did not start";
        return row;
    }
    measure(receiver, seconds, pid_t(loggen.pid()), row);
    if (!loggen.waitForExit(10'000)) {
        loggen.signal(SIGKILL);
    }
    return row;
}

void print(const Row& row)
{
    if (!row.skipped.empty()) {
        std::printf("%-46s skipped: %s\n", row.name.c_str(), row.skipped.c_str());
        return;
    }
    std::printf("%-46s %10.0f/s  worst %6s  cpu %6s us/line  rss %8.0f KB  drops %llu  bins", row.name.c_str(),
                row.rate,
                row.worstDeviation >= 0 ? (std::to_string(row.worstDeviation).substr(0, 4) + "%").c_str() : "-",
                row.cpuPerLineUs >= 0 ? std::to_string(row.cpuPerLineUs).substr(0, 5).c_str() : "-", row.rssKb,
                static_cast<unsigned long long>(row.drops));
    for (const long bin : row.bins) {
        std::printf(" %ld", bin);
    }
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    bool quick = false;
    int seconds = 10;
    int rounds = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--quick") {
            quick = true;
        } else if (word == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            seconds = std::max(4, std::atoi(argv[i]));
        }
    }
    std::printf("bench_fleet: %d s per row, %d round(s), on %ld processors (shared with whatever else runs)\n", seconds,
                rounds, ::sysconf(_SC_NPROCESSORS_ONLN));
    std::vector<Row> rows;
    const auto run = [&rows](Row row) {
        print(row);
        rows.push_back(std::move(row));
    };
    run(korvaneRow(seconds, "fleet 1 x Delay 0.01 (baseline memory)", 100, 1, 0.01, "127.0.1.1"));
    if (!quick) {
        run(korvaneRow(seconds, "fleet 10000 x Delay 1 from 127.0.1.1+", 10'000, 10'000, 1, "127.0.1.1"));
    }
    // The rows set beside loggen, round after round, so that a machine busy for a while weighs on
    // each of them alike.
    std::vector<std::function<Row()>> compared = {
        [&] {
            return korvaneRow(seconds, "fleet 1000 x Delay 0.01 from 127.0.1.1+", 100'000, 1000, 0.01, "127.0.1.1");
        },
        [&] { return korvaneRow(seconds, "one firewall, Delay 0.00001", 100'000, 0, 0.00001, nullptr); },
        [&] { return loggenRow(seconds, "loggen -r 100000", 100'000, 100'000); },
    };
    if (!quick) {
        compared.push_back([&] {
            return korvaneRow(seconds, "fleet 1000, fastest (Delay 0.000001)", 0, 1000, 0.000001, "127.0.1.1");
        });
        compared.push_back(
            [&] { return korvaneRow(seconds, "one firewall, fastest (Delay 0.0000001)", 0, 0, 0.0000001, nullptr); });
        compared.push_back([&] { return loggenRow(seconds, "loggen -r 2000000 (fastest)", 2'000'000, 0); });
    }
    std::vector<std::vector<Row>> byRow(compared.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < compared.size(); ++i) {
            Row row = compared[i]();
            print(row);
            byRow[i].push_back(row);
            if (round == 0) {
                rows.push_back(std::move(row));
            }
        }
    }
    // Memory a firewall adds, against the fleet of one.
    for (const Row& row : rows) {
        const bool thousand = row.name.rfind("fleet 1000 x", 0) == 0;
        const bool tenThousand = row.name.rfind("fleet 10000", 0) == 0;
        if ((thousand || tenThousand) && row.rssKb > 0 && rows[0].rssKb > 0) {
            const int firewalls = thousand ? 1000 : 10000;
            std::printf("resident memory per firewall beyond one: %.1f KB (%d firewalls)\n",
                        (row.rssKb - rows[0].rssKb) / (firewalls - 1), firewalls);
        }
    }
    // Medians over the rounds, each set beside the loggen row of its group (the last of each three).
    const auto medianOf = [](const std::vector<Row>& rounds, double Row::*field) {
        std::vector<double> values;
        for (const Row& row : rounds) {
            if (row.skipped.empty() && row.*field >= 0) {
                values.push_back(row.*field);
            }
        }
        return values.empty() ? -1.0 : median(values);
    };
    std::printf("median of %d round(s):\n", rounds);
    for (std::size_t i = 0; i < byRow.size(); ++i) {
        const std::size_t loggen = i - i % 3 + 2;
        const double rate = medianOf(byRow[i], &Row::rate);
        const double cpu = medianOf(byRow[i], &Row::cpuPerLineUs);
        const double loggenRate = medianOf(byRow[loggen], &Row::rate);
        const double loggenCpu = medianOf(byRow[loggen], &Row::cpuPerLineUs);
        std::printf("  %-46s %10.0f/s  cpu %6.3f us/line", byRow[i].front().name.c_str(), rate, cpu);
        if (i != loggen && loggenRate > 0 && loggenCpu > 0) {
            std::printf("  = %.2f x loggen's rate, %.2f x its cpu per line", rate / loggenRate, cpu / loggenCpu);
        }
        std::printf("\n");
    }
    return 0;
}
