#include "windows/graphlistview.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

#include <cstdio>

#include "app/hubstores.h"
#include "platform/qt/prompt.h"
#include "windows/fonts.h"
#include "windows/listcellpaint.h"

namespace {

constexpr int kRowHeight = 22;
constexpr int kColumnWidths[CGraphListModel::kColumns] = {200, 10, 100, 80};

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString colorText(uint32_t color) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", color);
    return QString::fromLatin1(buf);
}

// Cells on the list's background in black; the colour column is a solid swatch of the signal's colour,
// also in a selected row.
class GraphListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (index.column() == CGraphListModel::kColor) {
            painter->fillRect(option.rect, index.data(Qt::BackgroundRole).value<QColor>());
            return;
        }
        QStyleOptionViewItem opt(option);
        opt.palette.setColor(QPalette::Text, Qt::black);
        QStyledItemDelegate::paint(painter, opt, index);
    }
};

}  // namespace

// ---- model ----

int CGraphListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CGraphListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CGraphListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Row& r = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case kName:
                    return qs(r.SigName);
                case kColor:
                    return colorText(r.Color);
                case kPhyVal:
                    return qs(r.Value);
                case kUnit:
                    return qs(r.Unit);
                default:
                    return {};
            }
        case Qt::CheckStateRole:
            if (index.column() == kName) return r.Checked ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::BackgroundRole:
            return vex::ColorFromRef(index.column() == kColor ? r.Color : kRowBackground);
        case Qt::UserRole:
            return r.MsgKey;
        default:
            return {};
    }
}

bool CGraphListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != kName || role != Qt::CheckStateRole) return false;
    Row& r = m_rows[static_cast<size_t>(index.row())];
    const bool checked = value.toInt() == Qt::Checked;
    if (checked == r.Checked) return true;
    r.Checked = checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit checkChanged(index.row(), checked);
    return true;
}

Qt::ItemFlags CGraphListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kName) f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant CGraphListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[kColumns] = {"Name", " ", "PhyVal", "Unit"};
    return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

int CGraphListModel::FindRow(uint32_t msgKey, const std::string& name) const {
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].MsgKey == msgKey && m_rows[i].SigName == name) return static_cast<int>(i);
    return -1;
}

void CGraphListModel::AppendRow(Row row) {
    const int at = rowCount();
    beginInsertRows({}, at, at);
    m_rows.push_back(std::move(row));
    endInsertRows();
}

