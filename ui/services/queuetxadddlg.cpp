#include "ui/services/queuetxadddlg.h"

#include <QLineEdit>

#include <optional>

#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "windows/cellvalue.h"

namespace {

// The count as a whole decimal number (blanks around it allowed), or none.
std::optional<int64_t> parseCount(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 12) return std::nullopt;
    bool ok = false;
    const qlonglong value = t.toLongLong(&ok, 10);
    if (!ok) return std::nullopt;
    return value;
}

}  // namespace

QString validateQueueTxAddDlg(const QueueTxAddDlgInput& input, tCFG_SET_EXT_QUEUE_TX_MSG& record,
                              uint32_t& count) {
    uint32_t id = 0;
    if (QString refusal = validateTxMsgIdText(input.idText, id); !refusal.isEmpty()) return refusal;
    const std::optional<int64_t> n = parseCount(input.count);
    if (n && *n == 0) return QStringLiteral("此报文添加的数量不能为0。");
    // A count beyond reason would add rows until memory runs out.
    if (!n || *n < 1 || *n > kQueueTxAddMaxCount)
        return QStringLiteral("此报文添加的数量必须为1到10000之间的整数。");
    if (QString refusal = validateTxMsgIdRange(id, input.ext); !refusal.isEmpty()) return refusal;
    const std::optional<uint16_t> before = vex::ParseU16Cell(input.before.toStdString());
    if (!before) return vex::validateU16Cell(input.before);
    const std::optional<uint16_t> after = vex::ParseU16Cell(input.after.toStdString());
    if (!after) return vex::validateU16Cell(input.after);
    std::array<uint8_t, 8> data{};
    if (QString refusal = validateTxMsgData(input.data, data); !refusal.isEmpty()) return refusal;
    const int32_t length = vex::ParseInt32(input.length.toStdString());

    record.MsgName = input.name.toStdString();
    record.MsgID = id;
    record.Ext = input.ext ? 1 : 0;
    record.Chan = input.chan;
    record.BeforeDelayTime = *before;
    record.AfterDelayTime = *after;
    record.DL = length >= 1 && length <= 8 ? static_cast<uint8_t>(length) : 8;
    for (size_t i = 0; i < 8; ++i) record.TxData[i] = data[i];
    count = static_cast<uint32_t>(*n);
    return {};
}

CExtSerQueueTxMsgAddDlg::CExtSerQueueTxMsgAddDlg(CCanMsgDataHub& hub, QWidget* parent)
    : CTxMsgDlg(hub, parent) {
    AddIdRows();
    AddChannelRow();
    m_before = AddEditRow("前延时[ms]：");
    m_after = AddEditRow("后延时[ms]：");
    m_count = AddEditRow("报文添加个数：");
    AddLengthAndDataRows();
    AddButtonRow();

    m_Msg.Chan = 1;
    m_Msg.DL = 8;
    m_Msg.BeforeDelayTime = 10;
    m_Msg.AfterDelayTime = 100;
    showRecord(m_Msg);
}

void CExtSerQueueTxMsgAddDlg::showRecord(const tCFG_SET_EXT_QUEUE_TX_MSG& record) {
    ShowFrame(record);
    m_before->setText(QString::number(record.BeforeDelayTime));
    m_after->setText(QString::number(record.AfterDelayTime));
    m_count->setText(QString::number(m_Count));
    lengthCombo()->setCurrentIndex(record.DL >= 1 && record.DL <= 8 ? record.DL - 1 : 7);
    OnLengthChosen();
}

QueueTxAddDlgInput CExtSerQueueTxMsgAddDlg::Input() const {
    QueueTxAddDlgInput in;
    ReadFrame(in);
    in.before = m_before->text();
    in.after = m_after->text();
    in.count = m_count->text();
    return in;
}

void CExtSerQueueTxMsgAddDlg::TakeDatabaseMessage(uint32_t key) {
    TakeDatabaseMessageInto(key, m_Msg);
}

void CExtSerQueueTxMsgAddDlg::OnOK() {
    tCFG_SET_EXT_QUEUE_TX_MSG record = m_Msg;
    uint32_t count = 0;
    const QString refusal = validateQueueTxAddDlg(Input(), record, count);
    if (!refusal.isEmpty()) {
        vex::ShowMessage(this, refusal);
        return;
    }
    m_Msg = std::move(record);
    m_Count = count;
    accept();
}
