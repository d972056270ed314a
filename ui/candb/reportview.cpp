#include "ui/candb/reportview.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "platform/numparse.h"
#include "windows/listcellpaint.h"
#include "windows/reportlist.h"

namespace candbui {

CReportList::CReportList(QWidget* parent) : QTableView(parent) {
    vex::SetupReportList(*this);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    horizontalHeader()->setSectionsClickable(true);
}

void CReportList::SetModel(QAbstractItemModel* model, const std::vector<int>& widths) {
    setModel(model);
    for (size_t c = 0; c < widths.size(); ++c) setColumnWidth(static_cast<int>(c), widths[c]);
}

int CReportList::RowAtPoint(const QPoint& viewportPos) const {
    const int row = rowAt(viewportPos.y());
    if (row < 0 || columnAt(viewportPos.x()) < 0) return -1;
    return row;
}

void CReportList::SelectRow(int row) {
    if (row < 0 || model() == nullptr) {
        clearSelection();
        return;
    }
    setCurrentIndex(model()->index(row, 0));
    selectRow(row);
}

void CReportList::mousePressEvent(QMouseEvent* event) {
    const int row = RowAtPoint(event->position().toPoint());
    if (row < 0)
        clearSelection();
    else
        QTableView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit rowClicked(row);
    else if (event->button() == Qt::RightButton) {
        if (row >= 0) SelectRow(row);
        emit rowRightClicked(row, event->globalPosition().toPoint());
    }
}

void CReportList::mouseDoubleClickEvent(QMouseEvent* event) {
    const int row = RowAtPoint(event->position().toPoint());
    if (row >= 0) SelectRow(row);
    if (event->button() == Qt::LeftButton) emit rowDoubleClicked(row);
}

CRadioListCtrl::CRadioListCtrl(QWidget* parent) : CReportList(parent) {
    setItemDelegate(new CRadioListDelegate(*this));
    ApplyRowHeight();
}

void CRadioListCtrl::ApplyRowHeight() {
    verticalHeader()->setMinimumSectionSize(RowHeight);
    verticalHeader()->setDefaultSectionSize(RowHeight);
}

bool RadioChecked(const QString& text) {
    return vex::ParseInt32(text.toStdString()) != 0;
}

CRadioListDelegate::CRadioListDelegate(CRadioListCtrl& list) : QStyledItemDelegate(&list), m_list(list) {}

void CRadioListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const uint32_t background =
        selected ? m_list.SelColor : (index.row() % 2 == 0 ? m_list.EvenRowColor : m_list.OddRowColor);
    const QString text = index.data().toString();
    if (index.column() != 0) {
        DrawListSubItem(*painter, option.rect, index, selected ? 0xFFFFFF : 0x000000, background, false);
        return;
    }
    if (text.isEmpty()) return;
    painter->fillRect(option.rect, vex::ColorFromRef(background));
    QStyleOptionButton radio;
    radio.rect = option.rect.adjusted(4, 4, -4, -4);
    const int side = std::min(radio.rect.width(), radio.rect.height());
    radio.rect = QRect(radio.rect.center().x() - side / 2, radio.rect.center().y() - side / 2, side, side);
    radio.state = QStyle::State_Enabled | (RadioChecked(text) ? QStyle::State_On : QStyle::State_Off);
    QStyle* style = m_list.style() != nullptr ? m_list.style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_IndicatorRadioButton, &radio, painter, &m_list);
}

}  // namespace candbui
