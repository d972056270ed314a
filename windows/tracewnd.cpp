#include "windows/tracewnd.h"

#include <QAction>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStackedLayout>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>

#include "windows/fonts.h"
#include "windows/listcellpaint.h"
#include "windows/tracetext.h"

namespace {

constexpr int kRowHeight = 22;
constexpr uint32_t kTreeSelectedBackground = 0xFF3C00;  // 0x00BBGGRR
constexpr uint32_t kTreeCellBorder = 0xE6E6E6;

void setUpHeader(QHeaderView* header) {
    header->setFont(vex::ListFont());
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(10);
    for (int c = 0; c < trace::kColumnCount; ++c) header->resizeSection(c, trace::ColumnWidth(c));
}

// Rows of one fixed height.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
    }
};

// Cells of the tree: bordered, text left with an ellipsis in column 0 and centred elsewhere.
class TraceTreeDelegate : public RowDelegate {
public:
    using RowDelegate::RowDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        const QRect& r = option.rect;
        painter->save();
        painter->fillRect(r, selected ? vex::ColorFromRef(kTreeSelectedBackground) : QColor(Qt::white));
        painter->setPen(vex::ColorFromRef(kTreeCellBorder));
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        const QString text = index.data(Qt::DisplayRole).toString();
        if (!text.isEmpty()) {
            const QRect area = r.adjusted(4, 0, -4, 0);
            painter->setPen(selected ? QColor(Qt::white) : QColor(Qt::black));
            painter->setFont(option.font);
            if (index.column() == trace::kName) {
                const QString shown = option.fontMetrics.elidedText(text, Qt::ElideRight, area.width());
                painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
            } else {
                painter->setClipRect(r);
                painter->drawText(area, Qt::AlignCenter | Qt::TextSingleLine, text);
            }
        }
        painter->restore();
    }
};

// Cells of the list: the row's stripe (or the selection) behind the text, aligned as its column.
class TraceListDelegate : public RowDelegate {
public:
    using RowDelegate::RowDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        const QColor background = selected ? option.palette.color(QPalette::Highlight)
                                           : index.data(Qt::BackgroundRole).value<QColor>();
        const uint32_t text = selected ? 0xFFFFFF : 0x000000;
        painter->save();
        painter->setFont(option.font);
        DrawListSubItem(*painter, option.rect, index, text, colorRef(background), false);
        painter->restore();
    }

private:
    static uint32_t colorRef(const QColor& c) {
        return static_cast<uint32_t>(c.red()) | static_cast<uint32_t>(c.green()) << 8 |
               static_cast<uint32_t>(c.blue()) << 16;
    }
};

}  // namespace

// ---- list ----

