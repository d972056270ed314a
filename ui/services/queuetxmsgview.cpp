#include "ui/services/queuetxmsgview.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdio>

#include "config/cfgsections.h"
#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "windows/cellinput.h"
#include "windows/listcellpaint.h"
#include "windows/reportlist.h"
#include "windows/sendcelldelegate.h"

namespace {

using M = CQueueTxMsgModel;

constexpr uint32_t kHighlightBack = 0xFF9B9B;  // 0x00BBGGRR
constexpr uint32_t kHighlightText = 0x000080;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

QString format(const char* pattern, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, pattern, value);
    return QString::fromLatin1(text);
}

// Cells of the selected row painted by the shared cell painter: the focus column highlighted, the name with
// the ">> " marker; other rows black on white.
class QueueTxMsgDelegate final : public CSendCellDelegate {
public:
    explicit QueueTxMsgDelegate(CExtSerCanMsgQueueTxMsgListView& view)
        : CSendCellDelegate(&view), m_view(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const bool highlight = selected && index.column() == m_view.FocusColumn();
        painter->save();
        painter->setFont(option.font);
        DrawListSubItem(*painter, option.rect, index, highlight ? kHighlightText : kBlack,
                        highlight ? kHighlightBack : kWhite, selected && index.column() == M::kName);
        painter->restore();
    }

private:
    const CExtSerCanMsgQueueTxMsgListView& m_view;
};

}  // namespace

// ---- CQueueTxMsgModel ----

std::string CQueueTxMsgModel::AttrOfColumn(int column) {
    switch (column) {
        case kChan:
            return "Chan";
        case kBefore:
            return "BeforeDelayTime";
        case kAfter:
            return "AfterDelayTime";
        case kLength:
            return "DL";
        default:
            return column >= kData0 && column < kColumns ? "TxData" + std::to_string(column - kData0) : "";
    }
}

CQueueTxMsgModel::CQueueTxMsgModel(tCFG_SET_EXT_QUEUE_TX_SERVICE& section, QObject* parent)
    : QAbstractTableModel(parent), m_section(section) {}

int CQueueTxMsgModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_keys.size());
}

int CQueueTxMsgModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

const tCFG_SET_EXT_QUEUE_TX_MSG* CQueueTxMsgModel::Record(uint32_t key) const {
    const auto it = m_section.MsgMap.find(key);
    return it == m_section.MsgMap.end() ? nullptr : &it->second;
}

QVariant CQueueTxMsgModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumns) return {};
    const uint32_t key = m_keys[static_cast<size_t>(index.row())];
    if (role == CSendCellDelegate::KeyRole) return QVariant::fromValue<qlonglong>(key);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    const tCFG_SET_EXT_QUEUE_TX_MSG* rec = Record(key);
    if (rec == nullptr) return QString();
    const int column = index.column();
    switch (column) {
        case kName:
            return QString::fromStdString(rec->MsgName);
        case kId:
            return format("%X", rec->MsgID);
        case kType:
            return rec->Ext ? QStringLiteral("ext") : QStringLiteral("std");
        // An entry read unsendable shows the file's text of a field while it holds the value read.
        case kChan:
        case kBefore:
        case kAfter:
        case kLength: {
            const int value = column == kChan     ? rec->Chan
                              : column == kBefore ? rec->BeforeDelayTime
                              : column == kAfter  ? rec->AfterDelayTime
                                                  : rec->DL;
            return QString::fromStdString(
                KeptText(rec->KeptAttrs, AttrOfColumn(column), vex::FormatInt(value)));
        }
        default: {
            const int i = column - kData0;
            return i < rec->DL ? format("%02X", rec->TxData[i]) : QStringLiteral("--");
        }
    }
}

QVariant CQueueTxMsgModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole) return {};
    static const char* const titles[kData0] = {"名称",       "ID[HEX]",    "类型", "通道",
                                               "前延时[ms]", "后延时[ms]", "长度"};
    if (section < kData0) return QString::fromUtf8(titles[section]);
    return QStringLiteral("d[%1]").arg(section - kData0);
}

Qt::ItemFlags CQueueTxMsgModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void CQueueTxMsgModel::SetKeys(std::vector<uint32_t> keys) {
    beginResetModel();
    m_keys = std::move(keys);
    endResetModel();
}

