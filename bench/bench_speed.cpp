// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// How fast the real window sends templates over UDP, set beside what the machine allows: raw
// sendto() and sendmmsg() loops in this process and, when it is unpacked, loggen, a general syslog
// load generator. Every source sends to the same receiver thread on 127.0.0.1, which counts the
// datagrams it gets in one-second bins laid from the first one; a row's rate is the median of its
// inner bins (the first and last are dropped). At 100,000 lines/s it also tells the sender's CPU per
// line, the worst inner bin and the first bin. A measurement, not a test: run it by hand on a
// release build, with an X display for the window rows.
//
//     xvfb-run -a bench_speed [seconds per row, default 5]
//
// loggen comes from Debian's syslog-ng-core, unpacked and never installed (it conflicts with
// rsyslog): scripts/fetch-loggen puts it in build/loggen, or KORVANE_LOGGEN_DIR names another place.

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kDatagramBytes = 150;
constexpr int kMaxBins = 256;
constexpr double kSlowRate = 100'000;
// Korvane takes ports 1 to 32000 only; a larger one would be replaced by 514.
constexpr int kLowestPort = 20000;
constexpr int kHighestPort = 32000;

std::int64_t steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeFile(const fs::path& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out << content;
    return bool(out);
}

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

// The syslog receiver every source sends to: one thread draining the socket with recvmmsg() into
// one-second bins. The bins start at the first datagram after reset(), so that the time a source
// takes to start counts in no bin. The kernel's drop counter (SO_RXQ_OVFL) tells when the receiver,
// not the sender, was the limit.
class Receiver
{
public:
    Receiver()
    {
        std::mt19937 random(std::random_device{}());
        for (int attempt = 0; attempt < 200 && m_port == 0; ++attempt) {
            const auto port = std::uint16_t(std::uniform_int_distribution<int>(kLowestPort, kHighestPort - 1)(random));
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
                m_fd = fd;
                m_port = port;
            } else {
                ::close(fd);
            }
        }
        if (m_fd < 0) {
            return;
        }
        const int size = 32 << 20;
        // Forcing past the system's limit needs privileges; the plain request is capped by it.
        if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
        socklen_t length = sizeof m_buffer;
        ::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &m_buffer, &length);
        const int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
        // The wait for a first datagram ends now and then, to see whether to stop.
        const timeval tick{0, 50'000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
        m_thread = std::thread([this] { loop(); });
    }

    ~Receiver()
    {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    bool ok() const { return m_fd >= 0; }
    std::uint16_t port() const { return m_port; }
    int bufferBytes() const { return m_buffer; }
    std::uint64_t total() const { return m_total; }
    std::uint64_t drops() const { return m_drops; }

    // A new row: empty bins, laid from the next datagram. Called only while nothing arrives.
    void reset()
    {
        for (auto& bin : m_bins) {
            bin = 0;
        }
        m_originNs = 0;
    }

    // The moment of the first datagram since reset(), once it came within the time.
    std::optional<Clock::time_point> waitForOrigin(std::chrono::milliseconds timeout) const
    {
        const auto deadline = Clock::now() + timeout;
        while (m_originNs == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        if (m_originNs == 0) {
            return std::nullopt;
        }
        return Clock::time_point(std::chrono::nanoseconds(m_originNs.load()));
    }

    // Returns once nothing has come for a while, so that a row's stragglers fall into no other row.
    void waitQuiet() const
    {
        const auto deadline = Clock::now() + 10s;
        std::uint64_t seen = m_total;
        auto quietSince = Clock::now();
        while (Clock::now() < deadline && Clock::now() - quietSince < 300ms) {
            std::this_thread::sleep_for(20ms);
            if (m_total != seen) {
                seen = m_total;
                quietSince = Clock::now();
            }
        }
    }

    std::vector<long> bins(int count) const
    {
        std::vector<long> counts;
        for (int i = 0; i < count && i < kMaxBins; ++i) {
            counts.push_back(m_bins[std::size_t(i)]);
        }
        return counts;
    }

private:
    void loop()
    {
        constexpr unsigned kBatch = 256;
        constexpr std::size_t kSlot = 2048;
        constexpr std::size_t kControl = CMSG_SPACE(sizeof(std::uint32_t));
        std::vector<char> data(kBatch * kSlot);
        std::vector<std::uint64_t> control(kBatch * ((kControl + 7) / 8)); // cmsg headers want alignment
        const std::size_t controlStride = (kControl + 7) / 8;
        std::vector<iovec> io(kBatch);
        std::vector<mmsghdr> messages(kBatch);
        for (unsigned i = 0; i < kBatch; ++i) {
            io[i] = {data.data() + i * kSlot, kSlot};
        }
        while (!m_stop) {
            for (unsigned i = 0; i < kBatch; ++i) {
                messages[i] = {};
                messages[i].msg_hdr.msg_iov = &io[i];
                messages[i].msg_hdr.msg_iovlen = 1;
                messages[i].msg_hdr.msg_control = control.data() + i * controlStride;
                messages[i].msg_hdr.msg_controllen = kControl;
            }
            const int received = ::recvmmsg(m_fd, messages.data(), kBatch, MSG_WAITFORONE, nullptr);
            if (received <= 0) {
                continue;
            }
            const std::int64_t now = steadyNs();
            std::int64_t origin = m_originNs;
            if (origin == 0) {
                m_originNs.compare_exchange_strong(origin, now);
                origin = m_originNs;
            }
            const std::int64_t bin = (now - origin) / 1'000'000'000;
            if (bin >= 0 && bin < kMaxBins) {
                m_bins[std::size_t(bin)] += received;
            }
            m_total += std::uint64_t(received);
            for (int i = received - 1; i >= 0; --i) {
                msghdr& header = messages[std::size_t(i)].msg_hdr;
                bool found = false;
                for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
                    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
                        std::uint32_t dropped = 0;
                        std::memcpy(&dropped, CMSG_DATA(c), sizeof dropped);
                        m_drops = dropped;
                        found = true;
                    }
                }
                if (found) {
                    break;
                }
            }
        }
    }

    int m_fd = -1;
    std::uint16_t m_port = 0;
    int m_buffer = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_originNs{0};
    std::array<std::atomic<long>, kMaxBins> m_bins{};
    std::atomic<std::uint64_t> m_total{0};
    std::atomic<std::uint64_t> m_drops{0};
    std::thread m_thread;
};

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

