// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/generationrun.h"
#include "runfakes.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace korvane {
// Readable names in failure messages.
char* toString(GenerationRun::Next next)
{
    static const char* const names[] = {"Wait", "Yield", "Idle", "Finished", "Halted"};
    return qstrdup(names[static_cast<int>(next)]);
}
} // namespace korvane

using namespace korvane;
using korvane::test::FixedWallClock;
using korvane::test::RecordingObserver;
using korvane::test::RecordingSink;
using korvane::test::ScriptedRandom;
using korvane::test::writeSource;
using Next = GenerationRun::Next;

namespace {

QStringList toList(const std::vector<std::string>& lines)
{
    QStringList list;
    for (const std::string& line : lines) {
        list << QString::fromStdString(line);
    }
    return list;
}

QStringList numbered(const QString& pattern, int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i) {
        lines << pattern.arg(i);
    }
    return lines;
}

RunSettings settingsFor(const std::filesystem::path& source, int generationType, bool onePass = true)
{
    RunSettings s;
    s.onePass = onePass;
    s.generationType = generationType;
    s.realLogs = true;
    s.sourceFile = source;
    s.firewallName = "Pix-Inside-Demo";
    s.rewrite.srcIp = {"194.98.65.10", "193.10.22.23", "193.50.60.70", "195.60.61.62", "193.99.98.99"};
    s.rewrite.dstIp = {"10.10.12.12", "10.10.12.20", "10.10.12.30", "10.10.12.40", "10.11.11.1"};
    s.rewrite.gatewayIp = "10.11.11.11";
    s.rewrite.userName = "operator";
    s.rewrite.sessionNum = "10";
    s.rewrite.elapsedTime = "10";
    return s;
}

// Everything a run talks to, with one journal of its reports and writes in the order they were made.
struct Rig
{
    std::vector<std::string> journal;
    RunFlags flags;
    RecordingObserver observer{&journal};
    RecordingSink sink{&journal};
    ScriptedRandom random;
    FixedWallClock clock;
};

struct Outcome
{
    Next last = Next::Finished;
    int waits = 0;
    int yields = 0; // yields and idle pauses
};

// Plays the operator through a whole run. Each character of `script` is what is pressed during
// one wait: '.' nothing, 'P' Pause, 'D' Pause twice, 'S' Stop, 'T' Stop twice. A leading '*'
// is a Pause pressed before Play.
Outcome drive(GenerationRun& run, RunFlags& flags, QString script = {}, int maxWaits = 1000)
{
    if (script.startsWith('*')) {
        flags.Paused = true;
        script.remove(0, 1);
    }
    Outcome o;
    o.last = run.start();
    while (o.last == Next::Wait || o.last == Next::Yield || o.last == Next::Idle) {
        if (o.last != Next::Wait) {
            if (++o.yields > maxWaits) {
                break;
            }
            o.last = run.resume();
            continue;
        }
        if (o.waits == maxWaits) {
            break;
        }
        const QChar press = o.waits < script.size() ? script[o.waits] : QChar('.');
        const int pausePresses = press == 'P' ? 1 : press == 'D' ? 2 : 0;
        for (int i = 0; i < pausePresses; ++i) {
            flags.Paused = !flags.Paused;
        }
        if (press == 'S' || press == 'T') {
            flags.StopRequested = true;
        }
        ++o.waits;
        o.last = run.waitOver();
    }
    return o;
}

void verifyIdleAfterRun(const Rig& rig, const GenerationRun& run)
{
    QCOMPARE(rig.journal.back(), "end");
    QCOMPARE(rig.observer.ends, 1);
    QCOMPARE(rig.observer.failures, 0);
    QCOMPARE(rig.flags.Paused, false);
    QCOMPARE(rig.flags.StopRequested, false);
    QCOMPARE(run.lineCounter(), 0);
    QVERIFY(!run.active());
}

// The source must be closed whenever a run is over, however it ended.
int openDescriptors()
{
#ifdef Q_OS_LINUX
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
#else
    return 0;
#endif
}

} // namespace

