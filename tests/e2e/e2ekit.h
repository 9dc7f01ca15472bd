// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// What the end-to-end tests share: a private X server, the real korvane executable started in a
// private folder, xdotool and xwininfo to drive and read its windows as a user would, and UDP
// receivers on 127.0.0.1. Every test owns its display, folders, runtime folder (where the single-copy
// lock lives) and ports, so that two tests can run at the same time.

#include "udpreceiver.h"

#include <QByteArray>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QList>
#include <QLocale>
#include <QPoint>
#include <QProcess>
#include <QRandomGenerator>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iterator>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvane::e2e {

using WallTime = std::chrono::system_clock::time_point;

// Generous bounds: the machine that runs these tests may be busy with other builds.
constexpr int windowTimeoutMs = 30000;
constexpr int toolTimeoutMs = 30000;

// Places in the window's client area, in pixels.
namespace client {
constexpr QPoint logo(40, 40);
constexpr QPoint play(288 + 13, 160 + 10);
constexpr QPoint pause(314 + 13, 160 + 10);
constexpr QPoint stop(340 + 13, 160 + 10);
constexpr QPoint exitButton(173, 98);
constexpr QPoint sourceButton(327, 98);
constexpr QPoint harkwellButton(327, 131);
constexpr QSize compactSize(376, 84);
constexpr QSize fullSize(376, 274);
// Inside the output box, clear of its frame and scroll bars.
constexpr QRect outputText(6, 188, 340, 64);
} // namespace client

inline QString binDir()
{
    return qEnvironmentVariable("KORVANE_BIN_DIR");
}

inline WallTime wallNow()
{
    return std::chrono::system_clock::now();
}

inline double secondsBetween(WallTime from, WallTime to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Polls the condition, handling events between polls, until it holds or the time is up.
template <typename Condition>
bool waitUntil(Condition condition, int timeoutMs, int stepMs = 20)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (condition()) {
            return true;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(stepMs);
    }
}

// Lets the given wall-clock moment pass, handling events meanwhile.
inline void waitUntilTime(WallTime moment)
{
    while (wallNow() < moment) {
        QTest::qWait(10);
    }
}

struct ToolResult
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool ok() const { return finished && exitCode == 0; }
};

// Runs a helper program to its end.
inline ToolResult runTool(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
                          int timeoutMs = toolTimeoutMs)
{
    ToolResult result;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs)) {
        result.err = process.errorString().toUtf8();
        return result;
    }
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (result.finished && process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    return result;
}

