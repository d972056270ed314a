#include "ui/candb/enumdlgs.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "config/regconfig.h"
#include "platform/numparse.h"
#include "platform/qt/prompt.h"
#include "ui/candb/dbdialogs.h"
#include "ui/candb/dbeditcheck.h"
#include "ui/candb/dlgbuttons.h"
#include "ui/candb/reportview.h"

namespace candbui {

CEnumItemsPane::CEnumItemsPane(tCAN_SIGNAL_ENUM& table, QWidget* parent) : QWidget(parent), m_table(table) {
    m_model = new CTextRowsModel({QStringLiteral("数值[DEC]"), QStringLiteral("描述")}, this);
    m_list = new CReportList(this);
    m_list->setObjectName("listItems");
    m_list->SetModel(m_model, {100, 260});
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(m_list);
    connect(m_list, &CReportList::rowClicked, this, [this](int row) { m_selRow = row; });
    Reload();
}

CTextRowsModel::Row CEnumItemsPane::rowOf(const tCAN_SIGNAL_ENUM_ITEM& item) {
    return {{QString::number(item.val), QString::fromStdString(item.txt)}, 0};
}

void CEnumItemsPane::Reload() {
    std::vector<CTextRowsModel::Row> rows;
    rows.reserve(m_table.Items.size());
    for (const tCAN_SIGNAL_ENUM_ITEM& item : m_table.Items) rows.push_back(rowOf(item));
    m_model->SetRows(std::move(rows));
    m_selRow = -1;
}

int CEnumItemsPane::entryOfRow(int row) const {
    if (row < 0 || row >= m_model->rowCount()) return -1;
    const std::string text = m_model->Cell(row, 1).toStdString();
    const int32_t value = vex::ParseInt32(m_model->Cell(row, 0).toStdString());
    for (size_t i = 0; i < m_table.Items.size(); ++i)
        if (m_table.Items[i].txt == text && m_table.Items[i].val == value) return static_cast<int>(i);
    return -1;
}

void CEnumItemsPane::OnAddItem() {
    std::string text;
    int32_t value = 0;
    if (!CurrentDbDialogs().EditEnumItem(window(), kEnumItemNew, m_table, text, value)) return;
    m_table.Items.push_back({text, value});
    m_model->Append(rowOf(m_table.Items.back()));
}

void CEnumItemsPane::OnEditItem() {
    if (m_selRow < 0) {
        if (m_model->rowCount() > 0) vex::ShowMessage(window(), QString::fromUtf8(kSelectRowFirst));
        return;
    }
    const int entry = entryOfRow(m_selRow);
    if (entry < 0) return;
    tCAN_SIGNAL_ENUM_ITEM& item = m_table.Items[static_cast<size_t>(entry)];
    std::string text = item.txt;
    int32_t value = item.val;
    if (!CurrentDbDialogs().EditEnumItem(window(), kEnumItemEdit, m_table, text, value)) return;
    item = {text, value};
    m_model->Set(m_selRow, rowOf(item));
}

void CEnumItemsPane::OnRemoveItem() {
    if (m_selRow < 0) {
        if (m_model->rowCount() > 0) vex::ShowMessage(window(), QString::fromUtf8(kSelectRowFirst));
        return;
    }
    const int entry = entryOfRow(m_selRow);
    if (entry < 0) return;
    m_table.Items.erase(m_table.Items.begin() + entry);
    m_model->Remove(m_selRow);
    m_selRow = -1;
}

}  // namespace candbui

using namespace candbui;

namespace {}  // namespace

CCanSignalEnumEditDlg::CCanSignalEnumEditDlg(const tCAN_DATABASE* db, tCAN_SIGNAL_ENUM table, QWidget* parent)
    : QDialog(parent), Enum(std::move(table)), m_db(db), m_origName(Enum.Name) {
    setWindowTitle(QStringLiteral("枚举项"));
    m_name = new QLineEdit(QString::fromStdString(Enum.Name), this);
    m_name->setObjectName("editName");
    m_items = new CEnumItemsPane(Enum, this);
    QPushButton* add = DlgButton(this, "新增", "btnAdd");
    QPushButton* edit = DlgButton(this, "编辑", "btnEdit");
    QPushButton* remove = DlgButton(this, "移除", "btnRemove");
    QPushButton* ok = DlgButton(this, "确定", "btnOk");
    QPushButton* cancel = DlgButton(this, "取消", "btnCancel");
    connect(add, &QPushButton::clicked, m_items, &CEnumItemsPane::OnAddItem);
    connect(edit, &QPushButton::clicked, m_items, &CEnumItemsPane::OnEditItem);
    connect(remove, &QPushButton::clicked, m_items, &CEnumItemsPane::OnRemoveItem);
    connect(m_items->list(), &CReportList::rowDoubleClicked, m_items, [this](int) { m_items->OnEditItem(); });

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("枚举项名称："), this));
    nameRow->addWidget(m_name, 1);
    auto* top = new QVBoxLayout(this);
    top->addLayout(nameRow);
    top->addLayout(PaneWithButtons(m_items, {add, edit, remove}), 1);
    top->addLayout(OkCancelRow(this, ok, cancel));
    resize(500, 360);
}

void CCanSignalEnumEditDlg::accept() {
    const std::string name = m_name->text().toStdString();
    if (const auto fail = validateEnumEdit(name, m_origName, m_db)) {
        vex::ShowMessage(this, QString::fromStdString(*fail), vex::MsgButtons::Ok, vex::MsgIcon::None);
        return;
    }
    Enum.Name = name;
    QDialog::accept();
}

CCanSignalEnumItemEditDlg::CCanSignalEnumItemEditDlg(uint8_t mode, tCAN_SIGNAL_ENUM table, std::string text,
                                                     int32_t value, QWidget* parent)
    : QDialog(parent), m_mode(mode), m_table(std::move(table)) {
    setWindowTitle(QStringLiteral("枚举内容"));
    if (mode == kEnumItemNew) {
        ItemText.clear();
        ItemVal = ProposedEnumItemValue(CAppRegConfig().dwLastAddEnumItemVal);
    } else {
        ItemText = std::move(text);
        ItemVal = value;
    }
    m_origText = ItemText;
    m_origVal = ItemVal;
    m_text = new QLineEdit(QString::fromStdString(ItemText), this);
    m_value = new QLineEdit(QString::number(ItemVal), this);
    m_text->setObjectName("editText");
    m_value->setObjectName("editValue");
    // Digits only, with the sign a negative value is shown with.
    m_value->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]*")), m_value));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("描述："), m_text);
    form->addRow(QStringLiteral("数值[DEC]："), m_value);
    QPushButton* ok = DlgButton(this, "确定", "btnOk");
    QPushButton* cancel = DlgButton(this, "取消", "btnCancel");
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addLayout(OkCancelRow(this, ok, cancel));
}

void CCanSignalEnumItemEditDlg::accept() {
    const std::string text = m_text->text().toStdString();
    int32_t value = 0;
    if (const auto fail = validateEnumItem(m_mode, text, m_value->text().toStdString(), m_origText, m_origVal,
                                           m_table, &value)) {
        vex::ShowMessage(this, QString::fromStdString(*fail), vex::MsgButtons::Ok, vex::MsgIcon::None);
        return;
    }
    ItemText = text;
    ItemVal = value;
    if (m_mode == kEnumItemNew) {
        CAppRegConfig reg;
        reg.dwLastAddEnumItemVal = static_cast<uint32_t>(value);
    }
    QDialog::accept();
}
