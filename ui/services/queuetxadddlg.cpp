#include "ui/services/queuetxadddlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>
#include <optional>

#include "app/canmsgdatahub.h"
#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "windows/canselectmsgdlg.h"
#include "windows/cellvalue.h"

namespace {

constexpr uint32_t kStdIdMax = 0x7FF;
constexpr uint32_t kExtIdMax = 0x1FFFFFFF;

QString hex(const char* pattern, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, pattern, value);
    return QString::fromLatin1(text);
}

void pair(QWidget* owner, QRadioButton* first, QRadioButton* second) {
    auto* group = new QButtonGroup(owner);
    group->setExclusive(true);
    group->addButton(first);
    group->addButton(second);
}

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
    if (input.idText.trimmed().isEmpty()) return QStringLiteral("报文ID值不能为空。");
    const std::optional<uint32_t> parsed = vex::ParseHexIdText(input.idText.toStdString());
    if (!parsed) return QStringLiteral("报文ID值必须为十六进制数。");
    const std::optional<int64_t> n = parseCount(input.count);
    if (n && *n == 0) return QStringLiteral("此报文添加的数量不能为0。");
    // A count beyond reason would add rows until memory runs out.
    if (!n || *n < 1 || *n > kQueueTxAddMaxCount)
        return QStringLiteral("此报文添加的数量必须为1到10000之间的整数。");
    const uint32_t id = *parsed;
    if (!input.ext && id > kStdIdMax) return QStringLiteral("此ID值超出标准ID最大值。");
    if (input.ext && id > kExtIdMax) return QStringLiteral("此ID值超出扩展ID最大值。");
    const std::optional<uint16_t> before = vex::ParseU16Cell(input.before.toStdString());
    if (!before) return vex::validateU16Cell(input.before);
    const std::optional<uint16_t> after = vex::ParseU16Cell(input.after.toStdString());
    if (!after) return vex::validateU16Cell(input.after);
    std::array<uint8_t, 8> data{};
    for (size_t i = 0; i < 8; ++i) {
        const std::optional<uint8_t> byte = vex::ParseHexByteCell(input.data[i].toStdString());
        if (!byte) return vex::validateHexByteCell(input.data[i]);
        data[i] = *byte;
    }
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
    : QDialog(parent),
      m_hub(hub),
      m_name(new QLineEdit(this)),
      m_database(new QPushButton(QStringLiteral("数据库"), this)),
      m_id(new QLineEdit(this)),
      m_std(new QRadioButton(QStringLiteral("标准ID"), this)),
      m_ext(new QRadioButton(QStringLiteral("扩展ID"), this)),
      m_chan0(new QRadioButton(QStringLiteral("通道 0"), this)),
      m_chan1(new QRadioButton(QStringLiteral("通道 1"), this)),
      m_before(new QLineEdit(this)),
      m_after(new QLineEdit(this)),
      m_count(new QLineEdit(this)),
      m_length(new QComboBox(this)) {
    setWindowTitle(QStringLiteral("添加发送报文"));
    m_id->setMaxLength(8);
    pair(this, m_std, m_ext);
    pair(this, m_chan0, m_chan1);
    for (int n = 1; n <= 8; ++n) m_length->addItem(QString::number(n));
    connect(m_length, &QComboBox::activated, this, &CExtSerQueueTxMsgAddDlg::OnLengthChosen);
    connect(m_database, &QPushButton::clicked, this, &CExtSerQueueTxMsgAddDlg::OnPickFromDatabase);
    m_database->setAutoDefault(false);

    auto* grid = new QGridLayout;
    int row = 0;
    auto label = [&](const char* utf8) {
        grid->addWidget(new QLabel(QString::fromUtf8(utf8), this), row, 0, Qt::AlignRight);
    };
    label("定义名称：");
    grid->addWidget(m_name, row, 1, 1, 2);
    grid->addWidget(m_database, row++, 3);
    label("ID值[HEX]：");
    grid->addWidget(m_id, row++, 1, 1, 2);
    label("ID类型：");
    grid->addWidget(m_std, row, 1);
    grid->addWidget(m_ext, row++, 2);
    label("通道：");
    grid->addWidget(m_chan0, row, 1);
    grid->addWidget(m_chan1, row++, 2);
    label("前延时[ms]：");
    grid->addWidget(m_before, row++, 1, 1, 2);
    label("后延时[ms]：");
    grid->addWidget(m_after, row++, 1, 1, 2);
    label("报文添加个数：");
    grid->addWidget(m_count, row++, 1, 1, 2);
    label("长度：");
    grid->addWidget(m_length, row++, 1);
    label("数据[HEX]：");
    auto* bytes = new QHBoxLayout;
    for (size_t i = 0; i < m_data.size(); ++i) {
        m_data[i] = new QLineEdit(this);
        m_data[i]->setObjectName(QStringLiteral("data%1").arg(i));
        m_data[i]->setFixedWidth(34);
        m_data[i]->setAlignment(Qt::AlignCenter);
        bytes->addWidget(m_data[i]);
    }
    grid->addLayout(bytes, row++, 1, 1, 3);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));
    ok->setDefault(true);
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &CExtSerQueueTxMsgAddDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    m_Msg.Chan = 1;
    m_Msg.DL = 8;
    m_Msg.BeforeDelayTime = 10;
    m_Msg.AfterDelayTime = 100;
    showRecord(m_Msg);
}

