#pragma once
// CGraphPlot: the plot engine of the graph window. Up to 256 curves, each with a ring of the last 20,000
// time-stamped samples and its own value axis, one time axis, a time window that follows the newest
// sample while running, and a frozen mode in which the user scrolls through a copy of the data and reads
// values under a cursor. It knows nothing of CAN: times are milliseconds, values physical values.
//
// Plain C++ without a GUI toolkit; GUI thread only (the curve view's timers, paint and mouse handlers and
// the graph window's sample drain), so nothing here is locked. A curve's rings and column summary are
// allocated when the curve is added (the summary at its first drawing) and released when it is removed,
// never per sample; adding and removing a curve empties its slot, so a reused slot never shows another
// curve's samples.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "windows/plot/graphaxis.h"
#include "windows/plot/plotcolumns.h"
#include "windows/plot/samplering.h"

class CGraphPlotCurve {
public:
    static constexpr double kGapThreshold = 5000.0;  // ms: longer silences are joined by a dotted line

    plot::Rect rect;  // the area the curve is drawn into; set by the layout
    CGraphPlotYAxis YAxis;
    uint32_t Color = 0xFFFFFF;  // 0x00BBGGRR
    int32_t PenWidth = 1;
    int32_t PenStyle = 0;   // solid
    int32_t PointType = 1;  // 1 circle, 2 square, other values none
    CGraphSampleRing Live;
    CGraphSampleRing Frozen;
    // The drawn ring summarised per pixel column (kept by the drawing between frames).
    plot::ColumnSummary Columns;
    // The cursor: the frozen sample nearest to the cursor time, the last position and what it reads.
    tGR_CURVE_SAMPLE Found;
    int32_t CursorX = 0;
    int32_t CursorY = 0;
    double CursorTime = 0.0;
    double CursorValue = 0.0;
    bool CursorValid = false;
    bool InUse = false;
    bool Shown = true;

    // The ring drawing and the cursor read: the frozen copy while frozen.
    const CGraphSampleRing& Samples(bool frozen) const { return frozen ? Frozen : Live; }
};

// Where the last drawing put the value axes and the curves (GraphPlot::Layout).
struct PlotLayout {
    struct Strip {
        int32_t slot;
        plot::Rect rect;
    };
    struct Area {
        int32_t slot;
        plot::Rect area;  // the band the curve lies in (its x range is the time axis's)
    };
    std::vector<Strip> strips;  // value axes, in drawing order
    std::vector<Area> curves;   // shown curves, in drawing order: the current curve last in modes 0 and 1
    int32_t axisWidth = 0;
    // No value axis drawn: a plain line left of the plot and the ten-division grid stand in.
    bool fallbackAxis = false;
    bool drawCurves = true;
    // The value grid follows these axes' labelled ticks, each across its area.
    std::vector<Area> gridAxes;
};

class CGraphPlot {
public:
    static constexpr int32_t kCurveCount = 256;
    static constexpr double kRefreshPeriod = 150.0;  // ms: the view's tick and the idle window advance

    CGraphPlot();

    // Client rectangle; the frame is one pixel larger all round; the plot area is inset 20 at the top, 45
    // at the bottom, 15 at the left and 5 at the right.
    void SetClientRect(const plot::Rect& client);
    const plot::Rect& ClientRect() const { return m_client; }
    const plot::Rect& FrameRect() const { return m_frame; }
    const plot::Rect& PlotRect() const { return m_plot; }

    // Takes the lowest free slot, empties its rings and makes it the current curve: in use, not shown
    // (the caller shows it), point type 1. The range is truncated on an integer axis. -1 when all 256
    // slots are in use (nothing changes).
    int32_t AddCurve(const std::string& name, const std::string& unit, bool integerAxis, uint32_t color,
                     double minimum, double maximum);
    // Slots outside 0..255 are ignored by these.
    void AddCurveEnumTick(int32_t slot, int32_t value, const std::string& text);
    void SetCurveRange(int32_t slot, double minimum, double maximum);
    // Frees the slot and its rings; the current curve becomes the nearest slot below it (wrapping from 0
    // to 255) that is in use and shown, or -1.
    void RemoveCurve(int32_t slot);
    // Into the slot's live ring (ignored for a free slot); sets new data and the newest time.
    void AddSample(int32_t slot, double time, double value);

