#pragma once
// The graph window "GRAPH": the signal list on the left and the curve pane on the right of a splitter,
// with a tool bar above (run, pause; add, remove; panel; pan, to start, to end; cursor). It turns the
// graph configuration into list rows and curves, adds and removes graphed signals, starts and stops
// plotting, and every 200 ms while plotting empties the data hub's sample FIFO into both panes. Meant to
// be the widget of an MDI child: closing it only hides it, and plotting goes on. GUI thread only.
//
// It takes what it uses: the hub (sample FIFO, and the global maps for the signal picker), the graph
// settings with the graph configuration, the colour table, and the online and replay flags.
#include <QList>
#include <QWidget>
#include <array>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/hubstores.h"
#include "config/cfgrecords.h"
#include "platform/clock.h"
#include "windows/firstshowsizes.h"
#include "windows/graphcurveview.h"
#include "windows/graphlistview.h"

class CCanMsgDataHub;
class CColorTable;
class QAction;
class QSplitter;
class QTimer;
class QToolBar;
struct tCAN_DB_SEL_CAN_SIG;

struct GraphWndDeps {
    CCanMsgDataHub& hub;
    tCFG_SET_GRAPH& settings;
    CColorTable& colors;
    std::function<bool()> isOnline;
    std::function<bool()> isReplaying;
    const vex::Clock& clock = vex::SystemClock();
};

class CGraphWnd : public QWidget, private CGraphListHost {
    Q_OBJECT
public:
    static constexpr int kDrainTimerMs = 200;

    // Picks signals to graph from the loaded databases, the signals already graphed given; false when the
    // user cancelled.
    using SignalPicker = std::function<bool(const std::vector<tCAN_DB_SEL_CAN_SIG>& graphed,
                                            std::vector<tCAN_DB_SEL_CAN_SIG>& picked, QWidget* parent)>;
    // The end time of the replayed page being shown (ms).
    using PageEndSource = std::function<double()>;

    explicit CGraphWnd(GraphWndDeps deps, QWidget* parent = nullptr);

    CGraphListView* listView() const { return m_list; }
    CGraphCurveView* curveView() const { return m_curve; }
    QToolBar* toolBar() const { return m_toolBar; }
    QSplitter* splitter() const { return m_splitter; }
    QTimer* drainTimer() const { return m_drainTimer; }

    // The dialogs, replaceable (tests); by default the signal picker and the two settings dialogs.
    void SetSignalPicker(SignalPicker picker) { m_picker = std::move(picker); }
    void SetPanelEditor(CGraphCurveView::PanelEditor editor);
    void SetSigEditor(CGraphListView::SigEditor editor);
    // Where the replay watch reads the page end; without one the watch never stops the plot.
    void SetPageEndSource(PageEndSource source) { m_pageEnd = std::move(source); }

    // Both panes rebuilt from the graph configuration, then the panel settings applied.
    void ApplyGraphSigCfg();
    void StartGraph();
    void StopGraph();
    bool IsPlotting() const;
    // While set, plotting stops by itself once the replayed page's end has been drawn.
    void SetReplayWatch(bool on) { m_replayWatch = on; }
    bool ReplayWatch() const { return m_replayWatch; }

    // Tool bar "add": the picker, then the configuration, rows and curves of the new signals.
    void AddGraphSignals();
    // The signal leaves the configuration and loses its curve.
    void RemoveGraphSignal(uint32_t msgKey, const std::string& name) override;

    // The frame's 200 ms: every waiting sample into the list and the curves; then the replay watch.
    void OnTimer();

    // The splitter into the layout record: the two columns' widths, row 0's height copied into row 1;
    // SpltMode is kept. Restoring sets them before or after the first show.
    void SaveLayout(tWND_SPLITTER& splitter) const;
    void RestoreLayout(const tWND_SPLITTER& splitter);

    // The tool-bar commands.
    void OnRun();
    void OnPause();
    void OnPanel();
    void OnPan();
    void OnToStart();
    void OnToEnd();
    void OnCursor();
    // Enables and checks the tool bar for the current state.
    void UpdateCommands();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // CGraphListHost
    void RemoveCurveOf(uint32_t msgKey, const std::string& name) override;
    void SelectCurve(uint32_t msgKey, const std::string& name) override;
    void ShowCurve(uint32_t msgKey, const std::string& name, bool shown) override;
    void UpdateCurveSettings(uint32_t msgKey, const tCFG_SET_GRAPH_SIG& sig) override;

    QAction* addCommand(const char* text, const char* name, void (CGraphWnd::*slot)());
    bool active() const;  // online or replaying

    GraphWndDeps m_deps;
    QToolBar* m_toolBar;
    QSplitter* m_splitter;
    CGraphListView* m_list;
    CGraphCurveView* m_curve;
    QTimer* m_drainTimer;
    QAction* m_run;
    QAction* m_pause;
    QAction* m_pan;
    QAction* m_toStart;
    QAction* m_toEnd;
    QAction* m_cursor;
    bool m_replayWatch = false;
    PageEndSource m_pageEnd;
    SignalPicker m_picker;
    std::array<tCAN_SIG_SAMPLE_DATA, 256> m_samples;  // drain scratch: keeps its strings' capacity
    CFirstShowSizes m_firstShow;
};
