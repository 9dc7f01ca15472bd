// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The session core without a front-end: the typed configuration, start-up's outcomes as data, and
// a run ended early by a front-end.
#include "platform/singleinstance.h"
#include "runfakes.h"
#include "session/outputdrain.h"
#include "session/runoutput.h"
#include "session/runsession.h"
#include "session/startup.h"
#include "settings/runconfig.h"
#include "testpki.h"
#include "workfolder.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;
using namespace korvane::test;
using Outcome = StartupResult::Outcome;
using Stage = StartupResult::Stage;

Q_DECLARE_METATYPE(korvane::StartupResult::Outcome)
Q_DECLARE_METATYPE(korvane::StartupResult::Stage)
Q_DECLARE_METATYPE(korvane::OutputDrain::Leave)

namespace {

// A session over real logs in KORVANE.TXT of the current folder, with a sink that keeps the lines.
// On a clock that stands still, no wait of the run is ever over.
struct SessionRig
{
    SessionRig(double delay, bool onePass, bool clockStandsStill = false)
        : session(random, wall, clockStandsStill ? static_cast<MonotonicClock&>(still) : steady, observer)
    {
        config.run.realLogs = true;
        config.run.sourceFile = "KORVANE.TXT";
        config.run.delay = delay;
        config.run.onePass = onePass;
        session.configure(config, sink);
    }

    RunConfig config;
    ScriptedRandom random;
    FixedWallClock wall;
    SteadyClock steady;
    ManualClock still;
    RecordingObserver observer;
    RecordingSink sink;
    RunSession session;
};

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void typedConfiguration_data();
    void typedConfiguration();
    void transportConfiguration_data();
    void transportConfiguration();
    void startupOutcomes_data();
    void startupOutcomes();
    void lineLimitEndsTheRunExactly_data();
    void lineLimitEndsTheRunExactly();
    void finishDoesNotWaitForTheDelay();
    void countsAddUp();
    void outputFailuresNameWhatFailedOnce_data();
    void outputFailuresNameWhatFailedOnce();
    void fullDiskSaysWhatWasNotWritten();
    void drainSaysWhatWasLeft_data();
    void drainSaysWhatWasLeft();
};

void TestSession::typedConfiguration_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("RealLogFile 1: real logs from KORVANE.TXT") << "RealLogFile" << 1.0 << "real KORVANE.TXT";
    QTest::newRow("RealLogFile 0: templates from SAMPLE.TXT") << "RealLogFile" << 0.0 << "templates SAMPLE.TXT";
    QTest::newRow("onetime 0.5: one pass, yet not 'Just One : Yes'") << "onetime" << 0.5 << "one pass, not just one";
    QTest::newRow("onetime 1: one pass, just one") << "onetime" << 1.0 << "one pass, just one";
    QTest::newRow("onetime a tiny fraction: one pass") << "onetime" << 1e-9 << "one pass, not just one";
    QTest::newRow("onetime 0: endless") << "onetime" << 0.0 << "endless, not just one";
    QTest::newRow("SyslogFile 1: UDP") << "SyslogFile" << 1.0 << "udp";
    QTest::newRow("SyslogFile 0: the file") << "SyslogFile" << 0.0 << "file";
    QTest::newRow("port 514.5 rounds to the even 514") << "UDP_Port_Syslog" << 514.5 << "514";
    QTest::newRow("port 515.5 rounds to the even 516") << "UDP_Port_Syslog" << 515.5 << "516";
    QTest::newRow("SessionNum with the locale's separator") << "SessionNum" << 10.5 << "10,5";
}

void TestSession::typedConfiguration()
{
    QFETCH(QString, key);
    QFETCH(double, value);
    QFETCH(QString, expected);

    Settings s;
    s.onetime = 1;
    s.SessionNum = 10;
    if (key == "RealLogFile") {
        s.RealLogFile = value;
    } else if (key == "onetime") {
        s.onetime = value;
    } else if (key == "SyslogFile") {
        s.SyslogFile = value;
    } else if (key == "UDP_Port_Syslog") {
        s.UDP_Port_Syslog = value;
    } else {
        s.SessionNum = value;
    }
    const RunConfig c = runConfigFrom(s, ',');

    QString got;
    if (key == "RealLogFile") {
        got = QString(c.run.realLogs ? "real " : "templates ") + QString::fromStdString(c.run.sourceFile.string());
    } else if (key == "onetime") {
        got = QString(c.run.onePass ? "one pass, " : "endless, ") + (c.justOne ? "just one" : "not just one");
    } else if (key == "SyslogFile") {
        got = c.output == OutputKind::Udp ? "udp" : "file";
    } else if (key == "UDP_Port_Syslog") {
        got = QString::number(c.port);
    } else {
        got = QString::fromStdString(c.run.rewrite.sessionNum);
    }
    QCOMPARE(got, expected);
}

