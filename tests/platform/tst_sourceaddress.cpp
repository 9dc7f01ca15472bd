// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// SourceAddress: the local address lines leave from, for datagrams and connections alike.
#include "../support/udpreceiver.h"
#include "platform/relpsink.h"
#include "platform/sourceaddress.h"
#include "platform/streamsink.h"
#include "platform/udpsink.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <set>

using namespace korvane;

namespace {

std::set<std::string> ipv4Of(const test::UdpReceiver& receiver)
{
    std::set<std::string> senders;
    for (const test::Datagram& d : receiver.datagrams()) {
        senders.insert(std::to_string(d.from >> 24) + '.' + std::to_string((d.from >> 16) & 0xff) + '.' +
                       std::to_string((d.from >> 8) & 0xff) + '.' + std::to_string(d.from & 0xff));
    }
    return senders;
}

} // namespace

class TestSourceAddress : public QObject
{
    Q_OBJECT

private slots:
    void addressIsBoundBeforeTheRunOrNamedInTheFailure_data();
    void addressIsBoundBeforeTheRunOrNamedInTheFailure();
    void datagramLeavesFromTheSourceAddress();
    void eachFirewallsDatagramLeavesFromItsOwnAddress();
    void connectionIsMadeFromTheSourceAddress();
    void unbindableAddressFailsEveryTransportAtItsStart();
};

void TestSourceAddress::addressIsBoundBeforeTheRunOrNamedInTheFailure_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("failure");
    QTest::newRow("any loopback address binds") << "127.0.4.232"
                                                << "";
    QTest::newRow("IPv6 loopback binds") << "::1"
                                         << "";
    QTest::newRow("an address of another machine")
        << "192.0.2.1"
        << "SourceAddress 192.0.2.1 cannot be bound: Cannot assign requested address";
    QTest::newRow("not an address") << "localhost"
                                    << "SourceAddress localhost is not an IP address";
}

void TestSourceAddress::addressIsBoundBeforeTheRunOrNamedInTheFailure()
{
    QFETCH(QString, address);
    QFETCH(QString, failure);
    const Result<SourceAddress> bound = bindableSourceAddress(address.toStdString());
    if (failure.isEmpty()) {
        QVERIFY2(bound, bound ? "" : bound.reason().c_str());
    } else {
        QVERIFY(!bound);
        QCOMPARE(QString::fromStdString(bound.reason()), failure);
    }
}

void TestSourceAddress::datagramLeavesFromTheSourceAddress()
{
    test::UdpReceiver receiver;
    QVERIFY(receiver.ok());
    UdpSink sink;
    QVERIFY(sink.configure(QStringLiteral("127.0.0.1"), receiver.port(), QStringLiteral("127.0.1.9")));
    QVERIFY(sink.write("one line"));
    QVERIFY(sink.flushAndWait());
    QTRY_COMPARE(receiver.total(), std::uint64_t(1));
    QCOMPARE(ipv4Of(receiver), std::set<std::string>{"127.0.1.9"});
}

void TestSourceAddress::eachFirewallsDatagramLeavesFromItsOwnAddress()
{
    test::UdpReceiver receiver;
    QVERIFY(receiver.ok());
    UdpSink sink;
    QVERIFY(sink.configure(QStringLiteral("127.0.0.1"), receiver.port()));
    sink.sendFrom(3, {0x7f000201, 0x7f000202, 0x7f000203}); // 127.0.2.1 to 127.0.2.3
    for (std::uint32_t member : {0u, 1u, 2u, 2u}) {
        QVERIFY(sink.writeFrom(member, "line of firewall " + std::to_string(member)));
    }
    QVERIFY(sink.flushAndWait());
    QTRY_COMPARE(receiver.total(), std::uint64_t(4));
    std::map<std::uint32_t, std::set<std::string>> payloadsBySender;
    for (const test::Datagram& d : receiver.datagrams()) {
        payloadsBySender[d.from].insert(d.payload);
    }
    QCOMPARE(payloadsBySender[0x7f000201], std::set<std::string>{"line of firewall 0"});
    QCOMPARE(payloadsBySender[0x7f000203], std::set<std::string>{"line of firewall 2"});
    QCOMPARE(sink.countsOf(2).delivered, std::int64_t(2));
    QCOMPARE(sink.countsOf(1).delivered, std::int64_t(1));
}

void TestSourceAddress::connectionIsMadeFromTheSourceAddress()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    StreamSink sink;
    sink.setSourceAddress(QStringLiteral("127.0.1.10"));
    QVERIFY(sink.start(QStringLiteral("127.0.0.1"), server.serverPort(), StreamFraming::LineFeed, std::nullopt));
    QVERIFY(server.waitForNewConnection(10'000));
    std::unique_ptr<QTcpSocket> accepted(server.nextPendingConnection());
    QCOMPARE(accepted->peerAddress(), QHostAddress(QStringLiteral("127.0.1.10")));
}

void TestSourceAddress::unbindableAddressFailsEveryTransportAtItsStart()
{
    UdpSink udp;
    const Result<> datagrams = udp.configure(QStringLiteral("127.0.0.1"), 9, QStringLiteral("192.0.2.1"));
    QVERIFY(!datagrams);
    QVERIFY(QString::fromStdString(datagrams.reason()).contains("SourceAddress 192.0.2.1 cannot be bound"));
    StreamSink stream;
    stream.setSourceAddress(QStringLiteral("192.0.2.1"));
    const Result<> connection = stream.start(QStringLiteral("127.0.0.1"), 9, StreamFraming::LineFeed, std::nullopt);
    QCOMPARE(QString::fromStdString(connection.reason()),
             "TCP 127.0.0.1:9: SourceAddress 192.0.2.1 cannot be bound: Cannot assign requested address");
    RelpSink relp;
    relp.setSourceAddress("192.0.2.1");
    const Result<> session = relp.start(QStringLiteral("127.0.0.1"), 9);
    QCOMPARE(QString::fromStdString(session.reason()),
             "RELP 127.0.0.1:9: SourceAddress 192.0.2.1 cannot be bound: Cannot assign requested address");
}

QTEST_GUILESS_MAIN(TestSourceAddress)
#include "tst_sourceaddress.moc"
