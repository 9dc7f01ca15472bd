// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// How faithfully a real run keeps its rate: templates from SAMPLE.TXT go through the run driver
// and the UDP sink to a receiver thread on 127.0.0.1, and the datagrams are counted in one-second
// bins laid from the first line's due time (Play + Delay). Also: the fastest rate over UDP and
// into a file, how long the window waits for its turn meanwhile, the CPU spent waiting at Delay 1,
// resident memory over ten million lines, how soon Stop ends a run, and how closely each form of
// rate profile is followed, second by second, with the processor time per line, and how random
// the arrivals of a Poisson profile are on the wire. A measurement, not a test:
// run it by hand on a release build.
//
//     bench_rate [seconds per rate, default 5]

#include "engine/generationrun.h"
#include "engine/linereader.h"
#include "platform/filesink.h"
#include "platform/rundriver.h"
#include "platform/systemwallclock.h"
#include "platform/udpsink.h"
#include "settings/rateprofile.h"
#include "shippedsettings.h"
#include "udpreceiver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

using namespace korvane;
using Clock = std::chrono::steady_clock;
using std::chrono::duration;

namespace {

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return duration<double>(to - from).count();
}

// The sink a run writes to, counting the lines it takes and keeping why it failed.
class CountingSink final : public LineSink
{
public:
    CountingSink(LineSink& target, const std::function<void(std::int64_t)>& onLine) : m_target(target), m_onLine(onLine)
    {}
    SinkResult write(std::string_view line) override
    {
        SinkResult result = m_target.write(line);
        if (!result) {
            failure = result.reason();
            return result;
        }
        ++lines;
        if (m_onLine) {
            m_onLine(lines);
        }
        return result;
    }
    FlushResult flush() override { return kept(m_target.flush()); }
    FlushResult flushAndWait() override { return kept(m_target.flushAndWait()); }

    std::int64_t lines = 0;
    std::string failure;

private:
    FlushResult kept(FlushResult result)
    {
        if (!result) {
            failure = result.reason();
        }
        return result;
    }
    LineSink& m_target;
    const std::function<void(std::int64_t)>& m_onLine;
};

// The syslog receiver: the tests' own (tests/support/udpreceiver.h) on a thread of its own, with a
// receive buffer of 8 MB, so that what it counts is what the sender sent and when.
using korvane::test::UdpReceiver;
constexpr int kReceiverBuffer = 8 << 20;

// Once the sender is done and nothing more comes: the arrival time of every datagram on the steady
// clock (the kernel's stamps, moved by the distance between the two clocks).
std::vector<Clock::time_point> arrivalTimes(const UdpReceiver& receiver)
{
    receiver.waitQuiet();
    const auto offset = std::chrono::system_clock::now().time_since_epoch() - Clock::now().time_since_epoch();
    std::vector<Clock::time_point> times;
    for (const auto at : receiver.arrivalTimes()) {
        times.push_back(Clock::time_point(std::chrono::duration_cast<Clock::duration>(at.time_since_epoch() - offset)));
    }
    return times;
}

// A port on which nothing listens.
quint16 deadPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t len = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &len);
    ::close(fd);
    return ntohs(address.sin_port);
}

double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A delay far below what any sink keeps up with: the run goes as fast as it can.
constexpr double kFastest = 1e-9;

RunSettings templateSettings()
{
    RunSettings s;
    s.onePass = false; // endless passes over the 133 templates
    s.generationType = 0;
    s.realLogs = false;
    s.sourceFile = std::string(KORVANE_SOURCE_DIR) + "/data/SAMPLE.TXT";
    s.firewallName = "Pix-Inside-Demo";
    s.rewrite = korvane::bench::shippedRewriteValues();
    return s;
}

// Everything a run needs, as the window holds it.
struct Bench
{
    RunSettings settings = templateSettings();
    RunFlags flags;
    RunObserver observer;
    DefaultRandomSource random;
    SystemWallClock wall;
    SteadyClock steady;
    RunDriver driver{flags, steady};
    std::int64_t lines = 0;                   // taken by the sink in the last run
    std::function<void(std::int64_t)> onLine; // after each line the sink took, with their count

