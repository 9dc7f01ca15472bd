// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// How fast the real window sends templates over UDP, set beside what the machine allows: raw
// sendto() and sendmmsg() loops in this process and, when it is unpacked, loggen, a general syslog
// load generator. Every source sends to the same receiver thread on 127.0.0.1, which counts the
// datagrams it gets in one-second bins laid from the first one; a row's rate is the median of its
// inner bins (the first and last are dropped). At 100,000 lines/s it also tells the sender's CPU per
// line, the worst inner bin and the first bin. A measurement, not a test: run it by hand on a
// release build. The window rows start the korvane of this build on a private Xvfb and drive it with
// xdotool, through the end-to-end tests' kit (tests/e2e/e2ekit.h), whose receiver it shares too.
//
//     bench_speed [seconds per row, default 5]
//
// loggen comes from Debian's syslog-ng-core, unpacked and never installed (it conflicts with
// rsyslog): scripts/fetch-loggen puts it in build/loggen, or KORVANE_LOGGEN_DIR names another place.

#include "e2ekit.h"
#include "processkit.h"
#include "udpreceiver.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

namespace {

namespace e2e = korvane::e2e;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using namespace korvane::bench;

constexpr int kDatagramBytes = 150;
constexpr int kMaxBins = korvane::test::UdpReceiver::maxBins;
constexpr double kSlowRate = 100'000;

// 1234567 as "1,234,567", so that rates of different size read at a glance.
std::string grouped(double value)
{
    const std::string digits = std::to_string(std::llround(std::abs(value)));
    std::string text = value < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            text += ',';
        }
        text += digits[i];
    }
    return text;
}