void CQueueTxMsgModel::AppendKey(uint32_t key) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_keys.push_back(key);
    endInsertRows();
}

void CQueueTxMsgModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    m_keys.erase(m_keys.begin() + row);
    endRemoveRows();
}

void CQueueTxMsgModel::SwapRows(int a, int b) {
    if (a < 0 || b < 0 || a >= rowCount() || b >= rowCount() || a == b) return;
    std::swap(m_keys[static_cast<size_t>(a)], m_keys[static_cast<size_t>(b)]);
    emit dataChanged(index(std::min(a, b), 0), index(std::max(a, b), kColumns - 1), {Qt::DisplayRole});
}

void CQueueTxMsgModel::RecordChanged(uint32_t key) {
    const int row = RowOfKey(key);
    if (row >= 0) emit dataChanged(index(row, 0), index(row, kColumns - 1), {Qt::DisplayRole});
}

int CQueueTxMsgModel::RowOfKey(uint32_t key) const {
    const auto it = std::find(m_keys.begin(), m_keys.end(), key);
    return it == m_keys.end() ? -1 : static_cast<int>(it - m_keys.begin());
}

// ---- CExtSerCanMsgQueueTxMsgListView ----

CExtSerCanMsgQueueTxMsgListView::CExtSerCanMsgQueueTxMsgListView(tCFG_SET_EXT_QUEUE_TX_SERVICE& section,
                                                                 QWidget* parent)
    : QTableView(parent),
      m_section(section),
      m_model(new CQueueTxMsgModel(section, this)),
      m_delegate(new QueueTxMsgDelegate(*this)) {
    setModel(m_model);
    vex::SetupReportList(*this);
    const int widths[M::kData0] = {140, 100, 80, 80, 85, 85, 60};
    for (int c = 0; c < M::kColumns; ++c) setColumnWidth(c, c < M::kData0 ? widths[c] : 40);
    setEditTriggers(QAbstractItemView::DoubleClicked);
    setItemDelegate(m_delegate);
    m_delegate->SetChooser([this](const QModelIndex& index) -> CellEditor {
        if (m_sending) return {};
        const tCFG_SET_EXT_QUEUE_TX_MSG* rec = m_model->Record(m_model->KeyAt(index.row()));
        if (rec == nullptr) return {};
        const int column = index.column();
        if (column == M::kChan) return CellEditor::combo({"0", "1"});
        if (column == M::kLength) return CellEditor::combo({"1", "2", "3", "4", "5", "6", "7", "8"});
        if (column == M::kName) return CellEditor::edit(CSendEditCtrl::kInputText);
        if (column == M::kBefore || column == M::kAfter)
            return CellEditor::edit(CSendEditCtrl::kInputDecimal);
        if (column >= M::kData0 && column < M::kData0 + rec->DL)
            return CellEditor::edit(CSendEditCtrl::kInputHex);
        return {};
    });
    connect(m_delegate, &CSendCellDelegate::editEnded, this, &CExtSerCanMsgQueueTxMsgListView::OnEditEnd);
}

void CExtSerCanMsgQueueTxMsgListView::ReloadMsgList() {
    std::vector<std::pair<int32_t, uint32_t>> order;
    // The section is a std::map: equal indexes keep ascending key order.
    for (const auto& [key, rec] : m_section.MsgMap) order.emplace_back(rec.MsgTxIndex, key);
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<uint32_t> keys;
    keys.reserve(order.size());
    for (const auto& entry : order) keys.push_back(entry.second);
    m_model->SetKeys(std::move(keys));
}

void CExtSerCanMsgQueueTxMsgListView::StoreOrder() {
    const std::vector<uint32_t>& keys = m_model->Keys();
    for (size_t row = 0; row < keys.size(); ++row) {
        const auto it = m_section.MsgMap.find(keys[row]);
        if (it != m_section.MsgMap.end()) it->second.MsgTxIndex = static_cast<int32_t>(row);
    }
}

void CExtSerCanMsgQueueTxMsgListView::AddFrames(const tCFG_SET_EXT_QUEUE_TX_MSG& frame, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        tCFG_SET_EXT_QUEUE_TX_MSG rec = frame;
        rec.Key = m_section.NextKey++;
        m_section.MsgMap[rec.Key] = rec;
        m_model->AppendKey(rec.Key);
    }
    StoreOrder();
}

