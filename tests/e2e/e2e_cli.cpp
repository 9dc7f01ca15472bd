// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// korvane-cli as a user runs it: no display, a folder with korvane.ini and the sources, receivers on
// 127.0.0.1. Its lines are the window's lines; it ends as asked and tells why when it cannot.
#include "e2ekit.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

using namespace korvane::e2e;

namespace {

// A composed line without its time stamp ("dd Mmm yyyy hh:mm:ss").
QByteArray withoutStamp(const QByteArray& line)
{
    return line.mid(20);
}

// korvane-cli in `folder` with its standard output and error on `output` (a pipe whose reader is
// gone, a terminal): what QProcess cannot give it.
class SpawnedCli
{
public:
    SpawnedCli(const QString& folder, const QStringList& arguments, int output)
    {
        QList<QByteArray> words = {QFile::encodeName(binDir() + QStringLiteral("/korvane-cli")), "--dir",
                                   QFile::encodeName(folder)};
        for (const QString& argument : arguments) {
            words.append(argument.toLocal8Bit());
        }
        std::vector<char*> argv;
        for (QByteArray& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
        if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~SpawnedCli()
    {
        if (running()) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &m_status, 0);
        }
    }
    SpawnedCli(const SpawnedCli&) = delete;
    SpawnedCli& operator=(const SpawnedCli&) = delete;

    bool started() const { return m_pid > 0; }
    bool running()
    {
        if (m_pid > 0 && !m_ended && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
            m_ended = true;
        }
        return m_pid > 0 && !m_ended;
    }
    bool wait(int timeoutMs)
    {
        return waitUntil([this] { return !running(); }, timeoutMs);
    }
    void signal(int number) const { ::kill(m_pid, number); }
    // The exit status of a normal end; -1 otherwise.
    int exitCode() const { return m_ended && WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1; }
    // The signal that ended it; 0 otherwise.
    int endingSignal() const { return m_ended && WIFSIGNALED(m_status) ? WTERMSIG(m_status) : 0; }

private:
    pid_t m_pid = -1;
    int m_status = 0;
    bool m_ended = false;
};

// A TCP port on 127.0.0.1 that takes connections and never reads from them: lines stay queued.
class SilentReceiver
{
public:
    SilentReceiver()
    {
        for (int attempt = 0; attempt < 500 && m_fd < 0; ++attempt) {
            m_port = static_cast<quint16>(QRandomGenerator::global()->bounded(lowestTestPort, highestTestPort));
            m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            // A small window, inherited by the connections, so that little is taken in.
            const int buffer = 4096;
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(m_port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
                ::listen(m_fd, 4) != 0) {
                ::close(m_fd);
                m_fd = -1;
            }
        }
    }
    ~SilentReceiver()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    SilentReceiver(const SilentReceiver&) = delete;
    SilentReceiver& operator=(const SilentReceiver&) = delete;

    bool ok() const { return m_fd >= 0; }
    quint16 port() const { return m_port; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

} // namespace

class E2eCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void passToUdpMatchesTheWindowLineForLine();
    void countEndsTheRunAndAppends();
    void signalEndsAnEndlessRunWithWholeLines();
    void replayKeepsTheLogsPaceWithFreshStamps();
    void failuresSayWhy_data();
    void failuresSayWhy();
    void repairsAreSaidEvenWhenQuiet();
    void receiverThatNeverAnswersLeavesLinesUndelivered();
    void signalDuringTheDrainEndsAtOnce();
    void longDurationIsHeld_data();
    void longDurationIsHeld();
    void goneReaderOfStandardErrorIsNoCrash();
    void signalEndsAProgramStuckInAWrite();
    void onATerminalTheStatusLineFitsItsWidth();
};

void E2eCli::initTestCase()
{
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
}

void E2eCli::passToUdpMatchesTheWindowLineForLine()
{
    constexpr int lines = 40;
    UdpReceiver byWindow;
    UdpReceiver byCli;
    QVERIFY(byWindow.ok() && byCli.ok());
    Workspace ws;
    const auto ini = [&](quint16 port) {
        return iniText(completeKeys({{"SyslogFile", "1"},
                                     {"HostIP", "127.0.0.1"},
                                     {"UDP_Port_Syslog", QByteArray::number(port)},
                                     {"Delay", "0.01"},
                                     {"onetime", "1"},
                                     {"GenerationType", "0"}}));
    };
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(lines))));

    // The window's pass.
    {
        XServer server;
        QVERIFY2(server.ok(), qPrintable(server.error()));
        QVERIFY(ws.write(QStringLiteral("korvane.ini"), ini(byWindow.port())));
        Desktop desktop(server);
        Korvane korvane(ws, server);
        const quint64 window = desktop.waitForWindow(mainWindowName);
        QVERIFY2(window != 0, qPrintable(desktop.describe() + QLatin1Char('\n') + korvane.log()));
        QVERIFY(desktop.openFullView(window));
        QVERIFY(desktop.click(window, client::play));
        QVERIFY2(byWindow.waitForCount(lines, 30000), qPrintable(korvane.log()));
        desktop.key(window, QStringLiteral("alt+e"));
        QVERIFY(korvane.waitForExit());
    }

    // The same folder from the command line.
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), ini(byCli.port())));
    Cli cli(ws.folder(), {});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    QVERIFY(byCli.waitForCount(lines, 5000));
    QTest::qWait(100);
    QCOMPARE(byCli.count(), lines);
    const QList<QByteArray> window = byWindow.payloads();
    const QList<QByteArray> command = byCli.payloads();
    for (int i = 0; i < lines; ++i) {
        QCOMPARE(withoutStamp(command[i]), withoutStamp(window[i]));
    }
    QVERIFY2(r.errors.contains(QStringLiteral("korvane-cli: %1 lines in").arg(lines)), qPrintable(r.errors));
    QVERIFY2(r.errors.contains(
                 QStringLiteral("to UDP 127.0.0.1:%1, plain lines; %2 delivered\n").arg(byCli.port()).arg(lines)),
             qPrintable(r.errors));
    // The window's own keys are the window's: neither read nor written.
    QCOMPARE(ws.read(QStringLiteral("korvane.ini")), ini(byCli.port()));
}

