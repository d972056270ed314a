#include "ui/logging/sigmdfexportdlg.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "app/canmsgdatahub.h"
#include "logging/logcvtjob.h"
#include "platform/qt/prompt.h"
#include "platform/util/utils.h"

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString idText(uint32_t key) {
    return QString::number(key & 0x1FFFFFFFu, 16).toUpper();
}

// Identifier columns are 90 pixels, not 120: eight hexadecimal digits of the list font take about 75, and
// the 60 pixels saved let the default size show every column of both lists on a screen 1,366 pixels wide.
constexpr int kIdColumnWidth = 90;

// The width at which a list shows all its columns beside a vertical scroll bar.
int fullListWidth(const QTableView* view) {
    return view->horizontalHeader()->length() + 2 * view->frameWidth() +
           view->verticalScrollBar()->sizeHint().width();
}

QString idType(uint32_t key) {
    return (key & 0x40000000u) != 0 ? QStringLiteral("ext") : QStringLiteral("std");
}

}  // namespace

// ---- Progress ----

CTkCanMsgLogFileToSigMdfProgressDlg::CTkCanMsgLogFileToSigMdfProgressDlg(
    CCanMsgFile* log, std::span<const tEXPORT_SIG_SEL> selection, const ExportMsgLookup& lookup,
    std::string path, uint32_t count, QWidget* parent)
    : CTkProgressDlg(QStringLiteral("中断"), parent) {
    if (log == nullptr || selection.empty() || path.empty() || count == 0) return;
    std::vector<tEXPORT_MSG> list;
    if (!BuildExportList(selection, lookup, list, m_BuildError)) return;
    m_Job = std::make_unique<CSigMdfExportJob>(*log, count, std::move(list), std::move(path));
    SetJob(m_Job.get());
}

CTkCanMsgLogFileToSigMdfProgressDlg::~CTkCanMsgLogFileToSigMdfProgressDlg() {
    finishJob();
}

int CTkCanMsgLogFileToSigMdfProgressDlg::exec() {
    return m_Job ? CTkProgressDlg::exec() : QDialog::Rejected;
}

std::string CTkCanMsgLogFileToSigMdfProgressDlg::Error() const {
    return m_Job ? m_Job->Error() : m_BuildError;
}

QString CTkCanMsgLogFileToSigMdfProgressDlg::statusOf(const CLogToolJob& job) const {
    return TkStatusText(job, QStringLiteral("开始导出..."), QStringLiteral("导出完成..."),
                        QStringLiteral("导出错误..."));
}

// ---- Reading the log ----

CTkLogScanProgressDlg::CTkLogScanProgressDlg(CLogScanJob& job, const std::string& path, QWidget* parent)
    : CTkProgressDlg(QStringLiteral("中断"), parent) {
    addField(QStringLiteral("记录文件："), qs(path));
    SetJob(&job);
}

CTkLogScanProgressDlg::~CTkLogScanProgressDlg() {
    finishJob();
}

QString CTkLogScanProgressDlg::statusOf(const CLogToolJob& job) const {
    return TkStatusText(job, QStringLiteral("正在读取记录文件..."), QStringLiteral("读取完成..."),
                        QStringLiteral("读取错误..."));
}

// ---- Export dialog ----