class TestGenerationRun : public QObject
{
    Q_OBJECT

private slots:
    void threeLinesOneWaitEach();
    void selection_data();
    void selection();
    void randomSelection_data();
    void randomSelection();
    void shaping_data();
    void shaping();
    void endlessPassesWhenJustOneIsOff();
    void replayWaitsTheLogsOwnGaps_data();
    void replayWaitsTheLogsOwnGaps();
    void pauseAndStop_data();
    void pauseAndStop();
    void stopWhilePausedLeavesNextRunUnpaused();
    void exitDuringWaitSkipsEndOfRun();
    void passesWithoutLineRestOneDelay_data();
    void passesWithoutLineRestOneDelay();
    void longStretchWithoutMatchYields();
    void failures_data();
    void failures();
    void skippedDeliveriesKeepRunGoing();
    void countsBeyondSixteenBits();
};

void TestGenerationRun::threeLinesOneWaitEach()
{
    QTemporaryDir dir;
    const auto source = writeSource(dir, {"%PIX-6-302001: Built outbound TCP connection %d",
                                          "%PIX-4-106023: Deny tcp src IP_addr/port", "%PIX-5-111008: User 'user'"});
    RunSettings settings = settingsFor(source, 0, true);
    settings.realLogs = false;
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    QCOMPARE(run.start(), Next::Wait);
    QCOMPARE(rig.journal, (std::vector<std::string>{"start", "pass"}));
    QVERIFY(rig.observer.lines.empty()); // the first line comes one delay after Play

    for (std::size_t line = 1; line <= 3; ++line) {
        QCOMPARE(run.waitOver(), line < 3 ? Next::Wait : Next::Finished);
        QCOMPARE(rig.observer.lines.size(), line);
    }
    // Per line: counted and shown as it goes out, then to the sink, then the sink has it.
    const std::string first = rig.observer.lines[0];
    QCOMPARE(std::vector<std::string>(rig.journal.begin() + 2, rig.journal.begin() + 5),
             (std::vector<std::string>{"line 1 " + first, "write " + first, "written"}));
    QVERIFY(QString::fromStdString(first).startsWith("06 Dec 2026 04:47:51  Pix-Inside-Demo %PIX-6-302001:"));
    QCOMPARE(rig.sink.lines, rig.observer.lines);
    QCOMPARE(rig.observer.written, 3);
    QCOMPARE(rig.observer.lastCount, 3);
    QCOMPARE(std::vector<std::string>(rig.journal.end() - 3, rig.journal.end()),
             (std::vector<std::string>{"write " + rig.observer.lines[2], "written", "end"}));
    verifyIdleAfterRun(rig, run);
}

void TestGenerationRun::selection_data()
{
    QTest::addColumn<int>("generationType");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("waits");

    QTest::newRow("type 0 emits the PIX- lines; the others cost a wait and no count")
        << 0 << QStringList{"%PIX-6-1 a", "no tag b", "%PIX-3-2 c", "PIX without dash d"}
        << QStringList{"%PIX-6-1 a", "%PIX-3-2 c"} << 4;
    QTest::newRow("type 0 is case-sensitive")
        << 0 << QStringList{"%pix-6-1 a", "%Pix-6-2 b", "%PIX-6-3 c"} << QStringList{"%PIX-6-3 c"} << 3;
    QTest::newRow("level 5 takes PIX-5 only; other levels and lower case cost no wait")
        << 5 << QStringList{"%PIX-5-1 a", "%PIX-6-2 b", "%pix-5-3 c", "x PIX- 5 d", "%PIX-5-4 e", "%PIX-4-5 f"}
        << QStringList{"%PIX-5-1 a", "%PIX-5-4 e"} << 2;
    QTest::newRow("level 1 matches PIX-1 anywhere in the line")
        << 1 << QStringList{"head %PIX-1-1 a", "%PIX-2-2 b PIX-1"} << QStringList{"head %PIX-1-1 a", "%PIX-2-2 b PIX-1"}
        << 2;
    QTest::newRow("level 7 with its match on the last line")
        << 7 << QStringList{"%PIX-6-1 a", "%PIX-6-2 b", "%PIX-7-3 c"} << QStringList{"%PIX-7-3 c"} << 1;
    QTest::newRow("level 3 without any match makes no wait")
        << 3 << QStringList{"%PIX-6-1 a", "%PIX-4-2 b"} << QStringList{} << 0;
    QTest::newRow("a type outside -1 to 7 selects nothing")
        << 8 << QStringList{"%PIX-8-1 a", "%PIX-6-2 b"} << QStringList{} << 0;
}