std::string format(const char* pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// --- Receiver ------------------------------------------------------------------------------------

// The syslog receiver every source sends to, the tests' own (tests/support/udpreceiver.h), counting
// only: one thread draining the socket with recvmmsg() into one-second bins laid from the first
// datagram after resetBins(), so that the time a source takes to start counts in no bin. The kernel's
// drop counter (SO_RXQ_OVFL) tells when the receiver, not the sender, was the limit.
using Receiver = korvane::test::UdpReceiver;

// --- Rows ----------------------------------------------------------------------------------------

struct Row
{
    explicit Row(std::string rowName, double rowTarget = 0) : name(std::move(rowName)), target(rowTarget) {}

    std::string name;
    double target = 0;   // lines/s asked for; 0: as fast as it goes
    std::string skipped; // why it was not measured; empty when it was
    std::vector<long> bins;
    double rate = 0; // median of the inner bins
    double cpuPerLineUs = -1;
    double worstDeviation = -1; // percent, inner bins against the target
    std::uint64_t drops = 0;
    std::string note;

    bool measured() const { return skipped.empty() && !bins.empty(); }
};

// Counts a source that is already sending: bins from its first datagram, CPU over the inner
// seconds (cpuNow() in seconds, or null), then leaves it to the caller to stop the source.
void measure(Receiver& receiver, int seconds, const std::function<double()>& cpuNow, Row& row,
             std::chrono::milliseconds firstTimeout = 20s)
{
    const std::optional<Clock::time_point> origin = receiver.firstArrival(firstTimeout);
    if (!origin) {
        row.skipped = "no datagram arrived";
        return;
    }
    std::this_thread::sleep_until(*origin + 1s);
    const double cpuStart = cpuNow ? cpuNow() : 0;
    std::this_thread::sleep_until(*origin + std::chrono::seconds(seconds - 1));
    const double cpuEnd = cpuNow ? cpuNow() : 0;
    // A little past the last bin's end, for the batch that closes it.
    std::this_thread::sleep_until(*origin + std::chrono::seconds(seconds) + 50ms);
    row.bins = receiver.bins(seconds);
    const std::vector<long> inner(row.bins.begin() + 1, row.bins.end() - 1);
    row.rate = median(inner);
    long innerLines = 0;
    for (const long count : inner) {
        innerLines += count;
    }
    if (cpuNow && innerLines > 0 && cpuEnd >= cpuStart) {
        row.cpuPerLineUs = (cpuEnd - cpuStart) / double(innerLines) * 1e6;
    }
    if (row.target > 0) {
        row.worstDeviation = 0;
        for (const long count : inner) {
            row.worstDeviation = std::max(row.worstDeviation, std::abs(double(count) - row.target) / row.target * 100);
        }
    }
}

// --- Child processes -----------------------------------------------------------------------------

// Ends a program with SIGTERM, SIGKILL when it has not ended after 10 s; how it ended.
std::string endOnSigterm(e2e::Program& program)
{
    if (!program.running()) {
        return "had ended, " + program.howItEnded().toStdString();
    }
    if (program.stop(10'000)) {
        return "ended on SIGTERM, " + program.howItEnded().toStdString();
    }
    return "did not end on SIGTERM within 10 s; SIGKILL, " + program.howItEnded().toStdString();
}

// --- Korvane's window ----------------------------------------------------------------------------

// The shipped korvane.ini with some keys changed; keys it lacks are added to its Settings section.
std::string iniWith(std::string text, const std::vector<std::pair<std::string, std::string>>& values)
{
    for (const auto& [key, value] : values) {
        const std::string start = "\n" + key + "=";
        const std::size_t at = text.find(start);
        if (at == std::string::npos) {
            text += key + "=" + value + "\r\n";
            continue;
        }
        const std::size_t from = at + start.size();
        const std::size_t end = text.find_first_of("\r\n", from);
        text.replace(from, (end == std::string::npos ? text.size() : end) - from, value);
    }
    return text;
}

// The real korvane in a fresh folder of its own, sending SAMPLE.TXT's templates to the receiver at
// the given delay, driven through its window as an operator would drive it.
class KorvaneWindow
{
public:
    KorvaneWindow(const e2e::XServer& server, std::uint16_t port, const std::string& delay) : m_desktop(server)
    {
        if (!m_workspace.ok()) {
            m_failure = "no temporary folder";
            return;
        }
        const fs::path data = fs::path(KORVANE_SOURCE_DIR) / "data";
        const std::string ini = iniWith(readFile(data / "korvane.ini"), {{"Delay", delay},
                                                                         {"onetime", "0"},
                                                                         {"GenerationType", "0"},
                                                                         {"RealLogFile", "0"},
                                                                         {"SyslogFile", "1"},
                                                                         {"HostIP", "127.0.0.1"},
                                                                         {"UDP_Port_Syslog", std::to_string(port)}});
        const std::string templates = readFile(data / "SAMPLE.TXT");
        if (templates.empty() ||
            !m_workspace.write(QStringLiteral("SAMPLE.TXT"), QByteArray::fromStdString(templates)) ||
            !m_workspace.write(QStringLiteral("korvane.ini"), QByteArray::fromStdString(ini))) {
            m_failure = "cannot prepare " + m_workspace.folder().toStdString();
            return;
        }
        m_korvane.emplace(m_workspace, server, QStringLiteral("korvane.log"), QStringLiteral(KORVANE_EXECUTABLE));
        if (!m_korvane->started()) {
            m_failure = std::string("cannot start ") + KORVANE_EXECUTABLE;
        }
    }

    qint64 pid() const { return m_korvane ? m_korvane->pid() : -1; }
    const std::string& failure() const { return m_failure; }
    std::string log() const { return m_korvane ? m_korvane->log().toStdString() : std::string(); }

    // Waits for the window, answers what it asks on the way, opens the full view and presses Play.
    bool play()
    {
        if (!m_korvane || !m_korvane->started()) {
            return false;
        }
        const auto deadline = Clock::now() + 30s;
        while (m_window == 0 && Clock::now() < deadline) {
            if (!m_korvane->running()) {
                m_failure = "korvane ended before its window came";
                return false;
            }
            const QList<quint64> main = m_desktop.windows(e2e::mainWindowName);
            if (!main.isEmpty()) {
                m_window = main.first();
                break;
            }
            answerQuestions();
            std::this_thread::sleep_for(100ms);
        }
        if (m_window == 0) {
            m_failure = "no window within 30 s";
            return false;
        }
        // The transport buttons are in the full view, which a click on the logo opens.
        if (!m_desktop.click(m_window, e2e::client::logo) ||
            !m_desktop.waitForClientSize(m_window, e2e::client::fullSize, 15'000)) {
            m_failure = "the full view did not open";
            return false;
        }
        if (!m_desktop.click(m_window, e2e::client::play)) {
            m_failure = "the click on Play failed";
            return false;
        }
        return true;
    }

    // Ends the program with SIGTERM, which it takes as a clean exit (the run stops, the window closes); how it ended.
    std::string end() { return m_korvane ? endOnSigterm(m_korvane->program()) : "had not started"; }

private:
    // A message box of this korvane before its window shows: taken with its default button.
    void answerQuestions()
    {
        for (const quint64 id : m_desktop.windows(QStringLiteral("."))) {
            if (m_desktop.windowPid(id) != m_korvane->pid()) {
                continue;
            }
            const QString title =
                QString::fromLocal8Bit(m_desktop.xdotool({QStringLiteral("getwindowname"), QString::number(id)}).out)
                    .trimmed();
            // The main window itself, come since the last look for it.
            if (title == QStringLiteral("Korvane 2.0")) {
                continue;
            }
            std::printf("  korvane asked \"%s\" at start-up: answered with Return\n", qPrintable(title));
            m_desktop.key(id, QStringLiteral("Return"));
        }
    }

    e2e::Workspace m_workspace;
    e2e::Desktop m_desktop;
    std::optional<e2e::Korvane> m_korvane;
    quint64 m_window = 0;
    std::string m_failure;
};

Row korvaneRow(const e2e::XServer& server, Receiver& receiver, int seconds, const std::string& name,
               const std::string& delay, double target)
{
    Row row(name, target);
    KorvaneWindow korvane(server, receiver.port(), delay);
    if (!korvane.failure().empty() || !korvane.play()) {
        row.skipped = korvane.failure();
        std::printf("  %s: %s\n%s\n", name.c_str(), korvane.failure().c_str(), korvane.log().c_str());
        return row;
    }
    measure(receiver, seconds, processCpu(pid_t(korvane.pid())), row);
    row.note = "korvane " + korvane.end();
    if (!row.skipped.empty()) {
        std::printf("  %s: %s\n%s\n", name.c_str(), row.skipped.c_str(), korvane.log().c_str());
    }
    return row;
}

// --- Raw loops -----------------------------------------------------------------------------------

enum class RawKind
{
    SendTo,
    SendMmsg,
};

// What the machine allows one thread: 150-byte datagrams as fast as the loop goes, on a blocking
// socket that is not connected (the destination goes with every datagram, as with korvane's sink).
Row rawRow(Receiver& receiver, int seconds, RawKind kind)
{
    Row row(kind == RawKind::SendTo ? "raw sendto loop" : "raw sendmmsg loop (32/call)");
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(receiver.port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string payload = "<134>Jan  1 00:00:00 bench raw: ";
    payload.resize(kDatagramBytes, 'x');

    std::atomic<bool> stop{false};
    std::atomic<long> failures{0};
    std::thread sender([&] {
        if (kind == RawKind::SendTo) {
            while (!stop) {
                if (::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) <
                    0) {
                    ++failures;
                }
            }
            return;
        }
        constexpr int kPerCall = 32;
        std::array<iovec, kPerCall> io{};
        std::array<mmsghdr, kPerCall> messages{};
        for (int i = 0; i < kPerCall; ++i) {
            io[std::size_t(i)] = {payload.data(), payload.size()};
            msghdr& header = messages[std::size_t(i)].msg_hdr;
            header.msg_name = &to;
            header.msg_namelen = sizeof to;
            header.msg_iov = &io[std::size_t(i)];
            header.msg_iovlen = 1;
        }
        while (!stop) {
            if (::sendmmsg(fd, messages.data(), kPerCall, 0) < 0) {
                ++failures;
            }
        }
    });
    clockid_t clock{};
    std::function<double()> cpu;
    if (::pthread_getcpuclockid(sender.native_handle(), &clock) == 0) {
        cpu = [clock] {
            timespec ts{};
            ::clock_gettime(clock, &ts);
            return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
        };
    }
    measure(receiver, seconds, cpu, row);
    stop = true;
    sender.join();
    ::close(fd);
    if (failures > 0) {
        row.note = std::to_string(failures) + " failed send calls";
    }
    return row;
}

// --- loggen --------------------------------------------------------------------------------------

Row loggenRow(Receiver& receiver, int seconds, const fs::path& dir, double rate, double target, const std::string& name)
{
    Row row(name, target);
    e2e::Workspace folder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), QString::fromStdString((dir / "usr/lib/x86_64-linux-gnu").string() +
                                                                         ":" + (dir / "usr/lib/syslog-ng").string()));
    env.insert(QStringLiteral("SYSLOGNG_PREFIX"), QString::fromStdString((dir / "usr").string()));
    const QString logPath = folder.root() + QStringLiteral("/loggen.log");
    // It sends a second longer than the row's bins, then ends by itself and tells its own count.
    e2e::Program loggen;
    const QStringList arguments = {QStringLiteral("-D"),
                                   QStringLiteral("-r"),
                                   QString::number(std::llround(rate)),
                                   QStringLiteral("-I"),
                                   QString::number(seconds + 1),
                                   QStringLiteral("-s"),
                                   QString::number(kDatagramBytes),
                                   QStringLiteral("127.0.0.1"),
                                   QString::number(receiver.port())};
    if (!loggen.start(QString::fromStdString((dir / "usr/bin/loggen").string()), arguments, env, folder.folder(),
                      logPath)) {
        row.skipped = "loggen did not start";
        return row;
    }
    measure(receiver, seconds, processCpu(pid_t(loggen.pid())), row, 10s);
    if (loggen.waitForExit(10'000)) {
        row.note = "loggen ended by itself, " + loggen.howItEnded().toStdString();
    } else {
        row.note = "loggen " + endOnSigterm(loggen);
    }
    for (const QString& line : loggen.log().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral("average rate"))) {
            row.note += "; its own report over its whole run: " + line.toStdString();
        }
    }
    if (!row.skipped.empty()) {
        std::printf("  %s: %s\n%s\n", name.c_str(), row.skipped.c_str(), qPrintable(loggen.log()));
    }
    return row;
}

