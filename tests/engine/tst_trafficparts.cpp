// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/trafficaddresses.h"
#include "engine/trafficcatalogue.h"
#include "engine/trafficzipf.h"

#include <QTest>

#include <cmath>
#include <set>

using namespace korvane;

class TestTrafficParts : public QObject
{
    Q_OBJECT

private slots:
    void templateFilledByPosition_data();
    void templateFilledByPosition();
    void templatePickedByProtocolAndDirection();
    void zipfFavoursTheFirstRanks_data();
    void zipfFavoursTheFirstRanks();
    void networkHostsStayInTheirRange_data();
    void networkHostsStayInTheirRange();
};

void TestTrafficParts::templateFilledByPosition_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("filled");

    QTest::newRow("endpoints, id, duration, bytes and reason in their order")
        << "%PIX-6-302014: Teardown TCP connection %d for outside:IP_addr/port to inside:IP_addr/port duration "
           "0:01:12 bytes %d TCP FINs"
        << "%PIX-6-302014: Teardown TCP connection 4711 for outside:198.51.100.7/40001 to inside:10.10.3.4/443 "
           "duration 1:02:05 bytes 1500 TCP Reset-O";
    QTest::newRow("an address written out keeps its place and its text")
        << "%PIX-6-302013: Built inbound TCP connection %d for outside:IP_addr/port (IP_addr/port) to "
           "inside:IP_addr/port (192.0.2.80/80)"
        << "%PIX-6-302013: Built inbound TCP connection 4711 for outside:198.51.100.7/40001 (198.51.100.8/40002) to "
           "inside:10.10.3.4/443 (192.0.2.80/80)";
    QTest::newRow("user and interface; a word holding dec stays")
        << "%PIX-6-109006: Authentication failed for user 'user' from IP_addr/port to IP_addr/80 on interface dec "
           "decrypt"
        << "%PIX-6-109006: Authentication failed for user 'PIX_User' from 198.51.100.7/40001 to 198.51.100.8/80 on "
           "interface outside decrypt";
    QTest::newRow("no reason after the bytes of a datagram flow")
        << "%PIX-6-302016: Teardown UDP connection %d for outside:IP_addr/port to inside:IP_addr/port duration "
           "0:02:01 bytes %d"
        << "%PIX-6-302016: Teardown UDP connection 4711 for outside:198.51.100.7/40001 to inside:198.51.100.8/40002 "
           "duration 1:02:05 bytes 1500";
}

void TestTrafficParts::templateFilledByPosition()
{
    QFETCH(QString, line);
    QFETCH(QString, filled);
    TrafficValues v;
    v.endpoints = {TrafficValues::Endpoint{"198.51.100.7", 40001}, TrafficValues::Endpoint{"198.51.100.8", 40002},
                   TrafficValues::Endpoint{"10.10.3.4", 443}, TrafficValues::Endpoint{"10.11.11.11", 443}};
    if (line.contains(QStringLiteral("Teardown TCP"))) {
        v.endpoints[1] = v.endpoints[2];
    }
    v.numbers = {4711, 1500};
    v.durationSeconds = 3725;
    v.reason = "TCP Reset-O";
    v.user = "PIX_User";
    v.interface = "outside";
    std::string out;
    TrafficCatalogue::fill(trafficTemplate(line.toStdString()), v, out);
    QCOMPARE(QString::fromStdString(out), filled);
}

void TestTrafficParts::templatePickedByProtocolAndDirection()
{
    const std::vector<std::string> lines{"%PIX-6-305011: Built dynamic TCP translation from inside:IP_addr/port",
                                         "%PIX-6-305011: Built dynamic UDP translation from inside:IP_addr/port",
                                         "%PIX-6-302013: Built inbound TCP connection %d",
                                         "%PIX-6-302013: Built outbound TCP connection %d"};
    const TrafficCatalogue catalogue(lines);
    QVERIFY(catalogue.pick(TrafficKind::BuiltTranslation, TrafficProtocol::Udp, false, 0.9)->saysUdp);
    QVERIFY(catalogue.pick(TrafficKind::BuiltTranslation, TrafficProtocol::Tcp, false, 0.9)->saysTcp);
    QVERIFY(catalogue.pick(TrafficKind::BuiltTcp, TrafficProtocol::Tcp, true, 0.9)->saysInbound);
    QVERIFY(catalogue.pick(TrafficKind::BuiltTcp, TrafficProtocol::Tcp, false, 0.0)->saysOutbound);
    QCOMPARE(catalogue.pick(TrafficKind::DenyByAcl, TrafficProtocol::Tcp, false, 0.0), nullptr);
}

