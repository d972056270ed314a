#include "ui/logging/mdftocsvdlg.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

#include "logging/canmsgmdflogfile.h"
#include "platform/numparse.h"
#include "platform/qt/prompt.h"

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QLineEdit* edit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

// A field's number: the whole text (blanks around it allowed) must be a finite number.
std::optional<double> number(const QLineEdit* field) {
    const std::string text = field->text().trimmed().toStdString();
    size_t used = 0;
    const double value = vex::ParseReal(text, &used);
    if (text.empty() || used != text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Times as the list's time spans give them ("%f"), without trailing zeros.
QString timeText(double value) {
    return qs(ToolTimeText(value, 6));
}

}  // namespace

std::optional<std::string> validateMdfToCsv(std::string_view mdfPath, const std::optional<double>& start,
                                            const std::optional<double>& end,
                                            const std::optional<double>& step, int kind) {
    if (mdfPath.empty()) return "MDF文件路径不能为空。";
    if (!start || !end || !step) return "请输入一个数字。";
    if (*step == 0.0) return "导出步长不能为0。";
    if (*step < 0.0) return "导出步长不能小于0。";
    if (kind != 0 && kind != 1) return "未知的导出时间戳类型。";
    return std::nullopt;
}

std::optional<std::string> validateMdfToCsvRun(const MdfToCsvRequest& request, bool haveFile) {
    if (request.CsvPath.empty()) return "转换尚未进行，CSV文件路径为空。";
    if (request.Step == 0.0) return "转换尚未进行，导出时间步长为0。";
    if (!(request.Step > 0.0)) return "转换尚未进行，导出时间步长小于0。";
    if (!haveFile) return "转换尚未进行，未知的错误。";
    if (request.Channels.empty()) return "转换尚未进行，没有选择需要转换的信号。";
    if (!(request.End > request.Start)) return "转换尚未进行，采集的时间范围设置错误。";
    return std::nullopt;
}

// ---- Progress ----

CTkMdfToCsvProgressDlg::CTkMdfToCsvProgressDlg(const CLorimar* mdf, MdfToCsvRequest request, QWidget* parent)
    : CTkProgressDlg(QStringLiteral("中断转换"), parent) {
    if (const auto refusal = validateMdfToCsvRun(request, mdf != nullptr)) {
        m_Refusal = qs(*refusal);
        return;
    }
    m_Job = std::make_unique<CMdfToCsvJob>(*mdf, std::move(request));
    SetJob(m_Job.get());
}

CTkMdfToCsvProgressDlg::~CTkMdfToCsvProgressDlg() {
    finishJob();
}

int CTkMdfToCsvProgressDlg::exec() {
    return m_Job ? CTkProgressDlg::exec() : QDialog::Rejected;
}

QString CTkMdfToCsvProgressDlg::ResultText() const {
    if (!m_Job) return m_Refusal.isEmpty() ? QStringLiteral("转换尚未进行") : m_Refusal;
    switch (m_Job->phase()) {
        case CLogToolJob::Phase::Done:
            return QStringLiteral("MDF转CSV数据完成");
        case CLogToolJob::Phase::Failed:
            return m_Job->Error().empty() ? QStringLiteral("转换失败，转换被中断")
                                          : QStringLiteral("转换失败，%1").arg(qs(m_Job->Error()));
        default:
            return QStringLiteral("转换尚未进行");
    }
}

QString CTkMdfToCsvProgressDlg::statusOf(const CLogToolJob& job) const {
    switch (job.phase()) {
        case CLogToolJob::Phase::Idle:
        case CLogToolJob::Phase::Started:
            return QStringLiteral("正常状态：CSV文件创建完成，准备信号初始数据");
        case CLogToolJob::Phase::Running:
            return QStringLiteral("数据正在转换中，请耐心等待...转换进度：%1 % ...")
                .arg(QString::number(job.Progress() / 100.0, 'f', 2));
        case CLogToolJob::Phase::Saving:
        case CLogToolJob::Phase::Done:
            return QStringLiteral("正常状态：MDF转CSV数据完成");
        case CLogToolJob::Phase::Failed:
            break;
    }
    return job.Error().empty() ? QStringLiteral("故障状态：转换被中断")
                               : QStringLiteral("故障状态：%1").arg(qs(job.Error()));
}

// ---- The dialog ----

CTkMdfToCsvDlg::CTkMdfToCsvDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("MDF转换成CSV文件"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_Path = edit(this, "editMdfPath");
    m_Path->setReadOnly(true);
    m_Model =
        new CTkRowsModel({QStringLiteral("信号名称"), QStringLiteral("位置描述"), QStringLiteral("类型"),
                          QStringLiteral("单位"), QStringLiteral("采样点数量"), QStringLiteral("时间段")},
                         true, this);
    m_List = MakeTkList(this, m_Model, {360, 80, 80, 60, 90, 200});
    m_List->setObjectName("listChannels");
    m_List->setMinimumSize(900, 300);
    connect(m_List->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int c) {
        if (c == 0) SortByName();
    });
    m_Start = edit(this, "editStart");
    m_End = edit(this, "editEnd");
    m_Step = edit(this, "editStep");
    m_Start->setText(timeText(0.0));
    m_End->setText(timeText(0.0));
    m_Step->setText(timeText(0.0));
    m_Kind = new QComboBox(this);
    m_Kind->setObjectName("comboKind");
    m_Kind->addItems({QStringLiteral("相对时间戳"), QStringLiteral("绝对时间戳")});
    m_Kind->setCurrentIndex(1);
    for (QLabel*& unit : m_Units) unit = new QLabel(QStringLiteral("单位"), this);

    QPushButton* choose = TkButton(this, "选择", "btnChoose");
    QPushButton* exportButton = TkButton(this, "导出CSV文件", "btnExport");
    QPushButton* all = TkButton(this, "全选", "btnSelectAll");
    QPushButton* invert = TkButton(this, "反选", "btnInvert");
    QPushButton* clear = TkButton(this, "清空", "btnClear");

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(new QLabel(QStringLiteral("MDF文件路径："), this));
    pathRow->addWidget(m_Path, 1);
    pathRow->addWidget(choose);
    auto* tickRow = new QHBoxLayout;
    for (QPushButton* b : {all, invert, clear}) tickRow->addWidget(b);
    tickRow->addStretch(1);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("文件时间戳起点："), this), 0, 0);
    grid->addWidget(m_Start, 0, 1);
    grid->addWidget(m_Units[0], 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("文件时间戳终点："), this), 0, 3);
    grid->addWidget(m_End, 0, 4);
    grid->addWidget(m_Units[1], 0, 5);
    grid->addWidget(new QLabel(QStringLiteral("步长时间："), this), 1, 0);
    grid->addWidget(m_Step, 1, 1);
    grid->addWidget(m_Units[2], 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("导出时间戳类型："), this), 1, 3);
    grid->addWidget(m_Kind, 1, 4);
    grid->addWidget(exportButton, 1, 6, Qt::AlignRight);
    grid->setColumnStretch(6, 1);
    auto* top = new QVBoxLayout(this);
    top->addLayout(pathRow);
    top->addWidget(m_List, 1);
    top->addLayout(tickRow);
    top->addLayout(grid);

    connect(choose, &QPushButton::clicked, this, [this] { OnChoose(); });
    connect(exportButton, &QPushButton::clicked, this, [this] { OnExport(); });
    connect(all, &QPushButton::clicked, this, [this] { OnSelectAll(); });
    connect(invert, &QPushButton::clicked, this, [this] { OnInvert(); });
    connect(clear, &QPushButton::clicked, this, [this] { OnClear(); });
}

