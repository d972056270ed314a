#pragma once
// The trace window: the frames of the data hub's trace as a list (every frame held by the trace ring,
// newest last) or as a tree (one node per identifier and channel with its newest frame and decoded
// signals), one of the two shown at a time under a shared column layout, refreshed every 100 ms. The
// main frame places it in an MDI child titled "TRACE" and only hides it when it is closed.
//
// Paused, the list keeps the rows it had and the tree shows the per-identifier copy taken when pausing;
// the hub's trace goes on filling. GUI thread only.
#include <QPixmap>
#include <QTableView>
#include <QTreeView>
#include <QWidget>

#include <functional>

#include "app/canmsgdatahub.h"
#include "config/cfgrecords.h"
#include "windows/listcellpaint.h"
#include "windows/tracemodels.h"
#include "windows/tracetext.h"

class QAction;
class QStackedLayout;
class QTimer;
class QToolBar;

// The list body: rows striped in the model's two colours, the stripes continued right of the last
// column and below the last row; selected rows white on the highlight colour.
//
// Over a CTraceListModel the list paints its rows itself, a row at a time: each cell's text is formed
// into a reused buffer and drawn as one line without a text layout (CCellTextPainter), so a paint
// allocates nothing and costs little per cell. Only the part of the viewport that a paint event names
// is painted, and a change of some rows repaints only those rows. Over another model it paints as a
// table view does.
class CTraceListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CTraceListCtrl(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

private:
    CCellTextPainter m_text;
    trace::CellText m_cell;
};

// The tree body: bordered cells at the header's widths, message nodes with image 0 and signal rows
// with image 1 in column 0, selected rows white on blue; a click anywhere selects the row, a
// double-click opens or closes a node.
//
// Over a CTraceTreeModel each row is drawn whole by drawRow, its texts formed into a reused buffer and
// drawn without a text layout; a change of some rows repaints only those rows that are in view.
class CTraceTreeCtrl : public QTreeView {
    Q_OBJECT
public:
    explicit CTraceTreeCtrl(QWidget* parent = nullptr);

    // Paused: the tree follows the hub's view copy of the per-identifier map, else the live map.
    bool IsPaused() const { return m_paused; }
    void SetPaused(bool paused) { m_paused = paused; }

    // Where column 0 of a row draws its image (an empty rectangle when the column is out of view).
    QRect ImageRect(const QModelIndex& index) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

private:
    bool m_paused = false;
    QPixmap m_images[2];
    mutable CCellTextPainter m_text;
    mutable trace::CellText m_cell;
    mutable int m_rowsBottom = -1;  // the lowest row drawn by the paint under way
};

class CTraceView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 100;

    CTraceView(CCanMsgDataHub& hub, tCFG_SET_TRACE& settings, QWidget* parent = nullptr);

    // One timer pass: live, the list takes the ring's new rows (and with "Fellow" the newest row becomes
    // the current one); live or paused, the tree follows its map. Also brings a changed "TraceDetail",
    // "DeltaTime", "NumHex" or "OnLine" into view. Returns the rows the list gained.
    int OnTimer();
    // Tells whether the bus is online (not replaying): the live tree then measures quiet keys against the
    // hub's receive clock, so that frame time goes on while the bus is silent. Without a probe, offline.
    void SetOnlineProbe(std::function<bool()> isOnline) { m_isOnline = std::move(isOnline); }

    // Pausing takes a copy of the live per-identifier map for the tree. Sets or clears the view's and the
    // tree's paused flags together.
    void SetPaused(bool paused);
    bool IsPaused() const { return m_paused; }

    // Empties the hub's trace ring and both per-identifier maps, and both bodies at once (paused too).
    void ClearTrace();
    // Shows the body that "TraceDetail" names and repaints after a switch changed.
    void ApplySettings();

    CTraceListCtrl* list() const { return m_list; }
    CTraceTreeCtrl* tree() const { return m_tree; }
    CTraceListModel* listModel() const { return m_listModel; }
    CTraceTreeModel* treeModel() const { return m_treeModel; }
    QTimer* timer() const { return m_timer; }

signals:
    void pausedChanged(bool paused);
    // ApplySettings brought a changed switch into view.
    void settingsShown();

private:
    void shareColumnLayout();

    CCanMsgDataHub& m_hub;
    tCFG_SET_TRACE& m_settings;
    std::function<bool()> m_isOnline;
    bool m_paused = false;
    CTraceListModel* m_listModel;
    CTraceTreeModel* m_treeModel;
    CTraceListCtrl* m_list;
    CTraceTreeCtrl* m_tree;
    QStackedLayout* m_bodies;
    QTimer* m_timer;
    uint8_t m_shownSettings[4] = {0xFF, 0xFF, 0xFF, 0xFF};  // TraceDetail, DeltaTime, NumHex, OnLine
    bool m_syncingLayout = false;
};

class CTraceWnd : public QWidget {
    Q_OBJECT
public:
    // Edits a filter in the filter dialog; true when the user accepted the edit.
    using FilterEditor = std::function<bool(CCanMsgFilter& filter, QWidget* parent)>;

    CTraceWnd(CCanMsgDataHub& hub, tCFG_SET_TRACE& settings, QWidget* parent = nullptr);

    CTraceView* view() const { return m_view; }
    QToolBar* toolBar() const { return m_toolBar; }

    // The display-filter command edits a copy of the display filter with this editor and writes it back
    // when the edit is accepted; without an editor the command is disabled.
    void SetFilterEditor(FilterEditor editor);

    // Empties the hub's trace and both bodies.
    void ClearTrace();

    // The tool-bar commands, in tool-bar order.
    void OnResume();
    void OnPause();
    void OnListMode();
    void OnTreeMode();
    void OnToggleDeltaTime();
    void OnToggleNumHex();
    void OnClear();
    void OnFilter();
    // Enables resume only while paused and pause only while live; shows the mode and the switches.
    void UpdateCommands();

private:
    QAction* addCommand(const char* text, const char* name, void (CTraceWnd::*slot)());

    tCFG_SET_TRACE& m_settings;
    CTraceView* m_view;
    QToolBar* m_toolBar;
    QAction* m_resume;
    QAction* m_pause;
    QAction* m_listMode;
    QAction* m_treeMode;
    QAction* m_deltaTime;
    QAction* m_numHex;
    QAction* m_filter;
    FilterEditor m_filterEditor;
};
