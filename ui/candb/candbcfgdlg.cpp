#include "ui/candb/candbcfgdlg.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/canworkspace.h"
#include "app/infomsgring.h"
#include "candb/dbcfile.h"
#include "platform/qt/prompt.h"
#include "ui/candb/dbdialogs.h"
#include "ui/candb/dblistops.h"
#include "ui/candb/dlgbuttons.h"
#include "ui/candb/reportview.h"
#include "ui/candb/textrows.h"

using namespace candbui;

namespace {

const QString kDbcFilter = QStringLiteral("dbc files(*.dbc);;所有文件(*.*)");
const QString kSelectFirst = QStringLiteral("请选中其中一项进行操作。");

vex::LocalTime utcNow() {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return {now.date().year(),   now.date().month(),  now.date().day(), now.time().hour(),
            now.time().minute(), now.time().second(), now.time().msec()};
}

}  // namespace

CCanDbCfgDlg::CCanDbCfgDlg(CCanWorkspace& ws, QWidget* parent) : QDialog(parent), m_ws(ws) {
    setWindowTitle(QStringLiteral("CAN数据库配置"));
    m_model = new CTextRowsModel({QStringLiteral("名称"), QStringLiteral("版本"), QStringLiteral("作者"),
                                  QStringLiteral("最后编辑日期时间"), QStringLiteral("描述")},
                                 this);
    m_list = new CReportList(this);
    m_list->setObjectName("listDb");
    m_list->SetModel(m_model, {200, 120, 120, 250, 250});
    for (size_t i = 0; i < m_ws.Cfg().CanDatabases.size(); ++i) appendRow(static_cast<int>(i));

    QPushButton* import = DlgButton(this, "导入", "btnImport");
    QPushButton* add = DlgButton(this, "新增", "btnNew");
    QPushButton* edit = DlgButton(this, "编辑", "btnEdit");
    QPushButton* exportBtn = DlgButton(this, "导出", "btnExport");
    QPushButton* remove = DlgButton(this, "删除", "btnDelete");
    QPushButton* ok = DlgButton(this, "确定", "btnOk");
    ok->setDefault(true);
    connect(import, &QPushButton::clicked, this, &CCanDbCfgDlg::OnImportDbc);
    connect(add, &QPushButton::clicked, this, &CCanDbCfgDlg::OnNewDb);
    connect(edit, &QPushButton::clicked, this, &CCanDbCfgDlg::OnEditDb);
    connect(exportBtn, &QPushButton::clicked, this, &CCanDbCfgDlg::OnExportDbc);
    connect(remove, &QPushButton::clicked, this, &CCanDbCfgDlg::OnDeleteDb);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list, &CReportList::rowClicked, this, &CCanDbCfgDlg::OnRowClicked);
    connect(m_list, &CReportList::rowDoubleClicked, this, &CCanDbCfgDlg::OnRowDoubleClicked);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {import, add, edit, exportBtn, remove}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel(QStringLiteral("CAN数据库列表："), this));
    top->addWidget(m_list, 1);
    top->addLayout(buttons);
    resize(980, 420);
}

void CCanDbCfgDlg::setRow(int row) {
    const tCFG_CAN_DATABASE& e = m_ws.Cfg().CanDatabases[static_cast<size_t>(row)];
    auto qs = [](const std::string& s) { return QString::fromStdString(s); };
    m_model->Set(row, {{qs(e.Name), qs(e.Database.FileVer), qs(e.Database.Author),
                        qs(e.Database.LastEditDateTime), qs(e.Database.ProDes)},
                       0});
}

void CCanDbCfgDlg::appendRow(int entry) {
    m_model->Append({});
    setRow(entry);
}

void CCanDbCfgDlg::selectRow(int row) {
    m_selRow = row;
    m_list->SelectRow(row);
}

void CCanDbCfgDlg::OnRowClicked(int row) {
    m_selRow = row;
}