double median(std::vector<long> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? double(values[mid]) : (double(values[mid - 1]) + double(values[mid])) / 2;
}

// Counts a source that is already sending: bins from its first datagram, CPU over the inner
// seconds (cpuNow() in seconds, or null), then leaves it to the caller to stop the source.
void measure(Receiver& receiver, int seconds, const std::function<double()>& cpuNow, Row& row,
             std::chrono::milliseconds firstTimeout = 20s)
{
    const std::optional<Clock::time_point> origin = receiver.waitForOrigin(firstTimeout);
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

// CPU seconds of another process, all its threads: its CPU-time clock (nanoseconds), or utime+stime
// from /proc (clock ticks) where that clock cannot be had.
std::function<double()> processCpu(pid_t pid)
{
    clockid_t clock{};
    if (::clock_getcpuclockid(pid, &clock) == 0) {
        return [clock] {
            timespec ts{};
            ::clock_gettime(clock, &ts);
            return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
        };
    }
    return [pid] {
        const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        // Fields after the command name, which is in parentheses and may hold blanks.
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0;
        unsigned long long stime = 0;
        for (int index = 3; fields >> field; ++index) {
            if (index == 14) {
                utime = std::stoull(field);
            } else if (index == 15) {
                stime = std::stoull(field);
                break;
            }
        }
        return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
    };
}

// --- Child processes -----------------------------------------------------------------------------

struct Environment
{
    std::vector<std::string> entries;

    static Environment inherited()
    {
        Environment e;
        for (char** p = environ; *p; ++p) {
            e.entries.emplace_back(*p);
        }
        return e;
    }
    void set(const std::string& name, const std::string& value)
    {
        unset(name);
        entries.push_back(name + "=" + value);
    }
    void unset(const std::string& name)
    {
        std::erase_if(entries, [&](const std::string& entry) { return entry.starts_with(name + "="); });
    }
};

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> list;
    for (std::string& s : strings) {
        list.push_back(s.data());
    }
    list.push_back(nullptr);
    return list;
}