    // One refresh period: the window end moves on by the period, or to the newest sample when one came;
    // while frozen only the page end follows.
    void Tick();
    // On: copies every live ring into its frozen ring and sets the scroll limits around the data. Off:
    // empties the frozen rings and the limits.
    void Freeze(bool on);
    bool IsFrozen() const { return m_frozen; }
    // Window back to 0, every live ring emptied; curves stay.
    void Reset();
    // While frozen, for 1 pixel or more: the frozen window moves that many pixels' worth towards later
    // (right) or earlier (left) times, within the scroll limits.
    void ScrollRight(int32_t pixels);
    void ScrollLeft(int32_t pixels);
    // While frozen: the cursor time under x, and the frozen sample nearest to it on the readout's curve.
    void SetCursor(int32_t x, int32_t y);
    // The frozen window moved to start at the scroll start limit, or to end at the scroll end limit.
    void GoToStart();
    void GoToEnd();

    // Lays the value axes and curve areas out for a drawing (measure: the label font) and the time axis
    // right of them.
    const PlotLayout& Layout(const plot::TextMeasure& measure);
    const PlotLayout& LastLayout() const { return m_layout; }

    // The curve the cursor and its readout use: the current curve when in use and shown, else the first
    // in use and shown; -1 for none.
    int32_t ReadoutSlot() const;

    // Settings.
    void SetTimeLength(double ms) { m_xAxis.SetTimeLength(ms); }
    void SetGridShown(bool on) { m_gridShown = on; }
    bool GridShown() const { return m_gridShown; }
    void SetPageTurning(bool on) { m_pageTurning = on; }
    bool PageTurning() const { return m_pageTurning; }
    void SetYAxisShowMode(int32_t mode) { m_yAxisShowMode = mode; }
    int32_t YAxisShowMode() const { return m_yAxisShowMode; }
    void SetShowCursorReadout(bool on) { m_showReadout = on; }
    bool ShowCursorReadout() const { return m_showReadout; }

    uint32_t BackgroundColor = 0xFFFFFF;  // 0x00BBGGRR
    uint32_t GridColor = 0x005000;
    uint32_t XAxisColor = 0x000000;

    CGraphPlotCurve& Curve(int32_t slot) { return m_curves[static_cast<size_t>(slot)]; }
    const CGraphPlotCurve& Curve(int32_t slot) const { return m_curves[static_cast<size_t>(slot)]; }
    static bool ValidSlot(int32_t slot) { return slot >= 0 && slot < kCurveCount; }
    int32_t CurrentCurve() const { return m_current; }
    void SetCurrentCurve(int32_t slot) { m_current = ValidSlot(slot) ? slot : -1; }
    CGraphPlotXAxis& XAxis() { return m_xAxis; }
    const CGraphPlotXAxis& XAxis() const { return m_xAxis; }

    double Now() const { return m_now; }
    double NewestTime() const { return m_newestTime; }
    double PageEnd() const { return m_pageEnd; }
    double ScrollStartLimit() const { return m_scrollStart; }
    double ScrollEndLimit() const { return m_scrollEnd; }

private:
    bool shownCurve(int32_t slot) const;

    plot::Rect m_plot;
    plot::Rect m_frame;
    plot::Rect m_client;
    std::array<CGraphPlotCurve, kCurveCount> m_curves;
    CGraphPlotXAxis m_xAxis;
    bool m_frozen = false;
    bool m_showReadout = false;
    int32_t m_current = -1;
    double m_now = 0.0;
    double m_newestTime = 0.0;
    double m_scrollEnd = 0.0;
    double m_scrollStart = 0.0;
    bool m_newData = false;
    bool m_pageTurning = false;
    double m_pageEnd = 0.0;
    int32_t m_yAxisShowMode = 0;
    bool m_gridShown = true;
    PlotLayout m_layout;
};
