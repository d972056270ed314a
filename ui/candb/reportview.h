#pragma once
// The editor's report lists: the program's list look over a row model, whole rows selected one at a time,
// and the row under the pointer of every click (-1 off the rows) reported in the order the user makes
// them. CRadioListCtrl draws column 0 as radio buttons (checked when the text reads as a nonzero number,
// nothing for an empty text) and colours rows by parity and selection.
#include <QStyledItemDelegate>
#include <QTableView>

#include <cstdint>
#include <vector>

namespace candbui {

class CReportList : public QTableView {
    Q_OBJECT
public:
    explicit CReportList(QWidget* parent = nullptr);

    // Sets the model and the column widths (pixels, in column order).
    void SetModel(QAbstractItemModel* model, const std::vector<int>& widths);
    // The row under a point of the viewport, -1 off the rows.
    int RowAtPoint(const QPoint& viewportPos) const;
    // Selects the row (or nothing for -1) and makes it current.
    void SelectRow(int row);

signals:
    void rowClicked(int row);
    void rowDoubleClicked(int row);
    void rowRightClicked(int row, const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class CRadioListCtrl : public CReportList {
    Q_OBJECT
public:
    explicit CRadioListCtrl(QWidget* parent = nullptr);

    uint32_t EvenRowColor = 0xFFFFFF;  // 0x00BBGGRR
    uint32_t OddRowColor = 0xFFFFFF;
    uint32_t SelColor = 0x0080FF;
    int32_t RowHeight = 26;

    // Applies RowHeight to the rows.
    void ApplyRowHeight();
};

// Paints a radio list's cells: the row background (white text on SelColor for the selected row), the
// radio of column 0, the text of the others.
class CRadioListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CRadioListDelegate(CRadioListCtrl& list);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    CRadioListCtrl& m_list;
};

// Whether a radio cell's text shows a checked radio: the text read as a decimal number is nonzero.
bool RadioChecked(const QString& text);

}  // namespace candbui
