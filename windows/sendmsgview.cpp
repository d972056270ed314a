#include "windows/sendmsgview.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

#include <cstring>

#include "app/canworkspace.h"
#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "windows/cellvalue.h"
#include "windows/listcellpaint.h"
#include "windows/reportlist.h"
#include "windows/sendcelldelegate.h"
#include "windows/sendmsgmodel.h"

namespace {

using M = CSendMsgModel;

constexpr uint32_t kHighlightBack = 0xFF9B9B;  // 0x00BBGGRR
constexpr uint32_t kHighlightText = 0x000080;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

// Paints the cells: the cyclic cell as a check box and the send cell as a "now" button in every row; in
// the selected row the other cells white, the cell of the last clicked column highlighted, the name with
// the ">> " marker.
class CSendMsgDelegate final : public CSendCellDelegate {
public:
    explicit CSendMsgDelegate(CSendMsgView& view) : CSendCellDelegate(&view), m_view(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const int column = index.column();
        if (column == M::kCyclic || column == M::kSend) {
            if (selected) painter->fillRect(option.rect, vex::ColorFromRef(kWhite));
            const bool on = index.data().toString() == QLatin1String("1");
            if (column == M::kCyclic)
                DrawListCheckCell(*painter, option.rect, on, option.widget);
            else
                DrawListButtonCell(*painter, option.rect, on, option.widget);
            return;
        }
        if (!selected) {
            CSendCellDelegate::paint(painter, option, index);
            return;
        }
        const bool highlight = column == m_view.HighlightColumn();
        painter->save();
        painter->setFont(option.font);
        DrawListSubItem(*painter, option.rect, index, highlight ? kHighlightText : kBlack,
                        highlight ? kHighlightBack : kWhite, column == M::kName);
        painter->restore();
    }

private:
    const CSendMsgView& m_view;
};

QString msgText(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

CSendMsgView::CSendMsgView(CCanWorkspace& workspace, QWidget* parent)
    : QTableView(parent),
      m_ws(workspace),
      m_model(new CSendMsgModel(workspace.Cfg().Send, this)),
      m_delegate(new CSendMsgDelegate(*this)) {
    setModel(m_model);
    vex::SetupReportList(*this);
    const int widths[M::kData0] = {140, 100, 80, 80, 80, 75, 60, 60, 60, 60};
    for (int c = 0; c < M::kColumns; ++c) setColumnWidth(c, c < M::kData0 ? widths[c] : 40);
    setEditTriggers(QAbstractItemView::DoubleClicked);
    setItemDelegate(m_delegate);
    m_delegate->SetChooser([this](const QModelIndex& index) -> CellEditor {
        const int column = index.column();
        const tCFG_SET_SEND_MSG* rec = m_model->Record(m_model->KeyAt(index.row()));
        if (rec == nullptr) return {};
        if (column == M::kChan || column == M::kLength) {
            if (m_model->IsCyclic(index.row())) {
                vex::ShowMessage(this, msgText("请先关闭循环发送。"));
                return {};
            }
            if (column == M::kChan) return CellEditor::combo({"0", "1"});
            return CellEditor::combo({"1", "2", "3", "4", "5", "6", "7", "8"});
        }
        if (column == M::kName) return CellEditor::edit(CSendEditCtrl::kInputText);
        if (column == M::kPeriod || column == M::kCount)
            return CellEditor::edit(CSendEditCtrl::kInputDecimal);
        if (column >= M::kData0 && column < M::kData0 + rec->DL)
            return CellEditor::edit(CSendEditCtrl::kInputHex);
        return {};
    });
    connect(m_delegate, &CSendCellDelegate::editEnded, this, &CSendMsgView::OnEditEnd);
}

void CSendMsgView::ReloadMsgList() {
    m_model->Clear();
    // The store is a std::map: rows come in ascending key order. Its records stay as they are.
    for (const auto& entry : m_ws.Cfg().Send.MsgMap) m_model->AddKey(entry.first);
}

void CSendMsgView::AddRow(const tCFG_SET_SEND_MSG& record) {
    const uint32_t key = MsgKey(record.MsgID, record.Ext);
    // A copy first: the record may be the stored one itself.
    tCFG_SET_SEND_MSG copy = record;
    m_ws.Cfg().Send.MsgMap[key] = std::move(copy);
    m_model->AddKey(key);
}

void CSendMsgView::DeleteSelected() {
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        vex::ShowMessage(this, msgText("请选择其中一项进行操作。"));
        return;
    }
    const int row = selected.front().row();
    if (m_model->IsCyclic(row)) {
        vex::ShowMessage(this, msgText("请先关闭此报文循环发送。"));
        return;
    }
    const uint32_t key = m_model->KeyAt(row);
    m_ws.Cfg().Send.MsgMap.erase(key);
    m_model->RemoveRow(row);
    emit rowDeleted(key);
}

void CSendMsgView::CheckSingleChanDev() {
    // The single-channel interface is the one going online takes only when the two-channel one is not
    // chosen as well.
    const CAppCfg& cfg = m_ws.Cfg();
    if (!cfg.CanDev[CAppCfg::kDevCf51].Active || cfg.CanDev[CAppCfg::kDevNxp].Active) return;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QString chan = m_model->index(row, M::kChan).data().toString();
        if (vex::ParseInt32(chan.toStdString()) == 0) {
            vex::ShowMessage(this,
                             msgText("CF51-VYK 为单通道设备，忽略通道号设置，发送报文通道号固定为 通道1 。"),
                             vex::MsgButtons::Ok, vex::MsgIcon::Information);
            return;
        }
    }
}

void CSendMsgView::ResetCycColumn() {
    m_model->ResetCyclic();
}