void TestGenerationRun::selection()
{
    QFETCH(int, generationType);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, expected);
    QFETCH(int, waits);

    QTemporaryDir dir;
    const RunSettings settings = settingsFor(writeSource(dir, lines), generationType);
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    const Outcome o = drive(run, rig.flags);
    QCOMPARE(o.last, Next::Finished);
    QCOMPARE(o.waits, waits);
    QCOMPARE(toList(rig.observer.lines), expected);
    QCOMPARE(toList(rig.sink.lines), expected);
    QCOMPARE(rig.observer.lastCount, expected.isEmpty() ? -1 : expected.size());
    QCOMPARE(rig.random.drawn, std::size_t{0});
    verifyIdleAfterRun(rig, run);
}

void TestGenerationRun::randomSelection_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<double>>("draws");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("two lines: always the second")
        << QStringList{"%PIX-1 first", "%PIX-2 second"} << QList<double>{0.0, 0.5, 0.999999}
        << QStringList{"%PIX-2 second", "%PIX-2 second", "%PIX-2 second"};
    QTest::newRow("one line: that line, no failure")
        << QStringList{"%PIX-1 only"} << QList<double>{0.0, 0.7} << QStringList{"%PIX-1 only", "%PIX-1 only"};
    QTest::newRow("draw r takes line floor(r * count + 1) + 1")
        << numbered("%PIX-6 line %1", 5) << QList<double>{0.0, 0.25, 0.5, 0.75, 0.999}
        << QStringList{"%PIX-6 line 2", "%PIX-6 line 3", "%PIX-6 line 4", "%PIX-6 line 5", "%PIX-6 line 5"};
    QTest::newRow("a drawn line without PIX- costs its wait only")
        << QStringList{"%PIX-1 a", "plain b", "%PIX-3 c"} << QList<double>{0.0, 0.5, 0.0} << QStringList{"%PIX-3 c"};
    QTest::newRow("draws among the lines present at Play, not those counted at start-up")
        << numbered("%PIX-6 line %1", 5) << QList<double>{0.0, 0.5, 0.75}
        << QStringList{"%PIX-6 line 2", "%PIX-6 line 4", "%PIX-6 line 5"};
    QTest::newRow("more than 32767 lines") << numbered("%PIX-6 line %1", 40000) << QList<double>{0.99999, 0.8192}
                                           << QStringList{"%PIX-6 line 40000", "%PIX-6 line 32769"};
}

void TestGenerationRun::randomSelection()
{
    QFETCH(QStringList, lines);
    QFETCH(QList<double>, draws);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    const RunSettings settings = settingsFor(writeSource(dir, lines), -1);
    Rig rig;
    rig.random = ScriptedRandom(std::vector<double>(draws.begin(), draws.end()));
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    // The main reader never moves, so only Stop ends the run.
    const Outcome o = drive(run, rig.flags, QString(draws.size(), '.') + 'S');
    QCOMPARE(o.last, Next::Finished);
    QCOMPARE(o.waits, int(draws.size()) + 1);
    QCOMPARE(rig.random.drawn, std::size_t(draws.size())); // one draw per wait, none after Stop
    QCOMPARE(toList(rig.observer.lines), expected);
    QCOMPARE(rig.observer.passes, 1);
}

