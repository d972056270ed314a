#pragma once
// The graph window's curve pane: owns the plot engine, maps graphed signals (message key and signal name)
// to curve slots, feeds samples in, repaints every 200 ms (and moves the time window every 150 ms while
// plotting), applies and edits the panel settings, and turns mouse drags into scrolling or the cursor
// while the plot is frozen. GUI thread only.
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/cfgrecords.h"
#include "windows/graphdlg.h"
#include "windows/graphdraw.h"
#include "windows/graphsigcfg.h"
#include "windows/plot/graphplot.h"

struct tCAN_SIG_SAMPLE_DATA;
class QTimer;

struct tGRAPH_SIGNAL_CURVE_MAP {
    uint32_t MsgKey = 0xFFFFFFFFu;
    std::string SigName;
    int32_t Slot = -1;
};

class CGraphCurveView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRepaintTimerMs = 200;  // timer 500
    enum MouseMode { kScroll = 1, kCursor = 2 };

    // Edits the panel settings in the panel dialog; true when the user accepted the edit.
    using PanelEditor = std::function<bool(GraphPanelValues& values, QWidget* parent)>;

    CGraphCurveView(tCFG_SET_GRAPH& settings, QWidget* parent = nullptr);

    CGraphPlot& Engine() { return m_plot; }
    const std::vector<tGRAPH_SIGNAL_CURVE_MAP>& CurveMap() const { return m_map; }
    // The slot of a graphed signal, -1 when it has no curve.
    int32_t SlotOf(uint32_t msgKey, const std::string& name) const { return m_index.Find(msgKey, name); }
    void SetPanelEditor(PanelEditor editor) { m_panelEditor = std::move(editor); }

    // A curve for the signal unless it has one: its name, unit, colour, Y range and point type, its
    // value-table texts as enumerated ticks, shown. A 257th curve is not made (its samples are dropped).
    void AddCurve(uint32_t msgKey, const tCFG_SET_GRAPH_SIG& sig);
    void RemoveCurve(uint32_t msgKey, const std::string& name);
    // Into the signal's curve; dropped when the signal has none.
    void AddSample(const tCAN_SIG_SAMPLE_DATA& sample);
    void SelectCurve(uint32_t msgKey, const std::string& name);
    void ShowCurve(uint32_t msgKey, const std::string& name, bool shown);
    void UpdateCurve(uint32_t msgKey, const std::string& name, double minimum, double maximum, uint32_t color,
                     int32_t pointType);

    // Start: the 150 ms tick runs, the engine unfrozen and reset. Stop: frozen, the tick stopped; the
    // 200 ms repaint keeps running.
    void StartCurves();
    void StopCurves();
    // Grid, time length, Y-axis mode, colours and page turning from the graph settings into the engine.
    void ApplyPanelSettings();
    // Tool bar "panel": the panel dialog on the settings; on OK, when frozen and the length shortened, the
    // window first goes to the start of the data.
    void EditPanelSettings();
    void GoToStart();
    void GoToEnd();

    int MouseMode() const { return m_mouseMode; }
    void SetMouseMode(int mode) { m_mouseMode = mode; }

    // 500: repaint; 250: engine tick.
    void OnTimer(int id);
    QTimer* tickTimer() const { return m_tickTimer; }
    QTimer* repaintTimer() const { return m_repaintTimer; }

    // The frame as the last paint drew it.
    const QImage& Frame() const { return m_image; }

signals:
    // Every repaint tick: the window brings its tool bar up to date.
    void repainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const tGRAPH_SIGNAL_CURVE_MAP* find(uint32_t msgKey, const std::string& name) const;
    void rebuildIndex();
    void setClientRect();

    tCFG_SET_GRAPH& m_settings;
    std::vector<tGRAPH_SIGNAL_CURVE_MAP> m_map;
    CGraphSignalIndex m_index;
    int m_lastX = 0;
    int m_lastY = 0;
    int m_mouseMode = kScroll;
    bool m_buttonDown = false;
    CGraphPlot m_plot;
    CGraphPlotPainter m_painter;
    QImage m_image;
    QTimer* m_tickTimer;
    QTimer* m_repaintTimer;
    PanelEditor m_panelEditor;
};
