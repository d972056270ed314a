#pragma once
// The row store behind the editor's small report lists (database list, signal and entry lists, pickers,
// the editor's list pane): rows of cell texts, each with a 32-bit key, edited only through this model so
// the views follow every change.
#include <QStringList>

#include <cstdint>
#include <vector>

#include "windows/pickerlist.h"

namespace candbui {

struct CTextRow {
    QStringList cells;
    uint32_t key = 0;
};

class CTextRowsModel : public vex::CListRows<CTextRow> {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole;

    using Row = CTextRow;

    explicit CTextRowsModel(QStringList headers = {}, QObject* parent = nullptr);

    // New columns; the rows are dropped.
    void SetHeaders(QStringList headers);
    const QStringList& Headers() const { return m_headers; }

    void Clear();
    // Takes all rows at once (one reset).
    void SetRows(std::vector<Row> rows);
    // Returns the new row's index.
    int Append(Row row);
    // A row index past the end appends.
    void Insert(int at, Row row);
    void Set(int row, Row value);
    void SetCell(int row, int column, const QString& text);
    void Remove(int row);
    // Moves the rows into `order` (element i: the old index of the row that goes to i), keeping
    // persistent indexes (the selection) on their rows.
    void Reorder(const std::vector<size_t>& order);

    const Row& At(int row) const { return m_rows[static_cast<size_t>(row)]; }
    QString Cell(int row, int column) const;

    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QStringList m_headers;
};

}  // namespace candbui