// A program run beside the test, its output and errors appended to one log file; killed when
// the test ends with it still running.
class Program
{
public:
    Program() = default;
    ~Program() { kill(); }

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts it in `folder` (the test's own when empty); true when it started.
    bool start(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
               const QString& folder, const QString& logPath)
    {
        m_logPath = logPath;
        m_process.setProcessEnvironment(environment);
        if (!folder.isEmpty()) {
            m_process.setWorkingDirectory(folder);
        }
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(logPath, QIODevice::Append);
        m_process.setStandardErrorFile(logPath, QIODevice::Append);
        m_process.start(program, arguments);
        m_started = m_process.waitForStarted(toolTimeoutMs);
        return m_started;
    }

    bool started() const { return m_started; }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

    bool waitForExit(int timeoutMs)
    {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
    }

    // The exit code of a normal exit; -1 while running or after a crash.
    int exitCode() const
    {
        if (m_process.state() != QProcess::NotRunning || m_process.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        return m_process.exitCode();
    }

    // How it ended, for reports: "exit code 0", "killed by Terminated".
    QString howItEnded() const
    {
        if (m_process.state() != QProcess::NotRunning) {
            return QStringLiteral("still running");
        }
        if (m_process.exitStatus() == QProcess::NormalExit) {
            return QStringLiteral("exit code %1").arg(m_process.exitCode());
        }
        // After a crash, Qt's exit code is the number of the signal that ended it.
        return QStringLiteral("killed by %1").arg(QString::fromLocal8Bit(::strsignal(m_process.exitCode())));
    }

    void signal(int signalNumber) const
    {
        if (m_process.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
        }
    }

    // Ends it with SIGTERM, as an operator would, and with SIGKILL when it has not ended within the
    // time; true when it ended by itself (or had ended).
    bool stop(int timeoutMs = toolTimeoutMs)
    {
        if (m_process.state() == QProcess::NotRunning) {
            return true;
        }
        signal(SIGTERM);
        if (m_process.waitForFinished(timeoutMs)) {
            return true;
        }
        kill();
        return false;
    }

    void kill()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // What it wrote on standard output and error, for failure messages.
    QString log() const
    {
        QFile file(m_logPath);
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

private:
    QProcess m_process;
    QString m_logPath;
    bool m_started = false;
};

// A private Xvfb on the first free display; it announces the number itself (-displayfd), which
// leaves no window for two tests to pick the same one.
class XServer
{
public:
    XServer()
    {
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("Xvfb"),
                        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                         QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!m_process.waitForStarted(toolTimeoutMs)) {
            m_error = QStringLiteral("Xvfb did not start: ") + m_process.errorString();
            return;
        }
        QByteArray announced;
        QDeadlineTimer deadline(toolTimeoutMs);
        while (!announced.contains('\n') && !deadline.hasExpired() && m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(100);
            announced += m_process.readAllStandardOutput();
        }
        bool ok = false;
        const int number = announced.trimmed().toInt(&ok);
        if (!ok) {
            m_error = QStringLiteral("Xvfb announced no display (got \"%1\")").arg(QString::fromLatin1(announced));
            return;
        }
        m_display = QStringLiteral(":%1").arg(number);
    }

    ~XServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
    }

    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return !m_display.isEmpty(); }
    bool running() const { return m_process.state() == QProcess::Running; }
    const QString& error() const { return m_error; }
    const QString& display() const { return m_display; }

    // The test's own environment pointed at this display, for the X tools and the programs under test.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("XAUTHORITY"));
        return env;
    }

private:
    QProcess m_process;
    QString m_display;
    QString m_error;
};

// Windows of one display, read and driven with xdotool and xwininfo. Window ids are X ids.
class Desktop
{
public:
    explicit Desktop(const XServer& server) : m_server(server) {}

    QProcessEnvironment environment() const { return m_server.environment(); }
    const QString& display() const { return m_server.display(); }

    ToolResult xdotool(const QStringList& arguments) const
    {
        return runTool(QStringLiteral("xdotool"), arguments, environment());
    }