void TestTrafficParts::zipfFavoursTheFirstRanks_data()
{
    QTest::addColumn<qulonglong>("n");
    QTest::newRow("one host") << qulonglong(1);
    QTest::newRow("the five addresses") << qulonglong(5);
    QTest::newRow("a /24") << qulonglong(254);
    QTest::newRow("a /12") << qulonglong(1 << 20);
}

void TestTrafficParts::zipfFavoursTheFirstRanks()
{
    QFETCH(qulonglong, n);
    constexpr double exponent = 1.1;
    const ZipfSampler zipf(n, exponent);
    DefaultRandomSource random;
    constexpr int draws = 200000;
    std::vector<int> counts(3, 0);
    for (int i = 0; i < draws; ++i) {
        const std::uint64_t rank = zipf.sample(random);
        QVERIFY(rank >= 1 && rank <= n);
        if (rank <= 2) {
            ++counts[rank];
        }
    }
    double sum = 0;
    for (qulonglong k = 1; k <= n; ++k) {
        sum += std::pow(static_cast<double>(k), -exponent);
    }
    const double expected = draws / sum;
    QVERIFY2(std::abs(counts[1] - expected) < 0.03 * expected, qPrintable(QString::number(counts[1])));
    if (n >= 2) {
        QVERIFY(std::abs(counts[2] - expected * std::pow(2.0, -exponent)) < 0.03 * expected);
    }
}

void TestTrafficParts::networkHostsStayInTheirRange_data()
{
    QTest::addColumn<QString>("network");
    QTest::addColumn<QString>("prefix"); // every host's text begins so
    QTest::addColumn<int>("hosts");
    QTest::addColumn<QStringList>("never");
    QTest::newRow("a /24 without its network and broadcast")
        << "198.51.100.0/24"
        << "198.51.100." << 254 << QStringList{"198.51.100.0", "198.51.100.255"};
    QTest::newRow("host bits of the base cleared") << "10.10.7.9/16"
                                                   << "10.10." << 65534 << QStringList{"10.10.0.0", "10.10.255.255"};
    QTest::newRow("a /31: both") << "192.0.2.6/31"
                                 << "192.0.2." << 2 << QStringList{"192.0.2.5", "192.0.2.8"};
    QTest::newRow("no network: the five") << ""
                                          << "a" << 5 << QStringList{};
}

void TestTrafficParts::networkHostsStayInTheirRange()
{
    QFETCH(QString, network);
    QFETCH(QString, prefix);
    QFETCH(int, hosts);
    QFETCH(QStringList, never);
    const std::array<std::string, 5> five{"a1", "a2", "a3", "a4", "a5"};
    const AddressPool pool(network.toStdString(), five);
    QCOMPARE(pool.size(), std::uint64_t(hosts));
    DefaultRandomSource random;
    std::set<QString> seen;
    std::array<char, 16> buffer{};
    for (int i = 0; i < 5000; ++i) {
        const std::uint32_t host = i % 2 == 0 ? pool.popular(random) : pool.any(random);
        QVERIFY(host < pool.size());
        const QString text = QString::fromStdString(std::string(pool.text(host, buffer)));
        QVERIFY2(text.startsWith(prefix) && !never.contains(text), qPrintable(text));
        seen.insert(text);
    }
    QVERIFY(static_cast<int>(seen.size()) >= std::min(hosts, 100));
}

QTEST_GUILESS_MAIN(TestTrafficParts)
#include "tst_trafficparts.moc"
