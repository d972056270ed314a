#include "ui/logging/tkwidgets.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/qt/prompt.h"
#include "windows/reportlist.h"

// ---- CTkRowsModel ----

CTkRowsModel::CTkRowsModel(QStringList headers, bool checkable, QObject* parent)
    : QAbstractTableModel(parent), m_Headers(std::move(headers)), m_Checkable(checkable) {}

int CTkRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_Rows.size());
}

int CTkRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_Headers.size());
}

QVariant CTkRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const Row& row = m_Rows[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return index.column() < row.cells.size() ? row.cells[index.column()] : QString();
        case Qt::CheckStateRole:
            if (m_Checkable && index.column() == 0) return row.checked ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::TextAlignmentRole:
            return index.column() == 0 ? QVariant(Qt::AlignCenter)
                                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant CTkRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_Headers.size())
        return {};
    return m_Headers[section];
}

Qt::ItemFlags CTkRowsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_Checkable && index.column() == 0) f |= Qt::ItemIsUserCheckable;
    return f;
}

bool CTkRowsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!m_Checkable || role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
        index.row() >= rowCount())
        return false;
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

void CTkRowsModel::Clear() {
    beginResetModel();
    m_Rows.clear();
    endResetModel();
}

void CTkRowsModel::AddRow(const QStringList& cells, uint32_t data) {
    const int at = rowCount();
    beginInsertRows({}, at, at);
    m_Rows.push_back({cells, data, false});
    endInsertRows();
}

void CTkRowsModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    m_Rows.erase(m_Rows.begin() + row);
    endRemoveRows();
}

