// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/syslogheader.h"

#include <QTest>

using namespace korvane::harkwell;

class TestSyslogHeader : public QObject
{
    Q_OBJECT

private slots:
    void decodesPriorityAndHost_data();
    void decodesPriorityAndHost();
    void findsTheHost_data();
    void findsTheHost();
};

void TestSyslogHeader::decodesPriorityAndHost_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("facility"); // -1: no valid <PRI>
    QTest::addColumn<int>("severity");
    QTest::addColumn<QByteArray>("host");

    // The BSD form.
    QTest::newRow("BSD, day padded with a space")
        << QByteArray("<166>Dec  7 15:07:59 Pix-Inside-Demo %PIX-6-302013: Built outbound TCP connection 12 for "
                      "outside:10.1.1.1/80 (10.1.1.1/80) to inside:192.168.1.5/1025 (192.168.1.5/1025)")
        << 20 << 6 << QByteArray("Pix-Inside-Demo");
    QTest::newRow("BSD, two-digit day, lowest priority")
        << QByteArray("<0>Jan 31 00:00:00 demo-gate link 3 down") << 0 << 0 << QByteArray("demo-gate");
    QTest::newRow("BSD, zero-padded day, highest priority")
        << QByteArray("<191>Feb 02 23:59:59 10.0.0.9 msg") << 23 << 7 << QByteArray("10.0.0.9");
    QTest::newRow("BSD, nothing after the host")
        << QByteArray("<13>Mar  1 01:02:03 lone") << 1 << 5 << QByteArray("lone");
    QTest::newRow("BSD, month not capitalised: priority only")
        << QByteArray("<13>dec  7 15:07:59 demo-gate msg") << 1 << 5 << QByteArray();
    QTest::newRow("BSD, day 32: priority only")
        << QByteArray("<13>Dec 32 15:07:59 demo-gate msg") << 1 << 5 << QByteArray();
    QTest::newRow("BSD with the year, as the firewall sends it")
        << QByteArray("<166>Dec  7 2026 15:07:59 Pix-Inside-Demo : %PIX-6-302013: Built outbound TCP connection 12")
        << 20 << 6 << QByteArray("Pix-Inside-Demo");
    QTest::newRow("BSD with a three-digit year: priority only")
        << QByteArray("<166>Dec  7 202 15:07:59 Pix-Inside-Demo : %PIX-6-302013: Built") << 20 << 6 << QByteArray();
    QTest::newRow("BSD, two spaces before the host: priority only")
        << QByteArray("<13>Dec  7 15:07:59  demo-gate msg") << 1 << 5 << QByteArray();

    // The version 1 form.
    QTest::newRow("version 1, nil fields")
        << QByteArray("<164>1 2026-12-07T15:07:59.123+01:00 Pix-Inside-Demo PIX - - - %PIX-4-106023: Deny tcp src "
                      "outside:1.2.3.4/5 dst inside:10.0.0.1/22")
        << 20 << 4 << QByteArray("Pix-Inside-Demo");
    QTest::newRow("version 1, Z time, structured data with an escaped bracket")
        << QByteArray(
               R"(<34>1 2026-01-02T03:04:05Z gate-7 fw 4711 ID47 [origin ip="10.0.0.1" note="a\]b"][x@1 y=""] up)")
        << 4 << 2 << QByteArray("gate-7");
    QTest::newRow("version 1, nil time and host, no message")
        << QByteArray("<13>1 - - app 1 - -") << 1 << 5 << QByteArray();
    QTest::newRow("version 1, seven fraction digits: priority only")
        << QByteArray("<13>1 2026-12-07T15:07:59.1234567Z gate app - - - msg") << 1 << 5 << QByteArray();
    QTest::newRow("version 1, unclosed structured data: priority only")
        << QByteArray(R"(<13>1 - gate app - - [id a="1" msg)") << 1 << 5 << QByteArray();
    QTest::newRow("version 1, structured data glued to the message: priority only")
        << QByteArray("<13>1 - gate app - - -msg") << 1 << 5 << QByteArray();

    // A <PRI> with no known header after it still files the message.
    QTest::newRow("priority before plain text") << QByteArray("<13>harkwell test line") << 1 << 5 << QByteArray();
    QTest::newRow("priority alone") << QByteArray("<7>") << 0 << 7 << QByteArray();

    // No header at all.
    QTest::newRow("date-first form without priority")
        << QByteArray("07 Dec 2026 15:07:59  Pix-Inside-Demo %PIX-6-302013: Built outbound TCP connection 12") << -1
        << -1 << QByteArray();
    QTest::newRow("priority above 191") << QByteArray("<192>Dec  7 15:07:59 gate msg") << -1 << -1 << QByteArray();
    QTest::newRow("priority with a leading zero")
        << QByteArray("<013>Dec  7 15:07:59 gate msg") << -1 << -1 << QByteArray();
    QTest::newRow("priority without its '>'") << QByteArray("<13 Dec  7 15:07:59 gate msg") << -1 << -1 << QByteArray();
    QTest::newRow("empty message") << QByteArray() << -1 << -1 << QByteArray();
}

void TestSyslogHeader::decodesPriorityAndHost()
{
    QFETCH(QByteArray, message);
    QFETCH(int, facility);
    QFETCH(int, severity);
    QFETCH(QByteArray, host);

    const SyslogHeader header = decodeSyslogHeader(message);

    QCOMPARE(header.hasPriority, facility >= 0);
    if (header.hasPriority) {
        QCOMPARE(header.facility, facility);
        QCOMPARE(header.severity, severity);
    }
    QCOMPARE(header.host, host);
}

void TestSyslogHeader::findsTheHost_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("host");

    QTest::newRow("BSD form") << QByteArray("<166>Dec  7 15:07:59 fw-1 %PIX-6-302013: Built") << QByteArray("fw-1");
    QTest::newRow("version 1 form") << QByteArray(
                                           "<166>1 2026-12-07T15:07:59Z fw-1 PIX - 302013 - %PIX-6-302013: Built")
                                    << QByteArray("fw-1");
    QTest::newRow("the date-first header without priority")
        << QByteArray("07 Dec 2026 15:07:59  Pix-Inside-Demo-007 %PIX-6-302013: Built outbound TCP connection 12")
        << QByteArray("Pix-Inside-Demo-007");
    QTest::newRow("the date-first header with one space before the host")
        << QByteArray("07 Dec 2026 15:07:59 fw-1 %PIX-6-302013: Built") << QByteArray();
    QTest::newRow("the date-first header on day 32") << QByteArray("32 Dec 2026 15:07:59  fw-1 up") << QByteArray();
    QTest::newRow("the date-first header after a priority")
        << QByteArray("<166>07 Dec 2026 15:07:59  fw-1 up") << QByteArray();
    QTest::newRow("priority before plain text") << QByteArray("<13>harkwell test line") << QByteArray();
}

void TestSyslogHeader::findsTheHost()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, host);

    QCOMPARE(headerHost(message).toByteArray(), host);
}

QTEST_GUILESS_MAIN(TestSyslogHeader)
#include "tst_syslogheader.moc"
