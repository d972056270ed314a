#pragma once
// What the two pickers share: filtering and sorting on text (UTF-8 decoded, lower-cased by Unicode rules),
// never on bytes, so names in Chinese or with non-ASCII letters filter and sort as the user reads them; a
// row store whose sort keeps the selection on the rows it was on; and the dialog's body.
#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
#include <optional>
#include <string_view>
#include <vector>

class QDialog;
class QLineEdit;
class QTableView;

namespace vex {

// "%08X" of a value.
QString Hex8(uint32_t value);

// The lower-cased text of a UTF-8 string.
QString LowerText(std::string_view utf8);

// "%08X" of a value, lower-cased: the text the identifier filters look in.
QString LowerHex8(uint32_t value);

// Whether `lowerText` contains `lowerFilter`; an empty filter matches nothing.
inline bool FilterHits(const QString& lowerFilter, const QString& lowerText) {
    return !lowerFilter.isEmpty() && lowerText.contains(lowerFilter);
}

// The order of rows sorted by their texts: element i is the old position of the row that goes to i. The
// sort is stable (rows of equal text keep their order). With direction +1 the greatest text comes first,
// with -1 the smallest. Rows without a text (their entry has gone) go after all others in either
// direction.
std::vector<size_t> TextSortOrder(const std::vector<std::optional<QString>>& texts, int direction);

// One filter edit of a picker and the labels before it.
struct PickerFilter {
    QStringList labels;
    QLineEdit* edit = nullptr;
    int stretch = 1;
};

// The body of a picker: the list over `model` in the shared look, read-only, with the column widths and a
// header click calling onHeader(column); above it the filters and a "查找" button, below it "确定" and
// "取消". onFind runs on the find button and on every change of a filter text, onOK on OK; cancel rejects.
void BuildPicker(QDialog& dlg, QTableView& list, QAbstractItemModel& model, const std::vector<int>& widths,
                 const std::vector<PickerFilter>& filters, std::function<void()> onFind,
                 std::function<void()> onOK, std::function<void(int)> onHeader);

// Rows of a picker list. Sorting moves the rows and every persistent index with them, so a selected row
// stays selected and is still the same entry afterwards.
template <class Row>
class CPickerRows : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    const std::vector<Row>& Rows() const { return m_rows; }

protected:
    const Row* rowAt(const QModelIndex& index) const {
        if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= m_rows.size())
            return nullptr;
        return &m_rows[static_cast<size_t>(index.row())];
    }
    void resetRows(std::vector<Row> rows) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    template <class TextOf>
    void sortRows(int direction, TextOf textOf) {
        std::vector<std::optional<QString>> texts;
        texts.reserve(m_rows.size());
        for (const Row& row : m_rows) texts.push_back(textOf(row));
        const std::vector<size_t> order = TextSortOrder(texts, direction);
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> newRowOf(order.size());
        std::vector<Row> sorted;
        sorted.reserve(m_rows.size());
        for (size_t i = 0; i < order.size(); ++i) {
            newRowOf[order[i]] = static_cast<int>(i);
            sorted.push_back(std::move(m_rows[order[i]]));
        }
        m_rows = std::move(sorted);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& index : before)
            after.push_back(index.isValid()
                                ? createIndex(newRowOf[static_cast<size_t>(index.row())], index.column())
                                : QModelIndex());
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    std::vector<Row> m_rows;
};

}  // namespace vex
