#include "ui/app/infownd.h"

#include <QCloseEvent>
#include <QFont>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

#include "windows/fonts.h"

#include "platform/qt/prompt.h"
#include "platform/textcodec.h"
#include "platform/util/filewrite.h"
#include "ui/app/filechoose.h"

namespace {

struct Column {
    const char* heading;
    Qt::Alignment alignment;
    int width;
};
constexpr Column kColumns[] = {
    {"时间", Qt::AlignCenter, 80},
    {"状态", Qt::AlignLeft | Qt::AlignVCenter, 100},
    {"来源", Qt::AlignLeft | Qt::AlignVCenter, 100},
    {"描述", Qt::AlignLeft | Qt::AlignVCenter, 1000},
};
constexpr int kColumnCount = 4;
constexpr int kRowHeight = 22;

const char* levelText(uint8_t level) {
    switch (level) {
        case 0:
            return "normalcy";
        case 1:
            return "warning";
        case 2:
            return "error";
        default:
            return "--";
    }
}

}  // namespace

QString CInfoModel::LevelText(uint8_t level) {
    return QString::fromLatin1(levelText(level));
}

int CInfoModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size()) + (m_dropped.Count > 0 ? 1 : 0);
}

const tINFO_MSG& CInfoModel::row(int index) const {
    if (m_dropped.Count > 0) {
        if (index == 0) return m_dropped.Msg;
        --index;
    }
    return m_rows[static_cast<size_t>(index)];
}

int CInfoModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CInfoModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const tINFO_MSG& row = this->row(index.row());
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case 0:
                    return QString::fromStdString(row.TimeText);
                case 1:
                    return LevelText(row.Level);
                case 2:
                    return QString::fromStdString(row.Source);
                default:
                    return QString::fromStdString(row.Text);
            }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(kColumns[index.column()].alignment);
        case Qt::UserRole:
            return static_cast<int>(row.Level);
        default:
            return {};
    }
}

QVariant CInfoModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(kColumns[section].heading);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(kColumns[section].alignment);
    return {};
}

void CInfoModel::Append(std::vector<tINFO_MSG> rows) {
    if (rows.empty()) return;
    // A flood keeps the list's memory bounded: the oldest rows go first, then the surplus of the new ones.
    if (const size_t total = m_rows.size() + rows.size(); total > kMaxRows) {
        const size_t excess = total - kMaxRows;
        const size_t fromOld = std::min(excess, m_rows.size());
        const size_t fromNew = excess - fromOld;
        std::string newestDropped = fromNew > 0 ? rows[fromNew - 1].TimeText : m_rows[fromOld - 1].TimeText;
        if (fromOld > 0) {
            const int first = m_dropped.Count > 0 ? 1 : 0;
            beginRemoveRows({}, first, first + static_cast<int>(fromOld) - 1);
            m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<std::ptrdiff_t>(fromOld));
            endRemoveRows();
        }
        rows.erase(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(fromNew));
        noteDropped(excess, std::move(newestDropped));
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
}

void CInfoModel::noteDropped(uint64_t count, std::string timeText) {
    const bool newRow = m_dropped.Count == 0;
    if (newRow) beginInsertRows({}, 0, 0);
    m_dropped.Count += count;
    m_dropped.Msg.Source = kDroppedSource;
    m_dropped.Msg.TimeText = std::move(timeText);
    m_dropped.Msg.Level = 1;
    m_dropped.Msg.Text = "较早的 " + std::to_string(m_dropped.Count) +
                         " 条信息已删除，信息窗口只保留最新的 " + std::to_string(kMaxRows) + " 条。";
    if (newRow)
        endInsertRows();
    else
        emit dataChanged(index(0, 0), index(0, kColumnCount - 1));
}

void CInfoModel::Clear() {
    if (rowCount() == 0) return;
    beginResetModel();
    m_rows.clear();
    m_dropped = {};
    endResetModel();
}

std::string CInfoModel::ExportText() const {
    std::string text;
    for (int r = 0; r < rowCount(); ++r) {
        const tINFO_MSG& row = this->row(r);
        text += row.TimeText;
        text += '\t';
        text += levelText(row.Level);
        text += '\t';
        text += row.Source;
        text += '\t';
        text += row.Text;
        text += "\r\n";
    }
    return text;
}

