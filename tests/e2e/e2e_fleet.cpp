// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A fleet of firewalls from one korvane-cli to one UDP receiver on 127.0.0.1: each firewall known by
// its own source address and host name, each with its share of the lines, each in the manifest.

#include "e2ekit.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

using namespace korvane::e2e;

class E2eFleet : public QObject
{
    Q_OBJECT

private slots:
    void fiftyFirewallsEachFromItsOwnAddressWithItsShare();
};

void E2eFleet::fiftyFirewallsEachFromItsOwnAddressWithItsShare()
{
    constexpr int kFirewalls = 50;
    Workspace ws;
    QVERIFY(ws.ok());
    UdpReceiver receiver;
    QVERIFY(receiver.ok());
    ws.write(QStringLiteral("korvane.ini"),
             iniText(completeKeys({{"SyslogFile", "1"},
                                   {"HostIP", "127.0.0.1"},
                                   {"UDP_Port_Syslog", QByteArray::number(receiver.port())},
                                   {"Delay", "0.1"},
                                   {"onetime", "0"},
                                   {"GenerationType", "-1"},
                                   {"SyslogFormat", "1"},
                                   {"SourceAddress", "127.0.1.1"}})));
    ws.write(QStringLiteral("SAMPLE.TXT"), "first line, never picked\r\n" + crlfLines(numberedTemplates(12)));
    Cli cli(ws.folder(), {QStringLiteral("--fleet"), QString::number(kFirewalls), QStringLiteral("--duration"),
                          QStringLiteral("3"), QStringLiteral("--manifest"), ws.path(QStringLiteral("m.json"))});
    const CliResult result = cli.wait();
    QVERIFY2(result.finished && result.exitCode == 0, qPrintable(result.errors));
    receiver.waitQuiet();

    // Host i speaks from 127.0.1.i and from nowhere else.
    std::map<QByteArray, std::int64_t> byHost;
    std::map<std::uint32_t, QByteArray> hostOfAddress;
    for (const korvane::test::Datagram& d : receiver.datagrams()) {
        const QList<QByteArray> words = QByteArray::fromStdString(d.payload).simplified().split(' ');
        QVERIFY(words.size() > 4);
        const QByteArray host = words[3]; // <PRI>Mmm dd hh:mm:ss HOST
        ++byHost[host];
        const auto [at, fresh] = hostOfAddress.emplace(d.from, host);
        QCOMPARE(at->second, host);
        if (fresh) {
            QCOMPARE(host, "Pix-Inside-Demo-" + QByteArray::number(d.from - 0x7f000100).rightJustified(2, '0'));
        }
    }
    QCOMPARE(hostOfAddress.size(), std::size_t(kFirewalls));
    QCOMPARE(byHost.size(), std::size_t(kFirewalls));
    QCOMPARE(hostOfAddress.begin()->first, std::uint32_t(0x7f000101));
    QCOMPARE(hostOfAddress.rbegin()->first, std::uint32_t(0x7f000132));
    // Ten lines a second each, for about three seconds: each its share, within one line.
    const auto [fewest, most] = std::minmax_element(byHost.begin(), byHost.end(),
                                                    [](const auto& a, const auto& b) { return a.second < b.second; });
    QVERIFY2(fewest->second >= 25 && most->second - fewest->second <= 1,
             qPrintable(QStringLiteral("%1 to %2 lines").arg(fewest->second).arg(most->second)));

    // The manifest: one entry per firewall, its counts as received.
    const QJsonObject manifest = QJsonDocument::fromJson(ws.read(QStringLiteral("m.json"))).object();
    const QJsonArray firewalls = manifest.value(QStringLiteral("firewalls")).toArray();
    QCOMPARE(firewalls.size(), kFirewalls);
    for (const QJsonValue& value : firewalls) {
        const QJsonObject f = value.toObject();
        const QByteArray name = f.value(QStringLiteral("name")).toString().toUtf8();
        QCOMPARE(f.value(QStringLiteral("source_address")).toString(),
                 QStringLiteral("127.0.1.%1").arg(f.value(QStringLiteral("number")).toInt()));
        QCOMPARE(f.value(QStringLiteral("lines")).toObject().value(QStringLiteral("delivered")).toInteger(),
                 byHost[name]);
    }
}

QTEST_GUILESS_MAIN(E2eFleet)
#include "e2e_fleet.moc"
