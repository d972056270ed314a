#include "windows/sendmsgdlg.h"

#include <QLineEdit>
#include <QRadioButton>

#include <array>
#include <optional>
#include <tuple>

#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "windows/cellvalue.h"

QString validateSendMsgDlg(const SendMsgDlgInput& input, const tCFG_SET_SEND& store,
                           tCFG_SET_SEND_MSG& record) {
    uint32_t id = 0;
    if (QString refusal = validateTxMsgIdText(input.idText, id); !refusal.isEmpty()) return refusal;
    if (QString refusal = validateTxMsgIdRange(id, input.ext); !refusal.isEmpty()) return refusal;
    if (store.MsgMap.count(MsgKey(id, input.ext ? 1 : 0)) != 0)
        return QStringLiteral("此ID值报文已经添加至发送窗口。");
    const std::optional<uint16_t> period = vex::ParseU16Cell(input.period.toStdString());
    if (!period) return vex::validateU16Cell(input.period);
    const std::optional<uint16_t> count = vex::ParseU16Cell(input.count.toStdString());
    if (!count) return vex::validateU16Cell(input.count);
    std::array<uint8_t, 8> data{};
    if (QString refusal = validateTxMsgData(input.data, data); !refusal.isEmpty()) return refusal;

    record.MsgName = input.name.toStdString();
    record.MsgID = id;
    record.Ext = input.ext ? 1 : 0;
    record.Rmt = input.rmt ? 1 : 0;
    record.Chan = input.chan;
    record.CycTxTime = *period;
    record.CycTxCount = *count;
    const int32_t length = vex::ParseInt32(input.length.toStdString());
    record.DL = input.rmt || length < 0 || length > 8 ? 0 : static_cast<uint8_t>(length);
    for (size_t i = 0; i < 8; ++i) record.TxData[i] = data[i];
    return {};
}

CSendMsgDlg::CSendMsgDlg(CCanMsgDataHub& hub, const tCFG_SET_SEND& store, QWidget* parent)
    : CTxMsgDlg(hub, parent), m_store(store) {
    AddIdRows();
    std::tie(m_dat, m_rmt) = AddChoiceRow("帧类型：", "数据帧", "远程帧");
    AddChannelRow();
    m_period = AddEditRow("发送周期[ms]：");
    m_count = AddEditRow("发送次数：");
    AddLengthAndDataRows();
    AddButtonRow();

    m_Msg.Chan = 1;
    m_Msg.DL = 8;
    m_Msg.CycTxTime = 500;
    SetRecord(m_Msg);
}

void CSendMsgDlg::SetRecord(const tCFG_SET_SEND_MSG& record) {
    m_Msg = record;
    m_Msg.Parse = 0;
    ShowFrame(record);
    (record.Rmt ? m_rmt : m_dat)->setChecked(true);
    m_period->setText(QString::number(record.CycTxTime));
    m_count->setText(QString::number(record.CycTxCount));
    lengthCombo()->setCurrentIndex(record.DL >= 1 && record.DL <= 8 ? record.DL - 1 : -1);
    EnableDataBelow(record.DL);
}

SendMsgDlgInput CSendMsgDlg::Input() const {
    SendMsgDlgInput in;
    ReadFrame(in);
    in.rmt = m_rmt->isChecked();
    in.period = m_period->text();
    in.count = m_count->text();
    return in;
}

std::vector<uint32_t> CSendMsgDlg::PickerExclusions() const {
    std::vector<uint32_t> keys;
    for (const auto& [key, rec] : m_store.MsgMap)
        if (rec.Parse) keys.push_back(key);
    return keys;
}

void CSendMsgDlg::TakeDatabaseMessage(uint32_t key) {
    TakeDatabaseMessageInto(key, m_Msg);
}

void CSendMsgDlg::OnOK() {
    tCFG_SET_SEND_MSG record = m_Msg;
    const QString refusal = validateSendMsgDlg(Input(), m_store, record);
    if (!refusal.isEmpty()) {
        vex::ShowMessage(this, refusal);
        return;
    }
    m_Msg = std::move(record);
    accept();
}