void E2eCli::countEndsTheRunAndAppends()
{
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"Delay", "0.000001"}, {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(7))));
    QVERIFY(ws.write(QStringLiteral("GENERATE.TXT"), "kept\r\n"));

    Cli cli(ws.folder(), {QStringLiteral("--count"), QStringLiteral("1000")});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    const QByteArray text = ws.read(QStringLiteral("GENERATE.TXT"));
    QVERIFY(text.startsWith("kept\r\n"));
    QCOMPARE(text.count("\r\n"), 1001);
    QVERIFY2(r.errors.contains(QStringLiteral("1000 lines in")), qPrintable(r.errors));
    QVERIFY2(r.errors.contains(QStringLiteral("/GENERATE.TXT, plain lines; 1000 written\n")), qPrintable(r.errors));

    Cli fresh(ws.folder(), {QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--new"),
                            QStringLiteral("--manifest"), ws.path(QStringLiteral("run.json"))});
    const CliResult again = fresh.wait();
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(ws.read(QStringLiteral("GENERATE.TXT")).count("\r\n"), 3);
    // The manifest counts what the summary says.
    QVERIFY2(again.errors.contains(QStringLiteral("3 lines in")), qPrintable(again.errors));
    const QJsonObject manifest = QJsonDocument::fromJson(ws.read(QStringLiteral("run.json"))).object();
    QCOMPARE(manifest.value(QStringLiteral("lines")).toObject().value(QStringLiteral("emitted")).toInt(-1), 3);
}

void E2eCli::signalEndsAnEndlessRunWithWholeLines()
{
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"Delay", "0.001"}, {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(7))));
    Cli cli(ws.folder(), {QStringLiteral("--quiet")});
    QVERIFY(waitUntil([&] { return ws.read(QStringLiteral("GENERATE.TXT")).count("\r\n") >= 50; }, 10000));
    cli.signal(SIGINT);
    const CliResult r = cli.wait(5000);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    const QByteArray text = ws.read(QStringLiteral("GENERATE.TXT"));
    QVERIFY(text.endsWith("\r\n"));
    QVERIFY2(r.errors.contains(QStringLiteral("%1 lines in").arg(text.count("\r\n"))), qPrintable(r.errors));
}

