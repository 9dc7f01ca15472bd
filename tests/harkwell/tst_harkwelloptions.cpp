// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/options.h"

#include <QTest>

using namespace korvane::harkwell;

class TestHarkwellOptions : public QObject
{
    Q_OBJECT

private slots:
    void parsesValidCommandLines_data();
    void parsesValidCommandLines();
    void choosesTheTransport_data();
    void choosesTheTransport();
    void rejectsInvalidCommandLines_data();
    void rejectsInvalidCommandLines();
    void recognisesHelpAndVersion_data();
    void recognisesHelpAndVersion();
    void choosesWindowOnlyWhenAsked_data();
    void choosesWindowOnlyWhenAsked();
};

void TestHarkwellOptions::parsesValidCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("stdoutMode");
    QTest::addColumn<bool>("verbose");

    QTest::newRow("no options listen on the syslog port of every IPv4 address")
        << QStringList{} << "0.0.0.0" << 514 << false << false;
    QTest::newRow("long port option") << QStringList{"--port", "5140"} << "0.0.0.0" << 5140 << false << false;
    QTest::newRow("short port option with equals sign")
        << QStringList{"-p=65535"} << "0.0.0.0" << 65535 << false << false;
    QTest::newRow("port 0 lets the system choose") << QStringList{"-p", "0"} << "0.0.0.0" << 0 << false << false;
    QTest::newRow("IPv4 bind address") << QStringList{"--bind", "127.0.0.1"} << "127.0.0.1" << 514 << false << false;
    QTest::newRow("IPv6 bind address") << QStringList{"-b", "::1"} << "::1" << 514 << false << false;
    QTest::newRow("standard output mode")
        << QStringList{"--stdout", "--bind", "127.0.0.1", "--port", "20514"} << "127.0.0.1" << 20514 << true << false;
    QTest::newRow("verbose standard output mode")
        << QStringList{"--verbose", "--stdout"} << "0.0.0.0" << 514 << true << true;
}

void TestHarkwellOptions::parsesValidCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(bool, stdoutMode);
    QFETCH(bool, verbose);

    const ParseResult result = parseOptions(QStringList{"harkwell"} + arguments);

    QCOMPARE(result.status, ParseStatus::Run);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.options.bindAddress, QHostAddress(address));
    QCOMPARE(result.options.port, port);
    QCOMPARE(result.options.stdoutMode, stdoutMode);
    QCOMPARE(result.options.verbose, verbose);
}

void TestHarkwellOptions::choosesTheTransport_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("key");

    QTest::newRow("TCP") << QStringList{"--tcp", "-p", "601"} << Transport::Tcp << QString() << QString();
    QTest::newRow("certificate and key mean TLS")
        << QStringList{"--tls-cert", "/etc/hw/cert.pem", "--tls-key=/etc/hw/key.pem"} << Transport::Tls
        << "/etc/hw/cert.pem"
        << "/etc/hw/key.pem";
    QTest::newRow("TLS wins over plain TCP")
        << QStringList{"--tcp", "--tls-key", "k", "--tls-cert", "c"} << Transport::Tls << "c"
        << "k";
}

void TestHarkwellOptions::choosesTheTransport()
{
    QFETCH(QStringList, arguments);
    QFETCH(Transport, transport);
    QFETCH(QString, certificate);
    QFETCH(QString, key);

    const ParseResult result = parseOptions(QStringList{"harkwell"} + arguments);

    QCOMPARE(result.status, ParseStatus::Run);
    QCOMPARE(result.options.transport, transport);
    QCOMPARE(result.options.tlsCertificate, certificate);
    QCOMPARE(result.options.tlsKey, key);
}

void TestHarkwellOptions::rejectsInvalidCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("port above 65535") << QStringList{"--port", "65536"} << "Invalid port: 65536";
    QTest::newRow("negative port") << QStringList{"--port=-1"} << "Invalid port: -1";
    QTest::newRow("port that is not a number") << QStringList{"-p", "syslog"} << "Invalid port: syslog";
    QTest::newRow("port without its value") << QStringList{"--port"} << "port";
    QTest::newRow("bind address out of range") << QStringList{"--bind", "300.1.1.1"} << "300.1.1.1";
    QTest::newRow("host name instead of an address") << QStringList{"--bind", "localhost"} << "localhost";
    QTest::newRow("verbose without standard output mode") << QStringList{"--verbose"} << "--verbose needs --stdout";
    QTest::newRow("plot without standard output mode") << QStringList{"--plot", "rate.png"} << "--plot needs --stdout";
    QTest::newRow("plot without a file name") << QStringList{"--stdout", "--plot="} << "--plot needs a file name";
    QTest::newRow("unknown option") << QStringList{"--stdout", "--frobnicate"} << "frobnicate";
    QTest::newRow("stray argument") << QStringList{"--stdout", "extra"} << "Unexpected argument: extra";
    QTest::newRow("certificate without key") << QStringList{"--tls-cert", "c.pem"} << "--tls-cert needs --tls-key";
    QTest::newRow("key without certificate")
        << QStringList{"--tcp", "--tls-key", "k.pem"} << "--tls-key needs --tls-cert";
}

void TestHarkwellOptions::rejectsInvalidCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, errorPart);

    const ParseResult result = parseOptions(QStringList{"harkwell"} + arguments);

    QCOMPARE(result.status, ParseStatus::Invalid);
    QVERIFY2(result.error.contains(errorPart), qPrintable(result.error));
}

void TestHarkwellOptions::recognisesHelpAndVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<ParseStatus>("status");

    QTest::newRow("--help") << QStringList{"--help"} << ParseStatus::ShowHelp;
    QTest::newRow("-h wins over a bad port") << QStringList{"-h", "--port", "99999"} << ParseStatus::ShowHelp;
    QTest::newRow("--version") << QStringList{"--version"} << ParseStatus::ShowVersion;
}

void TestHarkwellOptions::recognisesHelpAndVersion()
{
    QFETCH(QStringList, arguments);
    QFETCH(ParseStatus, status);

    QCOMPARE(parseOptions(QStringList{"harkwell"} + arguments).status, status);
}

void TestHarkwellOptions::choosesWindowOnlyWhenAsked_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("window");

    QTest::newRow("no options open the window") << QStringList{} << true;
    QTest::newRow("a port alone opens the window") << QStringList{"--port", "5140"} << true;
    QTest::newRow("standard output mode needs no display") << QStringList{"--stdout"} << false;
    QTest::newRow("help needs no display") << QStringList{"--help"} << false;
    QTest::newRow("version needs no display") << QStringList{"-v"} << false;
    QTest::newRow("toolkit options belong to the window") << QStringList{"-platform", "offscreen"} << true;
    QTest::newRow("an invalid standard output command line needs no display")
        << QStringList{"--stdout", "--port", "x"} << false;
}

void TestHarkwellOptions::choosesWindowOnlyWhenAsked()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, window);

    QCOMPARE(wantsWindow(QStringList{"harkwell"} + arguments), window);
}

QTEST_GUILESS_MAIN(TestHarkwellOptions)
#include "tst_harkwelloptions.moc"
