#include "ui/logging/canreplaycontroldlg.h"

#include <QFileInfo>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "config/regconfig.h"
#include "logging/canreplay.h"
#include "logging/logtooljob.h"
#include "platform/qt/prompt.h"
#include "ui/logging/replayfields.h"

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QLineEdit* makeEdit(QWidget* parent, const char* name, bool readOnly) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(readOnly);
    return edit;
}

QPushButton* makeButton(QWidget* parent, const char* text, const char* name) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QLabel* label(QWidget* parent, const char* text) {
    return new QLabel(QString::fromUtf8(text), parent);
}

}  // namespace

CCanReplayControlDlg::CCanReplayControlDlg(CCanReplay& engine, tCFG_SET_REPLAY& settings, QWidget* parent)
    : QDialog(parent), m_engine(engine), m_settings(settings) {
    setWindowTitle(QStringLiteral("回放"));

    // 记录文件
    m_pathEdit = makeEdit(this, "editPath", true);
    m_pathEdit->setMinimumWidth(360);
    m_durationEdit = makeEdit(this, "editDuration", true);
    m_countEdit = makeEdit(this, "editCount", true);
    QPushButton* choose = makeButton(this, "选择", "btnChoose");
    auto* fileBox = new QGroupBox(QStringLiteral("记录文件"), this);
    auto* fileGrid = new QGridLayout(fileBox);
    fileGrid->addWidget(m_pathEdit, 0, 0, 1, 2);
    fileGrid->addWidget(choose, 0, 2);
    fileGrid->addWidget(label(fileBox, "记录文件时间跨度[ms]："), 1, 0);
    fileGrid->addWidget(m_durationEdit, 1, 1);
    fileGrid->addWidget(label(fileBox, "记录文件报文总数量："), 2, 0);
    fileGrid->addWidget(m_countEdit, 2, 1);
    fileGrid->setColumnStretch(1, 1);

    // 记录分页
    auto* pageBox = new QGroupBox(QStringLiteral("记录分页"), this);
    m_byTime = new QRadioButton(QStringLiteral("按报文时间段分页"), pageBox);
    m_byTime->setObjectName("radioByTime");
    m_byCount = new QRadioButton(QStringLiteral("按报文数量分页"), pageBox);
    m_byCount->setObjectName("radioByCount");
    m_startTimeEdit = makeEdit(this, "editStartTime", false);
    m_spanEdit = makeEdit(this, "editPageSpan", false);
    m_startIndexEdit = makeEdit(this, "editStartIndex", false);
    m_perPageEdit = makeEdit(this, "editPerPage", false);
    m_pageCountEdit = makeEdit(this, "editPageCount", true);
    QPushButton* paging = makeButton(this, "分页", "btnPaging");
    auto* pageGrid = new QGridLayout(pageBox);
    pageGrid->addWidget(m_byTime, 0, 0, 1, 2);
    pageGrid->addWidget(m_byCount, 0, 2, 1, 2);
    pageGrid->addWidget(label(pageBox, "分页起始时间[ms]："), 1, 0);
    pageGrid->addWidget(m_startTimeEdit, 1, 1);
    pageGrid->addWidget(label(pageBox, "分页起始位置："), 1, 2);
    pageGrid->addWidget(m_startIndexEdit, 1, 3);
    pageGrid->addWidget(label(pageBox, "单页时间段[ms]："), 2, 0);
    pageGrid->addWidget(m_spanEdit, 2, 1);
    pageGrid->addWidget(label(pageBox, "单页报文数量："), 2, 2);
    pageGrid->addWidget(m_perPageEdit, 2, 3);
    pageGrid->addWidget(paging, 3, 0);
    pageGrid->addWidget(label(pageBox, "总页数："), 3, 2);
    pageGrid->addWidget(m_pageCountEdit, 3, 3);

    // 记录回放
    auto* playBox = new QGroupBox(QStringLiteral("记录回放"), this);
    m_currentPageEdit = makeEdit(this, "editCurrentPage", false);
    QPushButton* first = makeButton(this, "首页", "btnFirst");
    QPushButton* previous = makeButton(this, "上一页", "btnPrevious");
    QPushButton* show = makeButton(this, "当前页", "btnShowPage");
    QPushButton* next = makeButton(this, "下一页", "btnNext");
    QPushButton* last = makeButton(this, "尾页", "btnLast");
    // Enter shows the page typed into "当前页：".
    show->setAutoDefault(true);
    show->setDefault(true);
    auto* playGrid = new QGridLayout(playBox);
    playGrid->addWidget(label(playBox, "当前页："), 0, 0);
    playGrid->addWidget(m_currentPageEdit, 0, 1, 1, 2);
    auto* playButtons = new QHBoxLayout;
    for (QPushButton* b : {first, previous, show, next, last}) playButtons->addWidget(b);
    playGrid->addLayout(playButtons, 1, 0, 1, 5);
    playGrid->setColumnStretch(4, 1);

    auto* top = new QVBoxLayout(this);
    top->addWidget(fileBox);
    top->addWidget(pageBox);
    top->addWidget(playBox);
    top->setSizeConstraint(QLayout::SetFixedSize);

    m_pushTimer = new QTimer(this);
    m_pushTimer->setInterval(kPushMs);
    connect(m_pushTimer, &QTimer::timeout, this, &CCanReplayControlDlg::pushPending);
    connect(this, &QDialog::finished, m_pushTimer, &QTimer::stop);

    connect(choose, &QPushButton::clicked, this, &CCanReplayControlDlg::OnChoose);
    connect(paging, &QPushButton::clicked, this, &CCanReplayControlDlg::OnPaging);
    connect(first, &QPushButton::clicked, this, &CCanReplayControlDlg::OnFirst);
    connect(previous, &QPushButton::clicked, this, &CCanReplayControlDlg::OnPrevious);
    connect(show, &QPushButton::clicked, this, &CCanReplayControlDlg::OnShowPage);
    connect(next, &QPushButton::clicked, this, &CCanReplayControlDlg::OnNext);
    connect(last, &QPushButton::clicked, this, &CCanReplayControlDlg::OnLast);

    openRemembered();
    m_byTime->setChecked(m_settings.PageByTimeLengthFlag != 0);
    m_byCount->setChecked(m_settings.PageByTimeLengthFlag == 0);
    m_pageSpan = m_settings.PageTimeLength;
    m_startTime = m_settings.PageTimeOffset;
    m_perPage = m_settings.PageMsgCount;
    m_startIndex = m_settings.PageMsgIndexOffset;
    m_pageCount = 0;
    m_currentPage = 0;
    showFields();
}