void E2eCli::replayKeepsTheLogsPaceWithFreshStamps()
{
    Workspace ws;
    UdpReceiver receiver;
    QVERIFY(receiver.ok());
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"HostIP", "127.0.0.1"},
                                           {"UDP_Port_Syslog", QByteArray::number(receiver.port())},
                                           {"RealLogFile", "1"},
                                           {"Delay", "0.2"},
                                           {"onetime", "1"},
                                           {"ReplayTiming", "1"},
                                           {"ReplaySpeed", "4"},
                                           {"ReplayMaxGap", "0.5"},
                                           {"ReplayRestamp", "1"}}))));
    // Gaps of 0, 2, 1 and 10 s in the log: 0, 0.5, 0.25 and (cut) 0.5 s at four times the speed.
    QVERIFY(ws.write(QStringLiteral("KORVANE.TXT"),
                     crlfLines({"Jan  2 10:00:00 10.1.1.1 %PIX-6-1: a", "Jan  2 10:00:00 10.1.1.1 %PIX-6-1: b",
                                "Jan  2 10:00:02 10.1.1.1 %PIX-6-1: c", "Jan  2 10:00:03 10.1.1.1 %PIX-6-1: d",
                                "Jan  2 10:00:13 10.1.1.1 %PIX-6-1: e"})));
    Cli cli(ws.folder(), {QStringLiteral("--quiet")});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    QVERIFY(receiver.waitForCount(5, 5000));

    const QList<Arrival> arrivals = receiver.arrivals();
    const QList<double> gaps = {0, 0.5, 0.25, 0.5};
    for (qsizetype i = 1; i < arrivals.size(); ++i) {
        const double gap = secondsBetween(arrivals[i - 1].at, arrivals[i].at);
        QVERIFY2(qAbs(gap - gaps[i - 1]) < 0.05, qPrintable(QStringLiteral("gap %1: %2 s").arg(i).arg(gap)));
    }
    // Each line carries the time it was sent, in the log's own form.
    const QDate date = QDate::currentDate();
    const QString today =
        QStringLiteral("%1 %2").arg(QLocale::c().monthName(date.month(), QLocale::ShortFormat)).arg(date.day(), 2);
    for (const Arrival& arrival : arrivals) {
        const QString line = QString::fromLatin1(arrival.payload);
        QVERIFY2(line.startsWith(today) && line.mid(15).startsWith(QStringLiteral(" 10.1.1.1 %PIX-6-1: ")),
                 arrival.payload.constData());
        const QTime stamped = QTime::fromString(line.mid(7, 8), QStringLiteral("hh:mm:ss"));
        QVERIFY2(stamped.isValid() && qAbs(stamped.secsTo(QTime::currentTime())) <= 5, arrival.payload.constData());
    }
}

void E2eCli::failuresSayWhy_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("generationType");
    QTest::addColumn<QByteArray>("obstacle"); // "held": another run writes GENERATE.TXT; "fifo", "ini folder"
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");

    QTest::newRow("absent source") << QStringList() << QByteArray("-1") << QByteArray() << 1
                                   << "The SAMPLE.TXT file doesn't exists.";
    QTest::newRow("output held by another run") << QStringList() << QByteArray("0") << QByteArray("held") << 1
                                                << "korvane-cli: GENERATE.TXT: in use by another run of Korvane";
    QTest::newRow("output that is a FIFO")
        << QStringList() << QByteArray("0") << QByteArray("fifo") << 1 << "GENERATE.TXT: ";
    QTest::newRow("korvane.ini that cannot be read")
        << QStringList() << QByteArray("0") << QByteArray("ini folder") << 1 << "korvane-cli: korvane.ini: ";
    QTest::newRow("folder that is not there") << QStringList{QStringLiteral("--dir"), QStringLiteral("no/such")}
                                              << QByteArray("0") << QByteArray() << 1 << "no/such";
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast")} << QByteArray("0") << QByteArray() << 2
                                    << "korvane-cli --help";
    QTest::newRow("count that is not a whole number") << QStringList{QStringLiteral("--count"), QStringLiteral("2.5")}
                                                      << QByteArray("0") << QByteArray() << 2 << "--count";
}

void E2eCli::failuresSayWhy()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, generationType);
    QFETCH(QByteArray, obstacle);
    QFETCH(int, status);
    QFETCH(QString, says);

    Workspace ws;
    const QByteArray ini =
        iniText(completeKeys({{"SyslogFile", "0"}, {"GenerationType", generationType}, {"Delay", "5"}}));
    if (obstacle == "ini folder") {
        QVERIFY(QDir(ws.folder()).mkdir(QStringLiteral("korvane.ini")));
    } else {
        QVERIFY(ws.write(QStringLiteral("korvane.ini"), ini));
    }
    if (generationType != "-1") {
        QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(2))));
    }
    std::unique_ptr<Cli> holder;
    if (obstacle == "held") {
        holder = std::make_unique<Cli>(ws.folder(), QStringList{QStringLiteral("--quiet")});
        QVERIFY(waitUntil([&] { return QFile::exists(ws.path(QStringLiteral("GENERATE.TXT"))); }, 5000));
        QTest::qWait(200); // its lock is taken with the file
    }
    if (obstacle == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(ws.path(QStringLiteral("GENERATE.TXT"))).constData(), 0600), 0);
    }
    Cli cli(ws.folder(), arguments);
    // Refused at once: a refusal that waits (for a reader of the FIFO) is none.
    const CliResult r = cli.wait(10000);
    QVERIFY2(r.finished, qPrintable(r.errors));
    QCOMPARE(r.exitCode, status);
    QVERIFY2(r.errors.contains(says), qPrintable(r.errors));
}

