#include "ui/candb/textrows.h"

#include <algorithm>

namespace candbui {

CTextRowsModel::CTextRowsModel(QStringList headers, QObject* parent)
    : CListRows(parent), m_headers(std::move(headers)) {}

void CTextRowsModel::SetHeaders(QStringList headers) {
    beginResetModel();
    m_headers = std::move(headers);
    m_rows.clear();
    endResetModel();
}

void CTextRowsModel::Clear() {
    if (m_rows.empty()) return;
    beginRemoveRows({}, 0, static_cast<int>(m_rows.size()) - 1);
    m_rows.clear();
    endRemoveRows();
}

void CTextRowsModel::SetRows(std::vector<Row> rows) {
    resetRows(std::move(rows));
}

int CTextRowsModel::Append(Row row) {
    const int at = static_cast<int>(m_rows.size());
    Insert(at, std::move(row));
    return at;
}

void CTextRowsModel::Insert(int at, Row row) {
    at = std::clamp(at, 0, static_cast<int>(m_rows.size()));
    beginInsertRows({}, at, at);
    m_rows.insert(m_rows.begin() + at, std::move(row));
    endInsertRows();
}

void CTextRowsModel::Set(int row, Row value) {
    if (row < 0 || row >= rowCount()) return;
    m_rows[static_cast<size_t>(row)] = std::move(value);
    emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
}

void CTextRowsModel::SetCell(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0) return;
    QStringList& cells = m_rows[static_cast<size_t>(row)].cells;
    while (cells.size() <= column) cells.append(QString());
    cells[column] = text;
    emit dataChanged(index(row, column), index(row, column));
}

void CTextRowsModel::Remove(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void CTextRowsModel::Reorder(const std::vector<size_t>& order) {
    if (order.size() != m_rows.size()) return;
    reorderRows(order);
}

QString CTextRowsModel::Cell(int row, int column) const {
    if (row < 0 || row >= rowCount()) return {};
    const QStringList& cells = m_rows[static_cast<size_t>(row)].cells;
    return column >= 0 && column < cells.size() ? cells[column] : QString();
}

int CTextRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant CTextRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    if (role == Qt::DisplayRole) return Cell(index.row(), index.column());
    if (role == KeyRole) return QVariant::fromValue<uint>(At(index.row()).key);
    return {};
}

QVariant CTextRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_headers.size()) return {};
    if (role == Qt::DisplayRole) return m_headers[section];
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue<int>(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

}  // namespace candbui