// The file replayed last, when it still opens; otherwise it is forgotten.
void CCanReplayControlDlg::openRemembered() {
    CAppRegConfig reg;  // writes back when it goes out of scope
    uint32_t count = 0;
    double duration = 0.0;
    const std::string path = reg.sLastReplayLogFilePathName;
    const bool opened = !path.empty() && m_engine.Open(path, count, duration);
    if (!opened) reg.sLastReplayLogFilePathName.clear();
    setFile(opened ? path : std::string(), opened, count, duration);
}

void CCanReplayControlDlg::setFile(const std::string& path, bool opened, uint32_t count, double duration) {
    m_path = path;
    m_count = opened ? count : 0;
    m_duration = opened ? duration : 0.0;
}

void CCanReplayControlDlg::OnChoose() {
    // The file open so far is closed whatever the user chooses, and its pages with it.
    m_engine.CloseFile();
    m_pushTimer->stop();
    m_pageCount = 0;
    const QString dir = m_path.empty() ? QString() : QFileInfo(qs(m_path)).absolutePath();
    const QString chosen = vex::CurrentPrompt().openFile(this, QStringLiteral("选择记录文件"), dir,
                                                         QStringLiteral("crm files(*.crm);;所有文件(*)"));
    if (!chosen.isEmpty() && QFileInfo(chosen).fileName().isEmpty()) {
        vex::CurrentPrompt().message(this, QStringLiteral("记录文件名称为空。"),
                                     QStringLiteral("选择记录文件"), vex::MsgButtons::Ok,
                                     vex::MsgIcon::Warning);
    } else if (!chosen.isEmpty()) {
        const std::string path = chosen.toStdString();
        uint32_t count = 0;
        double duration = 0.0;
        const bool opened = m_engine.Open(path, count, duration);
        if (opened) {
            CAppRegConfig reg;
            reg.sLastReplayLogFilePathName = path;
        }
        // A file that does not open shows no records, not those of the file before.
        setFile(path, opened, count, duration);
        // And says why: a failure shown only as zeros tells the user nothing.
        QString refusal;
        if (!opened)
            refusal = QStringLiteral("记录文件没有打开：%1").arg(qs(m_engine.LastError()));
        else if (count == 0)
            refusal = QStringLiteral("记录文件 %1 中没有报文。").arg(chosen);
        if (!refusal.isEmpty()) {
            showFields();
            vex::CurrentPrompt().message(this, refusal, QStringLiteral("选择记录文件"), vex::MsgButtons::Ok,
                                         vex::MsgIcon::Warning);
        }
    }
    showFields();
}