void E2eCli::repairsAreSaidEvenWhenQuiet()
{
    Workspace ws;
    UdpReceiver receiver;
    QVERIFY(receiver.ok());
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"Protocol", "TPC"},
                                           {"UDP_Port_Syslog", QByteArray::number(receiver.port())},
                                           {"Delay", "0.01"},
                                           {"onetime", "1"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(3))));
    Cli cli(ws.folder(), {QStringLiteral("--quiet")});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    QCOMPARE(r.errors.count(QStringLiteral("korvane.ini: Protocol \"TPC\"")), 1);
    QVERIFY2(
        r.errors.contains(QStringLiteral("korvane-cli: korvane.ini: Protocol \"TPC\" is not UDP, TCP, TLS or RELP; "
                                         "UDP written back\n")),
        qPrintable(r.errors));
    QVERIFY(receiver.waitForCount(3, 5000));
}

void E2eCli::receiverThatNeverAnswersLeavesLinesUndelivered()
{
    const quint16 port = freeUdpPort(); // nothing listens on it over TCP either, most likely
    QVERIFY(port != 0);
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys({{"SyslogFile", "1"},
                                                                          {"Protocol", "TCP"},
                                                                          {"UDP_Port_Syslog", QByteArray::number(port)},
                                                                          {"Delay", "0.01"},
                                                                          {"onetime", "1"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(5))));
    Cli cli(ws.folder(), {QStringLiteral("--quiet")});
    const CliResult r = cli.wait();
    QVERIFY2(r.finished, qPrintable(r.errors));
    QCOMPARE(r.exitCode, 3);
    QVERIFY2(r.errors.contains(QStringLiteral("korvane-cli: 5 lines not delivered to TCP 127.0.0.1:%1: ").arg(port)),
             qPrintable(r.errors));
    QVERIFY2(r.errors.contains(QStringLiteral("; 0 delivered, 5 not delivered\n")), qPrintable(r.errors));
    // The run has given up: nothing is said to be tried again.
    QVERIFY2(!r.errors.contains(QStringLiteral("again")), qPrintable(r.errors));
}

void E2eCli::signalDuringTheDrainEndsAtOnce()
{
    SilentReceiver receiver;
    QVERIFY(receiver.ok());
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"Protocol", "TCP"},
                                           {"UDP_Port_Syslog", QByteArray::number(receiver.port())},
                                           {"Delay", "0.000001"},
                                           {"onetime", "0"}}))));
    // Long lines as fast as they come: many more bytes in a second than the system's buffers take.
    QList<QByteArray> templates;
    for (int i = 0; i < 10; ++i) {
        templates.append("%PIX-6-7100" + QByteArray::number(i) + ": " + QByteArray(500, 'a' + char(i)));
    }
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(templates)));
    Cli cli(ws.folder(), {QStringLiteral("--quiet"), QStringLiteral("--duration"), QStringLiteral("1")});
    // The run is over after a second; the lines the receiver does not take keep the drain waiting.
    const CliResult early = cli.wait(2500);
    QVERIFY2(!early.finished, qPrintable(early.errors));
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    cli.signal(SIGINT);
    const CliResult r = cli.wait();
    QVERIFY2(r.finished, "ended by the signal's default handling, not as asked");
    QVERIFY2(sinceSignal.elapsed() < 5000, qPrintable(QStringLiteral("it took %1 ms").arg(sinceSignal.elapsed())));
    QVERIFY2(r.errors.contains(QStringLiteral(" lines not delivered to TCP 127.0.0.1:%1: the run was ended by a signal")
                                   .arg(receiver.port())),
             qPrintable(r.errors));
    QCOMPARE(r.exitCode, 3);
}

void E2eCli::longDurationIsHeld_data()
{
    QTest::addColumn<QString>("seconds");
    QTest::newRow("beyond a timer's milliseconds") << QStringLiteral("2147484");
    QTest::newRow("where the milliseconds wrap to nearly nothing") << QStringLiteral("4294968");
}

