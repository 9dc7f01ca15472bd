// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/datagram.h"

#include <QTest>

using namespace korvane::harkwell;

class TestDatagram : public QObject
{
    Q_OBJECT

private slots:
    void lineTextDropsOneLineEnd_data();
    void lineTextDropsOneLineEnd();
    void senderTextNamesAddressAndPort_data();
    void senderTextNamesAddressAndPort();
    void headerColumnsLineUp_data();
    void headerColumnsLineUp();
    void describeShowsTimeSenderHeaderAndText();
};

void TestDatagram::lineTextDropsOneLineEnd_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("text without line end is kept")
        << QByteArray("<13>Dec 06 host msg") << QByteArray("<13>Dec 06 host msg");
    QTest::newRow("trailing LF dropped") << QByteArray("msg\n") << QByteArray("msg");
    QTest::newRow("trailing CR LF dropped") << QByteArray("msg\r\n") << QByteArray("msg");
    QTest::newRow("trailing CR dropped") << QByteArray("msg\r") << QByteArray("msg");
    QTest::newRow("only one of two line ends dropped") << QByteArray("msg\n\n") << QByteArray("msg\n");
    QTest::newRow("line end inside kept") << QByteArray("a\nb") << QByteArray("a\nb");
    QTest::newRow("empty payload") << QByteArray() << QByteArray();
    QTest::newRow("lone line end") << QByteArray("\r\n") << QByteArray();
    QTest::newRow("NUL and high bytes kept") << QByteArray("a\0b\xe9\xff", 5) << QByteArray("a\0b\xe9\xff", 5);
}

void TestDatagram::lineTextDropsOneLineEnd()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, line);

    QCOMPARE(lineText(payload), line);
}

void TestDatagram::senderTextNamesAddressAndPort_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("text");

    QTest::newRow("IPv4") << "192.168.10.4" << 40123 << "192.168.10.4:40123";
    QTest::newRow("IPv4 through a dual-stack socket") << "::ffff:10.0.0.5" << 514 << "10.0.0.5:514";
    QTest::newRow("IPv6 in brackets") << "fe80::1" << 1 << "[fe80::1]:1";
}

void TestDatagram::senderTextNamesAddressAndPort()
{
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, text);

    const Datagram datagram{{}, QHostAddress(address), static_cast<quint16>(port), {}};
    QCOMPARE(senderText(datagram), text);
}

void TestDatagram::headerColumnsLineUp_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("columns");

    QTest::newRow("two-digit facility and host")
        << QByteArray("<166>Dec  7 15:07:59 demo-gate up") << QByteArray("20  6  demo-gate  ");
    QTest::newRow("one-digit facility padded")
        << QByteArray("<13>1 - relay-2 app - - - up") << QByteArray(" 1  5  relay-2  ");
    QTest::newRow("priority without host") << QByteArray("<0>up") << QByteArray(" 0  0  -  ");
    QTest::newRow("no header") << QByteArray("07 Dec 2026 15:07:59  demo-gate up") << QByteArray(" -  -  -  ");
}

void TestDatagram::headerColumnsLineUp()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, columns);

    QCOMPARE(headerColumns(line), columns);
}

void TestDatagram::describeShowsTimeSenderHeaderAndText()
{
    const Datagram datagram{QDateTime(QDate(2026, 12, 6), QTime(4, 7, 51, 25)), QHostAddress("127.0.0.1"), 50000,
                            "<134>Dec  6 04:07:51 demo-gate link 3 up\r\n"};

    QCOMPARE(describe(datagram),
             QByteArray("04:07:51.025  127.0.0.1:50000  16  6  demo-gate  <134>Dec  6 04:07:51 demo-gate link 3 up"));
}

QTEST_GUILESS_MAIN(TestDatagram)
#include "tst_datagram.moc"
