// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The fleet's options of korvane-cli, as the command line gives them.
#include "cli/options.h"

#include <QTest>

using namespace korvane::cli;

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void fleetOptions_data();
    void fleetOptions();
};

void TestOptions::fleetOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("fleet");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("error");
    QTest::newRow("one firewall without --fleet") << QStringList{} << 0 << 0 << 0 << "";
    QTest::newRow("a fleet numbered from 1") << QStringList{"--fleet", "100"} << 100 << 0 << 0 << "";
    QTest::newRow("the tenth pod of a thousand")
        << QStringList{"--fleet", "100", "--fleet-offset", "900", "--fleet-width", "4"} << 100 << 900 << 4 << "";
    QTest::newRow("no firewall at all") << QStringList{"--fleet", "0"} << 0 << 0 << 0
                                        << "--fleet takes a number of firewalls from 1 to 1000000, not '0'";
    QTest::newRow("an offset without a fleet")
        << QStringList{"--fleet-offset", "3"} << 0 << 0 << 0 << "--fleet-offset goes with --fleet";
    QTest::newRow("a negative offset")
        << QStringList{"--fleet", "10", "--fleet-offset", "-1"} << 0 << 0 << 0
        << "--fleet-offset takes a whole number from 0 that keeps the firewalls' numbers up to 1000000, not '-1'";
    QTest::newRow("numbers past the largest fleet")
        << QStringList{"--fleet", "10", "--fleet-offset", "999991"} << 0 << 0 << 0
        << "--fleet-offset takes a whole number from 0 that keeps the firewalls' numbers up to 1000000, not "
           "'999991'";
    QTest::newRow("a width of no digit") << QStringList{"--fleet", "10", "--fleet-width", "0"} << 0 << 0 << 0
                                         << "--fleet-width takes a number of digits from 1 to 7, not '0'";
    QTest::newRow("a fleet is no check") << QStringList{"--fleet", "2", "--check", "stored.log", "--manifest", "m.json"}
                                         << 0 << 0 << 0 << "--fleet goes with a run, not with --check";
}

void TestOptions::fleetOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, fleet);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(QString, error);
    arguments.prepend(QStringLiteral("korvane-cli"));
    const ParseResult parsed = parseOptions(arguments);
    QCOMPARE(parsed.error, error);
    QCOMPARE(parsed.status == ParseResult::Status::Invalid, !error.isEmpty());
    if (error.isEmpty()) {
        QCOMPARE(parsed.options.fleet, fleet);
        QCOMPARE(parsed.options.fleetOffset, offset);
        QCOMPARE(parsed.options.fleetWidth, width);
    }
}

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"