CTkCanMsgLogFileToSigMdfDlg::CTkCanMsgLogFileToSigMdfDlg(CCanMsgDataHub& hub, DbEditor editor,
                                                         QWidget* parent)
    : QDialog(parent), m_Hub(hub), m_Editor(std::move(editor)) {
    setWindowTitle(QStringLiteral("CAN报文记录文件导出信号MDF文件"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resetSigSelTable();

    m_PathEdit = new QLineEdit(this);
    m_PathEdit->setObjectName("editPath");
    m_PathEdit->setReadOnly(true);
    m_MsgModel = new CTkRowsModel({QStringLiteral("ID[HEX]"), QStringLiteral("ID类型"),
                                   QStringLiteral("是否解析"), QStringLiteral("报文名称")},
                                  false, this);
    m_MsgList = MakeTkList(this, m_MsgModel, {kIdColumnWidth, 80, 80, 200});
    m_MsgList->setObjectName("listMessages");
    m_SigModel =
        new CTkRowsModel({QStringLiteral("信号名称"), QStringLiteral("ID[HEX]"), QStringLiteral("ID类型"),
                          QStringLiteral("位置区域"), QStringLiteral("转换参数"), QStringLiteral("枚举"),
                          QStringLiteral("单位")},
                         true, this);
    m_SigList = MakeTkList(this, m_SigModel, {270, kIdColumnWidth, 60, 80, 100, 50, 100});
    m_SigList->setObjectName("listSignals");
    connect(m_SigList->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int c) { SortSignals(c); });

    QPushButton* choose = TkButton(this, "选择", "btnChoose");
    QPushButton* dbCfg = TkButton(this, "CAN数据库配置", "btnCanDb");
    QPushButton* all = TkButton(this, "全选", "btnSelectAll");
    QPushButton* invert = TkButton(this, "反选", "btnInvert");
    QPushButton* clear = TkButton(this, "清空", "btnClear");
    QPushButton* exportButton = TkButton(this, "导出", "btnExport");
    QPushButton* quit = TkButton(this, "退出", "btnExit");

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(new QLabel(QStringLiteral("记录文件路径："), this));
    pathRow->addWidget(m_PathEdit, 1);
    pathRow->addWidget(choose);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("CAN报文记录文件中的报文："), this));
    left->addWidget(m_MsgList, 1);
    auto* dbRow = new QHBoxLayout;
    dbRow->addWidget(dbCfg);
    dbRow->addStretch(1);
    left->addLayout(dbRow);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("CAN数据库中可导出的信号："), this));
    right->addWidget(m_SigList, 1);
    auto* sigButtons = new QHBoxLayout;
    for (QPushButton* b : {all, invert, clear}) sigButtons->addWidget(b);
    sigButtons->addStretch(1);
    sigButtons->addWidget(exportButton);
    sigButtons->addWidget(quit);
    right->addLayout(sigButtons);
    // The lists share the width in proportion to their columns, so that both show every column at the
    // default size and both scroll sideways alike in a smaller dialog; the dialog fits a 1,366 x 768 screen.
    auto* lists = new QHBoxLayout;
    lists->addLayout(left, fullListWidth(m_MsgList));
    lists->addLayout(right, fullListWidth(m_SigList));
    for (QTableView* list : {m_MsgList, m_SigList}) list->setMinimumHeight(160);
    m_MsgList->setMinimumWidth(240);
    m_SigList->setMinimumWidth(400);
    auto* top = new QVBoxLayout(this);
    top->addLayout(pathRow);
    top->addLayout(lists, 1);
    resize(1280, 600);

    connect(choose, &QPushButton::clicked, this, [this] { OnChoose(); });
    connect(dbCfg, &QPushButton::clicked, this, [this] { OnCanDbCfg(); });
    connect(all, &QPushButton::clicked, this, [this] { OnSelectAll(); });
    connect(invert, &QPushButton::clicked, this, [this] { OnInvert(); });
    connect(clear, &QPushButton::clicked, this, [this] { OnClear(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { OnExport(); });
    connect(quit, &QPushButton::clicked, this, &QDialog::reject);
}

CTkCanMsgLogFileToSigMdfDlg::~CTkCanMsgLogFileToSigMdfDlg() {
    if (m_Reader != nullptr) m_Reader->CloseRead();
}

void CTkCanMsgLogFileToSigMdfDlg::resetSigSelTable() {
    m_Sel.fill(tEXPORT_SIG_SEL{});
}

void CTkCanMsgLogFileToSigMdfDlg::OnChoose() {
    const QString path = vex::CurrentPrompt().openFile(
        this, QString(), QString(),
        QStringLiteral("bin-crm files(*.crm);;mdf-log files(*.log);;asc-txt files(*.txt);;所有文件(*)"));
    if (path.isEmpty()) return;
    if (m_Reader != nullptr) m_Reader->CloseRead();
    m_Reader = nullptr;
    m_Path = path.toStdString();
    m_PathEdit->setText(path);
    const std::string ext = LowerExtension(m_Path);
    if (ext == "crm")
        m_Reader = &m_CrmFile;
    else if (ext == "log")
        m_Reader = &m_MdfLogFile;
    else if (ext == "txt")
        m_Reader = &m_TxtFile;
    if (m_Reader == nullptr) {
        m_MsgModel->Clear();
        m_SigModel->Clear();
        resetSigSelTable();
        TkMessage(this, QStringLiteral("不支持的记录文件格式。"));
        return;
    }
    FillLists(true);
}

void CTkCanMsgLogFileToSigMdfDlg::FillLists(bool reopen) {
    if (m_Path.empty() || m_Reader == nullptr) return;
    m_MsgModel->Clear();
    m_SigModel->Clear();
    m_Hub.BuildGlobalMaps();
    if (reopen) {
        m_Count = 0;
        m_Duration = 0.0;
        m_Reader->CloseRead();
        m_Keys.clear();
        resetSigSelTable();
        CLogScanJob job(*m_Reader, m_Path);
        {
            CTkLogScanProgressDlg progress(job, m_Path, this);
            if (m_ScanHook) m_ScanHook(progress);
            progress.exec();
        }
        if (!job.Succeeded()) {
            // Why the file is not a log (another measurement file, a damaged one) is worth telling; a stop
            // leaves the lists empty.
            if (!job.Error().empty()) TkMessage(this, qs(job.Error()));
            return;
        }
        m_Count = job.RecordCount();
        m_Duration = job.Duration();
        m_Keys = job.Keys();
        // Lines of a text log that are not frames are not silently lost: the user hears how many.
        if (m_Reader == &m_TxtFile && m_TxtFile.SkippedLines() > 0)
            TkMessage(this, QStringLiteral("记录文件 %1 中有 %2 行无法读取，已跳过。")
                                .arg(qs(m_Path))
                                .arg(m_TxtFile.SkippedLines()));
        // So are records that a damaged MDF log declares but does not hold.
        if (m_Reader == &m_MdfLogFile && !m_MdfLogFile.DamageText().empty())
            TkMessage(this, qs(m_MdfLogFile.DamageText()));
    }
    resetSigSelTable();
    uint32_t listed = 0;
    bool full = false;
    for (uint32_t key : m_Keys) {
        const tCAN_MSG_GLOBAL_DATA* global = m_Hub.FindGlobalMsg(key);
        const CCanMsg* msg = global != nullptr ? global->CanMsg.get() : nullptr;
        m_MsgModel->AddRow({idText(key), idType(key), msg ? QStringLiteral("是") : QStringLiteral("否"),
                            msg ? qs(msg->Name) : QStringLiteral("--")},
                           key);
        if (msg == nullptr || full) continue;
        for (const CCanSignal& sig : msg->Signals) {
            if (listed == kExportSigSelCount) {
                TkMessage(this, QStringLiteral("导出信号个数超过设定最大值。"));
                full = true;
                break;
            }
            m_Sel[listed] = {key, sig.Name, 0};
            m_SigModel->AddRow({qs(sig.Name), idText(key), idType(key),
                                QStringLiteral("(%1,%2)").arg(sig.BitOffset).arg(sig.BitLen),
                                QStringLiteral("(%1,%2)").arg(qs(DoubleToStr(sig.ValFactor)),
                                                              qs(DoubleToStr(sig.ValOffset))),
                                sig.Enum ? QStringLiteral("是") : QStringLiteral("否"), qs(sig.Unit)},
                               listed);
            ++listed;
        }
    }
}

void CTkCanMsgLogFileToSigMdfDlg::OnCanDbCfg() {
    if (m_Path.empty()) {
        TkMessage(this, QStringLiteral("请选择CAN报文记录文件。"));
        return;
    }
    if (m_Reader == nullptr) return;
    if (m_Editor) m_Editor(this);
    FillLists(false);
}

void CTkCanMsgLogFileToSigMdfDlg::OnSelectAll() {
    m_SigModel->CheckAll();
}

void CTkCanMsgLogFileToSigMdfDlg::OnInvert() {
    m_SigModel->InvertAll();
}

void CTkCanMsgLogFileToSigMdfDlg::OnClear() {
    m_SigModel->ClearAll();
}

void CTkCanMsgLogFileToSigMdfDlg::SortSignals(int column) {
    if (column != 0 && column != 1) return;
    m_SortCol = column;
    auto text = [&](uint32_t s) {
        const tEXPORT_SIG_SEL& sel = m_Sel[s];
        QString t =
            column == 0
                ? qs(sel.SigName)
                : QStringLiteral("%1").arg(sel.MsgKey & 0x1FFFFFFFu, 8, 16, QLatin1Char('0')).toUpper();
        return t.toLower().toStdString();
    };
    // The first click sorts in descending order, the next in ascending order, and so on.
    const bool descending = m_SortDir > 0;
    m_SigModel->SortRows(
        [&](uint32_t a, uint32_t b) { return descending ? text(b) < text(a) : text(a) < text(b); });
    m_SortDir = -m_SortDir;
}

void CTkCanMsgLogFileToSigMdfDlg::OnExport() {
    int ticked = 0;
    for (int r = 0; r < m_SigModel->rowCount(); ++r) {
        const uint32_t s = m_SigModel->RowData(r);
        m_Sel[s].Selected = m_SigModel->Checked(r) ? 1 : 0;
        ticked += m_Sel[s].Selected;
    }
    if (ticked == 0) {
        TkMessage(this, QStringLiteral("请选择导出的信号。"));
        return;
    }
    // A signal that no frame can give a value would leave its whole message without records: refused
    // here. Value tables longer than a text table are cut, with a warning.
    QStringList cut;
    for (const tEXPORT_SIG_SEL& sel : m_Sel) {
        if (sel.MsgKey == kFreeMsgKey || !sel.Selected) continue;
        const tCAN_MSG_GLOBAL_DATA* global = m_Hub.FindGlobalMsg(sel.MsgKey);
        if (global == nullptr) continue;
        for (const CCanSignal& sig : global->CanMsg->Signals) {
            if (sig.Name != sel.SigName) continue;
            if (const std::string problem = ExportSignalProblem(sig); !problem.empty()) {
                TkMessage(this, qs(problem));
                return;
            }
            if (sig.Enum && sig.SigEnum.Items.size() > kMaxTextTableItems) cut << qs(sig.Name);
            break;
        }
    }
    if (!cut.isEmpty())
        TkMessage(this, QStringLiteral("信号[%1]的枚举项超过%2个，只导出前%2个。")
                            .arg(cut.join(QStringLiteral(", ")))
                            .arg(kMaxTextTableItems));

    const QString path =
        TkSaveFile(this, QStringLiteral("mdf files(*.mdf);;所有文件(*)"), QStringLiteral("mdf"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).fileName().isEmpty()) {
        TkMessage(this, QStringLiteral("存储文件名称为空。"));
        return;
    }
    const ExportMsgLookup lookup = [this](uint32_t key) -> const CCanMsg* {
        const tCAN_MSG_GLOBAL_DATA* global = m_Hub.FindGlobalMsg(key);
        return global != nullptr ? global->CanMsg.get() : nullptr;
    };
    bool done = false;
    std::string error;
    {
        CTkCanMsgLogFileToSigMdfProgressDlg progress(m_Reader, m_Sel, lookup, path.toStdString(), m_Count,
                                                     this);
        if (m_Hook) m_Hook(progress);
        progress.exec();
        done = progress.Done();
        error = progress.Error();
    }
    if (done)
        TkMessage(this, QStringLiteral("文件[%1]导出成功。").arg(path), vex::MsgIcon::Information);
    else
        TkMessage(this, error.empty() ? QStringLiteral("文件导出失败。")
                                      : QStringLiteral("文件导出失败。\n%1").arg(qs(error)));
}