// Starts a program in `folder` with its output appended to `logPath` (or to a pipe when `outFd`
// is given); -1 when it could not be started.
pid_t spawn(std::vector<std::string> arguments, Environment environment, const std::string& folder,
            const std::string& logPath, int outFd = -1)
{
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (outFd >= 0) {
        ::posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
        ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    } else {
        ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                           0644);
        ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    if (!folder.empty()) {
        ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment.entries);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid = -1;
    }
    ::posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits up to the time for the process to end; its wait status, or nullopt while it still runs.
std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return status;
        }
        if (done < 0 || Clock::now() >= deadline) {
            return done < 0 ? std::optional<int>(-1) : std::nullopt;
        }
        std::this_thread::sleep_for(10ms);
    }
}

std::string describeStatus(int status)
{
    if (status == -1) {
        return "already reaped";
    }
    if (WIFEXITED(status)) {
        return "exit code " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return std::string("killed by ") + ::strsignal(WTERMSIG(status));
    }
    return "status " + std::to_string(status);
}

// Asks a process to end with SIGTERM; SIGKILL when it has not after a while. How it ended.
std::string endProcess(pid_t pid)
{
    ::kill(pid, SIGTERM);
    if (const std::optional<int> status = waitForExit(pid, 10s)) {
        return "ended on SIGTERM, " + describeStatus(*status);
    }
    ::kill(pid, SIGKILL);
    const std::optional<int> status = waitForExit(pid, 5s);
    return "did not end on SIGTERM within 10 s; SIGKILL, " + (status ? describeStatus(*status) : "still there");
}

struct ToolResult
{
    bool ok = false;
    std::string out;
};

// Runs a helper program (xdotool) to its end, within a bound; its standard output.
ToolResult runTool(std::vector<std::string> arguments, std::chrono::milliseconds timeout = 15s)
{
    ToolResult result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return result;
    }
    const pid_t pid = spawn(std::move(arguments), Environment::inherited(), {}, {}, pipeFds[1]);
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return result;
    }
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        pollfd p{pipeFds[0], POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0) {
            break;
        }
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        result.out.append(buffer, std::size_t(n));
    }
    ::close(pipeFds[0]);
    std::optional<int> status = waitForExit(pid, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                     std::max(deadline - Clock::now(), Clock::duration(100ms))));
    if (!status) {
        ::kill(pid, SIGKILL);
        waitForExit(pid, 5s);
        return result;
    }
    result.ok = WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
    return result;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            all.push_back(line);
        }
    }
    return all;
}