void CCanReplayControlDlg::OnPaging() {
    if (!readFields()) return;
    if (m_byCount->isChecked()) {
        m_settings.PageByTimeLengthFlag = 0;
        m_settings.PageMsgIndexOffset = m_startIndex;
        m_settings.PageMsgCount = m_perPage;
        m_engine.PageByIndex(m_startIndex, m_perPage, m_pageCount);
    } else if (m_byTime->isChecked()) {
        m_settings.PageByTimeLengthFlag = 1;
        m_settings.PageTimeOffset = m_startTime;
        m_settings.PageTimeLength = m_pageSpan;
        m_engine.PageByTime(m_startTime, m_pageSpan, m_pageCount);
    } else {
        return;
    }
    m_currentPage = 0;
    showFields();
    OnShowPage();
}

void CCanReplayControlDlg::OnFirst() {
    m_currentPage = 0;
    showFields();
    OnShowPage();
}

void CCanReplayControlDlg::OnPrevious() {
    if (m_currentPage - 1 >= 0) --m_currentPage;
    showFields();
    OnShowPage();
}

void CCanReplayControlDlg::OnNext() {
    if (int64_t{m_currentPage} + 1 < int64_t{m_pageCount}) ++m_currentPage;
    showFields();
    OnShowPage();
}

void CCanReplayControlDlg::OnLast() {
    if (m_pageCount != 0)
        m_currentPage = static_cast<int32_t>(std::min<uint32_t>(m_pageCount - 1, INT32_MAX));
    showFields();
    OnShowPage();
}

void CCanReplayControlDlg::OnShowPage() {
    if (!readFields() || m_pageCount == 0) return;
    // The trace and the graph start over only for a page that is pushed: showing the page on screen again
    // must not empty the graph.
    if (m_engine.WillLoadPage(m_currentPage) && m_pageHook) m_pageHook();
    m_engine.LoadPage(m_currentPage);
    if (m_engine.HasPending()) m_pushTimer->start();
}

bool CCanReplayControlDlg::IsPushing() const {
    return m_engine.HasPending();
}

void CCanReplayControlDlg::pushPending() {
    if (!m_engine.PushPending()) m_pushTimer->stop();
}

bool CCanReplayControlDlg::readFields() {
    const ReplayFieldTexts texts{m_startTimeEdit->text().toStdString(), m_spanEdit->text().toStdString(),
                                 m_startIndexEdit->text().toStdString(), m_perPageEdit->text().toStdString(),
                                 m_currentPageEdit->text().toStdString()};
    ReplayFieldValues values;
    if (const auto message = validateReplayFields(texts, values)) {
        vex::ShowMessage(this, qs(*message), vex::MsgButtons::Ok, vex::MsgIcon::Warning);
        return false;
    }
    m_startTime = values.startTime;
    m_pageSpan = values.pageSpan;
    m_startIndex = values.startIndex;
    m_perPage = values.perPage;
    m_currentPage = values.currentPage;
    return true;
}

void CCanReplayControlDlg::showFields() {
    m_pathEdit->setText(qs(m_path));
    m_durationEdit->setText(qs(ToolTimeText(m_duration, 3)));
    m_countEdit->setText(QString::number(m_count));
    m_startTimeEdit->setText(qs(ReplayTimeText(m_startTime)));
    m_spanEdit->setText(qs(ReplayTimeText(m_pageSpan)));
    m_startIndexEdit->setText(QString::number(m_startIndex));
    m_perPageEdit->setText(QString::number(m_perPage));
    m_pageCountEdit->setText(QString::number(m_pageCount));
    m_currentPageEdit->setText(QString::number(m_currentPage));
}