    // Plays a run into `sink`; Stop is pressed `stopAfter` seconds after Play (never when < 0,
    // then something else must end it). Returns when the run has ended.
    GenerationRun::Next play(LineSink& sink, double delay, double stopAfter, Clock::time_point* playedAt = nullptr)
    {
        CountingSink counting(sink, onLine);
        GenerationRun::Next how = GenerationRun::Next::Finished;
        QEventLoop loop;
        QObject::connect(&driver, &RunDriver::runEnded, &loop, [&](GenerationRun::Next next) {
            how = next;
            loop.quit();
        });
        QTimer stop;
        stop.setSingleShot(true);
        stop.setTimerType(Qt::PreciseTimer);
        QObject::connect(&stop, &QTimer::timeout, &loop, [this] { flags.StopRequested = true; });
        const Clock::time_point now = Clock::now();
        if (playedAt) {
            *playedAt = now;
        }
        if (stopAfter >= 0) {
            stop.start(int(std::lround(stopAfter * 1000)));
        }
        driver.start(std::make_unique<GenerationRun>(settings, flags, observer, counting, random, wall), delay);
        if (driver.running()) {
            loop.exec();
        }
        lines = counting.lines;
        if (how == GenerationRun::Next::Halted) {
            std::printf("  run failed: %s\n",
                        counting.failure.empty() ? "reading the source" : counting.failure.c_str());
        }
        return how;
    }
};

// Watches the event loop through a 0 ms timer, which fires once per turn: how long the window
// may have to wait for its turn during a run. The thread's own CPU time over the worst gap tells
// the driver's batches apart from the scheduler giving the core to other work.
class TurnWatch
{
public:
    TurnWatch()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { onTurn(); });
    }
    void start()
    {
        m_last = Clock::now();
        m_lastCpu = threadCpuSeconds();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

    std::string describe() const
    {
        char text[256];
        std::snprintf(text, sizeof text,
                      "a 0 ms timer fired at least every %.2f ms (%.2f ms of that gap on this thread's CPU); %d of %d"
                      " turns came after more than 6 ms; goal <= ~10 ms",
                      worstGap * 1000, worstGapCpu * 1000, m_over6, m_turns);
        return text;
    }

    double worstGap = 0;
    double worstGapCpu = 0;

private:
    void onTurn()
    {
        const Clock::time_point now = Clock::now();
        const double cpu = threadCpuSeconds();
        const double gap = secondsBetween(m_last, now);
        if (gap > worstGap) {
            worstGap = gap;
            worstGapCpu = cpu - m_lastCpu;
        }
        ++m_turns;
        m_over6 += gap > 0.006;
        m_last = now;
        m_lastCpu = cpu;
    }

    QTimer m_timer;
    Clock::time_point m_last;
    double m_lastCpu = 0;
    int m_turns = 0;
    int m_over6 = 0;
};

struct RateRow
{
    double delay;
    std::vector<int> bins;
    int early = 0;
    double worstDeviation = 0;
    double goal = 0;
    double cpuMain = -1;
    double cpuProcess = -1;
};

RateRow measureRate(Bench& bench, double delay, int seconds, double goal)
{
    UdpReceiver receiver(UdpReceiver::Keep::Times, kReceiverBuffer);
    UdpSink sink;
    if (const Result<> configured = sink.configure(QStringLiteral("127.0.0.1"), receiver.port()); !configured) {
        std::printf("configure: %s\n", configured.reason().c_str());
        std::exit(1);
    }
    Clock::time_point played;
    const double cpuMain0 = cpuSeconds(RUSAGE_THREAD);
    const double cpuProcess0 = cpuSeconds(RUSAGE_SELF);
    // Stop a little after the last bin closes; it takes effect at the end of that wait.
    bench.play(sink, delay, delay + seconds + 0.02, &played);
    const double wall = secondsBetween(played, Clock::now());
    RateRow row{delay, std::vector<int>(std::size_t(seconds), 0)};
    row.cpuMain = (cpuSeconds(RUSAGE_THREAD) - cpuMain0) / wall * 100;
    row.cpuProcess = (cpuSeconds(RUSAGE_SELF) - cpuProcess0) / wall * 100;
    row.goal = goal;

    const auto first = played + std::chrono::duration_cast<Clock::duration>(duration<double>(delay));
    for (const Clock::time_point t : arrivalTimes(receiver)) {
        const double at = secondsBetween(first, t);
        if (at < 0) {
            ++row.early;
            continue;
        }
        const auto bin = std::size_t(at);
        if (bin < row.bins.size()) {
            ++row.bins[bin];
        }
    }
    const double expected = 1 / delay;
    for (const int count : row.bins) {
        row.worstDeviation = std::max(row.worstDeviation, std::abs(count - expected) / expected * 100);
    }
    return row;
}