void CGraphListModel::RemoveRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void CGraphListModel::Clear() {
    if (m_rows.empty()) return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CGraphListModel::SetColor(int row, uint32_t color) {
    if (row < 0 || row >= rowCount()) return;
    m_rows[static_cast<size_t>(row)].Color = color;
    emit dataChanged(index(row, kColor), index(row, kColor));
}

void CGraphListModel::RefreshValues(const std::function<const std::string*(const Row&)>& valueOf) {
    if (m_rows.empty()) return;
    for (Row& r : m_rows)
        if (const std::string* v = valueOf(r)) r.Value = *v;
    emit dataChanged(index(0, kPhyVal), index(rowCount() - 1, kPhyVal), {Qt::DisplayRole});
}

// ---- view ----

CGraphListView::CGraphListView(tCFG_SET_GRAPH& graph, CGraphListHost& host, const vex::Clock& clock,
                               QWidget* parent)
    : QTableView(parent),
      m_graph(graph),
      m_host(host),
      m_clock(clock),
      m_model(new CGraphListModel(this)),
      m_refreshTimer(new QTimer(this)),
      m_staleTimer(new QTimer(this)) {
    setModel(m_model);
    setFont(vex::ListFont());
    setItemDelegate(new GraphListDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setShowGrid(true);
    setCornerButtonEnabled(false);
    // Below the last row the list shows the rows' background.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, vex::ColorFromRef(CGraphListModel::kRowBackground));
    setPalette(pal);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(10);
    horizontalHeader()->setHighlightSections(false);
    for (int c = 0; c < CGraphListModel::kColumns; ++c)
        horizontalHeader()->resizeSection(c, kColumnWidths[c]);
    m_refreshTimer->setInterval(kRefreshTimerMs);
    m_staleTimer->setInterval(kStaleTimerMs);
    connect(m_refreshTimer, &QTimer::timeout, this, [this] { OnTimer(500); });
    connect(m_staleTimer, &QTimer::timeout, this, [this] { OnTimer(200); });
    connect(m_model, &CGraphListModel::checkChanged, this, [this](int row, bool checked) {
        const CGraphListModel::Row& r = m_model->Rows()[static_cast<size_t>(row)];
        m_host.ShowCurve(r.MsgKey, r.SigName, checked);
    });
}

void CGraphListView::rebuildIndex() {
    m_valueIndex.Clear();
    for (size_t i = 0; i < m_values.size(); ++i)
        m_valueIndex.Add(m_values[i].MsgKey, m_values[i].SigName, static_cast<int32_t>(i));
}

void CGraphListView::AddSignalRow(uint32_t msgKey, const tCFG_SET_GRAPH_SIG& sig) {
    const std::string& name = sig.CanSig.Name;
    if (m_model->FindRow(msgKey, name) >= 0) return;
    m_model->AppendRow({msgKey, name, sig.Color, {}, sig.CanSig.Unit, true});
    if (m_valueIndex.Find(msgKey, name) >= 0) return;
    m_values.push_back({msgKey, name, {}, 0.0});
    m_valueIndex.Add(msgKey, name, static_cast<int32_t>(m_values.size() - 1));
}

void CGraphListView::UpdateSignalValue(const tCAN_SIG_SAMPLE_DATA& sample, double nowSeconds) {
    const int32_t at = m_valueIndex.Find(static_cast<uint32_t>(sample.MsgKey), sample.SigName);
    if (at < 0) return;
    tGRAPH_SIGNAL_LIST_PHY_VAL& v = m_values[static_cast<size_t>(at)];
    v.ValueText.assign(sample.ValueText);
    v.UpdateTime = nowSeconds;
}

void CGraphListView::ClearSignalRows() {
    m_selectedRow = -1;
    for (int row = m_model->rowCount() - 1; row >= 0; --row) {
        const CGraphListModel::Row r = m_model->Rows()[static_cast<size_t>(row)];
        m_host.RemoveCurveOf(r.MsgKey, r.SigName);
        m_model->RemoveRow(row);
    }
    m_values.clear();
    m_valueIndex.Clear();
}

void CGraphListView::RemoveSelectedSignal() {
    if (m_selectedRow < 0 || m_selectedRow >= m_model->rowCount()) {
        vex::CurrentPrompt().message(this, QStringLiteral("请选中其中一项。"), QString(), vex::MsgButtons::Ok,
                                     vex::MsgIcon::Warning);
        return;
    }
    const CGraphListModel::Row r = m_model->Rows()[static_cast<size_t>(m_selectedRow)];
    m_host.RemoveGraphSignal(r.MsgKey, r.SigName);
    m_model->RemoveRow(m_selectedRow);
    m_selectedRow = -1;
    const int32_t at = m_valueIndex.Find(r.MsgKey, r.SigName);
    if (at >= 0) {
        m_values.erase(m_values.begin() + at);
        rebuildIndex();
    }
}

void CGraphListView::UpdateSignalRow(uint32_t msgKey, const std::string& name,
                                     const tCFG_SET_GRAPH_SIG& sig) {
    m_model->SetColor(m_model->FindRow(msgKey, name), sig.Color);
}

void CGraphListView::Start() {
    m_paused = false;
    m_startTicks = m_clock.Ticks();
    // Silence is counted from this start, also for signals that last spoke in an earlier run.
    for (tGRAPH_SIGNAL_LIST_PHY_VAL& v : m_values) v.UpdateTime = 0.0;
    m_refreshTimer->start();
    m_staleTimer->start();
}

void CGraphListView::Stop() {
    m_refreshTimer->stop();
    m_staleTimer->stop();
}

double CGraphListView::SecondsSinceStart() const {
    return static_cast<double>(m_clock.Ticks() - m_startTicks) / static_cast<double>(m_clock.Frequency());
}

void CGraphListView::OnTimer(int id) {
    if (id == 500) {
        if (m_paused) return;
        m_model->RefreshValues([this](const CGraphListModel::Row& r) -> const std::string* {
            const int32_t at = m_valueIndex.Find(r.MsgKey, r.SigName);
            return at < 0 ? nullptr : &m_values[static_cast<size_t>(at)].ValueText;
        });
    } else if (id == 200) {
        const double now = SecondsSinceStart();
        for (tGRAPH_SIGNAL_LIST_PHY_VAL& v : m_values)
            if (now - v.UpdateTime > kStaleSeconds) v.ValueText = "--";
    }
}

void CGraphListView::OnClickRow(int row) {
    m_selectedRow = row;
    if (row < 0 || row >= m_model->rowCount()) return;
    const CGraphListModel::Row& r = m_model->Rows()[static_cast<size_t>(row)];
    m_host.SelectCurve(r.MsgKey, r.SigName);
}

void CGraphListView::OnDoubleClickRow(int row) {
    m_selectedRow = row;
    if (row < 0 || row >= m_model->rowCount() || !m_sigEditor) return;
    const CGraphListModel::Row r = m_model->Rows()[static_cast<size_t>(row)];
    const auto msg = m_graph.MsgMap.find(r.MsgKey);
    if (msg == m_graph.MsgMap.end()) return;
    for (tCFG_SET_GRAPH_SIG& sig : msg->second.SigArray) {
        if (sig.CanSig.Name != r.SigName) continue;
        tCFG_SET_GRAPH_SIG edited = sig;
        if (!m_sigEditor(edited, this)) return;
        sig.ShowMin = edited.ShowMin;
        sig.ShowMax = edited.ShowMax;
        sig.Color = edited.Color;
        sig.PointType = edited.PointType;
        m_host.UpdateCurveSettings(r.MsgKey, sig);
        UpdateSignalRow(r.MsgKey, r.SigName, sig);
        return;
    }
}

void CGraphListView::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) OnClickRow(indexAt(event->position().toPoint()).row());
}

void CGraphListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) OnDoubleClickRow(indexAt(event->position().toPoint()).row());
}