QString CTkMdfToCsvDlg::MdfPath() const {
    return m_Path->text();
}

QString CTkMdfToCsvDlg::UnitText() const {
    return m_Units[0]->text();
}

void CTkMdfToCsvDlg::OnChoose() {
    const QString path = vex::CurrentPrompt().openFile(
        this, QString(), QString(), QStringLiteral("mdf files(*.mdf);;INCA dat files(*.dat);;所有文件(*)"));
    if (path.isEmpty()) return;
    const std::string p = path.toStdString();
    // Opened beside the file shown, which stays when the new one is refused.
    auto next = std::make_unique<CLorimar>();
    if (const uint32_t result = next->OpenMdfFile(p.data(), static_cast<int32_t>(p.size()));
        result != MDF_OK) {
        TkMessage(this, qs(MdfOpenFailureText(*next, p, result)));
        return;
    }
    m_Mdf = std::move(next);
    m_Path->setText(path);
    fillList();
    // A damaged file is listed with the records it holds; the user hears what it declared.
    if (const std::string damage = MdfDamageText(m_Mdf->GetMdfFileInfo(), p); !damage.empty())
        TkMessage(this, qs(damage));
}

void CTkMdfToCsvDlg::fillList() {
    m_Model->Clear();
    m_Listing = ListMdfCsvChannels(*m_Mdf);
    for (size_t i = 0; i < m_Listing.Items.size(); ++i) {
        QStringList cells;
        for (const std::string& c : m_Listing.Rows[i]) cells << qs(c);
        m_Model->AddRow(cells, m_Listing.Items[i].ChanNo);
    }
    m_Start->setText(timeText(m_Listing.Start));
    m_End->setText(timeText(m_Listing.End));
    for (QLabel* unit : m_Units) unit->setText(qs(m_Listing.TimeUnit));
}