struct ProfileRow
{
    std::vector<int> bins;
    std::vector<double> due; // the profile's integral over each bin
    double worstDeviation = 0;
    double cpuPerLine = 0; // microseconds of the run thread
    double scheduleNs = 0; // of that, the profile's time of a line
};

// A run by a rate profile over UDP, counted in one-second bins from Play (the profile's clock).
ProfileRow measureProfile(Bench& bench, const std::string& text, int seconds)
{
    const RateProfile profile = *RateProfile::parse(text);
    UdpReceiver receiver(UdpReceiver::Keep::Times, kReceiverBuffer);
    UdpSink sink;
    if (const Result<> configured = sink.configure(QStringLiteral("127.0.0.1"), receiver.port()); !configured) {
        std::printf("configure: %s\n", configured.reason().c_str());
        std::exit(1);
    }
    bench.settings.rateProfile = text;
    Clock::time_point played;
    const double cpu0 = cpuSeconds(RUSAGE_THREAD);
    bench.play(sink, 1, seconds + 0.02, &played);
    const double cpu = cpuSeconds(RUSAGE_THREAD) - cpu0;
    bench.settings.rateProfile.clear();
    ProfileRow row;
    row.bins.assign(std::size_t(seconds), 0);
    row.cpuPerLine = bench.lines > 0 ? cpu / double(bench.lines) * 1e6 : 0;
    for (const Clock::time_point t : arrivalTimes(receiver)) {
        const double at = secondsBetween(played, t);
        if (at >= 0 && std::size_t(at) < row.bins.size()) {
            ++row.bins[std::size_t(at)];
        }
    }
    LineSchedule schedule(profile);
    double last = 0;
    const Clock::time_point from = Clock::now();
    for (int i = 0; i < 1'000'000; ++i) {
        const double t = schedule.next();
        if (!(t > last)) { // never true; it keeps the loop from being optimised away
            std::printf("  line %d not after the one before\n", i + 1);
        }
        last = t;
    }
    row.scheduleNs = secondsBetween(from, Clock::now()) * 1e3; // a million lines: ns per line
    for (std::size_t k = 0; k < row.bins.size(); ++k) {
        const double due = profile.integral(double(k + 1)) - profile.integral(double(k));
        row.due.push_back(due);
        row.worstDeviation = std::max(row.worstDeviation, std::abs(row.bins[k] - due) / due * 100);
    }
    return row;
}