void TestSession::transportConfiguration_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<double>("framing");
    QTest::addColumn<QString>("peerName");
    QTest::addColumn<QString>("expected"); // kind, framing, peer name

    QTest::newRow("UDP") << "UDP" << -1.0 << ""
                         << "udp lf 10.0.0.9";
    QTest::newRow("TCP, plain lines: octet counting by default") << "TCP" << -1.0 << ""
                                                                 << "tcp octets 10.0.0.9";
    QTest::newRow("TCP with octet counting") << "TCP" << 1.0 << ""
                                             << "tcp octets 10.0.0.9";
    QTest::newRow("TLS: octet counting by default") << "TLS" << -1.0 << ""
                                                    << "tls octets 10.0.0.9";
    QTest::newRow("TLS with line feeds and a peer name") << "TLS" << 0.0 << "logs.example"
                                                         << "tls lf logs.example";
    QTest::newRow("RELP: no framing of its own") << "RELP" << -1.0 << ""
                                                 << "relp lf 10.0.0.9";
}

void TestSession::transportConfiguration()
{
    QFETCH(QString, protocol);
    QFETCH(double, framing);
    QFETCH(QString, peerName);
    QFETCH(QString, expected);

    Settings s;
    s.SyslogFile = 1;
    s.HostIP = "10.0.0.9";
    s.Protocol = protocol.toStdString();
    s.TCP_Framing = framing;
    s.TLS_PeerName = peerName.toStdString();
    const RunConfig c = runConfigFrom(s, '.');
    const char* kinds[] = {"file", "udp", "tcp", "tls", "relp"};
    QCOMPARE(QStringLiteral("%1 %2 %3")
                 .arg(kinds[static_cast<int>(c.output)], c.framing == StreamFraming::OctetCounting ? "octets" : "lf",
                      QString::fromStdString(c.tlsPeerName)),
             expected);
}

void TestSession::startupOutcomes_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QByteArray>("source"); // SAMPLE.TXT; null: absent, "/": a folder
    QTest::addColumn<bool>("lockHeld");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<Stage>("reached");
    QTest::addColumn<QString>("message"); // the notice, or the failure

    const QByteArray absent;
    QTest::newRow("all keys read") << QByteArray("[Settings]\r\nGenerationType=-1\r\nSyslogFile=1\r\n")
                                   << QByteArray("a\r\nb\r\n") << false << Outcome::Go << Stage::ReceiverKeys
                                   << QString();
    QTest::newRow("another copy runs") << QByteArray() << absent << true << Outcome::Refused << Stage::Lock
                                       << "Software already loaded.";
    QTest::newRow("source to count is absent")
        << QByteArray("[Settings]\r\nGenerationType=-1\r\n") << absent << false << Outcome::SourceMissing
        << Stage::RunKeys << "Warning: The SAMPLE.TXT file doesn't exists.";
    QTest::newRow("source to count is a folder")
        << QByteArray("[Settings]\r\nGenerationType=-1\r\n") << QByteArray("/") << false << Outcome::Go
        << Stage::RunKeys << "SAMPLE.TXT: " + QString::fromLocal8Bit(std::strerror(EISDIR));
}

void TestSession::startupOutcomes()
{
    QFETCH(QByteArray, ini);
    QFETCH(QByteArray, source);
    QFETCH(bool, lockHeld);
    QFETCH(Outcome, outcome);
    QFETCH(Stage, reached);
    QFETCH(QString, message);

    WorkFolder folder;
    folder.write(QStringLiteral("korvane.ini"), ini);
    if (source == "/") {
        QDir().mkdir(QStringLiteral("SAMPLE.TXT"));
    } else if (!source.isNull()) {
        folder.write(QStringLiteral("SAMPLE.TXT"), source);
    }
    SingleInstanceLock other(folder.lockPath());
    if (lockHeld) {
        QVERIFY(other.tryAcquire());
    }
    SingleInstanceLock lock(folder.lockPath());
    IniProfileStore profile;

    const StartupResult r = runStartup(profile, &lock, true, '.');
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.reached, reached);
    const QString said = r.notices.empty() ? r.failure : r.notices.front().text;
    QCOMPARE(said, message);
    if (outcome == Outcome::Go && r.failure.isEmpty()) {
        QCOMPARE(r.sourceLineCount, 1);
        QCOMPARE(r.config.output, OutputKind::Udp);
        QCOMPARE(folder.setting("HostIP"), QStringLiteral("127.0.0.1")); // repaired on the way
    }
    if (reached < Stage::TemplateKeys) {
        QCOMPARE(folder.setting("FirewallName"), QString()); // nothing read, nothing repaired past the stop
    }
}

