#include "windows/tracewnd.h"

#include <QAccessible>
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

namespace {

constexpr int kRowHeight = 22;
constexpr uint32_t kTreeSelectedBackground = 0xFF3C00;  // 0x00BBGGRR
constexpr uint32_t kTreeCellBorder = 0xE6E6E6;
constexpr int kImageSize = 16;
constexpr int kTextInset = 4;  // between a cell's edges (or its image) and its text

void setUpHeader(QHeaderView* header) {
    header->setFont(vex::ListFont());
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(10);
    for (int c = 0; c < trace::kColumnCount; ++c) header->resizeSection(c, trace::ColumnWidth(c));
    // The header shows titles only: its image list names no image for any header item.
}

// Rows of one fixed height.
class RowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
    }
};

// The rows a multi-cell change covers, as a strip of the viewport; empty when none of them is in view.
QRect changedStrip(const QWidget* viewport, int top, int bottom) {
    return QRect(0, top, viewport->width(), bottom - top + 1).intersected(viewport->rect());
}

}  // namespace

// ---- list ----

CTraceListCtrl::CTraceListCtrl(QWidget* parent) : QTableView(parent) {
    setFont(vex::ListFont());
    setItemDelegate(new RowDelegate(this));
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
    const auto* list = qobject_cast<const CTraceListModel*>(model());
    QWidget* port = viewport();
    const QRect dirty = event->rect().intersected(port->rect());
    const int rows = model() != nullptr ? model()->rowCount() : 0;
    // The whole client area is striped row by row, so the stripes go on right of the last column and
    // below the last row.
    int row = rows > 0 ? std::max(0, rowAt(0)) : 0;
    int y = rows > 0 ? rowViewportPosition(row) : 0;
    if (list == nullptr) {
        {
            QPainter painter(port);
            for (; y < port->height(); y += kRowHeight, ++row) {
                const uint32_t colour =
                    row % 2 == 0 ? CTraceListModel::kEvenRowColour : CTraceListModel::kOddRowColour;
                painter.fillRect(0, y, port->width(), kRowHeight, vex::ColorFromRef(colour));
            }
        }
        QTableView::paintEvent(event);
        return;
    }

    // The columns in the painted area, left to right.
    struct Column {
        int index, x, width;
    };
    Column columns[trace::kColumnCount];
    int shown = 0;
    const QHeaderView* header = horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int c = header->logicalIndex(visual);
        if (c < 0 || c >= trace::kColumnCount || header->isSectionHidden(c)) continue;
        const int x = columnViewportPosition(c), w = columnWidth(c);
        if (w <= 0 || x + w <= dirty.left() || x > dirty.right()) continue;
        columns[shown++] = {c, x, w};
    }
    const QItemSelectionModel* selection = selectionModel();
    const QPalette::ColorGroup group = isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    const QColor highlight = palette().color(group, QPalette::Highlight);
    const QColor highlightText = palette().color(group, QPalette::HighlightedText);
    const QColor colours[2] = {vex::ColorFromRef(CTraceListModel::kEvenRowColour),
                               vex::ColorFromRef(CTraceListModel::kOddRowColour)};

    QPainter painter(port);
    for (; y <= dirty.bottom() && y < port->height(); y += kRowHeight, ++row) {
        if (y + kRowHeight <= dirty.top()) continue;
        painter.fillRect(dirty.left(), y, dirty.width(), kRowHeight, colours[row % 2]);
        if (row >= rows || shown == 0) continue;
        const bool selected = selection != nullptr && selection->isRowSelected(row, QModelIndex());
        if (selected) {
            const int left = columns[0].x, right = columns[shown - 1].x + columns[shown - 1].width;
            painter.fillRect(QRect(left, y, right - left, kRowHeight).intersected(dirty), highlight);
        }
        painter.setPen(selected ? highlightText : QColor(Qt::black));
        for (int i = 0; i < shown; ++i) {
            const Column& col = columns[i];
            list->FormCell(row, col.index, m_cell);
            if (m_cell.Empty()) continue;
            const QRect cell(col.x, y, col.width, kRowHeight);
            const QRect area = col.index == trace::kName ? cell.adjusted(kTextInset, 0, 0, 0) : cell;
            m_text.Draw(painter, area, cell, trace::ColumnAlignment(col.index), m_cell.View(), false,
                        selected ? highlight : colours[row % 2]);
        }
    }
}