void TestGenerationRun::shaping_data()
{
    QTest::addColumn<bool>("realLogs");
    QTest::addColumn<bool>("removeHeader");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("draws");

    const QString realLine = "Dec  6 04:47:51 10.1.1.1 %PIX-6-302001: Built %d for faddr IP_addr/port 'user' decrypt";
    QTest::newRow("real log goes out as read, placeholders untouched")
        << true << false << 0 << realLine << realLine << 0;
    QTest::newRow("real log loses its header and nothing else")
        << true << true << 0 << realLine << "%PIX-6-302001: Built %d for faddr IP_addr/port 'user' decrypt" << 0;
    QTest::newRow("template is rewritten and gets date, time and firewall name")
        << false << false << 0 << "%PIX-6-302001: Built outbound TCP connection %d for faddr IP_addr/port"
        << "06 Dec 2026 04:47:51  Pix-Inside-Demo %PIX-6-302001: Built outbound TCP connection 32768 for faddr "
           "193.50.60.70/513"
        << 8;
    // The header's "/port" must not take the first port number: it is cut before rewriting.
    QTest::newRow("template header is cut before rewriting")
        << false << true << 0 << "gw/port %PIX-6-1: out/port"
        << "06 Dec 2026 04:47:51  Pix-Inside-Demo %PIX-6-1: out/513" << 8;
    const int rfc3164 = static_cast<int>(SyslogFormat::Rfc3164);
    QTest::newRow("standard header replaces a template's header")
        << false << true << rfc3164 << "gw/port %PIX-4-1: out/port"
        << "<164>Dec  6 04:47:51 Pix-Inside-Demo %PIX-4-1: out/513" << 8;
    const int device = static_cast<int>(SyslogFormat::Device);
    QTest::newRow("device header replaces a template's header")
        << false << true << device << "gw/port %PIX-4-1: out/port"
        << "<164>Dec  6 2026 04:47:51 Pix-Inside-Demo : %PIX-4-1: out/513" << 8;
    // The collector must see the host and the tag, not the month as the program's name.
    const QString ownHeader = "Nov 30 23:10:05 10.1.1.1 %PIX-1-106021: Deny TCP reverse path check";
    QTest::newRow("a real log line's own stamp and host make way for the standard header, host kept")
        << true << false << rfc3164 << ownHeader
        << "<161>Dec  6 04:47:51 10.1.1.1 %PIX-1-106021: Deny TCP reverse path check" << 0;
    QTest::newRow("a real log line's own priority, stamp and host make way for the device header")
        << true << false << device << "<166>" + ownHeader
        << "<161>Dec  6 2026 04:47:51 10.1.1.1 : %PIX-1-106021: Deny TCP reverse path check" << 0;
    QTest::newRow("a real log line's RFC 3339 stamp and host make way for the RFC 5424 header")
        << true << false << static_cast<int>(SyslogFormat::Rfc5424)
        << "2026-11-30T23:10:05.250Z fw-b %PIX-1-106021: Deny TCP reverse path check"
        << "<161>1 2026-12-06T04:47:51.000+00:00 fw-b PIX - 106021 - %PIX-1-106021: Deny TCP reverse path check" << 0;
    QTest::newRow("a real log line with a stamp and no host gets the standard header before it")
        << true << false << rfc3164 << "Nov 30 2026 23:10:05: %PIX-6-1: x"
        << "<166>Dec  6 04:47:51 Pix-Inside-Demo Nov 30 2026 23:10:05: %PIX-6-1: x" << 0;
    QTest::newRow("standard header goes before a real log line after header removal")
        << true << true << static_cast<int>(SyslogFormat::Rfc5424) << realLine
        << "<166>1 2026-12-06T04:47:51.000+00:00 Pix-Inside-Demo PIX - 302001 - %PIX-6-302001: Built %d for faddr "
           "IP_addr/port 'user' decrypt"
        << 0;
}

void TestGenerationRun::shaping()
{
    QFETCH(bool, realLogs);
    QFETCH(bool, removeHeader);
    QFETCH(int, format);
    QFETCH(QString, line);
    QFETCH(QString, expected);
    QFETCH(int, draws);

    QTemporaryDir dir;
    RunSettings settings = settingsFor(writeSource(dir, {line}), 0);
    settings.realLogs = realLogs;
    settings.removeHeader = removeHeader;
    settings.headerString = " %PIX";
    settings.format = static_cast<SyslogFormat>(format);
    settings.facility = 20;
    Rig rig;
    rig.random = ScriptedRandom({0.5});
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    QCOMPARE(drive(run, rig.flags).last, Next::Finished);
    QCOMPARE(toList(rig.sink.lines), QStringList{expected});
    QCOMPARE(toList(rig.observer.lines), QStringList{expected});
    QCOMPARE(rig.random.drawn, std::size_t(draws));
}