// A private folder, removed with everything in it.
class TempFolder
{
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "korvane-speed-XXXXXX").string();
        if (::mkdtemp(pattern.data())) {
            m_path = pattern;
        }
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!m_path.empty()) {
            fs::remove_all(m_path, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool ok() const { return !m_path.empty(); }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

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
    KorvaneWindow(std::uint16_t port, const std::string& delay)
    {
        if (!m_folder.ok()) {
            m_failure = "no temporary folder";
            return;
        }
        const fs::path work = m_folder.path() / "work";
        const fs::path runtime = m_folder.path() / "runtime";
        fs::create_directories(work);
        fs::create_directories(runtime);
        // The single-copy lock lives in the runtime folder: a private one keeps other copies out of the way.
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
        const fs::path data = fs::path(KORVANE_SOURCE_DIR) / "data";
        const std::string ini = iniWith(readFile(data / "korvane.ini"), {{"Delay", delay},
                                                                         {"onetime", "0"},
                                                                         {"GenerationType", "0"},
                                                                         {"RealLogFile", "0"},
                                                                         {"SyslogFile", "1"},
                                                                         {"HostIP", "127.0.0.1"},
                                                                         {"UDP_Port_Syslog", std::to_string(port)}});
        std::error_code copied;
        fs::copy_file(data / "SAMPLE.TXT", work / "SAMPLE.TXT", copied);
        if (copied || !writeFile(work / "korvane.ini", ini)) {
            m_failure = "cannot prepare " + work.string();
            return;
        }
        Environment env = Environment::inherited();
        env.set("QT_QPA_PLATFORM", "xcb");
        env.set("XDG_RUNTIME_DIR", runtime.string());
        env.set("LANG", "C.UTF-8");
        env.unset("LC_ALL");
        env.unset("WAYLAND_DISPLAY");
        m_logPath = (m_folder.path() / "korvane.log").string();
        m_pid = spawn({KORVANE_EXECUTABLE}, env, work.string(), m_logPath);
        if (m_pid < 0) {
            m_failure = std::string("cannot start ") + KORVANE_EXECUTABLE;
        }
    }

    ~KorvaneWindow()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            waitForExit(m_pid, 5s);
        }
    }

    KorvaneWindow(const KorvaneWindow&) = delete;
    KorvaneWindow& operator=(const KorvaneWindow&) = delete;

    pid_t pid() const { return m_pid; }
    const std::string& failure() const { return m_failure; }
    std::string log() const { return readFile(m_logPath); }

    // Waits for the window, answers what it asks on the way, opens the full view and presses Play.
    bool play()
    {
        if (m_pid < 0) {
            return false;
        }
        const auto deadline = Clock::now() + 30s;
        while (m_window.empty() && Clock::now() < deadline) {
            if (waitForExit(m_pid, 0ms)) {
                m_pid = -1;
                m_failure = "korvane ended before its window came";
                return false;
            }
            const std::vector<std::string> main =
                lines(runTool({"xdotool", "search", "--onlyvisible", "--name", "^Korvane 2\\.0$"}).out);
            if (!main.empty()) {
                m_window = main.front();
                break;
            }
            answerQuestions();
            std::this_thread::sleep_for(100ms);
        }
        if (m_window.empty()) {
            m_failure = "no window within 30 s";
            return false;
        }
        // The transport buttons are in the full view, which a click on the logo opens.
        if (!click(40, 40) || !waitForSize("376x274")) {
            m_failure = "the full view did not open";
            return false;
        }
        if (!click(288 + 13, 160 + 10)) {
            m_failure = "the click on Play failed";
            return false;
        }
        return true;
    }

    // Ends the program with SIGTERM, which it takes as a clean exit (the run stops, the window closes); how it ended.
    std::string end()
    {
        if (m_pid < 0) {
            return "had ended";
        }
        const std::string how = endProcess(m_pid);
        m_pid = -1;
        return how;
    }

