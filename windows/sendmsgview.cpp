#include "windows/sendmsgview.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>

#include <cstring>
#include <string>

#include "app/canmsgsender.h"
#include "config/appcfg.h"
#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "windows/cellinput.h"
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
        // The painter already has the view's font; a cell of another font sets it for itself only.
        const QFont font = painter->font();
        const bool otherFont = font != option.font;
        if (otherFont) painter->setFont(option.font);
        DrawListSubItem(*painter, option.rect, index, highlight ? kHighlightText : kBlack,
                        highlight ? kHighlightBack : kWhite, column == M::kName);
        if (otherFont) painter->setFont(font);
    }

private:
    const CSendMsgView& m_view;
};

QString msgText(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

CSendMsgView::CSendMsgView(CAppCfg& cfg, const CCanMsgSender& sender, QWidget* parent)
    : QTableView(parent),
      m_cfg(cfg),
      m_sender(sender),
      m_model(new CSendMsgModel(cfg.Send, this)),
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
    for (const auto& entry : m_cfg.Send.MsgMap) m_model->AddKey(entry.first);
}

void CSendMsgView::AddRow(const tCFG_SET_SEND_MSG& record) {
    m_model->AddRecord(record);
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
    m_model->RemoveRow(row);
    emit rowDeleted(key);
}

void CSendMsgView::CheckSingleChanDev() {
    // The single-channel interface is the one going online takes only when the two-channel one is not
    // chosen as well.
    const CAppCfg& cfg = m_cfg;
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
    if (m_sender.IsOnline() && m_model->IsCyclic(row)) ChangeData(key);
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
    if (op != Op::Stop && !m_sender.IsOnline()) {
        vex::ShowMessage(this, msgText(CCanMsgSender::kOfflineText));
        return false;
    }
    const tCFG_SET_SEND_MSG* rec = m_model->Record(key);
    if (rec == nullptr) {
        vex::ShowMessage(this, msgText("未知的错误。"));
        return false;
    }
    std::string refusal;
    CCanMsgSender::Result result = CCanMsgSender::Result::Ok;
    switch (op) {
        case Op::Once:
            result = m_sender.SendOnce(*rec, &refusal);
            break;
        case Op::Start:
            result = m_sender.StartCyclic(*rec, &refusal);
            break;
        case Op::Stop:
            m_sender.StopCyclic(*rec);
            return true;
        case Op::Period:
            result = m_sender.UpdatePeriod(*rec, &refusal);
            break;
        case Op::Data:
            result = m_sender.UpdateData(*rec, &refusal);
            break;
    }
    if (result == CCanMsgSender::Result::Offline) vex::ShowMessage(this, msgText(CCanMsgSender::kOfflineText));
    if (result == CCanMsgSender::Result::BadFrame) vex::ShowMessage(this, QString::fromStdString(refusal));
    return result == CCanMsgSender::Result::Ok;
}

void CSendMsgView::OnEditEnd(const CellEditEnd& end) {
    // Escape leaves the record as it is.
    if (end.cancelled || end.key < 0) return;
    const uint32_t key = static_cast<uint32_t>(end.key);
    const int row = m_model->RowOfKey(key);
    const tCFG_SET_SEND_MSG* stored = m_model->Record(key);
    if (row < 0 || stored == nullptr) return;
    tCFG_SET_SEND_MSG rec = *stored;
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
        m_model->SetRecord(key, rec);
        return;
    }

    if (column == M::kName) {
        rec.MsgName = typed;
    } else if (column == M::kPeriod || column == M::kCount) {
        // Refused, not cut to 16 bits: the device would run another period than the one typed.
        if (!vex::TakeU16Cell(this, end.text, column == M::kPeriod ? rec.CycTxTime : rec.CycTxCount)) return;
    } else if (column >= M::kData0 && column < M::kColumns) {
        if (!vex::TakeHexByteCell(this, end.text, rec.TxData[column - M::kData0])) return;
    } else {
        return;
    }
    m_model->SetRecord(key, rec);
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