int CExtSerCanMsgQueueTxMsgListView::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void CExtSerCanMsgQueueTxMsgListView::selectRowAt(int row) {
    if (row < 0 || row >= m_model->rowCount()) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = m_model->index(row, std::max(0, m_focusColumn));
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

void CExtSerCanMsgQueueTxMsgListView::DeleteSelected() {
    const int row = SelectedRow();
    if (row < 0) {
        vex::ShowMessage(this, QStringLiteral("请选择其中一项进行操作。"));
        return;
    }
    const uint32_t key = m_model->KeyAt(row);
    m_section.MsgMap.erase(key);
    m_model->RemoveRow(row);
    selectionModel()->clearSelection();
    emit rowDeleted(key);
    StoreOrder();
}

void CExtSerCanMsgQueueTxMsgListView::MoveSelected(int step) {
    const int row = SelectedRow();
    if (row < 0) {
        vex::ShowMessage(this, QStringLiteral("请选择其中一项进行操作。"));
        return;
    }
    const int to = row + step;
    if (to < 0 || to >= m_model->rowCount()) return;
    m_model->SwapRows(row, to);
    selectRowAt(to);
    StoreOrder();
}

void CExtSerCanMsgQueueTxMsgListView::UpdateRowData(uint32_t key) {
    m_model->RecordChanged(key);
}

void CExtSerCanMsgQueueTxMsgListView::OnEditEnd(const CellEditEnd& end) {
    if (end.cancelled || end.key < 0 || m_sending) return;
    const uint32_t key = static_cast<uint32_t>(end.key);
    const auto it = m_section.MsgMap.find(key);
    if (it == m_section.MsgMap.end()) return;
    tCFG_SET_EXT_QUEUE_TX_MSG rec = it->second;
    const std::string typed = end.text.toStdString();
    const int column = end.column;
    if (end.combo) {
        const int32_t value = vex::ParseInt32(typed);
        if (column == M::kChan && (value == 0 || value == 1)) {
            rec.Chan = static_cast<uint8_t>(value);
        } else if (column == M::kLength && value >= 1 && value <= 8) {
            rec.DL = static_cast<uint8_t>(value);
        } else {
            return;
        }
    } else if (column == M::kName) {
        rec.MsgName = typed;
    } else if (column == M::kBefore || column == M::kAfter) {
        // Refused, not cut to 16 bits: the queue would wait another time than the one typed.
        if (!vex::TakeU16Cell(this, end.text,
                              column == M::kBefore ? rec.BeforeDelayTime : rec.AfterDelayTime))
            return;
    } else if (column >= M::kData0 && column < M::kColumns) {
        if (!vex::TakeHexByteCell(this, end.text, rec.TxData[column - M::kData0])) return;
    } else {
        return;
    }
    // A field set anew no longer stands for the file's text (a delay of 0 typed over a file's 65536 is 0).
    std::erase_if(rec.KeptAttrs, [name = CQueueTxMsgModel::AttrOfColumn(column)](const tCFG_KEPT_ATTR& k) {
        return k.Name == name;
    });
    it->second = std::move(rec);
    m_model->RecordChanged(key);
    emit recordEdited(key);
}

std::vector<uint32_t> CExtSerCanMsgQueueTxMsgListView::TakeSnapshot() {
    StoreOrder();
    return m_model->Keys();
}

void CExtSerCanMsgQueueTxMsgListView::BeginSending() {
    m_sending = true;
    m_savedSelection = SelectedRow();
    m_savedFocusColumn = m_focusColumn;
    m_focusColumn = M::kName;
}

void CExtSerCanMsgQueueTxMsgListView::ShowSendingRow(int row) {
    if (m_sending) selectRowAt(row);
}

void CExtSerCanMsgQueueTxMsgListView::EndSending() {
    if (!m_sending) return;
    m_sending = false;
    m_focusColumn = m_savedFocusColumn;
    selectRowAt(m_savedSelection);
    viewport()->update();
}

void CExtSerCanMsgQueueTxMsgListView::mousePressEvent(QMouseEvent* event) {
    if (m_sending) {
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !index.isValid()) {
        QTableView::mousePressEvent(event);
        return;
    }
    m_focusColumn = index.column();
    viewport()->update();
    QTableView::mousePressEvent(event);
    emit rowActivated(m_model->KeyAt(index.row()));
}

void CExtSerCanMsgQueueTxMsgListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (m_sending) {
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}