void TestGenerationRun::replayWaitsTheLogsOwnGaps_data()
{
    QTest::addColumn<int>("generationType");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("waits"); // before each emitted line: seconds set by the log, or one Delay
    QTest::addColumn<int>("emitted");

    // Speed 2, gaps cut to 3 s, Delay 0.5.
    QTest::newRow("scaled, backwards as 0, cut, no stamp as Delay")
        << 0 << QStringList{"Dec  6 04:47:51 %PIX-6-1: a", "Dec  6 04:47:53 %PIX-6-1: b", "Dec  6 04:47:52 %PIX-6-1: c",
                            "Dec  6 04:48:52 %PIX-6-1: d", "%PIX-6-1: no stamp",          "Dec  6 04:48:53 %PIX-6-1: f"}
        << QStringList{"Delay", "1", "0", "3", "Delay", "0"} << 6;
    QTest::newRow("lines that are not sent cost no wait and set no gap")
        << 0
        << QStringList{"Dec  6 04:47:40 no tag", "Dec  6 04:47:51 %PIX-6-1: a", "Dec  6 04:47:52 skipped",
                       "Dec  6 04:47:53 %PIX-6-1: b"}
        << QStringList{"Delay", "1"} << 2;
    QTest::newRow("one level") << 4
                               << QStringList{"Dec  6 04:47:51 %PIX-4-1: a", "Dec  6 04:47:52 %PIX-6-1: b",
                                              "Dec  6 04:47:55 %PIX-4-1: c"}
                               << QStringList{"Delay", "2"} << 2;
    QTest::newRow("the waits of lines without a stamp count towards the gap")
        << 0 << QStringList{"Dec  6 04:47:51 %PIX-6-1: a", "%PIX-6-1: b", "%PIX-6-1: c",
                            "Dec  6 04:47:55 %PIX-6-1: d", "%PIX-6-1: e", "Dec  6 04:48:55 %PIX-6-1: f"}
        << QStringList{"Delay", "Delay", "Delay", "1", "Delay", "2.5"} << 6;
    QTest::newRow("forms of stamp mixed on one time line")
        << 0
        << QStringList{"Dec  6 04:47:51 %PIX-6-1: a", "2026-12-06T04:47:53Z %PIX-6-1: b",
                       "Dec  6 2026 04:47:55 %PIX-6-1: c", "Dec  6 04:47:56 %PIX-6-1: d"}
        << QStringList{"Delay", "1", "1", "0.5"} << 4;
}

void TestGenerationRun::replayWaitsTheLogsOwnGaps()
{
    QFETCH(int, generationType);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, waits);
    QFETCH(int, emitted);

    QTemporaryDir dir;
    RunSettings settings = settingsFor(writeSource(dir, lines), generationType);
    settings.delay = 0.5;
    settings.replayAtLogPace = true;
    settings.replaySpeed = 2;
    settings.replayMaxGap = 3;
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    QStringList measured;
    Next next = run.start();
    while (next == Next::Wait || next == Next::Yield) {
        if (next == Next::Wait) {
            const std::optional<double> fromLog = run.lineDelaySeconds();
            measured << (fromLog ? QString::number(*fromLog) : QStringLiteral("Delay"));
            next = run.waitOver();
        } else {
            next = run.resume();
        }
    }
    QCOMPARE(next, Next::Finished);
    QCOMPARE(measured, waits);
    QCOMPARE(rig.sink.lines.size(), std::size_t(emitted));
}

void TestGenerationRun::endlessPassesWhenJustOneIsOff()
{
    QTemporaryDir dir;
    const RunSettings settings = settingsFor(writeSource(dir, {"%PIX-6 a", "%PIX-6 b"}), 0, false);
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    const Outcome o = drive(run, rig.flags, ".....S");
    QCOMPARE(o.last, Next::Finished);
    QCOMPARE(o.yields, 0); // passes that wait need no extra yield
    QCOMPARE(toList(rig.observer.lines), (QStringList{"%PIX-6 a", "%PIX-6 b", "%PIX-6 a", "%PIX-6 b", "%PIX-6 a"}));
    QCOMPARE(rig.observer.passes, 3);
    // Each pass is reported before its first line; the count goes on across passes.
    QCOMPARE(std::vector<std::string>(rig.journal.begin() + 8, rig.journal.begin() + 10),
             (std::vector<std::string>{"pass", "line 3 %PIX-6 a"}));
    QCOMPARE(rig.observer.lastCount, 5);
    verifyIdleAfterRun(rig, run);
}