void CTraceListCtrl::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                 const QList<int>& roles) {
    // A change of many cells repaints the strip of rows it covers; the base class would look up the
    // rectangle of every cell in it.
    if (topLeft == bottomRight || !topLeft.isValid() || !bottomRight.isValid() || QAccessible::isActive()) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    const QRect strip =
        changedStrip(viewport(), rowViewportPosition(topLeft.row()),
                     rowViewportPosition(bottomRight.row()) + rowHeight(bottomRight.row()) - 1);
    if (!strip.isEmpty()) viewport()->update(strip);
}

// ---- tree ----

CTraceTreeCtrl::CTraceTreeCtrl(QWidget* parent) : QTreeView(parent) {
    setFont(vex::ListFont());
    setItemDelegate(new RowDelegate(this));
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
    m_images[0] = QPixmap::fromImage(CTraceTreeModel::Image(CTraceTreeModel::kMessageImage));
    m_images[1] = QPixmap::fromImage(CTraceTreeModel::Image(CTraceTreeModel::kSignalImage));
}

QRect CTraceTreeCtrl::ImageRect(const QModelIndex& index) const {
    const QRect row = visualRect(index.siblingAtColumn(0));
    if (row.isEmpty()) return {};
    return QRect(row.left() + 2, row.top() + (row.height() - kImageSize) / 2, kImageSize, kImageSize);
}

void CTraceTreeCtrl::paintEvent(QPaintEvent* event) {
    m_rowsBottom = -1;
    QTreeView::paintEvent(event);
    if (m_rowsBottom < 0 || qobject_cast<const CTraceTreeModel*>(model()) == nullptr) return;
    // The cells' right borders, for all rows drawn at once.
    const QRect dirty = event->rect();
    const int bottom = std::min(m_rowsBottom, dirty.bottom());
    if (bottom < dirty.top()) return;
    QPainter painter(viewport());
    const QColor border = vex::ColorFromRef(kTreeCellBorder);
    const QHeaderView* head = header();
    for (int visual = 0; visual < head->count(); ++visual) {
        const int c = head->logicalIndex(visual);
        if (c < 0 || head->isSectionHidden(c) || columnWidth(c) <= 0) continue;
        const int x = columnViewportPosition(c) + columnWidth(c) - 1;
        if (x < dirty.left() || x > dirty.right()) continue;
        painter.fillRect(QRect(x, dirty.top(), 1, bottom - dirty.top() + 1), border);
    }
}

void CTraceTreeCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const auto* tree = qobject_cast<const CTraceTreeModel*>(model());
    if (tree == nullptr) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    const QItemSelectionModel* selection = selectionModel();
    const bool selected = selection != nullptr && selection->isSelected(index.siblingAtColumn(0));
    const QColor background = selected ? vex::ColorFromRef(kTreeSelectedBackground) : QColor(Qt::white);
    const int y = option.rect.y(), h = option.rect.height();
    const int width = viewport()->width();
    const bool signalRow = index.parent().isValid();
    const int indent = indentation() * ((signalRow ? 1 : 0) + (rootIsDecorated() ? 1 : 0));
    const QHeaderView* head = header();
    // The row's extent over its columns: one background, one bottom border (the branch area has none);
    // paintEvent adds the right borders of the cells.
    int left = width, right = -1, cellsLeft = width;
    for (int visual = 0; visual < head->count(); ++visual) {
        const int c = head->logicalIndex(visual);
        if (c < 0 || head->isSectionHidden(c) || columnWidth(c) <= 0) continue;
        const int x = columnViewportPosition(c);
        left = std::min(left, x);
        right = std::max(right, x + columnWidth(c) - 1);
        cellsLeft = std::min(cellsLeft, c == 0 ? x + std::min(indent, columnWidth(c)) : x);
    }
    if (right < left) return;
    painter->fillRect(QRect(left, y, right - left + 1, h), background);
    painter->fillRect(QRect(cellsLeft, y + h - 1, right - cellsLeft + 1, 1),
                      vex::ColorFromRef(kTreeCellBorder));
    m_rowsBottom = std::max(m_rowsBottom, y + h - 1);
    painter->setPen(selected ? QColor(Qt::white) : QColor(Qt::black));
    for (int visual = 0; visual < head->count(); ++visual) {
        const int c = head->logicalIndex(visual);
        if (c < 0 || head->isSectionHidden(c)) continue;
        const int x = columnViewportPosition(c), w = columnWidth(c);
        if (w <= 0 || x + w <= 0 || x >= width) continue;
        QRect cell(x, y, w, h);
        if (c == 0) {
            // The branch area (the node's open or closed mark) left of the first cell.
            const QRect branches(x, y, std::min(indent, w), h);
            drawBranches(painter, branches, index);
            cell.setLeft(x + branches.width());
        }
        // Inside the borders.
        const QRect inner = cell.adjusted(0, 0, -1, -1);
        if (inner.width() <= 0) continue;
        QRect area = cell.adjusted(kTextInset, 0, -kTextInset, 0);
        if (c == 0) {
            const int image = CTraceTreeModel::ImageOf(index.siblingAtColumn(0));
            const QPoint at(cell.left() + 2, y + (h - kImageSize) / 2);
            const QPixmap& pixmap = m_images[image == CTraceTreeModel::kSignalImage ? 1 : 0];
            if (inner.contains(QRect(at, pixmap.size()))) {
                painter->drawPixmap(at, pixmap);
            } else {
                painter->save();
                painter->setClipRect(inner, Qt::IntersectClip);
                painter->drawPixmap(at, pixmap);
                painter->restore();
            }
            area.setLeft(at.x() + kImageSize + kTextInset);
        }
        if (signalRow && c >= CTraceTreeModel::kSignalColumns) continue;
        if (area.width() <= 0) continue;
        tree->FormCell(index.siblingAtColumn(c), m_cell);
        if (m_cell.Empty()) continue;
        // Column 0 is left-aligned and cut with an ellipsis; the others are centred.
        m_text.Draw(*painter, area, inner, trace::ColumnAlignment(c), m_cell.View(), c == 0, background);
    }
}

void CTraceTreeCtrl::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                 const QList<int>& roles) {
    // A change of many cells repaints the strip of rows it covers; the base class would look up the
    // rectangle of every cell in it. Rows under a closed node are not in view.
    if (topLeft == bottomRight || !topLeft.isValid() || !bottomRight.isValid() || QAccessible::isActive()) {
        QTreeView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    const QModelIndex parent = topLeft.parent();
    if (parent.isValid()) {
        // Signal rows show only under an open node: the row below an open node is its first child.
        // (isExpanded would build a persistent index for every look.)
        const QModelIndex below = indexBelow(parent);
        if (!below.isValid() || below.parent() != parent) return;
    }
    const QRect first = visualRect(topLeft.siblingAtColumn(0));
    const QRect last = visualRect(bottomRight.siblingAtColumn(0));
    if (!first.isValid() || !last.isValid()) {
        QTreeView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    const QRect strip = changedStrip(viewport(), first.top(), last.bottom());
    if (!strip.isEmpty()) viewport()->update(strip);
}

// ---- view ----

CTraceView::CTraceView(CCanMsgDataHub& hub, tCFG_SET_TRACE& settings, QWidget* parent)
    : QWidget(parent),
      m_hub(hub),
      m_settings(settings),
      m_listModel(new CTraceListModel(settings, this)),
      m_treeModel(new CTraceTreeModel(settings, this, hub.Clock())),
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
        if (m_tree->IsPaused())
            m_treeModel->Refresh(m_hub.ViewTraceMap());
        else
            m_treeModel->Refresh(m_hub.LiveTraceMap(), m_isOnline && m_isOnline());
    }
    if (added > 0 && m_settings.Fellow != 0) {
        // "Fellow" follows the newest rows: the newest row becomes the current one and is also scrolled
        // into view, since the focus state alone would leave it off screen. Only when rows were added, so
        // a list that did not change stays where the user scrolled it.
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
        // Following the newest rows: the list shown again starts at its newest row, not where it was
        // left (a focus state alone would leave the newest rows off screen).
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
