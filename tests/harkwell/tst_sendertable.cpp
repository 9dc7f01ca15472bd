// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/sendertablemodel.h"

#include <QHeaderView>
#include <QTableView>
#include <QTest>

using namespace korvane::harkwell;

namespace {

QByteArray bsd(const QByteArray& host)
{
    return "<166>Dec  8 10:11:12 " + host + " %PIX-6-302013: Built outbound TCP connection 7";
}

QByteArray withId(const QByteArray& host, int id)
{
    return "<166>1 2026-12-08T10:11:12.345+01:00 " + host + " PIX - 302013 [meta sequenceId=\"" +
           QByteArray::number(id) + "\"] %PIX-6-302013: Built";
}

void send(SenderTally& tally, const char* from, const QByteArray& message, int times, qint64 atMs)
{
    for (int i = 0; i < times; ++i) {
        tally.record(QHostAddress(QLatin1String(from)), 40000, message, atMs);
    }
}

// fw-a: 5 lines lately, ids without a gap; fw-b: 9 lines long ago, no ids; fw-c: 4 lines, 3 of them lately, with
// ids missing and duplicated.
SenderTally& threeSenders()
{
    static SenderTally tally;
    if (tally.size() == 0) {
        send(tally, "127.0.0.1", bsd("fw-b"), 9, 0);
        for (int id = 1; id <= 5; ++id) {
            send(tally, "127.0.0.3", withId("fw-a", id), 1, 5000);
        }
        for (const int id : {1, 6, 6, 6}) {
            send(tally, "127.0.0.2", withId("fw-c", id), 1, id == 1 ? 0 : 5000);
        }
    }
    return tally;
}

QString shown(const QAbstractItemModel& model, int row, int column)
{
    return model.data(model.index(row, column)).toString();
}

// Clicks the heading of column, as a user sorts.
void clickHeading(QTableView& view, int column)
{
    QHeaderView* header = view.horizontalHeader();
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2));
}

} // namespace

class TestSenderTable : public QObject
{
    Q_OBJECT

private slots:
    void sortsByAnyColumn_data();
    void sortsByAnyColumn();
    void showsEachFigure();
    void tenThousandSenders();
    void updateKeepsTheSelectionOnItsSender();
};

void TestSenderTable::sortsByAnyColumn_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QStringList>("hosts");

    const auto up = Qt::AscendingOrder;
    const auto down = Qt::DescendingOrder;
    QTest::newRow("address") << int(SenderTableModel::AddressColumn) << up << QStringList{"fw-b", "fw-c", "fw-a"};
    QTest::newRow("address, descending") << int(SenderTableModel::AddressColumn) << down
                                         << QStringList{"fw-a", "fw-c", "fw-b"};
    QTest::newRow("host") << int(SenderTableModel::HostColumn) << up << QStringList{"fw-a", "fw-b", "fw-c"};
    QTest::newRow("received, most first")
        << int(SenderTableModel::ReceivedColumn) << down << QStringList{"fw-b", "fw-a", "fw-c"};
    QTest::newRow("rate of the last second")
        << int(SenderTableModel::RateColumn) << down << QStringList{"fw-a", "fw-c", "fw-b"};
    QTest::newRow("missing: without ids last")
        << int(SenderTableModel::MissingColumn) << down << QStringList{"fw-c", "fw-a", "fw-b"};
    QTest::newRow("out of order: ties in address order")
        << int(SenderTableModel::OutOfOrderColumn) << down << QStringList{"fw-c", "fw-a", "fw-b"};
    QTest::newRow("out of order, ascending: without ids first")
        << int(SenderTableModel::OutOfOrderColumn) << up << QStringList{"fw-b", "fw-c", "fw-a"};
}