    // The visible windows whose name matches the regular expression.
    QList<quint64> windows(const QString& nameRegex) const
    {
        const ToolResult r =
            xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), nameRegex});
        QList<quint64> ids;
        for (const QByteArray& line : r.out.split('\n')) {
            bool ok = false;
            const quint64 id = line.trimmed().toULongLong(&ok);
            if (ok) {
                ids.append(id);
            }
        }
        return ids;
    }

    // The first visible window whose name matches; 0 when none came in time.
    quint64 waitForWindow(const QString& nameRegex, int timeoutMs = windowTimeoutMs) const
    {
        quint64 found = 0;
        waitUntil(
            [&] {
                const QList<quint64> ids = windows(nameRegex);
                found = ids.isEmpty() ? 0 : ids.first();
                return found != 0;
            },
            timeoutMs, 50);
        return found;
    }

    bool waitForNoWindow(const QString& nameRegex, int timeoutMs = windowTimeoutMs) const
    {
        return waitUntil([&] { return windows(nameRegex).isEmpty(); }, timeoutMs, 50);
    }

    // The names of all windows and the state of the server, for failure messages.
    QString describe() const
    {
        if (!m_server.running()) {
            return QStringLiteral("the X server %1 has ended").arg(display());
        }
        const ToolResult r = xdotool({QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("."),
                                      QStringLiteral("getwindowname"), QStringLiteral("%@")});
        QStringList names = QString::fromLocal8Bit(r.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        names.removeAll(QStringLiteral("Qt Selection Owner for korvane"));
        return QStringLiteral("windows on %1: %2").arg(display(), names.join(QStringLiteral(", ")));
    }

    // A left click at a point of the window's client area.
    // One click. Two clicks in a row are kept further apart than a double click, which the window
    // takes as one click.
    bool click(quint64 window, QPoint at) const
    {
        constexpr qint64 kPastDoubleClickMs = 450; // the toolkit's interval is 400 ms
        if (m_lastClick.isValid() && m_lastClick.elapsed() < kPastDoubleClickMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPastDoubleClickMs - m_lastClick.elapsed()));
        }
        const bool ok =
            xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window),
                     QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")})
                .ok();
        m_lastClick.start();
        return ok;
    }

    // Gives the window the keyboard focus (there is no window manager to do it), then types the keys
    // as xdotool names them ("alt+e", "F1"). A key that closes its window makes xdotool complain about the
    // release, so the caller judges by the effect.
    void key(quint64 window, const QString& keys) const
    {
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window),
                 QStringLiteral("key"), keys});
    }

    // Waits for a message box by its title and answers it with the keys; true when it came and went.
    bool answer(const QString& titleRegex, const QString& keys, int timeoutMs = windowTimeoutMs) const
    {
        const quint64 box = waitForWindow(titleRegex, timeoutMs);
        if (box == 0) {
            return false;
        }
        key(box, keys);
        return waitForNoWindow(titleRegex, timeoutMs);
    }

    bool move(quint64 window, QPoint to) const
    {
        return xdotool({QStringLiteral("windowmove"), QString::number(window), QString::number(to.x()),
                        QString::number(to.y())})
            .ok();
    }

    qint64 windowPid(quint64 window) const
    {
        const ToolResult r = xdotool({QStringLiteral("getwindowpid"), QString::number(window)});
        bool ok = false;
        const qint64 pid = r.out.trimmed().toLongLong(&ok);
        return ok ? pid : -1;
    }

    // The client area's place on the screen and its size, as xwininfo reports them.
    std::optional<QRect> geometry(quint64 window) const
    {
        const ToolResult r =
            runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)}, environment());
        if (!r.ok()) {
            return std::nullopt;
        }
        const QString text = QString::fromLatin1(r.out);
        auto field = [&text](const QString& label) -> std::optional<int> {
            const QRegularExpression re(QRegularExpression::escape(label) + QStringLiteral(":\\s*(-?\\d+)"));
            const QRegularExpressionMatch m = re.match(text);
            if (!m.hasMatch()) {
                return std::nullopt;
            }
            return m.captured(1).toInt();
        };
        const auto x = field(QStringLiteral("Absolute upper-left X"));
        const auto y = field(QStringLiteral("Absolute upper-left Y"));
        const auto w = field(QStringLiteral("Width"));
        const auto h = field(QStringLiteral("Height"));
        if (!x || !y || !w || !h) {
            return std::nullopt;
        }
        return QRect(*x, *y, *w, *h);
    }

    bool waitForClientSize(quint64 window, QSize size, int timeoutMs = windowTimeoutMs) const
    {
        return waitUntil(
            [&] {
                const auto g = geometry(window);
                return g && g->size() == size;
            },
            timeoutMs, 50);
    }

    // A click on the logo opens the full view; true once the window has its full client size.
    bool openFullView(quint64 window) const
    {
        return click(window, client::logo) && waitForClientSize(window, client::fullSize);
    }

    // What the window shows now; a null image when it cannot be read.
    QImage grab(quint64 window) const
    {
        const ToolResult r = runTool(QStringLiteral("import"),
                                     {QStringLiteral("-display"), display(), QStringLiteral("-window"),
                                      QString::number(window), QStringLiteral("png:-")},
                                     environment());
        if (!r.ok()) {
            return {};
        }
        return QImage::fromData(r.out, "PNG");
    }