void CTkRowsModel::SetChecked(int row, bool checked) {
    if (row < 0 || row >= rowCount()) return;
    m_Rows[static_cast<size_t>(row)].checked = checked;
    const QModelIndex at = index(row, 0);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

void CTkRowsModel::CheckAll() {
    for (Row& r : m_Rows) r.checked = true;
    if (!m_Rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void CTkRowsModel::InvertAll() {
    for (Row& r : m_Rows) r.checked = !r.checked;
    if (!m_Rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void CTkRowsModel::ClearAll() {
    for (Row& r : m_Rows) r.checked = false;
    if (!m_Rows.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void CTkRowsModel::SortRows(const std::function<bool(uint32_t a, uint32_t b)>& before) {
    emit layoutAboutToBeChanged();
    std::stable_sort(m_Rows.begin(), m_Rows.end(),
                     [&](const Row& a, const Row& b) { return before(a.data, b.data); });
    emit layoutChanged();
}

// ---- Lists and files ----

QPushButton* TkButton(QWidget* parent, const char* text, const char* objectName) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromLatin1(objectName));
    b->setAutoDefault(false);
    return b;
}

void TkMessage(QWidget* parent, const QString& text, vex::MsgIcon icon) {
    vex::ShowMessage(parent, text, vex::MsgButtons::Ok, icon);
}

QTableView* MakeTkList(QWidget* parent, CTkRowsModel* model, const std::vector<int>& widths) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    vex::SetupReportList(*view);
    for (size_t c = 0; c < widths.size(); ++c) view->setColumnWidth(static_cast<int>(c), widths[c]);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

QString TkSaveFile(QWidget* parent, const QString& filter, const QString& extension) {
    vex::Prompt& prompt = vex::CurrentPrompt();
    QString path = prompt.saveFile(parent, QString(), QString(), filter);
    if (path.isEmpty() || extension.isEmpty() || !QFileInfo(path).suffix().isEmpty() ||
        QFileInfo(path).fileName().isEmpty())
        return path;
    // The chooser asked about replacing only the name as typed; the completed name is asked about here.
    path += QLatin1Char('.') + extension;
    if (QFileInfo::exists(path) &&
        prompt.message(parent, QStringLiteral("%1 已存在。\n要替换它吗?").arg(path),
                       QStringLiteral("确认另存为"), vex::MsgButtons::YesNo,
                       vex::MsgIcon::Warning) != vex::MsgResult::Yes)
        return {};
    return path;
}

// ---- CTkProgressDlg ----

CTkProgressDlg::CTkProgressDlg(const QString& stopText, QWidget* parent) : QDialog(parent) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_Fields = new QGridLayout;
    m_Status = new QLineEdit(this);
    m_Status->setObjectName("editStatus");
    m_Status->setReadOnly(true);
    m_Status->setMinimumWidth(460);
    m_Bar = new QProgressBar(this);
    m_Bar->setObjectName("progress");
    m_Bar->setRange(0, 10000);
    m_Bar->setValue(0);
    m_Bar->setTextVisible(false);
    m_Stop = new QPushButton(stopText, this);
    m_Stop->setObjectName("btnStop");
    m_Stop->setAutoDefault(false);
    auto* status = new QHBoxLayout;
    status->addWidget(new QLabel(QStringLiteral("进度说明："), this));
    status->addWidget(m_Status, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_Bar, 1);
    bottom->addWidget(m_Stop);
    auto* top = new QVBoxLayout(this);
    top->addLayout(m_Fields);
    top->addLayout(status);
    top->addLayout(bottom);
    top->setSizeConstraint(QLayout::SetFixedSize);

    m_Timer = new QTimer(this);
    m_Timer->setInterval(kRefreshMs);
    connect(m_Timer, &QTimer::timeout, this, [this] { refresh(); });
    connect(m_Stop, &QPushButton::clicked, this, [this] { OnStop(); });
}

CTkProgressDlg::~CTkProgressDlg() = default;

void CTkProgressDlg::finishJob() {
    if (m_Job != nullptr) m_Job->Finish();
    m_Job = nullptr;
}

void CTkProgressDlg::addField(const QString& label, const QString& text) {
    const int row = m_Fields->rowCount();
    auto* edit = new QLineEdit(text, this);
    edit->setReadOnly(true);
    edit->setMinimumWidth(460);
    m_Fields->addWidget(new QLabel(label, this), row, 0);
    m_Fields->addWidget(edit, row, 1);
}

int CTkProgressDlg::exec() {
    if (m_Job == nullptr) return QDialog::Rejected;
    return QDialog::exec();
}

void CTkProgressDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_Started || m_Job == nullptr) return;
    m_Started = true;
    refresh();
    m_Timer->start();
    m_Job->Start([this] {
        QMetaObject::invokeMethod(
            this, [this] { onJobEnded(); }, Qt::QueuedConnection);
    });
}

void CTkProgressDlg::OnStop() {
    if (m_Job != nullptr) m_Job->Stop();
}

void CTkProgressDlg::reject() {
    // The dialog goes only with its job: a running job is asked to stop and closes the dialog as it ends.
    if (m_Started && m_Job != nullptr && !m_Job->Ended()) {
        OnStop();
        return;
    }
    QDialog::reject();
}

void CTkProgressDlg::closeEvent(QCloseEvent* event) {
    if (m_Started && m_Job != nullptr && !m_Job->Ended()) {
        OnStop();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CTkProgressDlg::refresh() {
    if (m_Job == nullptr) return;
    ++m_Refreshes;
    m_Status->setText(statusOf(*m_Job));
    const int value = static_cast<int>(m_Job->Progress());
    if (m_Bar->value() != value) m_Bar->setValue(value);
}

void CTkProgressDlg::onJobEnded() {
    m_Job->Join();
    m_Timer->stop();
    refresh();
    done(m_Job->Succeeded() ? QDialog::Accepted : QDialog::Rejected);
}

QString CTkProgressDlg::StatusText() const {
    return m_Status->text();
}

int CTkProgressDlg::ProgressValue() const {
    return m_Bar->value();
}

QString TkProgressText(const CLogToolJob& job) {
    return QStringLiteral("当前进度 %1% (%2/%3)")
        .arg(QString::number(job.Progress() / 100.0, 'f', 2))
        .arg(job.Index())
        .arg(job.Count());
}

QString TkStatusText(const CLogToolJob& job, const QString& starting, const QString& done,
                     const QString& failed) {
    switch (job.phase()) {
        case CLogToolJob::Phase::Idle:
        case CLogToolJob::Phase::Started:
            return starting;
        case CLogToolJob::Phase::Running:
            return TkProgressText(job);
        case CLogToolJob::Phase::Saving:
        case CLogToolJob::Phase::Done:
            return done;
        case CLogToolJob::Phase::Failed:
            break;
    }
    return failed;
}
