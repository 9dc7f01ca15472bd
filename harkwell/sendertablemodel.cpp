// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/sendertablemodel.h"

#include <algorithm>
#include <numeric>

namespace korvane::harkwell {

namespace {

template <typename T>
int threeWay(T left, T right)
{
    return left < right ? -1 : (right < left ? 1 : 0);
}

// A sequence figure for sorting; a sender without sequence ids has none, below any figure.
qint64 figure(const SenderRow& row, quint64 SequenceFigures::*member)
{
    return row.hasSequence ? qint64(row.sequence.*member) : -1;
}

bool isNumberColumn(int column)
{
    return column >= SenderTableModel::ReceivedColumn;
}

} // namespace

SenderTableModel::SenderTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void SenderTableModel::update(std::vector<SenderRow> rows)
{
    const bool hasSequences =
        std::any_of(rows.begin(), rows.end(), [](const SenderRow& row) { return row.hasSequence; });
    if (rows.size() < m_rows.size()) {
        beginResetModel();
        m_rows = std::move(rows);
        m_order.resize(m_rows.size());
        std::iota(m_order.begin(), m_order.end(), 0);
        std::sort(m_order.begin(), m_order.end(),
                  [this](int left, int right) { return comesBefore(m_rows[size_t(left)], m_rows[size_t(right)]); });
        m_hasSequences = hasSequences;
        endResetModel();
        return;
    }
    const int shown = int(m_rows.size());
    const int total = int(rows.size());
    if (total > shown) {
        beginInsertRows({}, shown, total - 1);
        m_rows = std::move(rows);
        for (int row = shown; row < total; ++row) {
            m_order.push_back(row);
        }
        endInsertRows();
    } else {
        m_rows = std::move(rows);
    }
    m_hasSequences = hasSequences;
    if (total > 0) {
        emit dataChanged(index(0, 0), index(total - 1, ColumnCount - 1), {Qt::DisplayRole});
    }
    applySort();
}

int SenderTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int SenderTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SenderTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return isNumberColumn(index.column()) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    const SenderRow& row = m_rows[size_t(m_order[size_t(index.row())])];
    switch (index.column()) {
    case AddressColumn:
        return row.address.toString();
    case HostColumn:
        return row.host.isEmpty() ? QStringLiteral("-") : QString::fromUtf8(row.host);
    case ReceivedColumn:
        return qulonglong(row.received);
    case RateColumn:
        return qlonglong(row.rate);
    case MissingColumn:
        return row.hasSequence ? QVariant(qulonglong(row.sequence.missing)) : QVariant();
    case DuplicatedColumn:
        return row.hasSequence ? QVariant(qulonglong(row.sequence.duplicated)) : QVariant();
    case OutOfOrderColumn:
        return row.hasSequence ? QVariant(qulonglong(row.sequence.outOfOrder)) : QVariant();
    default:
        return {};
    }
}

QVariant SenderTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        switch (section) {
        case AddressColumn:
            return tr("Address");
        case HostColumn:
            return tr("Host");
        case ReceivedColumn:
            return tr("Received");
        case RateColumn:
            return tr("Rate/s");
        case MissingColumn:
            return tr("Missing");
        case DuplicatedColumn:
            return tr("Duplicated");
        case OutOfOrderColumn:
            return tr("Out of order");
        default:
            return {};
        }
    }
    if (role == Qt::InitialSortOrderRole) {
        // The busiest senders, or those that lost the most, first.
        return isNumberColumn(section) ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
    if (role == Qt::ToolTipRole) {
        switch (section) {
        case AddressColumn:
            return tr("The address the messages came from");
        case HostColumn:
            return tr("The host the messages' syslog header names (- when none)");
        case ReceivedColumn:
            return tr("Messages received");
        case RateColumn:
            return tr("Messages received during the last second");
        case MissingColumn:
            return tr("Sequence ids skipped and not come since");
        case DuplicatedColumn:
            return tr("Sequence ids that came again");
        case OutOfOrderColumn:
            return tr("Sequence ids that came after a higher one");
        default:
            return {};
        }
    }
    return {};
}

void SenderTableModel::sort(int column, Qt::SortOrder order)
{
    m_sortColumn = column;
    m_sortOrder = order;
    applySort();
}

bool SenderTableModel::comesBefore(const SenderRow& left, const SenderRow& right) const
{
    int order = 0;
    switch (m_sortColumn) {
    case HostColumn:
        order = left.host.compare(right.host);
        break;
    case ReceivedColumn:
        order = threeWay(left.received, right.received);
        break;
    case RateColumn:
        order = threeWay(left.rate, right.rate);
        break;
    case MissingColumn:
        order = threeWay(figure(left, &SequenceFigures::missing), figure(right, &SequenceFigures::missing));
        break;
    case DuplicatedColumn:
        order = threeWay(figure(left, &SequenceFigures::duplicated), figure(right, &SequenceFigures::duplicated));
        break;
    case OutOfOrderColumn:
        order = threeWay(figure(left, &SequenceFigures::outOfOrder), figure(right, &SequenceFigures::outOfOrder));
        break;
    default:
        break; // the address column: the order of senders itself
    }
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    if (order != 0) {
        return descending ? order > 0 : order < 0;
    }
    // Ties in the order of senders, so that rows of equal figures keep their places from one update to the next.
    if (m_sortColumn == AddressColumn && descending) {
        return senderComesBefore(right, left);
    }
    return senderComesBefore(left, right);
}

void SenderTableModel::applySort()
{
    std::vector<int> order = m_order;
    std::sort(order.begin(), order.end(),
              [this](int left, int right) { return comesBefore(m_rows[size_t(left)], m_rows[size_t(right)]); });
    if (order == m_order) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    if (!before.isEmpty()) {
        std::vector<int> newRowOf(order.size());
        for (size_t row = 0; row < order.size(); ++row) {
            newRowOf[size_t(order[row])] = int(row);
        }
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& index : before) {
            after.append(this->index(newRowOf[size_t(m_order[size_t(index.row())])], index.column()));
        }
        changePersistentIndexList(before, after);
    }
    m_order = std::move(order);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace korvane::harkwell
