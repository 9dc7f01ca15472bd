// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/terminationsignals.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

#include <sys/types.h>

using namespace korvane;

class TestTerminationSignals : public QObject
{
    Q_OBJECT

private slots:
    void signalArrivesOnTheEventLoop_data();
    void signalArrivesOnTheEventLoop();
    void secondSignalEndsAtOnce();
    void programThatDoesNotEndIsEndedAfterTheGrace();
    void defaultHandlingBackWhenGone();
};

void TestTerminationSignals::signalArrivesOnTheEventLoop_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestTerminationSignals::signalArrivesOnTheEventLoop()
{
    QFETCH(int, signalNumber);
    TerminationSignals termination;
    QSignalSpy requested(&termination, &TerminationSignals::terminationRequested);

    QCOMPARE(::raise(signalNumber), 0); // the process survives it
    QCOMPARE(requested.size(), 0);      // not from inside the signal handler
    QVERIFY(requested.wait(2000));
    QCOMPARE(requested.size(), 1);
    QCOMPARE(requested.at(0).at(0).toInt(), signalNumber);
}

namespace {

// The signal target started and watching; `grace` in milliseconds, or none.
bool startTarget(QProcess& target, const QStringList& grace)
{
    target.start(QStringLiteral(KORVANE_SIGNAL_TARGET), grace);
    return target.waitForStarted(30000) && target.waitForReadyRead(30000) &&
           target.readAllStandardOutput().startsWith("watching");
}

void sendSignal(const QProcess& target, int signalNumber)
{
    ::kill(static_cast<pid_t>(target.processId()), signalNumber);
}

} // namespace

void TestTerminationSignals::secondSignalEndsAtOnce()
{
    QProcess target;
    QVERIFY(startTarget(target, {}));
    sendSignal(target, SIGTERM);
    sendSignal(target, SIGINT);
    // The target never ends by itself; it dies by whichever signal came second (the system hands
    // pending signals over lowest number first, so that may be either).
    QVERIFY(target.waitForFinished(30000));
    QCOMPARE(target.exitStatus(), QProcess::CrashExit);
    QVERIFY2(target.exitCode() == SIGINT || target.exitCode() == SIGTERM,
             qPrintable(QString::number(target.exitCode())));
}

void TestTerminationSignals::programThatDoesNotEndIsEndedAfterTheGrace()
{
    QProcess target;
    QVERIFY(startTarget(target, {QStringLiteral("50")}));
    sendSignal(target, SIGHUP);
    QVERIFY(target.waitForFinished(30000));
    QCOMPARE(target.exitStatus(), QProcess::CrashExit);
    QCOMPARE(target.exitCode(), int(SIGHUP));
}

void TestTerminationSignals::defaultHandlingBackWhenGone()
{
    {
        TerminationSignals termination;
        struct sigaction current
        {};
        QCOMPARE(::sigaction(SIGTERM, nullptr, &current), 0);
        QVERIFY(current.sa_handler != SIG_DFL);
    }
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current
        {};
        QCOMPARE(::sigaction(sig, nullptr, &current), 0);
        QVERIFY(current.sa_handler == SIG_DFL);
    }
}

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_terminationsignals.moc"