std::optional<double> CTkMdfToCsvDlg::timeField(const QLineEdit* field, double listed) const {
    if (m_Mdf && field->text() == timeText(listed)) return listed;
    return number(field);
}

void CTkMdfToCsvDlg::OnSelectAll() {
    m_Model->CheckAll();
}

void CTkMdfToCsvDlg::OnInvert() {
    m_Model->InvertAll();
}

void CTkMdfToCsvDlg::OnClear() {
    m_Model->ClearAll();
}

void CTkMdfToCsvDlg::SortByName() {
    auto name = [&](uint32_t chanNo) {
        for (const tTK_MDF_TO_CSV_CHAN_ITEM& item : m_Listing.Items)
            if (item.ChanNo == chanNo) return item.Name;
        return std::string();
    };
    // Order 1: descending; the order flips with every click.
    const bool descending = m_SortOrder > 0;
    m_Model->SortRows(
        [&](uint32_t a, uint32_t b) { return descending ? name(b) < name(a) : name(a) < name(b); });
    m_SortOrder = -m_SortOrder;
}

void CTkMdfToCsvDlg::OnExport() {
    const std::optional<double> start = timeField(m_Start, m_Listing.Start);
    const std::optional<double> end = timeField(m_End, m_Listing.End);
    const std::optional<double> step = number(m_Step);
    if (const auto refusal =
            validateMdfToCsv(m_Path->text().toStdString(), start, end, step, m_Kind->currentIndex())) {
        TkMessage(this, qs(*refusal));
        return;
    }
    MdfToCsvRequest request;
    for (int r = 0; r < m_Model->rowCount(); ++r) {
        if (!m_Model->Checked(r)) continue;
        for (const tTK_MDF_TO_CSV_CHAN_ITEM& item : m_Listing.Items)
            if (item.ChanNo == m_Model->RowData(r)) request.Channels.push_back(item);
    }
    if (request.Channels.empty()) {
        TkMessage(this, QStringLiteral("请选择需要转换的信号。"));
        return;
    }
    const QString csv =
        TkSaveFile(this, QStringLiteral("csv files(*.csv);;所有文件(*)"), QStringLiteral("csv"));
    if (csv.isEmpty()) return;
    if (QFileInfo(csv).fileName().isEmpty()) {
        TkMessage(this, QStringLiteral("CSV文件路径不能为空。"));
        return;
    }
    request.CsvPath = csv.toStdString();
    request.Absolute = m_Kind->currentIndex() == 1;
    request.Step = *step;
    request.TimeUnit = m_Listing.TimeUnit;
    request.Start = *start;
    request.End = *end;
    CTkMdfToCsvProgressDlg progress(m_Mdf.get(), std::move(request), this);
    if (m_Hook) m_Hook(progress);
    progress.exec();
    m_Result = progress.ResultText();
    TkMessage(this, m_Result, vex::MsgIcon::Information);
}