void TestSession::lineLimitEndsTheRunExactly_data()
{
    QTest::addColumn<double>("delay");
    QTest::addColumn<int>("limit");
    // At the smallest delay the lines fall due together and go out in batches: the limit must
    // hold inside a batch too.
    QTest::newRow("lines one by one") << 0.002 << 3;
    QTest::newRow("lines in batches") << 0.000001 << 250;
}

void TestSession::lineLimitEndsTheRunExactly()
{
    QFETCH(double, delay);
    QFETCH(int, limit);

    WorkFolder folder;
    QByteArray lines;
    for (int i = 0; i < 1000; ++i) {
        lines += "%PIX-6-1 line " + QByteArray::number(i) + "\r\n";
    }
    folder.write(QStringLiteral("KORVANE.TXT"), lines);
    SessionRig rig(delay, false);
    RunSession& session = rig.session;
    session.setLineLimit(limit);
    QSignalSpy ended(&session, &RunSession::runEnded);
    session.play();
    QVERIFY(ended.wait(5000));
    QCoreApplication::processEvents(); // what was queued by the end runs: nothing more comes
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.at(0).at(0).value<GenerationRun::Next>(), GenerationRun::Next::Finished);
    QCOMPARE(int(rig.sink.lines.size()), limit);
    QCOMPARE(session.progress().emitted, limit);
    QVERIFY(!session.running());
}

void TestSession::finishDoesNotWaitForTheDelay()
{
    WorkFolder folder;
    folder.write(QStringLiteral("KORVANE.TXT"), "%PIX-6-1 a\r\n%PIX-6-1 b\r\n");
    // The first line's wait never ends: only finish() can end the run.
    SessionRig rig(60, true, true);
    RunSession& session = rig.session;
    QSignalSpy ended(&session, &RunSession::runEnded);
    session.play();
    QVERIFY(session.running());
    session.finish(); // a signal, a duration over
    QVERIFY(ended.wait());
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.at(0).at(0).value<GenerationRun::Next>(), GenerationRun::Next::Finished);
    QCOMPARE(rig.observer.ends, 1);
    QVERIFY(rig.sink.lines.empty());
    QVERIFY(!session.running());
}

void TestSession::countsAddUp()
{
    WorkFolder folder;
    folder.write(QStringLiteral("KORVANE.TXT"), "%PIX-6-1 a\r\n%PIX-6-1 b\r\n%PIX-6-1 c\r\n%PIX-6-1 d\r\n");
    SessionRig rig(0.001, true);
    rig.sink.taken.delivered = 7; // lines of an earlier run are not this run's
    rig.session.configure(rig.config, rig.sink);
    rig.sink.outcomes = {{0, Delivery::Skipped}, {1, Delivery::Dropped}, {2, Delivery::Sent}, {3, Delivery::Dropped}};
    QSignalSpy ended(&rig.session, &RunSession::runEnded);
    rig.session.play();
    QVERIFY(ended.wait(3000));
    QCOMPARE(ended.at(0).at(0).value<GenerationRun::Next>(), GenerationRun::Next::Finished);
    const RunProgress p = rig.session.progress();
    QCOMPARE(p.emitted, 4);
    QCOMPARE(p.delivered, 1);
    QCOMPARE(p.dropped, 2);
    QCOMPARE(p.undelivered, 1); // the refused one
    QVERIFY(!p.sinkFailed);
}

void TestSession::outputFailuresNameWhatFailedOnce_data()
{
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QString>("reason"); // its beginning
    QTest::addColumn<QString>("once");   // what the reason names exactly once

    QTest::newRow("a named pipe") << "fifo"
                                  << "GENERATE.TXT: a named pipe, not a regular file"
                                  << "GENERATE.TXT";
    QTest::newRow("held by another run") << "held"
                                         << "GENERATE.TXT: in use by another run of Korvane"
                                         << "GENERATE.TXT";
    QTest::newRow("a client certificate with another's key") << "tls"
                                                             << "TLS 127.0.0.1:6514: the key of "
                                                             << "127.0.0.1";
}

void TestSession::outputFailuresNameWhatFailedOnce()
{
    QFETCH(QString, setUp);
    QFETCH(QString, reason);
    QFETCH(QString, once);

    WorkFolder folder;
    RunConfig config;
    FileSink holder;
    std::unique_ptr<test::TestPki> pki;
    if (setUp == "fifo") {
        QCOMPARE(::mkfifo("GENERATE.TXT", 0644), 0);
    } else if (setUp == "held") {
        QVERIFY(holder.open("GENERATE.TXT", FileSink::Mode::Append));
    } else {
        pki = std::make_unique<test::TestPki>(folder.path(QStringLiteral(".")));
        QVERIFY2(pki->ok(), qPrintable(pki->error()));
        config.output = OutputKind::Tls;
        config.host = "127.0.0.1";
        config.port = 6514;
        config.tlsCaFile = pki->caFile().toStdString();
        config.tlsCertFile = pki->otherCaFile().toStdString();
        config.tlsKeyFile = pki->serverKeyFile().toStdString();
    }
    RunOutput output;
    const Result<> prepared = output.prepare(config, FileSink::Mode::Append);
    QVERIFY(!prepared);
    const QString said = QString::fromStdString(prepared.reason());
    QVERIFY2(said.startsWith(reason), qPrintable(said));
    QCOMPARE(said.count(once), 1);
}