void E2eCli::longDurationIsHeld()
{
    QFETCH(QString, seconds);
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"Delay", "0.01"}, {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(3))));
    Cli cli(ws.folder(), {QStringLiteral("--quiet"), QStringLiteral("--duration"), seconds});
    const CliResult early = cli.wait(2000);
    QVERIFY2(!early.finished, qPrintable(early.errors));
    cli.signal(SIGINT);
    const CliResult r = cli.wait();
    const QString errors = early.errors + r.errors;
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(errors));
    QVERIFY2(errors.startsWith(QStringLiteral("korvane-cli: ")) && errors.count(QLatin1Char('\n')) == 1,
             qPrintable(errors));
}

void E2eCli::goneReaderOfStandardErrorIsNoCrash()
{
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"Delay", "0.001"}, {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(3))));
    int ends[2];
    QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]); // as "korvane-cli 2>&1 | true" once true has ended
    SpawnedCli cli(ws.folder(), {QStringLiteral("--count"), QStringLiteral("100")}, ends[1]);
    ::close(ends[1]);
    QVERIFY(cli.started());
    QVERIFY(cli.wait(30000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(ws.read(QStringLiteral("GENERATE.TXT")).count("\r\n"), 100);
}

void E2eCli::signalEndsAProgramStuckInAWrite()
{
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"Delay", "0.001"}, {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(3))));
    // Standard error a full pipe that nobody reads, as "korvane-cli 2>&1 | less" with less stopped:
    // the summary is never written.
    int ends[2];
    QCOMPARE(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    const QByteArray filler(4096, 'x');
    while (::write(ends[1], filler.constData(), filler.size()) > 0) {
    }
    QCOMPARE(::fcntl(ends[1], F_SETFL, 0), 0); // blocking again, for the program's writes
    SpawnedCli cli(ws.folder(), {QStringLiteral("--count"), QStringLiteral("5")}, ends[1]);
    ::close(ends[1]);
    QVERIFY(cli.started());
    QVERIFY(waitUntil([&] { return ws.read(QStringLiteral("GENERATE.TXT")).count("\r\n") == 5; }, 30000));
    QVERIFY(cli.running());

    QElapsedTimer sinceSignal;
    sinceSignal.start();
    cli.signal(SIGTERM);
    QVERIFY2(cli.wait(30000), "the signal did not end it");
    QVERIFY2(sinceSignal.elapsed() < 5000, qPrintable(QStringLiteral("it took %1 ms").arg(sinceSignal.elapsed())));
    QCOMPARE(cli.endingSignal(), int(SIGTERM));
    ::close(ends[0]);
}

void E2eCli::onATerminalTheStatusLineFitsItsWidth()
{
    constexpr int columns = 20;
    Workspace ws;
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "0"}, {"Delay", "0.001"}, {"onetime", "0"}}))));
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(3))));
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(terminal >= 0);
    QVERIFY(::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    winsize size{};
    size.ws_col = columns;
    size.ws_row = 24;
    QCOMPARE(::ioctl(terminal, TIOCSWINSZ, &size), 0);
    const int side = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(side >= 0);
    SpawnedCli cli(ws.folder(), {QStringLiteral("--count"), QStringLiteral("1000")}, side);
    ::close(side);
    QVERIFY(cli.started());
    QByteArray shown;
    const bool ended = waitUntil(
        [&] {
            char chunk[4096];
            ssize_t got = 0;
            while (::poll(std::array{pollfd{terminal, POLLIN, 0}}.data(), 1, 0) > 0 &&
                   (got = ::read(terminal, chunk, sizeof chunk)) > 0) {
                shown.append(chunk, got);
            }
            return !cli.running() && got <= 0;
        },
        30000);
    ::close(terminal);
    QVERIFY2(ended, shown.constData());
    QCOMPARE(cli.exitCode(), 0);

    // First where the lines come from and go, then the status line, redrawn in place, never wider
    // than the terminal's width less one.
    const QString folder = QDir(ws.folder()).canonicalPath();
    QVERIFY2(
        shown.startsWith(QStringLiteral("korvane-cli: in %1, lines of SAMPLE.TXT to %1/GENERATE.TXT, plain lines\r\n")
                             .arg(folder)
                             .toLocal8Bit()),
        shown.constData());
    int redraws = 0;
    for (QByteArray part : shown.split('\r')) {
        part.replace("\x1b[K", "");
        if (part.isEmpty() || part.startsWith('\n') || part.startsWith("korvane-cli: ")) {
            continue;
        }
        ++redraws;
        QVERIFY2(part.size() <= columns - 1, part.constData());
    }
    QVERIFY2(redraws > 0, shown.constData());
    QVERIFY2(shown.contains("\r\x1b[Kkorvane-cli: 1000 lines in "), shown.constData());
}

QTEST_GUILESS_MAIN(E2eCli)
#include "e2e_cli.moc"
