// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/udpsink.h"
#include "sinkoutcome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

#include <cerrno>
#include <cstring>

using namespace korvane;
using korvane::test::deliverNow;
using korvane::test::outcomeOf;

namespace {

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), std::size_t(bytes.size())};
}

// A receiver bound to a loopback address, as a syslog receiver would be.
struct Receiver
{
    explicit Receiver(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0)
    {
        bound = socket.bind(address, port);
    }

    // Takes datagrams until `count` have come or `patience` ms have passed.
    QList<QNetworkDatagram> take(int count, int patience = 2000)
    {
        QList<QNetworkDatagram> got;
        const QDeadlineTimer deadline(patience);
        while (got.size() < count && !deadline.hasExpired()) {
            if (!socket.hasPendingDatagrams()) {
                socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
            }
            while (socket.hasPendingDatagrams()) {
                got << socket.receiveDatagram();
            }
        }
        return got;
    }

    QUdpSocket socket;
    bool bound = false;
};

// A port on which nothing listens: taken from the system, then given back.
quint16 deadPort()
{
    QUdpSocket probe;
    if (!probe.bind(QHostAddress::LocalHost, 0)) {
        return 0;
    }
    const quint16 port = probe.localPort();
    probe.close();
    return port;
}

} // namespace

class TestUdpSink : public QObject
{
    Q_OBJECT

private slots:
    void oneDatagramPerLine_data();
    void oneDatagramPerLine();
    void absentReceiverIsNeverAFailure();
    void configureRefuses_data();
    void configureRefuses();
    void writeBeforeConfigureFails();
    void linesAfterASendFailureAreUndelivered();
    void sendFailureMeaning_data();
    void sendFailureMeaning();
    void ipv6Receiver();
    void reconfiguredFromIpv4ToIpv6();
};

void TestUdpSink::oneDatagramPerLine_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<bool>("together"); // written as lines due at once, handed over at one flush

    QTest::newRow("three lines, in order") << QList<QByteArray>{"first", "second", "third"} << false;
    QTest::newRow("8-bit bytes go out unchanged")
        << QList<QByteArray>{"caf\xe9", "\xc3\xa9t\xc3\xa9 \xff\x80"} << false;
    QTest::newRow("an empty line is an empty datagram") << QList<QByteArray>{"before", "", "after"} << true;
    QTest::newRow("trailing spaces and a CR inside are kept") << QList<QByteArray>{"a line  ", "a\rb"} << false;
    QTest::newRow("a long line in one piece") << QList<QByteArray>{QByteArray(1400, 'x') + "end"} << false;
    QList<QByteArray> many;
    for (int i = 0; i < 200; ++i) {
        many << "%PIX-6-302013: line " + QByteArray::number(i);
    }
    QTest::newRow("200 lines back to back, in order") << many << false;
    // Across the edges of the sink's batches: none lost, doubled or out of order.
    QTest::newRow("200 lines due together, in order") << many << true;
}

void TestUdpSink::oneDatagramPerLine()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(bool, together);

    Receiver receiver;
    QVERIFY(receiver.bound);
    UdpSink sink;
    const Result<> configured = sink.configure(QStringLiteral("127.0.0.1"), receiver.socket.localPort());
    QVERIFY2(configured, configured.reason().c_str());
    QVERIFY(sink.isConfigured());
    QVERIFY(sink.localPort() != 0); // bound to some free port before the first send

    for (const QByteArray& line : lines) {
        QCOMPARE(outcomeOf(together ? sink.write(view(line)) : deliverNow(sink, view(line))), QStringLiteral("sent"));
    }
    if (together) {
        const FlushResult flushed = sink.flush();
        QVERIFY(flushed);
        QCOMPARE(flushed.value().dropped, std::int64_t(0));
    }

    const QList<QNetworkDatagram> got = receiver.take(int(lines.size()));
    QCOMPARE(got.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(got[i].data(), lines[i]); // no line end, no prefix, nothing lost
        QCOMPARE(got[i].senderPort(), int(sink.localPort()));
    }
    QVERIFY(receiver.take(1, 100).isEmpty()); // nothing more than one datagram per line
    QTRY_COMPARE(sink.counts().delivered, std::int64_t(lines.size()));
}

void TestUdpSink::absentReceiverIsNeverAFailure()
{
    const quint16 port = deadPort();
    QVERIFY(port != 0);
    UdpSink sink;
    QVERIFY(sink.configure(QStringLiteral("127.0.0.1"), port));
    // Each send may leave a refusal behind; the event loop gets to see it before the next.
    int delivered = 0;
    for (int i = 0; i < 300; ++i) {
        const SinkResult result = deliverNow(sink, "%PIX-6-302013: nobody listens");
        QVERIFY2(result, result.reason().c_str());
        delivered += result.value() == Delivery::Sent;
        QCoreApplication::processEvents();
    }
    QVERIFY(delivered > 0);
    // The sender thread has sent every line for nobody before the receiver comes up.
    QVERIFY(sink.flushAndWait());

    // A receiver that comes up later gets the following lines.
    Receiver late(QHostAddress::LocalHost, port);
    QVERIFY(late.bound);
    QCOMPARE(outcomeOf(deliverNow(sink, "now someone listens")), QStringLiteral("sent"));
    const QList<QNetworkDatagram> got = late.take(1);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].data(), QByteArray("now someone listens"));
}

void TestUdpSink::configureRefuses_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("reasonNames");

    QTest::newRow("a host name") << QStringLiteral("localhost.invalid") << 514 << QStringLiteral("localhost.invalid");
    QTest::newRow("a name that would resolve") << QStringLiteral("localhost") << 514 << QStringLiteral("localhost");
    QTest::newRow("an empty host") << QString() << 514 << QStringLiteral("\"\"");
    QTest::newRow("an address with a fifth part") << QStringLiteral("1.2.3.4.5") << 514 << QStringLiteral("1.2.3.4.5");
    QTest::newRow("port 0") << QStringLiteral("127.0.0.1") << 0 << QStringLiteral("port 0");
}

