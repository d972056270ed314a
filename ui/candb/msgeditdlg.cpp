#include "ui/candb/msgeditdlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

#include "platform/qt/prompt.h"
#include "ui/candb/bitgrid.h"
#include "ui/candb/dbdialogs.h"
#include "ui/candb/dlgbuttons.h"
#include "ui/candb/reportview.h"
#include "ui/candb/signaleditdlg.h"
#include "ui/candb/textrows.h"

using namespace candbui;

namespace {

CTextRowsModel::Row rowOf(const CCanSignal& s) {
    return {{QString::fromStdString(s.Name), QString::fromStdString(SignalPlaceText(s))}, 0};
}

}  // namespace

CCanMsgEditDlg::CCanMsgEditDlg(const tCAN_DATABASE* db, uint8_t mode, CCanMsg msg, std::string preselSignal,
                               QWidget* parent)
    : QDialog(parent),
      Msg(std::move(msg)),
      m_db(db),
      m_mode(mode),
      m_origId(Msg.id),
      m_presel(std::move(preselSignal)) {
    setWindowTitle(QStringLiteral("报文"));
    char id[16];
    std::snprintf(id, sizeof id, Msg.Ext != 0 ? "%08X" : "%03X", Msg.id);
    m_name = new QLineEdit(QString::fromStdString(Msg.Name), this);
    m_id = new QLineEdit(QString::fromLatin1(id), this);
    m_ext = new QCheckBox(QStringLiteral("扩展ID"), this);
    m_ext->setChecked(Msg.Ext != 0);
    m_dl = new QLineEdit(QString::number(Msg.DL), this);
    m_name->setObjectName("editName");
    m_id->setObjectName("editId");
    m_ext->setObjectName("chkExt");
    m_dl->setObjectName("editDl");

    m_model = new CTextRowsModel({QStringLiteral("信号"), QStringLiteral("位置")}, this);
    m_list = new CReportList(this);
    m_list->setObjectName("listSignals");
    m_list->SetModel(m_model, {200, 60});
    for (size_t i = 0; i < Msg.Signals.size(); ++i) {
        appendRow(Msg.Signals[i]);
        if (!m_presel.empty() && Msg.Signals[i].Name == m_presel) m_selRow = static_cast<int>(i);
    }
    m_grid = new CMsgBitGrid(Msg, this);

    QPushButton* import = DlgButton(this, "导入", "btnImport");
    QPushButton* add = DlgButton(this, "新增", "btnNew");
    QPushButton* edit = DlgButton(this, "编辑", "btnEdit");
    QPushButton* remove = DlgButton(this, "移除", "btnRemove");
    QPushButton* ok = DlgButton(this, "确定", "btnOk");
    QPushButton* cancel = DlgButton(this, "取消", "btnCancel");
    connect(import, &QPushButton::clicked, this, &CCanMsgEditDlg::OnImportSignal);
    connect(add, &QPushButton::clicked, this, &CCanMsgEditDlg::OnNewSignal);
    connect(edit, &QPushButton::clicked, this, &CCanMsgEditDlg::OnEditSignal);
    connect(remove, &QPushButton::clicked, this, &CCanMsgEditDlg::OnRemoveSignal);
    connect(m_list, &CReportList::rowClicked, this, &CCanMsgEditDlg::OnRowClicked);
    connect(m_list, &CReportList::rowDoubleClicked, this, [this](int row) {
        OnRowClicked(row);
        OnEditSignal();
    });
    connect(m_grid, &CMsgBitGrid::signalPressed, this, [this](int index) {
        m_list->setFocus();
        selectRow(index);
    });
    connect(m_grid, &CMsgBitGrid::signalMoved, this,
            [this](int index) { setRow(index, Msg.Signals[static_cast<size_t>(index)]); });

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("名称："), this), 0, 0);
    fields->addWidget(m_name, 0, 1, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("ID[HEX]："), this), 1, 0);
    fields->addWidget(m_id, 1, 1);
    fields->addWidget(m_ext, 1, 2);
    fields->addWidget(new QLabel(QStringLiteral("数据长度："), this), 2, 0);
    fields->addWidget(m_dl, 2, 1);
    auto* listButtons = new QHBoxLayout;
    for (QPushButton* b : {import, add, edit, remove}) listButtons->addWidget(b);
    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addWidget(m_list, 1);
    left->addLayout(listButtons);
    auto* body = new QHBoxLayout;
    body->addLayout(left);
    body->addWidget(m_grid, 1);
    auto* top = new QVBoxLayout(this);
    top->addLayout(body, 1);
    top->addLayout(OkCancelRow(this, ok, cancel));
    if (m_selRow >= 0) m_list->SelectRow(m_selRow);
    resize(900, 480);
}

void CCanMsgEditDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_presel.empty() && !m_ticked) QTimer::singleShot(100, this, &CCanMsgEditDlg::OnTimer);
}

void CCanMsgEditDlg::OnTimer() {
    if (m_ticked) return;
    m_ticked = true;
    if (!m_presel.empty()) OnEditSignal();
}

tMSG_EDIT_FIELDS CCanMsgEditDlg::Fields() const {
    return {m_name->text().toStdString(), m_id->text().toStdString(), m_ext->isChecked(),
            m_dl->text().toStdString()};
}

void CCanMsgEditDlg::appendRow(const CCanSignal& signal) {
    m_model->Append(rowOf(signal));
}

void CCanMsgEditDlg::setRow(int row, const CCanSignal& signal) {
    m_model->Set(row, rowOf(signal));
}

void CCanMsgEditDlg::selectRow(int row) {
    m_selRow = row;
    m_list->SelectRow(row);
}

void CCanMsgEditDlg::OnRowClicked(int row) {
    m_selRow = row;
    if (row >= 0) m_grid->SetSelSignal(row);
}

void CCanMsgEditDlg::OnNewSignal() {
    CCanSignal signal = CCanSignalEditDlg::DefaultSignal();
    if (!CurrentDbDialogs().EditSignal(this, m_db, Msg, signal)) return;
    Msg.Signals.push_back(signal);
    appendRow(signal);
    m_grid->Rebuild();
}

void CCanMsgEditDlg::OnImportSignal() {
    CCanSignal signal;
    if (!CurrentDbDialogs().PickFreeSignal(this, m_db, Msg, signal)) return;
    Msg.Signals.push_back(signal);
    appendRow(signal);
    m_grid->Rebuild();
}

void CCanMsgEditDlg::OnEditSignal() {
    if (m_selRow < 0 || m_selRow >= m_model->rowCount()) {
        if (m_model->rowCount() > 0) vex::ShowMessage(this, QString::fromUtf8(kSelectRowFirst));
        return;
    }
    const auto index = static_cast<size_t>(m_selRow);
    CCanSignal signal = Msg.Signals[index];
    if (!CurrentDbDialogs().EditSignal(this, m_db, Msg, signal)) return;
    Msg.Signals[index] = signal;
    setRow(m_selRow, signal);
    m_grid->Rebuild();
}

void CCanMsgEditDlg::OnRemoveSignal() {
    if (m_selRow < 0 || m_selRow >= m_model->rowCount()) {
        if (m_model->rowCount() > 0) vex::ShowMessage(this, QString::fromUtf8(kSelectRowFirst));
        return;
    }
    Msg.Signals.erase(Msg.Signals.begin() + m_selRow);
    m_model->Remove(m_selRow);
    m_selRow = -1;
    m_list->clearSelection();
    m_grid->SetSelSignal(-1);
}

void CCanMsgEditDlg::accept() {
    const tMSG_EDIT_FIELDS f = Fields();
    if (const auto fail = validateMsgEdit(m_db, f, m_mode, m_origId, Msg)) {
        vex::ShowMessage(this, QString::fromStdString(*fail));
        return;
    }
    Msg.Name = f.Name;
    Msg.id = *ReadHexIdField(f.IdText);
    Msg.Ext = f.Ext ? 1 : 0;
    Msg.DL = *ReadByteField(f.DlText);
    QDialog::accept();
}