// --- Report --------------------------------------------------------------------------------------

std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("model name")) {
            return line.substr(line.find(':') + 2);
        }
    }
    return "unknown";
}

std::string loadAverage()
{
    const std::string text = readFile("/proc/loadavg");
    std::istringstream in(text);
    std::string one;
    std::string five;
    std::string fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string ratio(const Row& row, const Row* reference)
{
    if (!row.measured() || !reference || !reference->measured() || reference->rate <= 0) {
        return "-";
    }
    return format("%.2f", row.rate / reference->rate);
}

std::string verdict(std::optional<bool> met)
{
    return !met ? "not measured" : *met ? "met" : "MISSED";
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::clamp(std::atoi(argv[1]), 3, kMaxBins) : 5;
    QCoreApplication application(argc, argv);
    Receiver receiver(Receiver::Keep::CountOnly, 32 << 20);
    if (!receiver.ok()) {
        std::printf("no free UDP port on 127.0.0.1 for the receiver\n");
        return 1;
    }

    utsname system{};
    ::uname(&system);
    std::printf("Korvane UDP speed against references: %d s per row (median of the %d inner one-second bins)\n",
                seconds, seconds - 2);
    std::printf("machine: %s, %ld cores online, %s %s %s; load average at start %s\n", cpuModel().c_str(),
                ::sysconf(_SC_NPROCESSORS_ONLN), system.sysname, system.release, system.machine, loadAverage().c_str());
    std::printf("receiver: one thread, recvmmsg() up to 256 per call, 127.0.0.1:%u, SO_RCVBUF %d KB\n\n",
                unsigned(receiver.port()), receiver.bufferBytes() / 1024);

    // The window rows have a private X server of their own, as the end-to-end tests do.
    const bool korvaneBuilt = fs::exists(KORVANE_EXECUTABLE);
    std::optional<e2e::XServer> server;
    if (korvaneBuilt) {
        server.emplace();
    }
    const bool windowRows = server && server->ok();
    if (!korvaneBuilt) {
        std::printf("%s is missing: the korvane window rows are skipped (build the korvane target)\n",
                    KORVANE_EXECUTABLE);
    } else if (!windowRows) {
        std::printf("no X display (%s): the korvane window rows are skipped (install Xvfb)\n",
                    qPrintable(server->error()));
    }
    const fs::path loggenDir = loggenFolder(KORVANE_SOURCE_DIR);
    const bool loggen = fs::exists(loggenDir / "usr/bin/loggen");
    if (!loggen) {
        std::printf("no loggen in %s: its rows are skipped. To get it: scripts/fetch-loggen (or: apt-get download "
                    "syslog-ng-core && dpkg -x syslog-ng-core_*.deb DIR, then KORVANE_LOGGEN_DIR=DIR)\n",
                    loggenDir.c_str());
    }

    std::vector<Row> rows;
    // Each source in turn, its stragglers gone before the next one's bins start.
    auto run = [&](const std::function<Row()>& measureRow, const std::string& name, bool available,
                   const std::string& why) {
        std::printf("measuring: %s\n", name.c_str());
        std::fflush(stdout);
        receiver.waitQuiet();
        receiver.resetBins();
        if (!available) {
            Row skipped(name);
            skipped.skipped = why;
            rows.push_back(skipped);
            return;
        }
        const std::uint64_t dropsBefore = receiver.drops();
        Row row = measureRow();
        receiver.waitQuiet();
        row.drops = receiver.drops() - dropsBefore;
        rows.push_back(row);
    };

    const std::string noWindow = "no X display or no korvane executable";
    const std::string noLoggen = "loggen not unpacked";
    const std::string fastName = "korvane window, fastest";
    const std::string slowName = "korvane window at 100,000/s";
    run([&] { return korvaneRow(*server, receiver, seconds, fastName, "0.000001", 0); }, fastName, windowRows,
        noWindow);
    run([&] { return rawRow(receiver, seconds, RawKind::SendTo); }, "raw sendto loop", true, {});
    run([&] { return rawRow(receiver, seconds, RawKind::SendMmsg); }, "raw sendmmsg loop", true, {});
    run([&] { return loggenRow(receiver, seconds, loggenDir, 2'000'000, 0, "loggen -r 2000000"); }, "loggen -r 2000000",
        loggen, noLoggen);
    run([&] { return korvaneRow(*server, receiver, seconds, slowName, "0.00001", kSlowRate); }, slowName, windowRows,
        noWindow);
    run([&] { return loggenRow(receiver, seconds, loggenDir, kSlowRate, kSlowRate, "loggen -r 100000"); },
        "loggen -r 100000", loggen, noLoggen);

    const Row& korvaneFast = rows[0];
    const Row& sendmmsg = rows[2];
    const Row& loggenFast = rows[3];
    const Row& korvaneSlow = rows[4];

    std::printf("\n%-31s %11s %9s %10s %8s %9s %10s %9s\n", "row", "lines/s", "x loggen", "x sendmmsg", "CPU us",
                "worst dev", "first bin", "drops");
    std::printf("%-31s %11s %9s %10s %8s %9s %10s %9s\n", "", "(median)", "fastest", "", "per line", "(inner)", "",
                "(kernel)");
    for (const Row& row : rows) {
        if (!row.measured()) {
            std::printf("%-31s skipped: %s\n", row.name.c_str(), row.skipped.c_str());
            continue;
        }
        std::printf("%-31s %11s %9s %10s %8s %9s %10s %9s\n", row.name.c_str(), grouped(row.rate).c_str(),
                    ratio(row, &loggenFast).c_str(), ratio(row, &sendmmsg).c_str(),
                    row.cpuPerLineUs < 0 ? "-" : format("%.3f", row.cpuPerLineUs).c_str(),
                    row.worstDeviation < 0 ? "-" : format("%.2f%%", row.worstDeviation).c_str(),
                    grouped(double(row.bins.front())).c_str(), grouped(double(row.drops)).c_str());
    }
    std::printf("\nbins per row (datagrams per second from the first one; the first and last are not counted):\n");
    for (const Row& row : rows) {
        if (!row.measured()) {
            continue;
        }
        std::string bins;
        for (const long count : row.bins) {
            bins += ' ';
            bins += grouped(double(count));
        }
        std::printf("  %-31s%s%s%s\n", row.name.c_str(), bins.c_str(), row.note.empty() ? "" : "; ", row.note.c_str());
    }
    std::printf("\nCPU per line: the sender's whole process (korvane, loggen) or its one thread (raw loops) over the"
                " inner seconds,\ndivided by the lines received in them. Raw loops: blocking, unconnected UDP socket,"
                " %d-byte datagrams.\n",
                kDatagramBytes);

    std::optional<bool> fastMet;
    if (korvaneFast.measured()) {
        fastMet = korvaneFast.rate >= 650'000 && (!loggenFast.measured() || korvaneFast.rate >= 1.1 * loggenFast.rate);
    }
    std::optional<bool> slowMet;
    if (korvaneSlow.measured()) {
        slowMet = korvaneSlow.cpuPerLineUs >= 0 && korvaneSlow.cpuPerLineUs <= 1.5 && korvaneSlow.worstDeviation <= 2;
    }
    std::printf("\ngoals:\n");
    std::printf("  korvane fastest >= 650,000 lines/s and >= 1.1 x loggen fastest%s: %s\n",
                loggenFast.measured() ? "" : " (loggen not measured: rate only)", verdict(fastMet).c_str());
    std::printf("  korvane at 100,000/s: CPU <= 1.5 us per line, every inner second within 2%%: %s\n",
                verdict(slowMet).c_str());
    std::printf("load average at the end %s\n", loadAverage().c_str());
    return 0;
}