CInfoView::CInfoView(CInfoMsgRing& ring, QWidget* parent)
    : QTableView(parent), m_ring(ring), m_model(new CInfoModel(this)), m_timer(new QTimer(this)) {
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setFont(vex::ListFont());
    horizontalHeader()->setFont(vex::ListFont());
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int c = 0; c < kColumnCount; ++c) setColumnWidth(c, kColumns[c].width);
    m_timer->setInterval(kTimerMs);
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
    m_timer->start();
}

int CInfoView::OnTimer() {
    std::vector<tINFO_MSG> taken;
    const uint64_t dropped = m_ring.PopAll(taken);
    std::vector<tINFO_MSG> rows;
    if (dropped > m_ringDropped) {
        // The lost messages are older than every message taken now; stamped like the first of these, the
        // row stands where they would have.
        tINFO_MSG& row = rows.emplace_back();
        row.Source = CInfoModel::kDroppedSource;
        row.TimeText = taken.empty() ? InfoTimeTextNow() : taken.front().TimeText;
        row.Level = 1;
        row.Text = std::to_string(dropped - m_ringDropped) +
                   " 条信息未及显示即被覆盖，待显示的信息最多保留 " +
                   std::to_string(CInfoMsgRing::kCapacity) + " 条。";
    }
    m_ringDropped = dropped;
    for (tINFO_MSG& msg : taken) {
        std::vector<std::string> details = std::move(msg.Details);
        msg.Details.clear();
        tINFO_MSG row{msg.Source, msg.TimeText, msg.Level, {}, {}};
        rows.push_back(std::move(msg));
        for (std::string& detail : details) {
            row.Text = std::move(detail);
            rows.push_back(row);
        }
    }
    const int added = static_cast<int>(rows.size());
    m_model->Append(std::move(rows));
    return added;
}

void CInfoView::ExportToFile() {
    const QString caption = QStringLiteral("导出信息");
    if (m_model->rowCount() == 0) {
        vex::ShowMessage(this, QStringLiteral("信息内容为空。"));
        return;
    }
    const QString path =
        AskSaveFile(this, {QStringLiteral("txt files(*.txt);;所有文件(*)"), QStringLiteral("txt"),
                           QStringLiteral("导出文件名称为空。"), caption, QString()});
    if (path.isEmpty()) return;
    const int error = WriteFileReplacing(path.toStdString(), vex::Utf8ToGbk(m_model->ExportText()));
    if (error != 0) {
        vex::CurrentPrompt().message(
            this, QStringLiteral("无法写入文件 %1：%2").arg(path, QString::fromStdString(ErrorText(error))),
            caption, vex::MsgButtons::Ok, vex::MsgIcon::Error);
    }
}

CInfoWnd::CInfoWnd(CInfoMsgRing& ring, QWidget* parent)
    : QWidget(parent), m_view(new CInfoView(ring, this)), m_toolBar(new QToolBar(this)) {
    setWindowTitle(QStringLiteral("INFO"));
    m_toolBar->setObjectName(QStringLiteral("infoToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction* clear = m_toolBar->addAction(QStringLiteral("清空"), this, &CInfoWnd::OnClear);
    clear->setObjectName(QStringLiteral("actClear"));
    clear->setToolTip(QStringLiteral("清空"));
    QAction* exportAct = m_toolBar->addAction(QStringLiteral("导出"), this, &CInfoWnd::OnExport);
    exportAct->setObjectName(QStringLiteral("actExport"));
    exportAct->setToolTip(QStringLiteral("导出"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_view);
}

CInfoWnd* CInfoWnd::CreateWnd(const QRect& rect, QMdiArea* area, CInfoMsgRing& ring) {
    auto* wnd = new CInfoWnd(ring);
    QMdiSubWindow* sub = area->addSubWindow(wnd);
    // Closing only hides the window, so it must outlive its close box.
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    if (rect.isValid()) sub->setGeometry(rect);
    sub->show();
    return wnd;
}

QMdiSubWindow* CInfoWnd::subWindow() const {
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

void CInfoWnd::OnClear() {
    m_view->infoModel()->Clear();
}

void CInfoWnd::OnExport() {
    m_view->ExportToFile();
}

void CInfoWnd::closeEvent(QCloseEvent* event) {
    event->ignore();
    QWidget* window = subWindow() != nullptr ? static_cast<QWidget*>(subWindow()) : this;
    if (window->isMinimized() || window->isMaximized()) window->showNormal();
    window->hide();
    emit hiddenByClose();
}
