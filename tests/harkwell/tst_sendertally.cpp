// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/sendertally.h"

#include <QTest>

using namespace korvane::harkwell;

namespace {

struct Sent
{
    QString from;
    QByteArray message;
    qint64 atMs = 0;
    quint16 port = 40000;
};

const QString a = QStringLiteral("127.0.0.1");
const QString b = QStringLiteral("127.0.0.2");

QByteArray bsd(const QByteArray& host)
{
    return "<166>Dec  8 10:11:12 " + host + " %PIX-6-302013: Built outbound TCP connection 7";
}

QByteArray withId(const QByteArray& host, int id)
{
    return "<166>1 2026-12-08T10:11:12.345+01:00 " + host + " PIX - 302013 [meta sequenceId=\"" +
           QByteArray::number(id) + "\"] %PIX-6-302013: Built";
}

} // namespace

Q_DECLARE_METATYPE(QList<Sent>)

class TestSenderTally : public QObject
{
    Q_OBJECT

private slots:
    void summarisesEachSender_data();
    void summarisesEachSender();
    void rateIsTheLastSecond();
};

void TestSenderTally::summarisesEachSender_data()
{
    QTest::addColumn<QList<Sent>>("sent");
    QTest::addColumn<int>("maxSenders");
    QTest::addColumn<int>("maxSequenced");
    QTest::addColumn<QStringList>("summary");

    const int all = SenderTally::kMaxSenders;
    const int sequenced = SenderTally::kMaxSequenced;
    QTest::newRow("two hosts on one address are two senders")
        << QList<Sent>{{a, bsd("fw-2")}, {a, bsd("fw-1")}, {a, bsd("fw-2")}} << all << sequenced
        << QStringList{"from 127.0.0.1 fw-1: received 1 (1.0 lines/s)", "from 127.0.0.1 fw-2: received 2 (2.0 lines/s)",
                       "from 2 senders: received 3 (3.0 lines/s)"};
    QTest::newRow("one host from two addresses is two senders")
        << QList<Sent>{{b, bsd("fw-1")}, {a, bsd("fw-1")}} << all << sequenced
        << QStringList{"from 127.0.0.1 fw-1: received 1 (1.0 lines/s)", "from 127.0.0.2 fw-1: received 1 (1.0 lines/s)",
                       "from 2 senders: received 2 (2.0 lines/s)"};
    // Were the ids of one address counted as one sequence, the two hosts' would make duplicates and disorder.
    QTest::newRow("gaps counted per sender")
        << QList<Sent>{{a, withId("fw-1", 1)}, {a, withId("fw-2", 1)}, {a, withId("fw-1", 2)},
                       {a, withId("fw-2", 3)}, {a, withId("fw-1", 3)}, {a, bsd("fw-3")}}
        << all << sequenced
        << QStringList{"from 127.0.0.1 fw-1: received 3 (3.0 lines/s), missing 0, duplicated 0, out of order 0",
                       "from 127.0.0.1 fw-2: received 2 (2.0 lines/s), missing 1, duplicated 0, out of order 0",
                       "from 127.0.0.1 fw-3: received 1 (1.0 lines/s)",
                       "from 3 senders: received 6 (6.0 lines/s), missing 1, duplicated 0, out of order 0"};
    QTest::newRow("lines without a header host are one sender per address")
        << QList<Sent>{{a, "<13>plain"}, {a, "no header at all"}, {a, ""}, {a, "<13>1 - - app - - - nil host"}} << all
        << sequenced
        << QStringList{"from 127.0.0.1 -: received 4 (4.0 lines/s)", "from 1 sender: received 4 (4.0 lines/s)"};
    QTest::newRow("a line end does not change the host")
        << QList<Sent>{{a, bsd("fw-1")}, {a, bsd("fw-1") + "\r\n"}, {a, "<13>Dec  8 10:11:12 fw-1\n"}} << all
        << sequenced
        << QStringList{"from 127.0.0.1 fw-1: received 3 (3.0 lines/s)", "from 1 sender: received 3 (3.0 lines/s)"};
    QTest::newRow("IPv4 through a dual-stack socket is the same sender")
        << QList<Sent>{{a, bsd("fw-1")}, {"::ffff:127.0.0.1", bsd("fw-1")}} << all << sequenced
        << QStringList{"from 127.0.0.1 fw-1: received 2 (2.0 lines/s)", "from 1 sender: received 2 (2.0 lines/s)"};
    QTest::newRow("senders in address order, IPv6 last, then by host")
        << QList<Sent>{{"::1", bsd("fw-1")}, {"127.0.0.10", bsd("fw-1")}, {b, bsd("fw-2")}, {b, bsd("fw-1")}} << all
        << sequenced
        << QStringList{"from 127.0.0.2 fw-1: received 1 (1.0 lines/s)", "from 127.0.0.2 fw-2: received 1 (1.0 lines/s)",
                       "from 127.0.0.10 fw-1: received 1 (1.0 lines/s)", "from ::1 fw-1: received 1 (1.0 lines/s)",
                       "from 4 senders: received 4 (4.0 lines/s)"};
    QTest::newRow("the rate spans a sender's first message to its last, the whole's all of them")
        << QList<Sent>{{a, bsd("fw-1"), 1000},
                       {a, bsd("fw-1"), 2000},
                       {a, bsd("fw-1"), 3000},
                       {a, bsd("fw-1"), 5000},
                       {b, bsd("fw-2"), 11000}}
        << all << sequenced
        << QStringList{"from 127.0.0.1 fw-1: received 4 (1.0 lines/s)", "from 127.0.0.2 fw-2: received 1 (1.0 lines/s)",
                       "from 2 senders: received 5 (0.5 lines/s)"};
    QTest::newRow("senders beyond the limit are not told apart")
        << QList<Sent>{{a, bsd("fw-1")}, {a, bsd("fw-2")}, {b, bsd("fw-1")}, {a, bsd("fw-1")}} << 1 << sequenced
        << QStringList{"from 127.0.0.1 fw-1: received 2 (2.0 lines/s)", "from 1 sender: received 2 (2.0 lines/s)",
                       "from senders not told apart: 2 messages"};
    QTest::newRow("sequence ids beyond the senders followed are only counted")
        << QList<Sent>{{a, withId("fw-1", 1)}, {a, withId("fw-2", 1)}, {a, withId("fw-2", 2)}} << all << 1
        << QStringList{"from 127.0.0.1 fw-1: received 1 (1.0 lines/s), missing 0, duplicated 0, out of order 0",
                       "from 127.0.0.1 fw-2: received 2 (2.0 lines/s)",
                       "from 2 senders: received 3 (3.0 lines/s), missing 0, duplicated 0, out of order 0",
                       "sequence ids not followed: 2 messages"};
    QTest::newRow("nothing received, nothing said") << QList<Sent>{} << all << sequenced << QStringList{};
}

void TestSenderTally::summarisesEachSender()
{
    QFETCH(QList<Sent>, sent);
    QFETCH(int, maxSenders);
    QFETCH(int, maxSequenced);
    QFETCH(QStringList, summary);

    SenderTally tally(maxSenders, maxSequenced);
    for (const Sent& message : sent) {
        tally.record(QHostAddress(message.from), message.port, message.message, message.atMs);
    }

    QCOMPARE(senderSummary(tally, 10000), summary);
}

void TestSenderTally::rateIsTheLastSecond()
{
    SenderTally tally;
    for (const qint64 atMs : {0, 100, 950, 1500}) {
        tally.record(QHostAddress(a), 40000, bsd("fw-1"), atMs);
    }

    QCOMPARE(tally.rows(1500).front().rate, 2); // 950 and 1500
    QCOMPARE(tally.rows(2600).front().rate, 0);
    QCOMPARE(tally.rows(2600).front().received, quint64(4));
}

QTEST_GUILESS_MAIN(TestSenderTally)
#include "tst_sendertally.moc"