void CCanDbCfgDlg::OnRowDoubleClicked(int row) {
    m_selRow = row;
    if (row >= 0) OnEditDb();
}

void CCanDbCfgDlg::OnNewDb() {
    std::vector<tCFG_CAN_DATABASE>& list = m_ws.Cfg().CanDatabases;
    list.push_back(MakeNewDbEntry(list, vex::NowLocal(), utcNow()));
    appendRow(static_cast<int>(list.size()) - 1);
    selectRow(static_cast<int>(list.size()) - 1);
    OnEditDb();
}

void CCanDbCfgDlg::OnEditDb() {
    std::vector<tCFG_CAN_DATABASE>& list = m_ws.Cfg().CanDatabases;
    if (m_selRow < 0) {
        if (m_model->rowCount() > 0) vex::ShowMessage(this, kSelectFirst);
        return;
    }
    if (static_cast<size_t>(m_selRow) >= list.size()) return;
    const auto at = static_cast<size_t>(m_selRow);
    tCFG_CAN_DATABASE entry = list[at];
    if (!CurrentDbDialogs().EditDatabase(this, &list, entry)) return;
    list[at].Database = std::move(entry.Database);
    list[at].Name = std::move(entry.Name);
    list[at].FirstAddFlag = entry.FirstAddFlag;
    setRow(m_selRow);
}

void CCanDbCfgDlg::OnDeleteDb() {
    std::vector<tCFG_CAN_DATABASE>& list = m_ws.Cfg().CanDatabases;
    if (m_selRow < 0) {
        if (m_model->rowCount() > 0) vex::ShowMessage(this, kSelectFirst);
        return;
    }
    if (static_cast<size_t>(m_selRow) >= list.size()) return;
    list.erase(list.begin() + m_selRow);
    m_model->Remove(m_selRow);
    m_selRow = -1;
    m_list->clearSelection();
}

void CCanDbCfgDlg::OnImportDbc() {
    const QString path = vex::CurrentPrompt().openFile(this, QStringLiteral("导入"), QString(), kDbcFilter);
    if (path.isEmpty()) return;
    std::vector<tCFG_CAN_DATABASE>& list = m_ws.Cfg().CanDatabases;
    const tDBC_IMPORT_OUTCOME out = ImportDbcIntoList(list, path.toStdString(), vex::NowLocal());
    if (!out.infoText.empty())
        PushInfoMsgNow(m_ws.InfoRing(), kImportSource, out.infoLevel, out.infoText, out.infoDetails);
    if (out.showBox)
        vex::ShowMessage(this, QString::fromStdString(out.boxText.empty() ? out.infoText : out.boxText));
    if (!out.added) return;
    appendRow(static_cast<int>(list.size()) - 1);
    selectRow(static_cast<int>(list.size()) - 1);
    OnEditDb();
}

void CCanDbCfgDlg::OnExportDbc() {
    const std::vector<tCFG_CAN_DATABASE>& list = m_ws.Cfg().CanDatabases;
    if (m_selRow < 0 || static_cast<size_t>(m_selRow) >= list.size()) {
        if (m_selRow < 0 && m_model->rowCount() > 0) vex::ShowMessage(this, kSelectFirst);
        vex::ShowMessage(this, QStringLiteral("未知的错误。"));
        return;
    }
    const QString path = vex::CurrentPrompt().saveFile(this, QStringLiteral("导出"), QString(), kDbcFilter);
    if (path.isEmpty()) {
        // The chooser was cancelled: nothing to store.
        return;
    }
    std::string error;
    if (!WriteDbcFile(list[static_cast<size_t>(m_selRow)].Database, path.toStdString(), &error))
        vex::CurrentPrompt().message(
            this,
            QStringLiteral("DBC文件没有保存：无法写入文件 %1：%2").arg(path, QString::fromStdString(error)),
            QStringLiteral("文件存储"), vex::MsgButtons::Ok, vex::MsgIcon::Warning);
}