void TestUdpSink::configureRefuses()
{
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, reasonNames);

    // A sink that worked before: the refused configuration must not leave the old one in force.
    Receiver receiver;
    QVERIFY(receiver.bound);
    UdpSink sink;
    QVERIFY(sink.configure(QStringLiteral("127.0.0.1"), receiver.socket.localPort()));

    const Result<> refused = sink.configure(host, quint16(port));
    QVERIFY(!refused);
    QVERIFY(!sink.isConfigured());
    QVERIFY2(QString::fromStdString(refused.reason()).contains(reasonNames), refused.reason().c_str());

    QCOMPARE(outcomeOf(deliverNow(sink, "lost")), "failed: " + QString::fromStdString(refused.reason()));
    QVERIFY(receiver.take(1, 100).isEmpty());
}

void TestUdpSink::writeBeforeConfigureFails()
{
    UdpSink sink;
    const SinkResult result = deliverNow(sink, "a line");
    QVERIFY(!result);
    QVERIFY(!result.reason().empty());
}

void TestUdpSink::linesAfterASendFailureAreUndelivered()
{
    // A broadcast address without permission to broadcast: the kernel refuses every datagram.
    UdpSink sink;
    QVERIFY(sink.configure(QStringLiteral("255.255.255.255"), 514));
    std::int64_t taken = 0;
    SinkResult result = Delivery::Sent;
    for (int i = 0; i < 2000 && result; ++i) {
        result = sink.write("%PIX-6-302013: refused");
        taken += result ? 1 : 0;
    }
    const FlushResult flushed = sink.flushAndWait();
    QVERIFY(!result || !flushed);
    QCOMPARE((result ? flushed.reason() : result.reason()), std::string(std::strerror(EACCES)));
    QVERIFY(taken > 0);
    const DeliveryCounts counts = sink.counts();
    QCOMPARE(counts.delivered, std::int64_t(0));
    QCOMPARE(counts.dropped, std::int64_t(0));
    QCOMPARE(counts.undelivered, taken); // also those handed to the sender after it failed
}

void TestUdpSink::sendFailureMeaning_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("outcome");
    // The socket never blocks: what the kernel cannot take now is dropped and counted, the run
    // goes on; a refusal is passed over; anything else ends the run with the system's reason.
    QTest::newRow("send buffer full") << EAGAIN << "dropped";
    QTest::newRow("no buffer space (neighbour queue full)") << ENOBUFS << "dropped";
    QTest::newRow("receiver refused an earlier datagram") << ECONNREFUSED << "skipped";
    QTest::newRow("datagram too large") << EMSGSIZE << "failed: " + QString::fromUtf8(std::strerror(EMSGSIZE));
    QTest::newRow("network unreachable") << ENETUNREACH << "failed: " + QString::fromUtf8(std::strerror(ENETUNREACH));
}

void TestUdpSink::sendFailureMeaning()
{
    QFETCH(int, error);
    QFETCH(QString, outcome);
    const SinkResult result = UdpSink::sendFailure(error);
    QCOMPARE(outcomeOf(result), outcome);
    QCOMPARE(result.systemError(), result ? 0 : error);
}

void TestUdpSink::ipv6Receiver()
{
    Receiver receiver(QHostAddress::LocalHostIPv6);
    if (!receiver.bound) {
        QSKIP("this machine has no IPv6 loopback");
    }
    UdpSink sink;
    const Result<> configured = sink.configure(QStringLiteral("::1"), receiver.socket.localPort());
    QVERIFY2(configured, configured.reason().c_str());
    QCOMPARE(outcomeOf(deliverNow(sink, "over IPv6")), QStringLiteral("sent"));
    const QList<QNetworkDatagram> got = receiver.take(1);
    QCOMPARE(got.size(), 1);
    QCOMPARE(got[0].data(), QByteArray("over IPv6"));
}

void TestUdpSink::reconfiguredFromIpv4ToIpv6()
{
    Receiver v4;
    Receiver v6(QHostAddress::LocalHostIPv6);
    if (!v6.bound) {
        QSKIP("this machine has no IPv6 loopback");
    }
    UdpSink sink;
    QVERIFY(sink.configure(QStringLiteral("127.0.0.1"), v4.socket.localPort()));
    QCOMPARE(outcomeOf(deliverNow(sink, "to v4")), QStringLiteral("sent"));
    const Result<> toV6 = sink.configure(QStringLiteral("::1"), v6.socket.localPort());
    QVERIFY2(toV6, toV6.reason().c_str());
    QCOMPARE(outcomeOf(deliverNow(sink, "to v6")), QStringLiteral("sent"));
    QVERIFY(sink.configure(QStringLiteral("127.0.0.1"), v4.socket.localPort()));
    QCOMPARE(outcomeOf(deliverNow(sink, "to v4 again")), QStringLiteral("sent"));

    const QList<QNetworkDatagram> gotV4 = v4.take(2);
    QCOMPARE(gotV4.size(), 2);
    QCOMPARE(gotV4[0].data(), QByteArray("to v4"));
    QCOMPARE(gotV4[1].data(), QByteArray("to v4 again"));
    const QList<QNetworkDatagram> gotV6 = v6.take(1);
    QCOMPARE(gotV6.size(), 1);
    QCOMPARE(gotV6[0].data(), QByteArray("to v6"));
}

QTEST_GUILESS_MAIN(TestUdpSink)
#include "tst_udpsink.moc"
