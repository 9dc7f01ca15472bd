#include "harkwell/signalwatcher.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace korvane::harkwell;

class TestSignalWatcher : public QObject
{
    Q_OBJECT

private slots:
    void deliversSignalsThroughTheEventLoop_data();
    void deliversSignalsThroughTheEventLoop();
    void restoresDefaultHandlingWhenDestroyed();
};

void TestSignalWatcher::deliversSignalsThroughTheEventLoop_data()
{
    QTest::addColumn<QList<int>>("raised");

    QTest::newRow("SIGTERM") << QList<int>{SIGTERM};
    QTest::newRow("SIGINT") << QList<int>{SIGINT};
    QTest::newRow("two signals before the loop runs arrive in order") << QList<int>{SIGINT, SIGTERM};
}

void TestSignalWatcher::deliversSignalsThroughTheEventLoop()
{
    QFETCH(QList<int>, raised);

    SignalWatcher watcher;
    QVERIFY(watcher.isWatching());
    QSignalSpy spy(&watcher, &SignalWatcher::signalled);

    for (int signalNumber : raised)
        QCOMPARE(std::raise(signalNumber), 0); // the process survives: the handler only writes to the pipe
    QCOMPARE(spy.count(), 0);                  // nothing is emitted from inside the handler

    QTRY_COMPARE(spy.count(), raised.size());
    for (int i = 0; i < raised.size(); ++i)
        QCOMPARE(spy.at(i).at(0).toInt(), raised.at(i));
}

void TestSignalWatcher::restoresDefaultHandlingWhenDestroyed()
{
    {
        SignalWatcher watcher;
        QVERIFY(watcher.isWatching());
    }
    for (int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction current = {};
        QCOMPARE(sigaction(signalNumber, nullptr, &current), 0);
        QVERIFY(current.sa_handler == SIG_DFL);
    }
}

QTEST_GUILESS_MAIN(TestSignalWatcher)
#include "tst_signalwatcher.moc"
