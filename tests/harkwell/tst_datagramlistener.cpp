// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/datagramlistener.h"

#include "udptestkit.h"

#include <QFile>
#include <QTest>

#include <algorithm>

using namespace korvane::harkwell;
using namespace harkwelltest;

namespace {

// Collects every batch the listener emits.
struct Received
{
    QList<Datagram> datagrams;
    int batches = 0;

    explicit Received(DatagramListener& listener)
    {
        QObject::connect(&listener, &DatagramListener::datagramsReceived, &listener,
                         [this](const QList<Datagram>& batch) {
                             datagrams += batch;
                             ++batches;
                         });
    }

    QList<QByteArray> payloads() const
    {
        QList<QByteArray> result;
        for (const Datagram& datagram : datagrams) {
            result.append(datagram.payload);
        }
        return result;
    }
};

} // namespace

class TestDatagramListener : public QObject
{
    Q_OBJECT

private slots:
    void receivesExactBytesInOrder_data();
    void receivesExactBytesInOrder();
    void rateCountsTheLastSecond();
    void resetStartsTheCountsAgain();
    void refusesAPortItCannotHave_data();
    void refusesAPortItCannotHave();
    void listensAgainAfterAFailure();
    void asksForALargeReceiveBuffer();
    void countsWhatTheSystemDropped();
};

void TestDatagramListener::receivesExactBytesInOrder_data()
{
    QTest::addColumn<QList<QByteArray>>("payloads");

    QTest::newRow("three syslog lines") << QList<QByteArray>{"<13>first", "<13>second", "<13>third"};
    QTest::newRow("empty datagram counts") << QList<QByteArray>{"before", "", "after"};
    QTest::newRow("line ends and binary bytes kept")
        << QList<QByteArray>{"crlf\r\n", QByteArray("nul\0inside", 10), QByteArray("\xff\xfe high")};
    QTest::newRow("largest datagram over IPv4") << QList<QByteArray>{QByteArray(65507, 'x'), "small"};
    QTest::newRow("burst of two thousand") << numberedLines(0, 2000);
}

void TestDatagramListener::receivesExactBytesInOrder()
{
    QFETCH(QList<QByteArray>, payloads);

    DatagramListener listener;
    qint64 now = 5000;
    listener.setClock([&now] { return now; });
    QVERIFY2(listener.listen(QHostAddress::LocalHost, 0), qPrintable(listener.errorString()));
    QVERIFY(listener.isListening());
    QVERIFY(listener.port() != 0);
    Received received(listener);

    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress::LocalHost, 0));
    QVERIFY(sendAll(sender, listener.port(), payloads));

    QTRY_COMPARE_WITH_TIMEOUT(received.datagrams.size(), payloads.size(), 10000);
    QCOMPARE(received.payloads(), payloads);
    qint64 bytes = 0;
    for (const QByteArray& payload : payloads) {
        bytes += payload.size();
    }
    QCOMPARE(listener.datagramCount(), quint64(payloads.size()));
    QCOMPARE(listener.byteCount(), quint64(bytes));
    QCOMPARE(listener.ratePerSecond(), qint64(payloads.size()));
    for (const Datagram& datagram : std::as_const(received.datagrams)) {
        QCOMPARE(datagram.sender, QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(datagram.senderPort, sender.localPort());
        QVERIFY(datagram.arrival.isValid());
    }
}

void TestDatagramListener::rateCountsTheLastSecond()
{
    DatagramListener listener;
    qint64 now = 0;
    listener.setClock([&now] { return now; });
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    Received received(listener);
    QUdpSocket sender;

    QVERIFY(sendAll(sender, listener.port(), numberedLines(0, 3)));
    QTRY_COMPARE(received.datagrams.size(), 3);
    now = 500;
    QVERIFY(sendAll(sender, listener.port(), numberedLines(3, 2)));
    QTRY_COMPARE(received.datagrams.size(), 5);

    now = 900;
    QCOMPARE(listener.ratePerSecond(), qint64(5));
    now = 1000;
    QCOMPARE(listener.ratePerSecond(), qint64(2));
    now = 1500;
    QCOMPARE(listener.ratePerSecond(), qint64(0));
    QCOMPARE(listener.datagramCount(), quint64(5)); // the totals do not slide
}