void TestSenderTable::sortsByAnyColumn()
{
    QFETCH(int, column);
    QFETCH(Qt::SortOrder, order);
    QFETCH(QStringList, hosts);

    SenderTableModel model;
    QTableView view;
    view.setModel(&model);
    view.setSortingEnabled(true);
    model.update(threeSenders().rows(5000));

    view.sortByColumn(column, order);

    QStringList sorted;
    for (int row = 0; row < model.rowCount(); ++row) {
        sorted.append(shown(model, row, SenderTableModel::HostColumn));
    }
    QCOMPARE(sorted, hosts);
}

void TestSenderTable::showsEachFigure()
{
    SenderTableModel model;
    model.update(threeSenders().rows(5000));

    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column) {
            cells.append(shown(model, row, column));
        }
        rows.append(cells.join(u'|'));
    }
    QCOMPARE(rows, (QStringList{"127.0.0.1|fw-b|9|0|||", "127.0.0.2|fw-c|4|3|4|2|0", "127.0.0.3|fw-a|5|5|0|0|0"}));
    QVERIFY(model.hasSequences());
}

void TestSenderTable::tenThousandSenders()
{
    SenderTally tally;
    for (quint32 i = 0; i < 10000; ++i) {
        const QByteArray host = "fw-" + QByteArray::number(i).rightJustified(5, '0');
        tally.record(QHostAddress(0x7F000001 + i), 40000, bsd(host), 0);
    }
    send(tally, "127.0.16.226", bsd("fw-04321"), 2, 0); // 127.0.0.1 + 4321
    SenderTableModel model;
    QTableView view;
    view.setModel(&model);
    view.setSortingEnabled(true);
    view.sortByColumn(SenderTableModel::AddressColumn, Qt::AscendingOrder);
    view.resize(800, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    model.update(tally.rows(0));
    QCOMPARE(model.rowCount(), 10000);
    QCOMPARE(shown(model, 9999, SenderTableModel::AddressColumn), QStringLiteral("127.0.39.16"));

    clickHeading(view, SenderTableModel::ReceivedColumn);
    QCOMPARE(view.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(shown(model, 0, SenderTableModel::HostColumn), QStringLiteral("fw-04321"));
    QCOMPARE(shown(model, 0, SenderTableModel::ReceivedColumn), QStringLiteral("3"));
    // Ties keep the order of senders.
    QCOMPARE(shown(model, 1, SenderTableModel::HostColumn), QStringLiteral("fw-00000"));

    // An update sorts again.
    send(tally, "127.0.0.18", bsd("fw-00017"), 3, 0);
    model.update(tally.rows(0));
    QCOMPARE(model.rowCount(), 10000);
    QCOMPARE(shown(model, 0, SenderTableModel::HostColumn), QStringLiteral("fw-00017"));
}

void TestSenderTable::updateKeepsTheSelectionOnItsSender()
{
    SenderTally tally;
    send(tally, "127.0.0.1", bsd("fw-1"), 2, 0);
    send(tally, "127.0.0.2", bsd("fw-2"), 1, 0);
    SenderTableModel model;
    QTableView view;
    view.setModel(&model);
    view.setSortingEnabled(true);
    view.sortByColumn(SenderTableModel::ReceivedColumn, Qt::DescendingOrder);
    model.update(tally.rows(0));
    view.selectRow(1);
    QCOMPARE(shown(model, view.currentIndex().row(), SenderTableModel::HostColumn), QStringLiteral("fw-2"));

    send(tally, "127.0.0.2", bsd("fw-2"), 5, 0);
    send(tally, "127.0.0.3", bsd("fw-3"), 3, 0);
    model.update(tally.rows(0));

    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(view.currentIndex().row(), 0);
    QCOMPARE(shown(model, view.currentIndex().row(), SenderTableModel::HostColumn), QStringLiteral("fw-2"));
    QCOMPARE(shown(model, 1, SenderTableModel::HostColumn), QStringLiteral("fw-3"));
}

QTEST_MAIN(TestSenderTable)
#include "tst_sendertable.moc"
