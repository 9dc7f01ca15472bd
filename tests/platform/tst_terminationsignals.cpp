// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/terminationsignals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace korvane;

class TestTerminationSignals : public QObject
{
    Q_OBJECT

private slots:
    void signalArrivesOnTheEventLoop_data();
    void signalArrivesOnTheEventLoop();
    void severalSignalsEachArrive();
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

void TestTerminationSignals::severalSignalsEachArrive()
{
    TerminationSignals termination;
    QSignalSpy requested(&termination, &TerminationSignals::terminationRequested);
    QCOMPARE(::raise(SIGHUP), 0);
    QCOMPARE(::raise(SIGTERM), 0);
    QTRY_COMPARE(requested.size(), 2);
    QCOMPARE(requested.at(0).at(0).toInt(), int(SIGHUP));
    QCOMPARE(requested.at(1).at(0).toInt(), int(SIGTERM));
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