// The counts of datagrams per 10 ms window on the wire, from Play for `seconds`, as their
// variance over their mean: about 1 for arrivals at random (a Poisson process), about 0 for a
// steady rate. The kernel's time stamps of arrival are used, so the receiver's own delays do not
// count.
double dispersionOnTheWire(Bench& bench, const std::string& profile, double delay, int seconds)
{
    UdpReceiver receiver(UdpReceiver::Keep::Times, kReceiverBuffer);
    UdpSink sink;
    if (const Result<> configured = sink.configure(QStringLiteral("127.0.0.1"), receiver.port()); !configured) {
        std::printf("configure: %s\n", configured.reason().c_str());
        std::exit(1);
    }
    bench.settings.rateProfile = profile;
    Clock::time_point played;
    bench.play(sink, delay, seconds + 0.02, &played);
    bench.settings.rateProfile.clear();
    constexpr double window = 0.01;
    // The first second is left out: a steady run's first line waits one delay after Play.
    std::vector<double> counts(std::size_t((seconds - 1) / window), 0);
    for (const Clock::time_point t : arrivalTimes(receiver)) {
        const double at = secondsBetween(played, t) - 1;
        if (at >= 0 && std::size_t(at / window) < counts.size()) {
            ++counts[std::size_t(at / window)];
        }
    }
    double mean = 0;
    for (const double c : counts) {
        mean += c;
    }
    mean /= double(counts.size());
    double variance = 0;
    for (const double c : counts) {
        variance += (c - mean) * (c - mean);
    }
    variance /= double(counts.size() - 1);
    return mean > 0 ? variance / mean : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    Bench bench;
    if (const Result<std::int64_t> lines = countLines(bench.settings.sourceFile); !lines || lines.value() < 2) {
        std::printf("cannot read %s\n", bench.settings.sourceFile.c_str());
        return 1;
    }
    bool allMet = true;
    auto verdict = [&](bool met) {
        allMet = allMet && met;
        return met ? "met" : "MISSED";
    };

    std::printf("Korvane rate fidelity: %s, %d s per rate, receiver buffer %d KB\n\n",
                bench.settings.sourceFile.c_str(), seconds,
                UdpReceiver(UdpReceiver::Keep::CountOnly, kReceiverBuffer).bufferBytes() / 1024);

    // 1. Fixed rates, one-second bins from the first line's due time.
    std::printf("%-9s %8s  %-44s %6s %9s %6s  %s\n", "Delay s", "lines/s", "datagrams per one-second bin", "early",
                "worst dev", "goal", "");
    std::vector<RateRow> rows;
    for (const auto& [delay, goal] :
         std::vector<std::pair<double, double>>{{1, 1.0}, {0.01, 1.0}, {0.001, 1.0}, {0.0001, 2.0}, {0.00001, 2.0}}) {
        RateRow row = measureRate(bench, delay, seconds, goal);
        std::string bins;
        for (const int count : row.bins) {
            bins += std::to_string(count) + " ";
        }
        const bool met = row.worstDeviation <= goal && row.early == 0;
        std::printf("%-9g %8.0f  %-44s %6d %8.2f%% %5.0f%%  %s\n", delay, 1 / delay, bins.c_str(), row.early,
                    row.worstDeviation, goal, verdict(met));
        rows.push_back(row);
    }

    // 2. CPU while waiting at Delay 1 (the first row above).
    const bool cpuMet = rows[0].cpuMain < 1.0;
    std::printf("\nCPU at Delay 1: run thread %.3f%% of a core, whole process %.3f%% (receiver included); goal < 1%%"
                "  %s\n",
                rows[0].cpuMain, rows[0].cpuProcess, verdict(cpuMet));

    // 3. As fast as it goes, over UDP to the receiver thread and into a file, with the window's
    //    turns watched; the receiver thread competes for the same two cores in the first.
    {
        // Counting only: the receiver thread competes for the same cores as the run.
        UdpReceiver receiver(UdpReceiver::Keep::CountOnly, kReceiverBuffer);
        UdpSink sink;
        if (!sink.configure(QStringLiteral("127.0.0.1"), receiver.port())) {
            return 1;
        }
        TurnWatch turns;
        Clock::time_point played;
        turns.start();
        bench.play(sink, kFastest, seconds, &played);
        const double wall = secondsBetween(played, Clock::now());
        turns.stop();
        const std::int64_t sent = bench.lines;
        receiver.waitQuiet();
        const auto received = std::int64_t(receiver.total());
        const double rate = double(sent) / wall;
        std::printf("\nFastest (Delay 1e-9), UDP: %.0f lines/s sent, %.0f received (%lld of %lld), goal >= 100000"
                    "  %s\n",
                    rate, double(received) / wall, static_cast<long long>(received), static_cast<long long>(sent),
                    verdict(rate >= 100000));
        std::printf("  %s  %s\n", turns.describe().c_str(), verdict(turns.worstGap <= 0.010));
    }
    // Into a file, templates and real logs (header cut), each line handed to the system before
    // every wait.
    for (const bool realLogs : {false, true}) {
        const std::string path = "/tmp/korvane-bench-rate-" + std::to_string(::getpid()) + ".txt";
        FileSink sink;
        if (const Result<> opened = sink.open(path, FileSink::Mode::Truncate); !opened) {
            std::printf("cannot open %s: %s\n", path.c_str(), opened.reason().c_str());
            return 1;
        }
        const RunSettings templates = bench.settings;
        if (realLogs) {
            bench.settings.realLogs = true;
            bench.settings.removeHeader = true;
            bench.settings.headerString = " %PIX";
            bench.settings.sourceFile = std::string(KORVANE_SOURCE_DIR) + "/data/KORVANE.TXT";
        }
        Clock::time_point played;
        const double fileSeconds = std::min(seconds, 3);
        TurnWatch turns;
        turns.start();
        bench.play(sink, kFastest, fileSeconds, &played);
        const double wall = secondsBetween(played, Clock::now());
        turns.stop();
        sink.close();
        bench.settings = templates;
        const double rate = double(bench.lines) / wall;
        const double goal = realLogs ? 2'000'000 : 1'500'000;
        std::printf("Fastest, file, %s: %.0f lines/s into %s, goal >= %.0f  %s\n", realLogs ? "real logs" : "templates",
                    rate, path.c_str(), goal, verdict(rate >= goal));
        std::printf("  %s  %s\n", turns.describe().c_str(), verdict(turns.worstGap <= 0.010));
        std::remove(path.c_str());
    }

    // 4. Resident memory over ten million lines at the fastest rate, into /dev/null.
    {
        FileSink sink;
        if (const Result<> opened = sink.open("/dev/null", FileSink::Mode::Append); !opened) {
            std::printf("cannot open /dev/null: %s\n", opened.reason().c_str());
            return 1;
        }
        const double before = residentMegabytes();
        double atTenThousand = 0;
        double atTenMillion = 0;
        bench.onLine = [&](std::int64_t lines) {
            if (lines == 10'000) {
                atTenThousand = residentMegabytes();
            } else if (lines == 10'000'000) {
                atTenMillion = residentMegabytes();
                bench.flags.StopRequested = true;
            }
        };
        bench.play(sink, kFastest, -1);
        bench.onLine = nullptr;
        const bool met = atTenMillion > 0 && atTenMillion - atTenThousand <= 20;
        std::printf("\nResident memory: %.1f MB before the run, %.1f MB after 10,000 lines, %.1f MB after 10,000,000"
                    " (growth %.1f MB); goal within 20 MB  %s\n",
                    before, atTenThousand, atTenMillion, atTenMillion - atTenThousand, verdict(met));
    }

    // 5. Stop at Delay 0.5: pressed in the middle of a wait, and just after a line went out.
    std::printf("\n");
    for (const bool afterLine : {false, true}) {
        UdpSink sink;
        if (!sink.configure(QStringLiteral("127.0.0.1"), deadPort())) {
            return 1;
        }
        Clock::time_point pressed;
        if (afterLine) {
            bench.onLine = [&](std::int64_t) {
                pressed = Clock::now();
                bench.flags.StopRequested = true;
            };
        }
        QTimer press;
        press.setSingleShot(true);
        press.setTimerType(Qt::PreciseTimer);
        QObject::connect(&press, &QTimer::timeout, [&] {
            pressed = Clock::now();
            bench.flags.StopRequested = true;
        });
        if (!afterLine) {
            press.start(750); // between the lines due at 0.5 s and 1 s
        }
        bench.play(sink, 0.5, -1);
        const double latency = secondsBetween(pressed, Clock::now());
        bench.onLine = nullptr;
        std::printf("Stop at Delay 0.5 %-22s ended the run %.0f ms later; goal <= 600 ms  %s\n",
                    afterLine ? "just after a line:" : "in the middle of a wait:", latency * 1000,
                    verdict(latency <= 0.6));
    }

    // 6. Rate profiles up to 100,000 lines a second: each second's datagrams against the profile.
    std::printf("\nRate profiles, %d s each, one-second bins from Play (received / due):\n", seconds);
    const std::string span = std::to_string(seconds);
    for (const std::string& text :
         {"ramp 1000 100000 " + span, std::string("steps 10000 20000 1 100000"), "sine 50000 40000 " + span,
          std::string("burst 5000 80000 1 1"), std::string("poisson 50000")}) {
        const ProfileRow row = measureProfile(bench, text, seconds);
        std::string bins;
        for (std::size_t k = 0; k < row.bins.size(); ++k) {
            bins += std::to_string(row.bins[k]) + "/" + std::to_string(std::lround(row.due[k])) + " ";
        }
        std::printf("%-28s %s\n  worst dev %.2f%%, goal 2%%, %.2f us of the run thread per line (%.0f ns the line's"
                    " time)  %s\n",
                    text.c_str(), bins.c_str(), row.worstDeviation, row.cpuPerLine, row.scheduleNs,
                    verdict(row.worstDeviation <= 2));
    }

    // 7. Arrivals at random as a collector feels them: counts per 10 ms window on the wire.
    {
        const int span = std::max(seconds, 3);
        const double poisson = dispersionOnTheWire(bench, "poisson 5000", 1, span);
        const double steady = dispersionOnTheWire(bench, "", 0.0002, span);
        std::printf("\nDatagrams per 10 ms window on the wire, variance over mean, 5,000 lines/s for %d s:\n"
                    "  poisson 5000 %.3f (goal 0.8 to 1.25)  %s\n  Delay 0.0002 %.3f (goal below 0.2)  %s\n",
                    span - 1, poisson, verdict(poisson >= 0.8 && poisson <= 1.25), steady, verdict(steady < 0.2));
    }

    std::printf("\n%s\n", allMet ? "All goals met." : "Some goals were MISSED.");
    return allMet ? 0 : 1;
}