void TestDatagramListener::resetStartsTheCountsAgain()
{
    DatagramListener listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    Received received(listener);
    QUdpSocket sender;

    QVERIFY(sendAll(sender, listener.port(), {"12345", "678"}));
    QTRY_COMPARE(received.datagrams.size(), 2);
    listener.resetCounters();
    QCOMPARE(listener.datagramCount(), quint64(0));
    QCOMPARE(listener.byteCount(), quint64(0));

    QVERIFY(sendAll(sender, listener.port(), {"abcd"}));
    QTRY_COMPARE(received.datagrams.size(), 3);
    QCOMPARE(listener.datagramCount(), quint64(1));
    QCOMPARE(listener.byteCount(), quint64(4));
}

void TestDatagramListener::refusesAPortItCannotHave_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("reasonPart");

    QTest::newRow("port held by a socket that offers to share it") << "socket"
                                                                   << "127.0.0.1"
                                                                   << "in use";
    QTest::newRow("port held by another listener") << "listener"
                                                   << "127.0.0.1"
                                                   << "in use";
    QTest::newRow("address that belongs to no interface") << "none"
                                                          << "192.0.2.1"
                                                          << "not available";
}

void TestDatagramListener::refusesAPortItCannotHave()
{
    QFETCH(QString, holder);
    QFETCH(QString, address);
    QFETCH(QString, reasonPart);

    QUdpSocket heldBySocket;
    DatagramListener heldByListener;
    quint16 port = freeUdpPort();
    if (holder == QLatin1String("socket")) {
        // SO_REUSEADDR on both sockets would let a second one share the port: the listener must not offer it.
        QVERIFY(heldBySocket.bind(QHostAddress::LocalHost, 0, QAbstractSocket::ShareAddress));
        port = heldBySocket.localPort();
    } else if (holder == QLatin1String("listener")) {
        QVERIFY(heldByListener.listen(QHostAddress::LocalHost, 0));
        port = heldByListener.port();
    }

    DatagramListener listener;
    QVERIFY(!listener.listen(QHostAddress(address), port));
    QVERIFY(!listener.isListening());
    QVERIFY2(listener.errorString().contains(reasonPart, Qt::CaseInsensitive), qPrintable(listener.errorString()));
}

void TestDatagramListener::listensAgainAfterAFailure()
{
    DatagramListener holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost, 0));
    DatagramListener listener;
    QVERIFY(!listener.listen(QHostAddress::LocalHost, holder.port()));

    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    QCOMPARE(listener.errorString(), QString());
    Received received(listener);
    QUdpSocket sender;
    QVERIFY(sendAll(sender, listener.port(), {"after the failure"}));
    QTRY_COMPARE(received.payloads(), QList<QByteArray>{"after the failure"});
}

void TestDatagramListener::asksForALargeReceiveBuffer()
{
    QFile limitFile(QStringLiteral("/proc/sys/net/core/rmem_max"));
    if (!limitFile.open(QIODevice::ReadOnly)) {
        QSKIP("the kernel's receive buffer limit cannot be read here");
    }
    const qint64 limit = limitFile.readAll().trimmed().toLongLong();

    DatagramListener listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));

    // Linux grants the request up to net.core.rmem_max, or whole to a process that may force it (root), and
    // reports twice that, the rest being its bookkeeping.
    const qint64 granted = listener.receiveBufferSize();
    QVERIFY2(granted == 2 * std::min<qint64>(DatagramListener::kReceiveBufferBytes, limit) ||
                 granted == 2 * qint64(DatagramListener::kReceiveBufferBytes),
             qPrintable(QString::number(granted)));
}

void TestDatagramListener::countsWhatTheSystemDropped()
{
    DatagramListener listener;
    listener.setReceiveBufferBytes(1); // the system's smallest buffer: a handful of datagrams
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    Received received(listener);
    QUdpSocket sender;

    // Sent while the event loop does not run, so that nothing is read and the buffer overflows.
    const int sent = 300;
    QVERIFY(sendAll(sender, listener.port(), numberedLines(0, sent)));
    QTRY_VERIFY(!received.datagrams.isEmpty());
    // One more after the overflow, so that the counter also comes with a datagram.
    QVERIFY(sendAll(sender, listener.port(), {"after"}));

    // Every datagram sent is either received or counted as dropped.
    QTRY_COMPARE(quint64(received.datagrams.size()) + listener.droppedCount(), quint64(sent + 1));
    QVERIFY(listener.droppedCount() > 0);
    QCOMPARE(listener.datagramCount(), quint64(received.datagrams.size()));
    QCOMPARE(received.datagrams.constLast().payload, QByteArray("after"));
    listener.resetCounters();
    QCOMPARE(listener.droppedCount(), quint64(0));
}

QTEST_GUILESS_MAIN(TestDatagramListener)
#include "tst_datagramlistener.moc"