void TestGenerationRun::pauseAndStop_data()
{
    QTest::addColumn<int>("generationType");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("waits");

    const QStringList abc{"%PIX-6 a", "%PIX-6 b", "%PIX-6 c"};
    QTest::newRow("pause costs waits, then the next line comes")
        << 0 << abc << ".P.P" << QStringList{"%PIX-6 a", "%PIX-6 b", "%PIX-6 c"} << 5;
    QTest::newRow("pause twice within one wait: no pause") << 0 << abc << "D.D" << abc << 3;
    QTest::newRow("level: pause twice within one wait: no pause")
        << 5 << QStringList{"%PIX-5 a", "%PIX-5 b"} << "D" << QStringList{"%PIX-5 a", "%PIX-5 b"} << 2;
    QTest::newRow("level: the held line comes after unpausing, once")
        << 5 << QStringList{"%PIX-5 a", "%PIX-6 x", "%PIX-5 b"} << "P.P" << QStringList{"%PIX-5 a", "%PIX-5 b"} << 4;
    QTest::newRow("level: a held last line is not lost")
        << 5 << QStringList{"%PIX-6 x", "%PIX-5 a"} << "P..P" << QStringList{"%PIX-5 a"} << 4;
    QTest::newRow("level: pause after a line, the next one is held")
        << 5 << QStringList{"%PIX-5 a", "%PIX-5 b", "%PIX-5 c"} << ".PP"
        << QStringList{"%PIX-5 a", "%PIX-5 b", "%PIX-5 c"} << 4;
    QTest::newRow("stop: the line waited for is not emitted") << 0 << abc << ".S" << QStringList{"%PIX-6 a"} << 2;
    QTest::newRow("stop twice is stop once") << 0 << abc << ".T" << QStringList{"%PIX-6 a"} << 2;
    QTest::newRow("level: stop drops the held line")
        << 5 << QStringList{"%PIX-5 a", "%PIX-5 b"} << "S" << QStringList{} << 1;
    QTest::newRow("stop while paused") << 0 << abc << "P.S" << QStringList{} << 3;
    QTest::newRow("level: stop while paused with a line held")
        << 5 << QStringList{"%PIX-5 a"} << "P.S" << QStringList{} << 3;
    QTest::newRow("paused at Play, then unpaused") << 0 << abc << "*P" << abc << 3;
    QTest::newRow("level: paused at Play, then unpaused: nothing held, nothing doubled")
        << 5 << QStringList{"%PIX-5 a", "%PIX-5 b"} << "*P" << QStringList{"%PIX-5 a", "%PIX-5 b"} << 3;
    QTest::newRow("random: stop after two lines")
        << -1 << QStringList{"x", "%PIX-2 b"} << "..S" << QStringList{"%PIX-2 b", "%PIX-2 b"} << 3;
}

void TestGenerationRun::pauseAndStop()
{
    QFETCH(int, generationType);
    QFETCH(QStringList, lines);
    QFETCH(QString, script);
    QFETCH(QStringList, expected);
    QFETCH(int, waits);

    QTemporaryDir dir;
    const RunSettings settings = settingsFor(writeSource(dir, lines), generationType);
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    const int before = openDescriptors();
    const Outcome o = drive(run, rig.flags, script);
    QCOMPARE(o.last, Next::Finished);
    QCOMPARE(toList(rig.observer.lines), expected);
    QCOMPARE(o.waits, waits);
    verifyIdleAfterRun(rig, run);
    QCOMPARE(openDescriptors(), before);
}

