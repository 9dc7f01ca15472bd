// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/sendertally.h"

#include <QAbstractTableModel>

#include <vector>

namespace korvane::harkwell {

// The senders as a table, one row each, sorted by any column (ties in address and host order). It shows the rows
// it was last given: the window hands it the listener's rows a few times a second, not per message, and each
// time the new senders are inserted, the view told that every shown value may have changed (it draws only the
// rows it shows), and the rows sorted again, moving the selection with them.
class SenderTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        AddressColumn,
        HostColumn,
        ReceivedColumn,
        RateColumn,
        MissingColumn,
        DuplicatedColumn,
        OutOfOrderColumn,
        ColumnCount,
    };

    explicit SenderTableModel(QObject* parent = nullptr);

    // Shows rows, in the order the senders first came, as SenderTally::rows() gives them: the rows shown already
    // first, each in its place. Fewer rows than shown (the counts started again) replace them all.
    void update(std::vector<SenderRow> rows);
    // Whether any sender's messages carried sequence ids: the last three columns say nothing otherwise.
    [[nodiscard]] bool hasSequences() const { return m_hasSequences; }

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    [[nodiscard]] bool comesBefore(const SenderRow& left, const SenderRow& right) const;
    // Puts m_order in the order of the sort column, telling the view (and moving its selection) if it changed.
    void applySort();

    std::vector<SenderRow> m_rows; // in the order the senders first came
    std::vector<int> m_order;      // the index in m_rows of each row shown
    int m_sortColumn = AddressColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_hasSequences = false;
};

} // namespace korvane::harkwell
