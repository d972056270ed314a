#include "ui/candb/pickdlgs.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/prompt.h"
#include "platform/util/utils.h"
#include "ui/candb/dlgbuttons.h"
#include "ui/candb/reportview.h"
#include "ui/candb/textrows.h"

using namespace candbui;

QStringList SignalPickCells(const CCanSignal& s) {
    auto num = [](double v) { return QString::fromStdString(DoubleToStr(v)); };
    return {QString::fromStdString(s.Name),
            QStringLiteral("%1%2").arg(s.Sign != 0 ? "INT" : "UINT").arg(s.BitLen),
            s.ByteFmtIntel != 0 ? QStringLiteral("INTEL") : QStringLiteral("MOTO"),
            QStringLiteral("(%1,%2)").arg(num(s.ValFactor), num(s.ValOffset)),
            QStringLiteral("[%1,%2]").arg(num(s.PhyMin), num(s.PhyMax)),
            QString::fromStdString(s.Unit)};
}

CRadioPickDlg::CRadioPickDlg(QStringList headers, std::vector<int> widths, QWidget* parent)
    : QDialog(parent) {
    m_model = new CTextRowsModel(std::move(headers), this);
    m_list = new CRadioListCtrl(this);
    m_list->setObjectName("listPick");
    m_list->EvenRowColor = 0xFFFFFF;
    m_list->OddRowColor = 0xFFFFFF;
    m_list->SelColor = 0x0080FF;
    m_list->RowHeight = 26;
    m_list->ApplyRowHeight();
    m_list->SetModel(m_model, widths);
    connect(m_list, &CReportList::rowDoubleClicked, this, &CRadioPickDlg::TickRow);
}

void CRadioPickDlg::TickRow(int row) {
    if (row < 0 || row >= m_model->rowCount()) return;
    for (int r = 0; r < m_model->rowCount(); ++r)
        if (m_model->Cell(r, 0) != (r == row ? "1" : "0")) m_model->SetCell(r, 0, r == row ? "1" : "0");
}

std::vector<tPICK_ROW> CRadioPickDlg::pickRows() const {
    std::vector<tPICK_ROW> rows;
    rows.reserve(static_cast<size_t>(m_model->rowCount()));
    for (int r = 0; r < m_model->rowCount(); ++r)
        rows.push_back({m_model->Cell(r, 0).toStdString(), m_model->Cell(r, 1).toStdString()});
    return rows;
}

void CRadioPickDlg::finishLayout(const QString& label, QWidget* extra, const QString& extraLabel) {
    QPushButton* ok = DlgButton(this, "确定", "btnOk");
    QPushButton* cancel = DlgButton(this, "取消", "btnCancel");
    auto* top = new QVBoxLayout(this);
    if (!label.isEmpty()) top->addWidget(new QLabel(label, this));
    top->addWidget(m_list, 1);
    if (extra != nullptr) {
        top->addWidget(new QLabel(extraLabel, this));
        top->addWidget(extra, 1);
    }
    top->addLayout(OkCancelRow(this, ok, cancel));
}

void CRadioPickDlg::closeOnPick(PickOutcome outcome, const std::string& message) {
    switch (outcome) {
        case PickOutcome::Taken:
            QDialog::accept();
            return;
        case PickOutcome::Empty:
            QDialog::reject();
            return;
        case PickOutcome::Refused:
            vex::ShowMessage(this, QString::fromStdString(message), vex::MsgButtons::Ok, vex::MsgIcon::None);
            return;
    }
}

CCanSignalFreeSelDlg::CCanSignalFreeSelDlg(const tCAN_DATABASE* db, CCanMsg msg, QWidget* parent)
    : CRadioPickDlg({QStringLiteral("选定"), QStringLiteral("名称"), QStringLiteral("数据类型"),
                     QStringLiteral("字节格式"), QStringLiteral("转换参数"), QStringLiteral("数值范围"),
                     QStringLiteral("单位")},
                    {60, 200, 100, 120, 180, 180, 80}, parent),
      m_db(db),
      m_msg(std::move(msg)) {
    setWindowTitle(QStringLiteral("信号导入"));
    std::vector<CTextRowsModel::Row> rows;
    if (m_db != nullptr)
        for (const CCanSignal& s : m_db->FreeSigMsg.Signals)
            rows.push_back({QStringList{QStringLiteral("0")} + SignalPickCells(s), 0});
    m_model->SetRows(std::move(rows));
    finishLayout({}, nullptr, {});
    resize(960, 420);
}

void CCanSignalFreeSelDlg::accept() {
    std::string message;
    const PickOutcome outcome = checkFreeSignalPick(m_db, m_msg, pickRows(), Signal, message);
    closeOnPick(outcome, message);
}

CCanSignalPublicEnumSelDlg::CCanSignalPublicEnumSelDlg(const tCAN_DATABASE* db, QWidget* parent)
    : CRadioPickDlg({QStringLiteral("选定"), QStringLiteral("名称")}, {60, 200}, parent), m_db(db) {
    setWindowTitle(QStringLiteral("全局枚举项列表"));
    std::vector<CTextRowsModel::Row> rows;
    if (m_db != nullptr)
        for (const tCAN_SIGNAL_ENUM& e : m_db->Enums)
            rows.push_back({{QStringLiteral("0"), QString::fromStdString(e.Name)}, 0});
    m_model->SetRows(std::move(rows));
    m_entries = new CTextRowsModel({QStringLiteral("数值[DEC]"), QStringLiteral("描述")}, this);
    auto* entryList = new CReportList(this);
    entryList->setObjectName("listEntries");
    entryList->SetModel(m_entries, {100, 260});
    connect(m_list, &CReportList::rowClicked, this, &CCanSignalPublicEnumSelDlg::ShowEntries);
    finishLayout(QStringLiteral("选择枚举项："), entryList, QStringLiteral("枚举项内容："));
    resize(420, 520);
}

void CCanSignalPublicEnumSelDlg::ShowEntries(int row) {
    if (row < 0 || row >= m_model->rowCount() || m_db == nullptr) return;
    const std::string name = m_model->Cell(row, 1).toStdString();
    for (const tCAN_SIGNAL_ENUM& e : m_db->Enums) {
        if (e.Name != name) continue;
        std::vector<CTextRowsModel::Row> rows;
        for (const tCAN_SIGNAL_ENUM_ITEM& item : e.Items)
            rows.push_back({{QString::number(item.val), QString::fromStdString(item.txt)}, 0});
        m_entries->SetRows(std::move(rows));
    }
}

void CCanSignalPublicEnumSelDlg::accept() {
    std::string message;
    const PickOutcome outcome = checkPublicEnumPick(m_db, pickRows(), Enum, message);
    closeOnPick(outcome, message);
}
