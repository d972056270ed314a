#include "ui/candb/signaleditdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "platform/qt/prompt.h"
#include "ui/candb/dbdialogs.h"
#include "ui/candb/dlgbuttons.h"
#include "ui/candb/enumdlgs.h"
#include "ui/candb/reportview.h"

using namespace candbui;

namespace {

const QString kSigned = QStringLiteral("有符号");
const QString kUnsigned = QStringLiteral("无符号");
const QString kIntel = QStringLiteral("INTEL");
const QString kMotorola = QStringLiteral("MOTOROLA");

QString real(double v) {
    return QString::number(v, 'g', 15);
}

}  // namespace

CCanSignal CCanSignalEditDlg::DefaultSignal() {
    CCanSignal s;
    s.BitLen = 8;
    s.ByteFmtIntel = 1;
    return s;
}

QLineEdit* CCanSignalEditDlg::edit(const char* name, const QString& text) {
    auto* e = new QLineEdit(text, this);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

CCanSignalEditDlg::CCanSignalEditDlg(const tCAN_DATABASE* db, CCanMsg msg, CCanSignal signal, QWidget* parent)
    : QDialog(parent), Signal(std::move(signal)), m_db(db), m_msg(std::move(msg)), m_origName(Signal.Name) {
    setWindowTitle(QStringLiteral("信号"));
    m_name = edit("editName", QString::fromStdString(Signal.Name));
    m_sign = new QComboBox(this);
    m_sign->setObjectName("comboSign");
    m_sign->addItems({kSigned, kUnsigned});
    m_sign->setCurrentText(Signal.Sign != 0 ? kSigned : kUnsigned);
    m_bitLen = edit("editBitLen", QString::number(Signal.BitLen));
    m_bitLen->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_bitLen));
    m_byteFmt = new QComboBox(this);
    m_byteFmt->setObjectName("comboByteFmt");
    m_byteFmt->addItems({kIntel, kMotorola});
    m_byteFmt->setCurrentText(Signal.ByteFmtIntel != 0 ? kIntel : kMotorola);
    m_startBit = edit("editStartBit", QString::number(Signal.BitOffset));
    m_startBit->setReadOnly(true);
    m_factor = edit("editFactor", real(Signal.ValFactor));
    m_offset = edit("editOffset", real(Signal.ValOffset));
    m_min = edit("editMin", real(Signal.PhyMin));
    m_max = edit("editMax", real(Signal.PhyMax));
    m_unit = edit("editUnit", QString::fromStdString(Signal.Unit));
    QPushButton* range = DlgButton(this, "计算最大最小值", "btnRange");
    m_enum = new QCheckBox(QStringLiteral("枚举"), this);
    m_enum->setObjectName("chkEnum");
    m_enum->setChecked(Signal.Enum != 0);
    m_items = new CEnumItemsPane(Signal.SigEnum, this);
    m_import = DlgButton(this, "导入", "btnImport");
    m_add = DlgButton(this, "新增", "btnAdd");
    m_editItem = DlgButton(this, "编辑", "btnEdit");
    m_remove = DlgButton(this, "移除", "btnRemove");
    QPushButton* ok = DlgButton(this, "确定", "btnOk");
    QPushButton* cancel = DlgButton(this, "取消", "btnCancel");

    connect(range, &QPushButton::clicked, this, &CCanSignalEditDlg::OnComputeRange);
    connect(m_enum, &QCheckBox::clicked, this, &CCanSignalEditDlg::OnEnumCheck);
    connect(m_import, &QPushButton::clicked, this, &CCanSignalEditDlg::OnImportEnum);
    connect(m_add, &QPushButton::clicked, m_items, &CEnumItemsPane::OnAddItem);
    connect(m_editItem, &QPushButton::clicked, m_items, &CEnumItemsPane::OnEditItem);
    connect(m_remove, &QPushButton::clicked, m_items, &CEnumItemsPane::OnRemoveItem);

    auto* grid = new QGridLayout;
    // A label and its field side by side, from the row and column on.
    auto field = [this, grid](const char* text, QWidget* widget, int row, int column) {
        grid->addWidget(new QLabel(QString::fromUtf8(text), this), row, column);
        grid->addWidget(widget, row, column + 1);
    };
    grid->addWidget(new QLabel(QStringLiteral("名称："), this), 0, 0);
    grid->addWidget(m_name, 0, 1, 1, 3);
    field("符号类型：", m_sign, 1, 0);
    field("位长度：", m_bitLen, 1, 2);
    field("字节格式：", m_byteFmt, 2, 0);
    field("起始位：", m_startBit, 2, 2);
    field("转换因子：", m_factor, 3, 0);
    field("转换偏移：", m_offset, 3, 2);
    field("最小值：", m_min, 4, 0);
    field("最大值：", m_max, 4, 2);
    grid->addWidget(range, 5, 3);
    field("单位：", m_unit, 5, 0);
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addWidget(m_enum);
    top->addLayout(PaneWithButtons(m_items, {m_import, m_add, m_editItem, m_remove}), 1);
    top->addLayout(OkCancelRow(this, ok, cancel));
    OnEnumCheck();
    resize(560, 560);
}

tSIGNAL_EDIT_FIELDS CCanSignalEditDlg::Fields() const {
    tSIGNAL_EDIT_FIELDS f;
    f.Name = m_name->text().toStdString();
    f.Signed = m_sign->currentText() == kSigned;
    f.BitLen = m_bitLen->text().toStdString();
    f.Intel = m_byteFmt->currentText() == kIntel;
    f.Factor = m_factor->text().toStdString();
    f.Offset = m_offset->text().toStdString();
    f.Min = m_min->text().toStdString();
    f.Max = m_max->text().toStdString();
    f.Unit = m_unit->text().toStdString();
    f.EnumOn = m_enum->isChecked();
    return f;
}

void CCanSignalEditDlg::OnComputeRange() {
    std::string message;
    const auto range = ComputeSignalRange(Fields(), &message);
    if (!range) {
        vex::ShowMessage(this, QString::fromStdString(message), vex::MsgButtons::Ok, vex::MsgIcon::None);
        return;
    }
    m_min->setText(real(range->first));
    m_max->setText(real(range->second));
}

void CCanSignalEditDlg::OnEnumCheck() {
    const bool on = m_enum->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_items, m_import, m_add, m_editItem, m_remove})
        w->setEnabled(on);
}

void CCanSignalEditDlg::OnImportEnum() {
    tCAN_SIGNAL_ENUM table;
    if (!CurrentDbDialogs().PickPublicEnum(this, m_db, table)) return;
    Signal.SigEnum = table;
    m_items->Reload();
}

void CCanSignalEditDlg::accept() {
    const tSIGNAL_EDIT_FIELDS f = Fields();
    if (const auto fail = validateSignalEdit(f, m_origName, m_msg)) {
        vex::ShowMessage(this, QString::fromStdString(*fail), vex::MsgButtons::Ok, vex::MsgIcon::None);
        return;
    }
    ApplySignalEdit(f, Signal);
    QDialog::accept();
}