void TestGenerationRun::stopWhilePausedLeavesNextRunUnpaused()
{
    QTemporaryDir dir;
    const RunSettings settings = settingsFor(writeSource(dir, {"%PIX-6 a", "%PIX-6 b"}), 0);
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    QCOMPARE(drive(run, rig.flags, "PS").last, Next::Finished);
    QVERIFY(rig.observer.lines.empty());

    // Play again: the first wait brings the first line.
    QCOMPARE(run.start(), Next::Wait);
    QCOMPARE(run.waitOver(), Next::Wait);
    QCOMPARE(toList(rig.observer.lines), QStringList{"%PIX-6 a"});
}

void TestGenerationRun::exitDuringWaitSkipsEndOfRun()
{
    QTemporaryDir dir;
    const RunSettings settings = settingsFor(writeSource(dir, {"%PIX-6 a", "%PIX-6 b"}), 0);
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);
    const int before = openDescriptors();

    QCOMPARE(run.start(), Next::Wait);
    QCOMPARE(run.waitOver(), Next::Wait);
    rig.flags.Paused = true;
    const std::vector<std::string> reported = rig.journal;
    run.abandon();

    QCOMPARE(rig.journal, reported); // nothing reported, nothing reset
    QCOMPARE(rig.flags.Paused, true);
    QVERIFY(!run.active());
    QCOMPARE(openDescriptors(), before);
    QCOMPARE(run.waitOver(), Next::Finished); // a late timer does nothing more
    QCOMPARE(rig.journal, reported);
}

void TestGenerationRun::passesWithoutLineRestOneDelay_data()
{
    QTest::addColumn<int>("generationType");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("onePass");

    QTest::newRow("empty source, endless") << 0 << QStringList{} << false;
    QTest::newRow("empty source, random selection, endless") << -1 << QStringList{} << false;
    QTest::newRow("no line of the level, endless") << 4 << QStringList{"%PIX-6 a", "%PIX-5 b"} << false;
    QTest::newRow("empty source, one pass") << 0 << QStringList{} << true;
    QTest::newRow("no line of the level, one pass") << 4 << QStringList{"%PIX-6 a"} << true;
}

void TestGenerationRun::passesWithoutLineRestOneDelay()
{
    QFETCH(int, generationType);
    QFETCH(QStringList, lines);
    QFETCH(bool, onePass);

    QTemporaryDir dir;
    const RunSettings settings = settingsFor(writeSource(dir, lines), generationType, onePass);
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    if (onePass) {
        QCOMPARE(run.start(), Next::Finished);
        verifyIdleAfterRun(rig, run);
        return;
    }
    // Each pass that found nothing rests before the next one instead of spinning.
    QCOMPARE(run.start(), Next::Idle);
    for (int pass = 2; pass <= 4; ++pass) {
        QCOMPARE(run.resume(), Next::Idle);
        QCOMPARE(rig.observer.passes, pass);
    }
    QVERIFY(rig.observer.lines.empty());
    rig.flags.StopRequested = true; // pressed while the window had control
    QCOMPARE(run.resume(), Next::Finished);
    QCOMPARE(rig.observer.passes, 4);
    verifyIdleAfterRun(rig, run);
}

void TestGenerationRun::longStretchWithoutMatchYields()
{
    QTemporaryDir dir;
    QStringList lines = numbered("%PIX-6-1 filler %1", 10000);
    lines << "%PIX-5-2 wanted";
    const RunSettings settings = settingsFor(writeSource(dir, lines), 5);
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    const Outcome o = drive(run, rig.flags);
    QCOMPARE(o.last, Next::Finished);
    QVERIFY2(o.yields >= 2, qPrintable(QString::number(o.yields)));
    QCOMPARE(o.waits, 1);
    QCOMPARE(toList(rig.observer.lines), QStringList{"%PIX-5-2 wanted"});
}