void CExtSerQueueTxMsgAddDlg::showRecord(const tCFG_SET_EXT_QUEUE_TX_MSG& record) {
    m_name->setText(QString::fromStdString(record.MsgName));
    m_id->setText(hex("%08X", record.MsgID));
    (record.Ext ? m_ext : m_std)->setChecked(true);
    (record.Chan ? m_chan1 : m_chan0)->setChecked(true);
    m_before->setText(QString::number(record.BeforeDelayTime));
    m_after->setText(QString::number(record.AfterDelayTime));
    m_count->setText(QString::number(m_Count));
    for (size_t i = 0; i < m_data.size(); ++i) m_data[i]->setText(hex("%02X", record.TxData[i]));
    m_length->setCurrentIndex(record.DL >= 1 && record.DL <= 8 ? record.DL - 1 : 7);
    OnLengthChosen();
}

QueueTxAddDlgInput CExtSerQueueTxMsgAddDlg::Input() const {
    QueueTxAddDlgInput in;
    in.name = m_name->text();
    in.idText = m_id->text();
    in.ext = m_ext->isChecked();
    in.chan = m_chan1->isChecked() ? 1 : 0;
    in.before = m_before->text();
    in.after = m_after->text();
    in.count = m_count->text();
    in.length = m_length->currentText();
    for (size_t i = 0; i < m_data.size(); ++i) in.data[i] = m_data[i]->text();
    return in;
}

void CExtSerQueueTxMsgAddDlg::OnLengthChosen() {
    const int32_t n = vex::ParseInt32(m_length->currentText().toStdString());
    for (size_t i = 0; i < m_data.size(); ++i) m_data[i]->setEnabled(static_cast<int32_t>(i) < n);
}

void CExtSerQueueTxMsgAddDlg::OnPickFromDatabase() {
    CCanDbSelectMsgDlg picker(m_hub, this);
    if (picker.exec() != QDialog::Accepted || picker.Results.empty()) return;
    TakeDatabaseMessage(picker.Results.back());
}

void CExtSerQueueTxMsgAddDlg::TakeDatabaseMessage(uint32_t key) {
    tCAN_MSG_GLOBAL_DATA entry;
    if (!m_hub.LookupGlobalMsg(key, entry)) {
        vex::ShowMessage(this, QStringLiteral("未知的错误。"));
        return;
    }
    const CCanMsg& msg = *entry.CanMsg;
    m_Msg.Parse = 1;
    m_Msg.CanMsg = msg;
    m_name->setText(QString::fromStdString(msg.Name));
    m_id->setText(hex(msg.Ext ? "%08X" : "%03X", msg.id));
    (msg.Ext ? m_ext : m_std)->setChecked(true);
    if (msg.DL >= 1 && msg.DL <= 8) {
        m_length->setCurrentIndex(msg.DL - 1);
        OnLengthChosen();
    }
    m_id->setReadOnly(true);
    m_std->setEnabled(false);
    m_ext->setEnabled(false);
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