private:
    bool click(int x, int y)
    {
        // Two clicks closer than the toolkit's double-click interval (400 ms) would be taken as one.
        if (m_lastClick) {
            std::this_thread::sleep_until(*m_lastClick + 450ms);
        }
        const bool ok =
            runTool({"xdotool", "mousemove", "--window", m_window, std::to_string(x), std::to_string(y), "click", "1"})
                .ok;
        m_lastClick = Clock::now();
        return ok;
    }

    bool waitForSize(const std::string& size)
    {
        const auto deadline = Clock::now() + 15s;
        while (Clock::now() < deadline) {
            if (runTool({"xdotool", "getwindowgeometry", m_window}).out.find("Geometry: " + size) !=
                std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // A message box of this korvane before its window shows: taken with its default button.
    void answerQuestions()
    {
        for (const std::string& id : lines(runTool({"xdotool", "search", "--onlyvisible", "--name", "."}).out)) {
            if (lines(runTool({"xdotool", "getwindowpid", id}).out) !=
                std::vector<std::string>{std::to_string(m_pid)}) {
                continue;
            }
            const std::vector<std::string> title = lines(runTool({"xdotool", "getwindowname", id}).out);
            // The main window itself, come since the last look for it.
            if (title == std::vector<std::string>{"Korvane 2.0"}) {
                continue;
            }
            std::printf("  korvane asked \"%s\" at start-up: answered with Return\n",
                        title.empty() ? "" : title.front().c_str());
            runTool({"xdotool", "windowfocus", "--sync", id, "key", "Return"});
        }
    }

    TempFolder m_folder;
    std::string m_logPath;
    pid_t m_pid = -1;
    std::string m_window;
    std::string m_failure;
    std::optional<Clock::time_point> m_lastClick;
};

Row korvaneRow(Receiver& receiver, int seconds, const std::string& name, const std::string& delay, double target)
{
    Row row(name, target);
    KorvaneWindow korvane(receiver.port(), delay);
    if (!korvane.failure().empty() || !korvane.play()) {
        row.skipped = korvane.failure();
        std::printf("  %s: %s\n%s\n", name.c_str(), korvane.failure().c_str(), korvane.log().c_str());
        return row;
    }
    measure(receiver, seconds, processCpu(korvane.pid()), row);
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

fs::path loggenFolder()
{
    if (const char* dir = std::getenv("KORVANE_LOGGEN_DIR"); dir && *dir) {
        return dir;
    }
    return fs::path(KORVANE_SOURCE_DIR) / "build" / "loggen";
}

Row loggenRow(Receiver& receiver, int seconds, const fs::path& dir, double rate, double target, const std::string& name)
{
    Row row(name, target);
    TempFolder folder;
    Environment env = Environment::inherited();
    env.set("LD_LIBRARY_PATH",
            (dir / "usr/lib/x86_64-linux-gnu").string() + ":" + (dir / "usr/lib/syslog-ng").string());
    env.set("SYSLOGNG_PREFIX", (dir / "usr").string());
    const std::string logPath = (folder.path() / "loggen.log").string();
    // It sends a second longer than the row's bins, then ends by itself and tells its own count.
    const pid_t pid = spawn({(dir / "usr/bin/loggen").string(), "-D", "-r", std::to_string(std::llround(rate)), "-I",
                             std::to_string(seconds + 1), "-s", std::to_string(kDatagramBytes), "127.0.0.1",
                             std::to_string(receiver.port())},
                            env, folder.path().string(), logPath);
    if (pid < 0) {
        row.skipped = "loggen did not start";
        return row;
    }
    measure(receiver, seconds, processCpu(pid), row, 10s);
    if (const std::optional<int> status = waitForExit(pid, 10s)) {
        row.note = "loggen ended by itself, " + describeStatus(*status);
    } else {
        row.note = "loggen " + endProcess(pid);
    }
    for (const std::string& line : lines(readFile(logPath))) {
        if (line.starts_with("average rate")) {
            row.note += "; its own report over its whole run: " + line;
        }
    }
    if (!row.skipped.empty()) {
        std::printf("  %s: %s\n%s\n", name.c_str(), row.skipped.c_str(), readFile(logPath).c_str());
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
    Receiver receiver;
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

    const char* display = std::getenv("DISPLAY");
    const bool windowRows = display && *display && fs::exists(KORVANE_EXECUTABLE);
    if (!display || !*display) {
        std::printf("no DISPLAY: the korvane window rows are skipped (run it as: xvfb-run -a bench_speed)\n");
    } else if (!windowRows) {
        std::printf("%s is missing: the korvane window rows are skipped (build the korvane target)\n",
                    KORVANE_EXECUTABLE);
    }
    const fs::path loggenDir = loggenFolder();
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
        receiver.reset();
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

    const std::string noWindow = "no display or no korvane executable";
    const std::string noLoggen = "loggen not unpacked";
    const std::string fastName = "korvane window, fastest";
    const std::string slowName = "korvane window at 100,000/s";
    run([&] { return korvaneRow(receiver, seconds, fastName, "0.000001", 0); }, fastName, windowRows, noWindow);
    run([&] { return rawRow(receiver, seconds, RawKind::SendTo); }, "raw sendto loop", true, {});
    run([&] { return rawRow(receiver, seconds, RawKind::SendMmsg); }, "raw sendmmsg loop", true, {});
    run([&] { return loggenRow(receiver, seconds, loggenDir, 2'000'000, 0, "loggen -r 2000000"); }, "loggen -r 2000000",
        loggen, noLoggen);
    run([&] { return korvaneRow(receiver, seconds, slowName, "0.00001", kSlowRate); }, slowName, windowRows, noWindow);
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
