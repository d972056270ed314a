#pragma once
// What the two pickers share: filtering and sorting on text (UTF-8 decoded, lower-cased by Unicode rules),
// never on bytes, so names in Chinese or with non-ASCII letters filter and sort as the user reads them; a
// row store whose reordering keeps the selection on the rows it was on (the database editor's lists use it
// too); the dialog's body and the dialog itself.
#include <QAbstractTableModel>
#include <QDialog>
#include <QString>
#include <QStringList>
#include <QTableView>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <numeric>
#include <optional>
#include <string_view>
#include <vector>

class QLineEdit;
class QShowEvent;

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

// Rows of a list model. Sorting and reordering move the rows and every persistent index with them, so a
// selected row stays selected and is still the same entry afterwards.
template <class Row>
class CListRows : public QAbstractTableModel {
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
        reorderRows(TextSortOrder(texts, direction));
    }
    // Moves the rows into `order` (element i: the old position of the row that goes to i; one entry per
    // row).
    void reorderRows(const std::vector<size_t>& order) {
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

// A picker dialog over the global maps of `Hub`: the list over a `Model` (built from the hub), the entries
// not to list and, after OK, the picked ones. The list is filled when the dialog is first shown. The model
// offers Find(exclusions) (every entry not excluded, unfiltered) and Sort(column, direction).
template <class Hub, class Model, class Entry>
class CPickerDlg : public QDialog {
public:
    // Entries not to list; set before the dialog is shown.
    std::vector<Entry> Exclusions;
    // After OK: the picked entries.
    std::vector<Entry> Results;

    Model* model() const { return m_model; }
    QTableView* list() const { return m_list; }

    // Brings the global maps up to date and lists every entry not excluded, unfiltered. Runs when the
    // dialog is first shown.
    void Reload() {
        Results.clear();
        m_hub.BuildGlobalMaps();
        m_model->Find(Exclusions);
        m_loaded = true;
    }
    // Sorts by the column (when it is one the dialog sorts by), then flips the direction for the next
    // click.
    void OnHeaderClicked(int column) {
        if (!sortsBy(column)) return;
        m_model->Sort(column, m_direction);
        m_direction = -m_direction;
    }

protected:
    CPickerDlg(Hub& hub, QWidget* parent)
        : QDialog(parent), m_hub(hub), m_model(new Model(hub, this)), m_list(new QTableView(this)) {}

    void showEvent(QShowEvent* event) override {
        if (!m_loaded) Reload();
        QDialog::showEvent(event);
    }
    // Whether a click on the column's header sorts (and flips the direction); every column by default.
    virtual bool sortsBy(int column) const {
        (void)column;
        return true;
    }

    Hub& m_hub;
    Model* m_model;
    QTableView* m_list;

private:
    int m_direction = 1;
    bool m_loaded = false;
};

}  // namespace vex
