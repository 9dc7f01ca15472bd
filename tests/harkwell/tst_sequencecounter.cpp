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
    quint16 port = 40000;
};

QByteArray withStructuredData(const QByteArray& structuredData)
{
    return "<134>1 2026-12-08T10:11:12.345+01:00 gate-7 korvane - 302013 " + structuredData + " test line";
}

// Messages from one sender, one per id, each with nothing but its meta element.
QList<Sent> ids(const QString& from, const QList<quint32>& sequence, quint16 port = 40000)
{
    QList<Sent> sent;
    for (const quint32 id : sequence) {
        sent.append({from, withStructuredData("[meta sequenceId=\"" + QByteArray::number(id) + "\"]"), port});
    }
    return sent;
}

QString line(int received, int missing, int duplicated, int outOfOrder)
{
    return QStringLiteral("received %1, missing %2, duplicated %3, out of order %4")
        .arg(received)
        .arg(missing)
        .arg(duplicated)
        .arg(outOfOrder);
}

// What the sequence ids of the one sender tell, in the form of line().
QString figuresOf(const SenderTally& tally)
{
    const std::vector<SenderRow> rows = tally.rows(0);
    if (rows.size() != 1 || !rows.front().hasSequence) {
        return QStringLiteral("%1 senders, none with sequence ids").arg(rows.size());
    }
    return QStringLiteral("received %1, ").arg(rows.front().sequence.received) + gapsText(rows.front().sequence);
}

QList<quint32> range(quint32 first, quint32 last)
{
    QList<quint32> sequence;
    for (quint32 id = first; id <= last; ++id) {
        sequence.append(id);
    }
    return sequence;
}

const QString a = QStringLiteral("127.0.0.1");

} // namespace

Q_DECLARE_METATYPE(QList<Sent>)

// The tracker's rules, seen through the tally as messages from one sender.
class TestSequenceCounter : public QObject
{
    Q_OBJECT

private slots:
    void countsIds_data();
    void countsIds();
    void ignoresMessagesWithoutSequenceId_data();
    void ignoresMessagesWithoutSequenceId();
};

void TestSequenceCounter::countsIds_data()
{
    QTest::addColumn<QList<Sent>>("sent");
    QTest::addColumn<QString>("figures");

    QTest::newRow("in order") << ids(a, {1, 2, 3}) << line(3, 0, 0, 0);
    QTest::newRow("first id anywhere: nothing before it is missing") << ids(a, {500, 501}) << line(2, 0, 0, 0);
    QTest::newRow("a jump misses the ids skipped") << ids(a, {1, 2, 6}) << line(3, 3, 0, 0);
    QTest::newRow("the highest again is duplicated") << ids(a, {1, 2, 2}) << line(3, 0, 1, 0);
    QTest::newRow("a late id fills its gap out of order") << ids(a, {1, 4, 2}) << line(3, 1, 0, 1);
    QTest::newRow("a late id twice: the second is duplicated") << ids(a, {1, 3, 2, 2}) << line(4, 0, 1, 1);
    QTest::newRow("an id before the first is out of order, nothing was missing") << ids(a, {5, 4}) << line(2, 0, 0, 1);
    QTest::newRow("after 2147483647 comes 1") << ids(a, {2147483646, 2147483647, 1, 2}) << line(4, 0, 0, 0);
    QTest::newRow("a gap across the wrap") << ids(a, {2147483646, 2}) << line(2, 2, 0, 0);
    QTest::newRow("a late id from before the wrap") << ids(a, {2147483646, 1, 2147483647}) << line(3, 0, 0, 1);
    QTest::newRow("an id older than the window: its gap stays missing")
        << ids(a, {1, 70000, 2, 69999}) << line(4, 69997, 0, 2);
    QTest::newRow("an id at the window's far end is still known, one past it no longer")
        << ids(a, range(1, 70000) + QList<quint32>{69000, 4465, 4464}) << line(70003, 0, 2, 1);

    QTest::newRow("id 1 again from the same port is duplicated") << ids(a, {1, 2, 1}) << line(3, 0, 1, 0);
    QTest::newRow("id 1 from a new port is a new run: the sequence starts over")
        << QList<Sent>(ids(a, {1, 2, 3}) + ids(a, {1, 2}, 40001)) << line(5, 0, 0, 0);
    QTest::newRow("another id from a new port goes on with the sequence")
        << QList<Sent>(ids(a, {1, 2}) + ids(a, {2, 4}, 40001)) << line(4, 1, 1, 0);
    QTest::newRow("messages without an id between do not disturb the sequence")
        << QList<Sent>(ids(a, {1}) + QList<Sent>{{a, withStructuredData("-")}} + ids(a, {2})) << line(2, 0, 0, 0);

    QTest::newRow("the parameter among others, in an element among others")
        << QList<Sent>{{a,
                        withStructuredData(R"([origin ip="10.0.0.1"][meta sysUpTime="5" sequenceId="7"][x@1 y=""])")},
                       {a, withStructuredData(R"([meta sequenceId="8" sysUpTime="6"])")}}
        << line(2, 0, 0, 0);
    QTest::newRow("escaped quote, backslash and bracket do not end a value")
        << QList<Sent>{{a, withStructuredData(R"([meta note="a\" sequenceId=\"1\" \\\] b" sequenceId="40"])")},
                       {a, withStructuredData(R"([x@1 v="\]"][meta sequenceId="41"])") + "\r\n"}}
        << line(2, 0, 0, 0);
}

void TestSequenceCounter::countsIds()
{
    QFETCH(QList<Sent>, sent);
    QFETCH(QString, figures);

    SenderTally tally;
    for (const Sent& message : sent) {
        tally.record(QHostAddress(message.from), message.port, message.message, 0);
    }

    QCOMPARE(figuresOf(tally), figures);
}

void TestSequenceCounter::ignoresMessagesWithoutSequenceId_data()
{
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("no structured data") << withStructuredData("-");
    QTest::newRow("another element only") << withStructuredData(R"([origin sequenceId="3"])");
    QTest::newRow("an element named like meta") << withStructuredData(R"([meta@32473 sequenceId="3"])");
    QTest::newRow("meta without the parameter") << withStructuredData(R"([meta sysUpTime="5"])");
    QTest::newRow("only in a value") << withStructuredData(R"([meta note="sequenceId=\"3\""])");
    QTest::newRow("zero") << withStructuredData(R"([meta sequenceId="0"])");
    QTest::newRow("beyond 2147483647") << withStructuredData(R"([meta sequenceId="2147483648"])");
    QTest::newRow("not a number") << withStructuredData(R"([meta sequenceId="-3"])");
    QTest::newRow("an escape in the number") << withStructuredData(R"([meta sequenceId="3\]"])");
    QTest::newRow("empty") << withStructuredData(R"([meta sequenceId=""])");
    QTest::newRow("malformed structured data") << withStructuredData(R"([meta sequenceId="3")");
    QTest::newRow("BSD form") << QByteArray(R"(<13>Dec  7 15:07:59 gate-7 [meta sequenceId="3"] text)");
    QTest::newRow("no priority") << withStructuredData(R"([meta sequenceId="3"])").sliced(5);
}

void TestSequenceCounter::ignoresMessagesWithoutSequenceId()
{
    QFETCH(QByteArray, message);

    SenderTally tally;
    tally.record(QHostAddress(a), 40000, message, 0);

    QCOMPARE(figuresOf(tally), QStringLiteral("1 senders, none with sequence ids"));
}

QTEST_GUILESS_MAIN(TestSequenceCounter)
#include "tst_sequencecounter.moc"