void TestSession::fullDiskSaysWhatWasNotWritten()
{
    if (!QFile::exists(QStringLiteral("/dev/full"))) {
        QSKIP("no /dev/full on this system");
    }
    WorkFolder folder;
    folder.write(QStringLiteral("KORVANE.TXT"), "%PIX-6-1 a\r\n%PIX-6-1 b\r\n%PIX-6-1 c\r\n");
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), QStringLiteral("GENERATE.TXT")));
    SessionRig rig(0.000001, true); // the lines fall due together: one write for all
    RunOutput output;
    QVERIFY(output.prepare(rig.config, FileSink::Mode::Append));
    rig.session.configure(rig.config, output.sink());
    QSignalSpy ended(&rig.session, &RunSession::runEnded);
    rig.session.play();
    QVERIFY(ended.wait(3000));
    QCOMPARE(ended.at(0).at(0).value<GenerationRun::Next>(), GenerationRun::Next::Halted);
    QCOMPARE(rig.observer.failure, "GENERATE.TXT: " + std::string(std::strerror(ENOSPC)));
    const RunProgress p = rig.session.progress();
    QVERIFY(p.sinkFailed);
    QVERIFY(p.emitted > 0);
    QCOMPARE(p.delivered, 0);
    QCOMPARE(p.undelivered, p.emitted); // "0 written, N not written"
}

// The end of a run's output: lines a receiver took are not reported, lines it never took are
// given up on with the reason, or left queued for a window that goes on.
void TestSession::drainSaysWhatWasLeft_data()
{
    QTest::addColumn<bool>("receiver");
    QTest::addColumn<OutputDrain::Leave>("leave");
    QTest::addColumn<bool>("signalled");
    QTest::addColumn<QString>("notDelivered"); // "" for none; %1 stands for the port
    QTest::addColumn<int>("stillQueued");
    QTest::newRow("a receiver that reads takes every line") << true << OutputDrain::Leave::GiveUp << false << "" << 0;
    QTest::newRow("no receiver: the lines are given up on, with why")
        << false << OutputDrain::Leave::GiveUp << false
        << "3 lines not delivered to TCP 127.0.0.1:%1: Connection refused" << 0;
    QTest::newRow("no receiver, a signal: the same reason, sooner")
        << false << OutputDrain::Leave::GiveUp << true
        << "3 lines not delivered to TCP 127.0.0.1:%1: Connection refused" << 0;
    QTest::newRow("a window keeps the lines queued for later")
        << false << OutputDrain::Leave::KeepQueue << false << "" << 3;
}

void TestSession::drainSaysWhatWasLeft()
{
    QFETCH(bool, receiver);
    QFETCH(OutputDrain::Leave, leave);
    QFETCH(bool, signalled);
    QFETCH(QString, notDelivered);
    QFETCH(int, stillQueued);

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    QByteArray received;
    if (receiver) {
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            QTcpSocket* peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [&, peer] { received += peer->readAll(); });
        });
    } else {
        server.close(); // the port refuses
    }
    RunConfig config;
    config.output = OutputKind::Tcp;
    config.host = "127.0.0.1";
    config.port = port;
    RunOutput output;
    QVERIFY(output.prepare(config, FileSink::Mode::Append));
    for (const char* line : {"one", "two", "three"}) {
        QVERIFY(output.sink().write(line));
    }
    if (!receiver) {
        QTRY_VERIFY(!output.status().problem.empty()); // refused once already
    }
    OutputDrain drain(output, {.drain = std::chrono::milliseconds(receiver ? 10000 : 300),
                               .closing = std::chrono::milliseconds(2000),
                               .grace = std::chrono::milliseconds(100)});
    if (signalled) {
        drain.hurry();
    }
    QSignalSpy ended(&drain, &OutputDrain::ended);
    drain.start(leave);
    QVERIFY(ended.wait(20000));
    QCOMPARE(QString::fromStdString(drain.end().notDelivered),
             notDelivered.isEmpty() ? notDelivered : notDelivered.arg(port));
    QVERIFY(drain.end().failure.empty());
    QCOMPARE(output.status().queued, stillQueued);
    if (receiver) {
        QTRY_COMPARE(received, QByteArray("one\ntwo\nthree\n"));
        QCOMPARE(output.counts().delivered, 3);
    }
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