CTraceListCtrl::CTraceListCtrl(QWidget* parent) : QTableView(parent) {
    setFont(vex::ListFont());
    setItemDelegate(new TraceListDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    setShowGrid(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void CTraceListCtrl::paintEvent(QPaintEvent* event) {
    // The whole client area is striped row by row, so the stripes go on right of the last column and
    // below the last row.
    const int rows = model() != nullptr ? model()->rowCount() : 0;
    int row = rows > 0 ? std::max(0, rowAt(0)) : 0;
    int y = rows > 0 ? rowViewportPosition(row) : 0;
    {
        QPainter painter(viewport());
        for (; y < viewport()->height(); y += kRowHeight, ++row) {
            const uint32_t colour =
                row % 2 == 0 ? CTraceListModel::kEvenRowColour : CTraceListModel::kOddRowColour;
            painter.fillRect(0, y, viewport()->width(), kRowHeight, vex::ColorFromRef(colour));
        }
    }
    QTableView::paintEvent(event);
}

// ---- tree ----

CTraceTreeCtrl::CTraceTreeCtrl(QWidget* parent) : QTreeView(parent) {
    setFont(vex::ListFont());
    setItemDelegate(new TraceTreeDelegate(this));
    setUniformRowHeights(true);
    setRootIsDecorated(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setExpandsOnDoubleClick(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Highlight, vex::ColorFromRef(kTreeSelectedBackground));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(pal);
}

// ---- view ----

CTraceView::CTraceView(CCanMsgDataHub& hub, tCFG_SET_TRACE& settings, QWidget* parent)
    : QWidget(parent),
      m_hub(hub),
      m_settings(settings),
      m_listModel(new CTraceListModel(settings, this)),
      m_treeModel(new CTraceTreeModel(settings, this)),
      m_list(new CTraceListCtrl(this)),
      m_tree(new CTraceTreeCtrl(this)),
      m_bodies(new QStackedLayout(this)),
      m_timer(new QTimer(this)) {
    m_list->setModel(m_listModel);
    m_tree->setModel(m_treeModel);
    setUpHeader(m_list->horizontalHeader());
    setUpHeader(m_tree->header());
    m_bodies->setContentsMargins(0, 0, 0, 0);
    m_bodies->addWidget(m_list);
    m_bodies->addWidget(m_tree);
    shareColumnLayout();
    {
        // The list starts with what the ring holds now.
        std::lock_guard<std::mutex> lock(m_hub.TraceLock());
        m_listModel->Sync(m_hub.TraceRing());
    }
    ApplySettings();
    m_timer->setInterval(kTimerMs);
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
    m_timer->start();
}

void CTraceView::shareColumnLayout() {
    // The two bodies show one column layout: a width changed in one header changes the other, both
    // scroll sideways together, and a click on a column title sorts the tree.
    QHeaderView* headers[2] = {m_list->horizontalHeader(), m_tree->header()};
    QScrollBar* bars[2] = {m_list->horizontalScrollBar(), m_tree->horizontalScrollBar()};
    for (int i = 0; i < 2; ++i) {
        QHeaderView* other = headers[1 - i];
        connect(headers[i], &QHeaderView::sectionResized, this, [this, other](int section, int, int size) {
            if (m_syncingLayout) return;
            m_syncingLayout = true;
            other->resizeSection(section, size);
            m_syncingLayout = false;
        });
        QScrollBar* otherBar = bars[1 - i];
        connect(bars[i], &QScrollBar::valueChanged, this, [this, otherBar](int value) {
            if (m_syncingLayout) return;
            m_syncingLayout = true;
            otherBar->setValue(value);
            m_syncingLayout = false;
        });
        connect(headers[i], &QHeaderView::sectionClicked, this,
                [this](int section) { m_treeModel->SortByColumn(section); });
    }
}

int CTraceView::OnTimer() {
    ApplySettings();
    int added = 0;
    {
        std::lock_guard<std::mutex> lock(m_hub.TraceLock());
        CCanMsgTraceRing& ring = m_hub.TraceRing();
        if (!m_paused && ring.Changed()) {
            added = m_listModel->Sync(ring);
            ring.ClearChanged();
        }
        m_treeModel->Refresh(m_tree->IsPaused() ? m_hub.ViewTraceMap() : m_hub.LiveTraceMap());
    }
    if (added > 0 && m_settings.Fellow != 0) {
        // The newest row becomes the current one and is scrolled into view (after the rows just inserted
        // are laid out).
        m_list->selectionModel()->setCurrentIndex(m_listModel->index(m_listModel->rowCount() - 1, 0),
                                                  QItemSelectionModel::NoUpdate);
        m_list->scrollToBottom();
    }
    return added;
}

void CTraceView::SetPaused(bool paused) {
    if (paused == m_paused && paused == m_tree->IsPaused()) return;
    if (paused) m_hub.SnapshotTraceMap();
    m_paused = paused;
    m_tree->SetPaused(paused);
    emit pausedChanged(paused);
}

void CTraceView::ClearTrace() {
    m_hub.ClearTrace();
    {
        std::lock_guard<std::mutex> lock(m_hub.TraceLock());
        m_listModel->Clear(m_hub.TraceRing());
    }
    m_treeModel->Clear();
}

void CTraceView::ApplySettings() {
    const uint8_t now[4] = {m_settings.TraceDetail, m_settings.DeltaTime, m_settings.NumHex,
                            m_settings.OnLine};
    if (now[0] != m_shownSettings[0]) {
        m_bodies->setCurrentWidget(now[0] ? static_cast<QWidget*>(m_tree) : m_list);
        if (!now[0] && m_settings.Fellow != 0) m_list->scrollToBottom();
    }
    if (!std::equal(now + 1, now + 4, m_shownSettings + 1)) {
        m_listModel->SettingsChanged();
        m_treeModel->SettingsChanged();
    }
    if (!std::equal(now, now + 4, m_shownSettings)) {
        std::copy(now, now + 4, m_shownSettings);
        emit settingsShown();
    }
}

// ---- window ----

CTraceWnd::CTraceWnd(CCanMsgDataHub& hub, tCFG_SET_TRACE& settings, QWidget* parent)
    : QWidget(parent),
      m_settings(settings),
      m_view(new CTraceView(hub, settings, this)),
      m_toolBar(new QToolBar(this)) {
    setWindowTitle(QStringLiteral("TRACE"));
    m_toolBar->setObjectName(QStringLiteral("traceToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_resume = addCommand("继续", "actResume", &CTraceWnd::OnResume);
    m_pause = addCommand("暂停", "actPause", &CTraceWnd::OnPause);
    // The mode and the two switches show their state.
    m_listMode = addCommand("列表", "actListMode", &CTraceWnd::OnListMode);
    m_treeMode = addCommand("树形", "actTreeMode", &CTraceWnd::OnTreeMode);
    m_deltaTime = addCommand("相对时间", "actDeltaTime", &CTraceWnd::OnToggleDeltaTime);
    m_numHex = addCommand("十六进制", "actNumHex", &CTraceWnd::OnToggleNumHex);
    for (QAction* a : {m_listMode, m_treeMode, m_deltaTime, m_numHex}) a->setCheckable(true);
    addCommand("清空", "actClear", &CTraceWnd::OnClear);
    m_toolBar->addSeparator();
    m_filter = addCommand("过滤", "actFilter", &CTraceWnd::OnFilter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_view);
    connect(m_view, &CTraceView::pausedChanged, this, [this] { UpdateCommands(); });
    connect(m_view, &CTraceView::settingsShown, this, [this] { UpdateCommands(); });
    UpdateCommands();
}

QAction* CTraceWnd::addCommand(const char* text, const char* name, void (CTraceWnd::*slot)()) {
    QAction* action = m_toolBar->addAction(QString::fromUtf8(text), this, slot);
    action->setObjectName(QString::fromLatin1(name));
    action->setToolTip(QString::fromUtf8(text));
    return action;
}

void CTraceWnd::SetFilterEditor(FilterEditor editor) {
    m_filterEditor = std::move(editor);
    UpdateCommands();
}

void CTraceWnd::ClearTrace() {
    m_view->ClearTrace();
}

void CTraceWnd::OnResume() {
    m_view->SetPaused(false);
}

void CTraceWnd::OnPause() {
    m_view->SetPaused(true);
}

void CTraceWnd::OnListMode() {
    m_settings.TraceDetail = 0;
    m_view->ApplySettings();
    UpdateCommands();
}

void CTraceWnd::OnTreeMode() {
    m_settings.TraceDetail = 1;
    m_view->ApplySettings();
    UpdateCommands();
}

void CTraceWnd::OnToggleDeltaTime() {
    m_settings.DeltaTime = m_settings.DeltaTime ? 0 : 1;
    m_view->ApplySettings();
    UpdateCommands();
}

void CTraceWnd::OnToggleNumHex() {
    m_settings.NumHex = m_settings.NumHex ? 0 : 1;
    m_view->ApplySettings();
    UpdateCommands();
}

void CTraceWnd::OnClear() {
    ClearTrace();
}

void CTraceWnd::OnFilter() {
    if (!m_filterEditor) return;
    CCanMsgFilter copy;
    CCanMsgFilter::Assign(copy, m_settings.Filter);
    if (m_filterEditor(copy, this)) CCanMsgFilter::Assign(m_settings.Filter, copy);
}

void CTraceWnd::UpdateCommands() {
    m_resume->setEnabled(m_view->IsPaused());
    m_pause->setEnabled(!m_view->IsPaused());
    m_filter->setEnabled(static_cast<bool>(m_filterEditor));
    m_listMode->setChecked(m_settings.TraceDetail == 0);
    m_treeMode->setChecked(m_settings.TraceDetail != 0);
    m_deltaTime->setChecked(m_settings.DeltaTime != 0);
    m_numHex->setChecked(m_settings.NumHex != 0);
}