private:
    const XServer& m_server;
    mutable QElapsedTimer m_lastClick;
};

// The name of korvane's main window.
inline const QString mainWindowName = QStringLiteral("^Korvane 2\\.0$");

// A private folder tree: the working folder of the program under test, and its runtime folder.
class Workspace
{
public:
    Workspace() : m_root(QDir::tempPath() + QStringLiteral("/korvane-e2e-XXXXXX"))
    {
        QDir root(m_root.path());
        root.mkpath(QStringLiteral("work"));
        root.mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(runtime(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    bool ok() const { return m_root.isValid(); }
    QString root() const { return m_root.path(); }
    QString folder() const { return m_root.filePath(QStringLiteral("work")); }
    QString runtime() const { return m_root.filePath(QStringLiteral("runtime")); }
    QString path(const QString& name) const { return folder() + QLatin1Char('/') + name; }

    bool write(const QString& name, const QByteArray& content) const
    {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    QByteArray read(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool exists(const QString& name) const { return QFile::exists(path(name)); }

private:
    QTemporaryDir m_root;
};

// The real korvane (or the given build of it), started in a workspace on a display.
class Korvane
{
public:
    Korvane(const Workspace& workspace, const XServer& server, const QString& logName = QStringLiteral("korvane.log"),
            const QString& program = binDir() + QStringLiteral("/korvane"))
    {
        QProcessEnvironment env = server.environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), workspace.runtime());
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.remove(QStringLiteral("LC_ALL"));
        m_program.start(program, {}, env, workspace.folder(), workspace.root() + QLatin1Char('/') + logName);
    }

    bool started() const { return m_program.started(); }
    bool running() const { return m_program.running(); }
    qint64 pid() const { return m_program.pid(); }
    bool waitForExit(int timeoutMs = windowTimeoutMs) { return m_program.waitForExit(timeoutMs); }
    // The exit code of a normal exit; -1 while running or after a crash.
    int exitCode() const { return m_program.exitCode(); }
    void signal(int signalNumber) const { m_program.signal(signalNumber); }
    // What the program wrote on standard output and error, for failure messages.
    QString log() const { return m_program.log(); }
    // The process itself, for what the calls above leave out (an end on SIGTERM, how it ended).
    Program& program() { return m_program; }

private:
    Program m_program;
};

struct CliResult
{
    bool finished = false;
    int exitCode = -1;
    QString errors; // standard error
};

// The real korvane-cli, started in `folder` with no display and no standard input.
class Cli
{
public:
    Cli(const QString& folder, const QStringList& arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(folder);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.start(binDir() + QStringLiteral("/korvane-cli"), arguments);
        m_process.waitForStarted(toolTimeoutMs);
    }
    ~Cli()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    void signal(int number) { ::kill(static_cast<pid_t>(m_process.processId()), number); }
    CliResult wait(int timeoutMs = 30000)
    {
        CliResult r;
        r.finished = m_process.waitForFinished(timeoutMs) && m_process.exitStatus() == QProcess::NormalExit;
        r.exitCode = r.finished ? m_process.exitCode() : -1;
        r.errors = QString::fromLocal8Bit(m_process.readAllStandardError());
        return r;
    }

private:
    QProcess m_process;
};

// The real harkwell in its standard-output mode, listening on 127.0.0.1. What it prints goes to files,
// so the test reads it whatever it is doing meanwhile.
class Harkwell
{
public:
    Harkwell(const Workspace& workspace, quint16 port, const QString& name = QStringLiteral("harkwell"),
             const QStringList& more = {})
        : m_outPath(workspace.root() + QLatin1Char('/') + name + QStringLiteral(".out")),
          m_errPath(workspace.root() + QLatin1Char('/') + name + QStringLiteral(".err"))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        m_process.setProcessEnvironment(env);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setStandardOutputFile(m_outPath);
        m_process.setStandardErrorFile(m_errPath);
        m_process.start(binDir() + QStringLiteral("/harkwell"),
                        QStringList{QStringLiteral("--stdout"), QStringLiteral("--bind"), QStringLiteral("127.0.0.1"),
                                    QStringLiteral("--port"), QString::number(port)} +
                            more);
    }

    ~Harkwell()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    Harkwell(const Harkwell&) = delete;
    Harkwell& operator=(const Harkwell&) = delete;

    // True once it announces that it listens; false when it ends instead (the port was taken).
    bool waitUntilListening(int timeoutMs = windowTimeoutMs)
    {
        waitUntil([this] { return errors().contains("listening on") || m_process.state() == QProcess::NotRunning; },
                  timeoutMs);
        return m_process.state() == QProcess::Running && errors().contains("listening on");
    }

    QByteArray output() const { return readAll(m_outPath); }
    QByteArray errors() const { return readAll(m_errPath); }

    // The printed lines, without their line ends.
    QList<QByteArray> lines() const
    {
        QList<QByteArray> all = output().split('\n');
        if (!all.isEmpty() && all.last().isEmpty()) {
            all.removeLast();
        }
        return all;
    }

    // Ends it as an operator would, with SIGTERM; its exit code, or -1.
    int stop()
    {
        if (m_process.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        }
        if (!m_process.waitForFinished(toolTimeoutMs) || m_process.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        return m_process.exitCode();
    }

private:
    static QByteArray readAll(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString m_outPath;
    QString m_errPath;
    QProcess m_process;
};

// One received datagram and the moment the kernel took it in.
struct Arrival
{
    QByteArray payload;
    WallTime at;
};

using test::freeUdpPort;
using test::highestTestPort;
using test::lowestTestPort;

// The shared receiver (tests/support/udpreceiver.h), each datagram kept, read as Qt types.
class UdpReceiver : public test::UdpReceiver
{
public:
    UdpReceiver() : test::UdpReceiver(Keep::Datagrams) {}

    QList<Arrival> arrivals() const
    {
        QList<Arrival> all;
        for (const test::Datagram& d : datagrams()) {
            all.append({QByteArray(d.payload.data(), qsizetype(d.payload.size())), d.at});
        }
        return all;
    }

    QList<QByteArray> payloads() const
    {
        QList<QByteArray> all;
        for (const Arrival& a : arrivals()) {
            all.append(a.payload);
        }
        return all;
    }

    qsizetype count() const { return qsizetype(total()); }

    bool waitForCount(qsizetype wanted, int timeoutMs) const
    {
        return waitUntil([&] { return count() >= wanted; }, timeoutMs);
    }
};

// --- Settings and source files --------------------------------------------------------------------

using Keys = QList<std::pair<QByteArray, QByteArray>>;

// A korvane.ini with the given keys, in the given order, CR LF line ends.
inline QByteArray iniText(const Keys& keys)
{
    QByteArray text = "[Settings]\r\n";
    for (const auto& [key, value] : keys) {
        text += key + '=' + value + "\r\n";
    }
    return text;
}

// Every key korvane reads, with valid values, so that a run uses them from the first start.
inline Keys completeKeys(const Keys& overrides)
{
    Keys keys = {{"PositionX", "1440"},
                 {"PositionY", "720"},
                 {"RealLogFile", "0"},
                 {"Delay", "1"},
                 {"onetime", "1"},
                 {"GenerationType", "0"},
                 {"RemoveHeader", "0"},
                 {"HeaderString", "\" %PIX\""},
                 {"SRC_IP_1", "194.98.65.10"},
                 {"SRC_IP_2", "193.10.22.23"},
                 {"SRC_IP_3", "193.50.60.70"},
                 {"SRC_IP_4", "195.60.61.62"},
                 {"SRC_IP_5", "193.99.98.99"},
                 {"DST_IP_1", "10.10.12.12"},
                 {"DST_IP_2", "10.10.12.20"},
                 {"DST_IP_3", "10.10.12.30"},
                 {"DST_IP_4", "10.10.12.40"},
                 {"DST_IP_5", "10.11.11.1"},
                 {"GTW_IP", "10.11.11.11"},
                 {"UserName", "PIX_User"},
                 {"SessionNum", "10"},
                 {"ElapsedTime", "10"},
                 {"FirewallName", "Pix-Inside-Demo"},
                 {"SyslogFile", "0"},
                 {"UDP_Port_Syslog", "514"},
                 {"HostIP", "127.0.0.1"}};
    for (const auto& [key, value] : overrides) {
        // A named copy: clang 14 cannot capture a structured binding.
        auto it = std::find_if(keys.begin(), keys.end(), [wanted = key](const auto& kv) { return kv.first == wanted; });
        if (it != keys.end()) {
            it->second = value;
        } else {
            keys.append({key, value});
        }
    }
    return keys;
}

// The keys of section Settings of a korvane.ini, in file order.
inline Keys iniKeys(const QByteArray& text)
{
    Keys keys;
    bool inSettings = false;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inSettings = line == "[Settings]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inSettings || line.isEmpty() || line.startsWith(';') || eq < 0) {
            continue;
        }
        keys.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return keys;
}

inline std::optional<QByteArray> iniValue(const QByteArray& text, const QByteArray& key)
{
    for (const auto& [k, v] : iniKeys(text)) {
        if (k == key) {
            return v;
        }
    }
    return std::nullopt;
}

// Lines joined with CR LF after each, as korvane's text files hold them.
inline QByteArray crlfLines(const QList<QByteArray>& lines)
{
    QByteArray text;
    for (const QByteArray& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// Templates whose message number tells their place in the file: line i carries message 7100ii.
// They use every kind of placeholder, so a rewritten line still shows which template it came from.
inline QList<QByteArray> numberedTemplates(int count)
{
    static const char* const bodies[] = {
        "Built outbound TCP connection %d for faddr IP_addr/port gaddr IP_addr/port laddr IP_addr/port",
        "Deny tcp src outside:IP_addr/port dst inside:IP_addr/port by access-group \"acl_out\"",
        "User 'user' authenticated for session session_num after num_seconds seconds",
        "Teardown UDP connection %d for outside:IP_addr/port to inside:IP_addr/port duration 0:00:05",
        "Accepted packet from IP_addr on interface dec to host IP_addr",
    };
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i) {
        const int severity = 1 + i % 7;
        lines.append(QByteArray("%PIX-") + QByteArray::number(severity) + "-71" +
                     QByteArray::number(i).rightJustified(4, '0') + ": " + bodies[i % std::size(bodies)]);
    }
    return lines;
}

// The number of the template a line came from (numberedTemplates), -1 for none.
inline int lineNumber(const QByteArray& line)
{
    static const QRegularExpression re(QStringLiteral("%PIX-\\d-71(\\d+):"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(line));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The place in the file of the template a composed line came from; -1 when the line carries none.
inline int templateIndex(const QByteArray& line)
{
    static const QRegularExpression re(QStringLiteral("%PIX-\\d-71(\\d{4}):"));
    const QRegularExpressionMatch m = re.match(QString::fromLatin1(line));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The shape of every composed line: date, time, two blanks, the firewall name and a message tag.
inline const QRegularExpression& composedLinePattern()
{
    static const QRegularExpression re(QStringLiteral(
        "^\\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d  Pix-Inside-Demo %PIX-\\d-\\d+: [^\\r\\n]*$"));
    return re;
}

// The moment a composed line's header names, in local time; invalid when it names none.
inline QDateTime headerTime(const QByteArray& line)
{
    return QLocale::c().toDateTime(QString::fromLatin1(line.left(20)), QStringLiteral("dd MMM yyyy HH:mm:ss"));
}

} // namespace korvane::e2e
