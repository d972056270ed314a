#include "ui/app/infownd.h"

#include <QCloseEvent>
#include <QFont>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "windows/fonts.h"

#include "ui/app/filechoose.h"
#include "platform/util/filewrite.h"
#include "platform/qt/prompt.h"
#include "platform/textcodec.h"

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
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CInfoModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CInfoModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const tINFO_MSG& row = m_rows[static_cast<size_t>(index.row())];
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
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
}

void CInfoModel::Clear() {
    if (m_rows.empty()) return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

std::string CInfoModel::ExportText() const {
    std::string text;
    for (const tINFO_MSG& row : m_rows) {
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
    std::vector<tINFO_MSG> rows;
    tINFO_MSG msg;
    while (m_ring.Pop(msg)) rows.push_back(std::move(msg));
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