void TestGenerationRun::failures_data()
{
    QTest::addColumn<int>("generationType");
    QTest::addColumn<bool>("onePass");
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("emitted");
    QTest::addColumn<int>("written"); // by the sink

    // %1 is the source as the run was given it: the reason names the file.
    const QString gone = QStringLiteral("%1: ") + QString::fromUtf8(std::strerror(ENOENT));
    QTest::newRow("source missing at run start") << 0 << true << "missing" << gone << 0 << 0;
    QTest::newRow("source missing, random selection") << -1 << true << "missing" << gone << 0 << 0;
    QTest::newRow("source is a folder") << 0 << true << "folder"
                                        << QStringLiteral("%1: ") + QString::fromUtf8(std::strerror(EISDIR)) << 0 << 0;
    QTest::newRow("source removed before the second pass") << 0 << false << "removed" << gone << 3 << 3;
    QTest::newRow("sink fails on the second line") << 0 << true << "sink"
                                                   << "No space left on device" << 2 << 1;
    QTest::newRow("sink fails, level selection") << 6 << true << "sink"
                                                 << "No space left on device" << 2 << 1;
}

void TestGenerationRun::failures()
{
    QFETCH(int, generationType);
    QFETCH(bool, onePass);
    QFETCH(QString, trouble);
    QFETCH(QString, reason);
    QFETCH(int, emitted);
    QFETCH(int, written);

    QTemporaryDir dir;
    std::filesystem::path source = writeSource(dir, {"%PIX-6 a", "%PIX-6 b", "%PIX-6 c"});
    if (trouble == "missing") {
        std::filesystem::remove(source);
    } else if (trouble == "folder") {
        source = dir.path().toStdString();
    }
    const RunSettings settings = settingsFor(source, generationType, onePass);
    Rig rig;
    if (trouble == "sink") {
        rig.sink.outcomes.insert_or_assign(1, Failure{"No space left on device"});
    }
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);
    const int before = openDescriptors();

    Next next = run.start();
    if (trouble == "removed") {
        std::filesystem::remove(source); // the open source is still read to its end
    }
    for (int waits = 0; next == Next::Wait && waits < 10; ++waits) {
        next = run.waitOver();
    }

    QCOMPARE(next, Next::Halted);
    if (reason.contains(QStringLiteral("%1"))) {
        reason = reason.arg(QString::fromStdString(source.string()));
    }
    QCOMPARE(QString::fromStdString(rig.observer.failure), reason);
    QCOMPARE(rig.observer.failures, 1);
    QCOMPARE(rig.journal.back(), "failure " + rig.observer.failure); // and nothing else after it
    QCOMPARE(int(rig.observer.lines.size()), emitted);
    QCOMPARE(rig.observer.written, written);
    QCOMPARE(rig.observer.ends, 0); // no end-of-run steps
    QVERIFY(!run.active());
    QCOMPARE(openDescriptors(), before);
}

void TestGenerationRun::skippedDeliveriesKeepRunGoing()
{
    QTemporaryDir dir;
    const RunSettings settings = settingsFor(writeSource(dir, {"%PIX-6 a", "%PIX-6 b", "%PIX-6 c"}), 0);
    Rig rig;
    rig.sink.outcomes.insert_or_assign(0, Delivery::Skipped);
    rig.sink.outcomes.insert_or_assign(1, Delivery::Dropped);
    rig.sink.outcomes.insert_or_assign(2, Delivery::Dropped);
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    QCOMPARE(drive(run, rig.flags).last, Next::Finished);
    QCOMPARE(rig.sink.lines.size(), std::size_t{3});
    QCOMPARE(rig.observer.written, 3);
    QCOMPARE(rig.observer.failures, 0);
}

void TestGenerationRun::countsBeyondSixteenBits()
{
    QTemporaryDir dir;
    const RunSettings settings = settingsFor(writeSource(dir, numbered("%PIX-6-1 line %1", 40000)), 0);
    Rig rig;
    GenerationRun run(settings, rig.flags, rig.observer, rig.sink, rig.random, rig.clock);

    const Outcome o = drive(run, rig.flags, {}, 50000);
    QCOMPARE(o.last, Next::Finished);
    QCOMPARE(o.waits, 40000);
    QCOMPARE(rig.observer.lastCount, 40000);
    QCOMPARE(rig.sink.lines.back(), "%PIX-6-1 line 40000");
    QCOMPARE(rig.observer.failures, 0);
}

QTEST_APPLESS_MAIN(TestGenerationRun)
#include "tst_generationrun.moc"