void CSendMsgView::UpdateRowData(uint32_t key) {
    const int row = m_model->RowOfKey(key);
    if (row < 0) return;
    m_model->RecordChanged(key);
    // Only a message in the device's cyclic list has a copy there to update.
    if (m_ws.RxThread().IsRunning() && m_model->IsCyclic(row)) ChangeData(key);
}

bool CSendMsgView::SendOnce(uint32_t key) {
    return deviceOp(key, Op::Once);
}
bool CSendMsgView::StartCyclic(uint32_t key) {
    return deviceOp(key, Op::Start);
}
void CSendMsgView::StopCyclic(uint32_t key) {
    deviceOp(key, Op::Stop);
}
bool CSendMsgView::ChangePeriod(uint32_t key) {
    return deviceOp(key, Op::Period);
}
bool CSendMsgView::ChangeData(uint32_t key) {
    return deviceOp(key, Op::Data);
}

bool CSendMsgView::deviceOp(uint32_t key, Op op) {
    if (op != Op::Stop && !m_ws.RxThread().IsRunning()) {
        vex::ShowMessage(this, msgText("请先开启监听总线。"));
        return false;
    }
    const tCFG_SET_SEND_MSG* rec = m_model->Record(key);
    if (rec == nullptr) {
        vex::ShowMessage(this, msgText("未知的错误。"));
        return false;
    }
    CCanDevice* device = m_ws.RxThread().CurDevice();
    if (device == nullptr) return false;
    tCAN_CYCTX_MSG msg;
    msg.Msg.Id = rec->MsgID;
    msg.Msg.Ext = rec->Ext;
    msg.Msg.Remote = rec->Rmt;
    msg.Msg.Dir = 1;
    msg.Msg.Chan = rec->Chan;
    std::memcpy(msg.Msg.Data, rec->TxData, sizeof msg.Msg.Data);
    msg.Msg.Dlc = rec->DL;
    msg.Msg.TimeMs = 0.0;
    msg.CycTxTime = rec->CycTxTime;
    msg.CycTxCount = rec->CycTxCount;
    switch (op) {
        case Op::Once:
            return device->Write(msg.Msg) == 0;
        case Op::Start:
            return device->AddCycTxMsg(msg) == 0;
        case Op::Stop:
            device->RmvCycTxMsg(msg);
            return true;
        case Op::Period:
            return device->UpdateCycTxMsgPeriod(msg) == 0;
        case Op::Data:
            return device->UpdateCycTxMsgData(msg) == 0;
    }
    return false;
}

void CSendMsgView::OnEditEnd(const CellEditEnd& end) {
    // Escape leaves the record as it is.
    if (end.cancelled || end.key < 0) return;
    const uint32_t key = static_cast<uint32_t>(end.key);
    const int row = m_model->RowOfKey(key);
    auto it = m_ws.Cfg().Send.MsgMap.find(key);
    if (row < 0 || it == m_ws.Cfg().Send.MsgMap.end()) return;
    tCFG_SET_SEND_MSG rec = it->second;
    const std::string typed = end.text.toStdString();
    const int column = end.column;

    if (end.combo) {
        if (column == M::kChan) {
            rec.Chan = static_cast<uint8_t>(vex::ParseInt32(typed));
        } else if (column == M::kLength) {
            const int32_t length = vex::ParseInt32(typed);
            rec.DL = rec.Rmt || length < 0 || length > 8 ? 0 : static_cast<uint8_t>(length);
        } else {
            return;
        }
        it->second = std::move(rec);
        m_model->RecordChanged(key);
        return;
    }

    if (column == M::kName) {
        rec.MsgName = typed;
    } else if (column == M::kPeriod || column == M::kCount) {
        const std::optional<uint16_t> value = vex::ParseU16Cell(typed);
        if (!value) {
            vex::ShowMessage(this, vex::validateU16Cell(end.text));
            return;
        }
        (column == M::kPeriod ? rec.CycTxTime : rec.CycTxCount) = *value;
    } else if (column >= M::kData0 && column < M::kColumns) {
        rec.TxData[column - M::kData0] = vex::ParseHexByteCell(typed);
    } else {
        return;
    }
    it->second = std::move(rec);
    m_model->RecordChanged(key);
    emit recordEdited(key);
    if (!m_model->IsCyclic(row)) return;
    // The count of a running cyclic message reaches the device with its next start.
    if (column == M::kPeriod) ChangePeriod(key);
    if (column >= M::kData0) ChangeData(key);
}

void CSendMsgView::repaintCell(int row, int column) {
    viewport()->repaint(visualRect(m_model->index(row, column)));
}

void CSendMsgView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QTableView::mousePressEvent(event);
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    // A click beside the rows changes nothing, not even the selection.
    if (!index.isValid()) {
        event->accept();
        return;
    }
    m_highlightColumn = index.column();
    const int row = index.row();
    const uint32_t key = m_model->KeyAt(row);
    if (index.column() == M::kSend) {
        // The button shows pressed while the frame is written.
        m_model->SetSending(row, true);
        repaintCell(row, M::kSend);
        QTableView::mousePressEvent(event);
        SendOnce(key);
        m_model->SetSending(row, false);
        repaintCell(row, M::kSend);
        viewport()->update();
        emit rowActivated(key);
        return;
    }
    if (index.column() == M::kCyclic) {
        if (!m_model->IsCyclic(row)) {
            if (StartCyclic(key)) m_model->SetCyclic(row, true);
        } else {
            StopCyclic(key);
            m_model->SetCyclic(row, false);
        }
    }
    // The highlighted cell of the selected row follows the clicked column.
    viewport()->update();
    QTableView::mousePressEvent(event);
    emit rowActivated(key);
}
