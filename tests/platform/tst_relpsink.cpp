// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/relpsink.h"
#include "rsyslogkit.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace korvane;
using namespace korvane::e2e;

namespace {

constexpr int kGenerous = 30000;

QByteArray lineNumber(int i)
{
    return "<13>Dec  8 04:00:00 korvane-test relp: line " + QByteArray::number(i);
}

// Writes lines `from` to `to` (not included) and hands them over.
void writeLines(RelpSink& sink, int from, int to)
{
    for (int i = from; i < to; ++i) {
        const QByteArray line = lineNumber(i);
        QVERIFY(sink.write(std::string_view(line.constData(), std::size_t(line.size()))).ok());
    }
    QVERIFY(sink.flush().ok());
}

QList<QByteArray> linesNumbered(int from, int to)
{
    QList<QByteArray> lines;
    for (int i = from; i < to; ++i) {
        lines.append(lineNumber(i));
    }
    return lines;
}

std::int64_t accountedFor(const DeliveryCounts& c)
{
    return c.delivered + c.dropped + c.undelivered;
}

} // namespace

class TestRelpSink : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        if (rsyslogdPath().isEmpty()) {
            QSKIP("rsyslogd is not installed");
        }
    }

    void everyLineIsAcknowledgedInOrder()
    {
        QTemporaryDir root;
        QString why;
        const auto rsyslog = startRsyslog(rsyslogdPath(), root.path(), Transport::Relp, rawMessage, {}, why);
        QVERIFY2(rsyslog, qPrintable(why));
        RelpSink sink;
        int announced = 0;
        bool offThread = false;
        sink.setStatusListener([&] {
            ++announced;
            offThread = offThread || QThread::currentThread() != QCoreApplication::instance()->thread();
        });
        QVERIFY(sink.start(QStringLiteral("127.0.0.1"), rsyslog->port()).ok());
        writeLines(sink, 0, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(sink.counts().delivered, 1000, kGenerous);
        QCOMPARE(sink.status().queued, 0);
        QCOMPARE(sink.status().state, SinkStatus::State::Open);
        QCOMPARE(sink.status().text, "connected to 127.0.0.1:" + std::to_string(rsyslog->port()));
        QTRY_COMPARE_WITH_TIMEOUT(rsyslog->lines().size(), 1000, kGenerous);
        QCOMPARE(rsyslog->lines(), linesNumbered(0, 1000));
        QCOMPARE(sink.counts().resent, 0);
        QVERIFY(announced > 0);
        QVERIFY(!offThread);

        QVERIFY(!sink.finish()); // the session closes the orderly way
        QTRY_COMPARE_WITH_TIMEOUT(sink.status().state, SinkStatus::State::Closed, kGenerous);
        QCOMPARE(sink.counts().delivered, 1000);
        QCOMPARE(sink.counts().undelivered, 0);
    }

    void linesWaitForAReceiverThatComesLater()
    {
        QTemporaryDir root;
        Rsyslog rsyslog(rsyslogdPath(), root.path(), {RsyslogListener{Transport::Relp, rawMessage}}, freePorts(1));
        RelpSink sink;
        QVERIFY(sink.start(QStringLiteral("127.0.0.1"), rsyslog.port()).ok());
        writeLines(sink, 0, 100);
        QTRY_VERIFY_WITH_TIMEOUT(sink.status().text.starts_with("waiting "), kGenerous);
        QCOMPARE(sink.status().state, SinkStatus::State::Connecting);
        QCOMPARE(sink.status().problem, "Connection refused");
        QCOMPARE(sink.status().queued, 100);
        QCOMPARE(sink.counts().delivered, 0);

        QVERIFY(rsyslog.start() && rsyslog.waitUntilReady(kGenerous));
        QTRY_COMPARE_WITH_TIMEOUT(sink.counts().delivered, 100, kGenerous);
        QTRY_COMPARE_WITH_TIMEOUT(rsyslog.lines().size(), 100, kGenerous);
        QCOMPARE(rsyslog.lines(), linesNumbered(0, 100));
    }

    void aReceiverRestartedThriceLosesNothing()
    {
        QTemporaryDir root;
        QString why;
        const auto rsyslog = startRsyslog(rsyslogdPath(), root.path(), Transport::Relp, rawMessage, {}, why);
        QVERIFY2(rsyslog, qPrintable(why));
        RelpSink sink;
        QVERIFY(sink.start(QStringLiteral("127.0.0.1"), rsyslog->port()).ok());
        constexpr int total = 20000;
        for (int written = 0; written < total; written += 100) {
            writeLines(sink, written, written + 100);
            QTest::qWait(1);
            if (written > 0 && written % 5000 == 0) {
                QVERIFY(rsyslog->stop());
                QVERIFY(rsyslog->start() && rsyslog->waitUntilReady(kGenerous));
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(sink.status().queued, 0, 120000);
        const DeliveryCounts counts = sink.counts();
        QCOMPARE(accountedFor(counts), total);
        QCOMPARE(counts.delivered, total);
        QVERIFY(!sink.status().problem.empty()); // why the connection was last lost

        QTRY_VERIFY_WITH_TIMEOUT(rsyslog->lines().size() >= total, kGenerous);
        const QList<QByteArray> stored = rsyslog->lines();
        const QSet<QByteArray> distinct(stored.begin(), stored.end());
        for (const QByteArray& line : linesNumbered(0, total)) {
            QVERIFY2(distinct.contains(line), line.constData());
        }
        const qsizetype duplicates = stored.size() - distinct.size();
        qInfo("%lld lines resent, %lld stored twice", static_cast<long long>(counts.resent),
              static_cast<long long>(duplicates));
        QVERIFY(duplicates <= counts.resent); // a line is stored twice only when it was sent twice
    }

    void finishGivesUpOnWhatIsLeft()
    {
        QTemporaryDir root;
        QString why;
        const auto rsyslog = startRsyslog(rsyslogdPath(), root.path(), Transport::Relp, rawMessage, {}, why);
        QVERIFY2(rsyslog, qPrintable(why));
        RelpSink sink;
        QVERIFY(sink.start(QStringLiteral("127.0.0.1"), rsyslog->port()).ok());
        writeLines(sink, 0, 10);
        QTRY_COMPARE_WITH_TIMEOUT(sink.counts().delivered, 10, kGenerous);
        QVERIFY(rsyslog->stop());
        writeLines(sink, 10, 60);
        QTRY_COMPARE_WITH_TIMEOUT(sink.status().state, SinkStatus::State::Connecting, kGenerous);

        QVERIFY(sink.finish()); // nothing to close
        QCOMPARE(sink.status().state, SinkStatus::State::Closed);
        const DeliveryCounts counts = sink.counts();
        QCOMPARE(counts.delivered, 10);
        QCOMPARE(counts.undelivered, 50);
        QVERIFY(sink.write("after the end").ok());
        QCOMPARE(sink.counts().undelivered, 51);
    }

    void aFullQueueDropsNewLines()
    {
        RelpSink sink;
        sink.setQueueLimit(1000);
        int announced = 0;
        sink.setStatusListener([&] { ++announced; });
        QVERIFY(sink.start(QStringLiteral("127.0.0.1"), freePorts(1).front()).ok());
        const std::string line(300, 'x');
        int dropped = 0;
        for (int i = 0; i < 5; ++i) {
            const SinkResult written = sink.write(line);
            QVERIFY(written.ok());
            dropped += written.value() == Delivery::Dropped ? 1 : 0;
        }
        QCOMPARE(dropped, 2);
        QCOMPARE(sink.counts().dropped, 2);
        QCOMPARE(sink.status().queued, 3);
        QCOMPARE(announced, 1);
        QCOMPARE(sink.status().dropReason,
                 "Korvane's own queue of 1000 bytes for the receiver is full: the receiver is not connected");
    }

    void anUnknownHostFailsTheStart()
    {
        RelpSink sink;
        const Result<> started = sink.start(QStringLiteral("no-such-host.invalid"), 2514);
        QVERIFY(!started.ok());
        QVERIFY2(started.failure().reason.starts_with("RELP no-such-host.invalid:2514: "),
                 started.failure().reason.c_str());
        QCOMPARE(sink.write("a line").failure().reason, started.failure().reason);
        QCOMPARE(sink.status().state, SinkStatus::State::Failed);
    }
};

QTEST_GUILESS_MAIN(TestRelpSink)
#include "tst_relpsink.moc"
