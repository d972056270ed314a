#include "windows/txmsgdlg.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <cstdio>
#include <optional>
#include <tuple>

#include "app/canmsgdatahub.h"
#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "windows/canselectmsgdlg.h"
#include "windows/cellvalue.h"
#include "windows/dlgbuttons.h"

namespace {

constexpr uint32_t kStdIdMax = 0x7FF;
constexpr uint32_t kExtIdMax = 0x1FFFFFFF;

QString hex(const char* pattern, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, pattern, value);
    return QString::fromLatin1(text);
}

}  // namespace

QString validateTxMsgIdText(const QString& text, uint32_t& id) {
    if (text.trimmed().isEmpty()) return QStringLiteral("报文ID值不能为空。");
    // Text that is no hexadecimal number is refused: read by its leading digits it would become another
    // identifier ("XYZ-1" would be 0).
    const std::optional<uint32_t> parsed = vex::ParseHexIdText(text.toStdString());
    if (!parsed) return QStringLiteral("报文ID值必须为十六进制数。");
    id = *parsed;
    return {};
}

QString validateTxMsgIdRange(uint32_t id, bool ext) {
    if (!ext && id > kStdIdMax) return QStringLiteral("此ID值超出标准ID最大值。");
    if (ext && id > kExtIdMax) return QStringLiteral("此ID值超出扩展ID最大值。");
    return {};
}

QString validateTxMsgData(const std::array<QString, 8>& texts, std::array<uint8_t, 8>& data) {
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::optional<uint8_t> byte = vex::ParseHexByteCell(texts[i].toStdString());
        if (!byte) return vex::validateHexByteCell(texts[i]);
        data[i] = *byte;
    }
    return {};
}

CTxMsgDlg::CTxMsgDlg(CCanMsgDataHub& hub, QWidget* parent)
    : QDialog(parent), m_hub(hub), m_grid(new QGridLayout) {
    setWindowTitle(QStringLiteral("添加发送报文"));
}

void CTxMsgDlg::addLabel(const char* utf8) {
    m_grid->addWidget(new QLabel(QString::fromUtf8(utf8), this), m_row, 0, Qt::AlignRight);
}

void CTxMsgDlg::AddIdRows() {
    m_name = new QLineEdit(this);
    m_database = new QPushButton(QStringLiteral("数据库"), this);
    m_id = new QLineEdit(this);
    m_id->setMaxLength(8);
    m_database->setAutoDefault(false);
    connect(m_database, &QPushButton::clicked, this, &CTxMsgDlg::OnPickFromDatabase);
    addLabel("定义名称：");
    m_grid->addWidget(m_name, m_row, 1, 1, 2);
    m_grid->addWidget(m_database, m_row++, 3);
    addLabel("ID值[HEX]：");
    m_grid->addWidget(m_id, m_row++, 1, 1, 2);
    std::tie(m_std, m_ext) = AddChoiceRow("ID类型：", "标准ID", "扩展ID");
}

std::pair<QRadioButton*, QRadioButton*> CTxMsgDlg::AddChoiceRow(const char* label, const char* first,
                                                                const char* second) {
    auto* one = new QRadioButton(QString::fromUtf8(first), this);
    auto* other = new QRadioButton(QString::fromUtf8(second), this);
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    group->addButton(one);
    group->addButton(other);
    addLabel(label);
    m_grid->addWidget(one, m_row, 1);
    m_grid->addWidget(other, m_row++, 2);
    return {one, other};
}

void CTxMsgDlg::AddChannelRow() {
    std::tie(m_chan0, m_chan1) = AddChoiceRow("通道：", "通道 0", "通道 1");
}

QLineEdit* CTxMsgDlg::AddEditRow(const char* label) {
    auto* edit = new QLineEdit(this);
    addLabel(label);
    m_grid->addWidget(edit, m_row++, 1, 1, 2);
    return edit;
}

void CTxMsgDlg::AddLengthAndDataRows() {
    m_length = new QComboBox(this);
    for (int n = 1; n <= 8; ++n) m_length->addItem(QString::number(n));
    connect(m_length, &QComboBox::activated, this, &CTxMsgDlg::OnLengthChosen);
    addLabel("长度：");
    m_grid->addWidget(m_length, m_row++, 1);
    addLabel("数据[HEX]：");
    auto* bytes = new QHBoxLayout;
    for (size_t i = 0; i < m_data.size(); ++i) {
        m_data[i] = new QLineEdit(this);
        m_data[i]->setObjectName(QStringLiteral("data%1").arg(i));
        m_data[i]->setFixedWidth(34);
        m_data[i]->setAlignment(Qt::AlignCenter);
        bytes->addWidget(m_data[i]);
    }
    m_grid->addLayout(bytes, m_row++, 1, 1, 3);
}

void CTxMsgDlg::AddButtonRow() {
    const vex::OkCancelButtons buttons = vex::LayOutOkCancel(*this, m_grid);
    connect(buttons.ok, &QPushButton::clicked, this, &CTxMsgDlg::OnOK);
}

void CTxMsgDlg::showFrame(const std::string& name, uint32_t id, bool ext, uint8_t chan,
                          const uint8_t (&data)[8]) {
    m_name->setText(QString::fromStdString(name));
    m_id->setText(hex("%08X", id));
    (ext ? m_ext : m_std)->setChecked(true);
    (chan ? m_chan1 : m_chan0)->setChecked(true);
    for (size_t i = 0; i < m_data.size(); ++i) m_data[i]->setText(hex("%02X", data[i]));
}

void CTxMsgDlg::EnableDataBelow(int32_t length) {
    for (size_t i = 0; i < m_data.size(); ++i) m_data[i]->setEnabled(static_cast<int32_t>(i) < length);
}

void CTxMsgDlg::OnLengthChosen() {
    EnableDataBelow(vex::ParseInt32(m_length->currentText().toStdString()));
}

void CTxMsgDlg::OnPickFromDatabase() {
    CCanDbSelectMsgDlg picker(m_hub, this);
    picker.Exclusions = PickerExclusions();
    if (picker.exec() != QDialog::Accepted || picker.Results.empty()) return;
    TakeDatabaseMessage(picker.Results.back());
}

std::shared_ptr<const CCanMsg> CTxMsgDlg::showDatabaseMessage(uint32_t key) {
    tCAN_MSG_GLOBAL_DATA entry;
    if (!m_hub.LookupGlobalMsg(key, entry)) {
        vex::ShowMessage(this, QStringLiteral("未知的错误。"));
        return nullptr;
    }
    const CCanMsg& msg = *entry.CanMsg;
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
    return entry.CanMsg;
}
