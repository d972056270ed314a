#include "windows/plot/graphplot.h"

#include <algorithm>
#include <cmath>

CGraphPlot::CGraphPlot() = default;

void CGraphPlot::SetClientRect(const plot::Rect& client) {
    m_client = client;
    m_frame = {client.left - 1, client.top - 1, client.right + 1, client.bottom + 1};
    m_plot = {client.left + 15, client.top + 20, client.right - 5, client.bottom - 45};
}

bool CGraphPlot::shownCurve(int32_t slot) const {
    return ValidSlot(slot) && m_curves[static_cast<size_t>(slot)].InUse &&
           m_curves[static_cast<size_t>(slot)].Shown;
}

int32_t CGraphPlot::AddCurve(const std::string& name, const std::string& unit, bool integerAxis,
                             uint32_t color, double minimum, double maximum) {
    for (int32_t slot = 0; slot < kCurveCount; ++slot) {
        CGraphPlotCurve& c = m_curves[static_cast<size_t>(slot)];
        if (c.InUse) continue;
        c.InUse = true;
        c.Shown = false;
        c.YAxis.Name = name;
        c.YAxis.Unit = unit;
        c.YAxis.SetIntegerAxis(integerAxis);
        c.YAxis.ClearEnumTicks();
        c.YAxis.SetRange(minimum, maximum);
        c.Color = color;
        c.PointType = 1;
        // A reused slot starts empty: nothing of the curve that held it before shows under this name.
        c.Live.Allocate();
        c.Frozen.Allocate();
        c.Columns.Release();
        c.Found = {};
        c.CursorValid = false;
        m_current = slot;
        return slot;
    }
    return -1;
}

void CGraphPlot::AddCurveEnumTick(int32_t slot, int32_t value, const std::string& text) {
    if (!ValidSlot(slot)) return;
    Curve(slot).YAxis.AddEnumTick(value, text);
}

void CGraphPlot::SetCurveRange(int32_t slot, double minimum, double maximum) {
    if (!ValidSlot(slot)) return;
    Curve(slot).YAxis.SetRange(minimum, maximum);
}

void CGraphPlot::RemoveCurve(int32_t slot) {
    if (!ValidSlot(slot)) return;
    CGraphPlotCurve& c = Curve(slot);
    c.InUse = false;
    c.Shown = false;
    c.YAxis.ClearEnumTicks();
    c.Live.Release();
    c.Frozen.Release();
    c.Columns.Release();
    c.Found = {};
    c.CursorValid = false;
    m_current = -1;
    for (int32_t step = 1; step <= kCurveCount; ++step) {
        const int32_t s = (slot - step + kCurveCount) % kCurveCount;
        if (shownCurve(s)) {
            m_current = s;
            break;
        }
    }
}

void CGraphPlot::AddSample(int32_t slot, double time, double value) {
    if (!ValidSlot(slot)) return;
    CGraphPlotCurve& c = Curve(slot);
    if (!c.InUse) return;
    c.Live.Push(time, value);
    m_newData = true;
    if (time > m_newestTime) m_newestTime = time;
}

void CGraphPlot::Tick() {
    m_now += kRefreshPeriod;
    if (m_newData) {
        m_newData = false;
        m_now = m_newestTime;
    }
    const double length = m_xAxis.TimeLength();
    m_pageEnd = std::trunc(m_now / length + 1.0) * length;
    if (m_frozen) return;
    m_xAxis.SetWindowEnd(m_pageTurning ? m_pageEnd : m_now);
}

void CGraphPlot::Freeze(bool on) {
    m_frozen = on;
    double oldest = m_newestTime;
    for (CGraphPlotCurve& c : m_curves) {
        if (!on) {
            c.Frozen.Clear();
            continue;
        }
        c.Frozen.CopyFrom(c.Live);
        if (c.InUse) oldest = std::min(oldest, c.Frozen.Count() > 0 ? c.Frozen.At(0).Time : 0.0);
    }
    m_xAxis.SetFrozen(on);
    if (on) {
        m_scrollEnd = m_newestTime + kRefreshPeriod;
        m_scrollStart = oldest - kRefreshPeriod;
    } else {
        m_scrollEnd = m_scrollStart = 0.0;
    }
}

void CGraphPlot::Reset() {
    m_now = m_newestTime = m_pageEnd = 0.0;
    m_newData = false;
    m_xAxis.Reset();
    for (CGraphPlotCurve& c : m_curves) c.Live.Clear();
}

void CGraphPlot::ScrollRight(int32_t pixels) {
    if (!m_frozen || pixels < 1 || !(m_xAxis.Scale() > 0.0)) return;
    const double d = pixels / m_xAxis.Scale();
    const double start = m_xAxis.FrozenStart();
    const double length = m_xAxis.TimeLength();
    if (start + length + d >= m_scrollEnd) {
        const double cut = m_scrollEnd - start - length;
        if (cut >= 0.0) m_xAxis.Shift(cut);
        return;
    }
    // Whole pixels: the columns keep their edges, and with them the curves' column summaries.
    m_xAxis.ShiftColumns(pixels);
}

void CGraphPlot::ScrollLeft(int32_t pixels) {
    if (!m_frozen || pixels < 1 || !(m_xAxis.Scale() > 0.0)) return;
    const double d = pixels / m_xAxis.Scale();
    const double start = m_xAxis.FrozenStart();
    if (start - d <= m_scrollStart) {
        const double cut = start - m_scrollStart;
        if (cut >= 0.0) m_xAxis.Shift(-cut);
        return;
    }
    m_xAxis.ShiftColumns(-static_cast<int64_t>(pixels));
}

void CGraphPlot::GoToStart() {
    if (!m_frozen) return;
    m_xAxis.Shift(m_scrollStart - m_xAxis.WindowStart());
}

void CGraphPlot::GoToEnd() {
    if (!m_frozen) return;
    m_xAxis.Shift(m_scrollEnd - m_xAxis.TimeLength() - m_xAxis.WindowStart());
}

int32_t CGraphPlot::ReadoutSlot() const {
    if (shownCurve(m_current)) return m_current;
    for (int32_t slot = 0; slot < kCurveCount; ++slot)
        if (shownCurve(slot)) return slot;
    return -1;
}

void CGraphPlot::SetCursor(int32_t x, int32_t y) {
    if (!m_frozen) return;
    const int32_t dx = x - m_layout.axisWidth - m_plot.left;
    if (dx < 0 || !(m_xAxis.Scale() > 0.0)) return;
    const double time = m_xAxis.WindowStart() + dx / m_xAxis.Scale();
    // The curve the readout shows, so that the readout never shows a hidden curve's cursor.
    const int32_t slot = ReadoutSlot();
    if (slot < 0) return;
    CGraphPlotCurve& c = Curve(slot);
    c.CursorX = x;
    c.CursorY = y;
    c.CursorTime = time;
    const CGraphPlotYAxis& axis = c.YAxis;
    const double top = axis.rect.top;
    const double bottom = axis.rect.bottom;
    c.CursorValue = top == bottom
                        ? axis.Minimum()
                        : (bottom - y) / (bottom - top) * (axis.Maximum() - axis.Minimum()) + axis.Minimum();
    // The nearest frozen sample in time: a binary search over the ring's order, the earlier on a tie.
    const CGraphSampleRing& ring = c.Frozen;
    const int32_t n = ring.Count();
    c.CursorValid = false;
    if (n < 2 || time < ring.At(0).Time || time > ring.At(n - 1).Time) return;
    int32_t lower = 0;
    int32_t upper = n - 1;
    while (upper - lower > 1) {
        const int32_t mid = (lower + upper) / 2;
        if (time >= ring.At(mid).Time)
            lower = mid;
        else
            upper = mid;
    }
    const tGR_CURVE_SAMPLE& a = ring.At(lower);
    const tGR_CURVE_SAMPLE& b = ring.At(upper);
    c.Found = time - a.Time <= b.Time - time ? a : b;
    c.CursorValid = true;
}

const PlotLayout& CGraphPlot::Layout(const plot::TextMeasure& measure) {
    PlotLayout& L = m_layout;
    L.strips.clear();
    L.curves.clear();
    L.gridAxes.clear();
    L.axisWidth = 0;
    L.fallbackAxis = false;
    L.drawCurves = true;
    const plot::Rect& p = m_plot;
    const int32_t plotH = p.Height();

    std::vector<int32_t> shown;
    for (int32_t slot = 0; slot < kCurveCount; ++slot)
        if (shownCurve(slot)) shown.push_back(slot);

    // Curves over the whole plot area right of the strips, mapped onto the plot's top and bottom; the
    // current curve last so that it lies on top.
    auto fullAreas = [&] {
        const plot::Rect area{p.left + L.axisWidth, p.top, p.right, p.bottom};
        for (int32_t slot : shown)
            if (slot != m_current) L.curves.push_back({slot, area});
        if (shownCurve(m_current)) L.curves.push_back({m_current, area});
        for (const PlotLayout::Area& a : L.curves) {
            CGraphPlotYAxis& axis = Curve(a.slot).YAxis;
            if (std::none_of(L.strips.begin(), L.strips.end(),
                             [&](const PlotLayout::Strip& s) { return s.slot == a.slot; }))
                axis.rect = {p.left, p.top, p.left, p.bottom};
        }
    };

    if (m_current < 0) {
        L.fallbackAxis = true;
        fullAreas();
    } else if (m_yAxisShowMode == 0) {
        if (shownCurve(m_current)) {
            CGraphPlotYAxis& axis = Curve(m_current).YAxis;
            L.axisWidth = axis.StripWidth(plotH, measure);
            axis.rect = {p.left, p.top, p.left + L.axisWidth, p.bottom};
            L.strips.push_back({m_current, axis.rect});
        } else {
            L.fallbackAxis = true;
        }
        fullAreas();
    } else if (m_yAxisShowMode == 1) {
        std::vector<int32_t> order;
        for (int32_t slot : shown)
            if (slot != m_current) order.push_back(slot);
        if (shownCurve(m_current)) order.push_back(m_current);
        int32_t x = p.left;
        for (int32_t slot : order) {
            CGraphPlotYAxis& axis = Curve(slot).YAxis;
            const int32_t w = axis.StripWidth(plotH, measure);
            axis.rect = {x, p.top, x + w, p.bottom};
            L.strips.push_back({slot, axis.rect});
            x += w;
        }
        L.axisWidth = x - p.left;
        if (L.axisWidth == 0) {
            L.fallbackAxis = true;
            L.strips.clear();
        }
        fullAreas();
    } else if (m_yAxisShowMode == 2) {
        const auto n = static_cast<int32_t>(shown.size());
        if (n == 0) {
            L.fallbackAxis = true;
        } else {
            const int32_t h = std::max(0, (plotH - 5 * (n - 1)) / n);
            int32_t width = 0;
            for (int32_t slot : shown) width = std::max(width, Curve(slot).YAxis.StripWidth(h, measure));
            L.axisWidth = width;
            const int32_t band = plotH / n;
            for (int32_t j = 0; j < n; ++j) {
                CGraphPlotYAxis& axis = Curve(shown[static_cast<size_t>(j)]).YAxis;
                const int32_t top = p.top + j * (h + 5);
                axis.rect = {p.left, top, p.left + width, top + h};
                L.strips.push_back({shown[static_cast<size_t>(j)], axis.rect});
                const plot::Rect area{p.left + width, p.top + j * band, p.right, p.top + (j + 1) * band};
                L.curves.push_back({shown[static_cast<size_t>(j)], area});
            }
            L.gridAxes = L.curves;
        }
    } else {
        L.drawCurves = false;
    }
    if ((m_yAxisShowMode == 0 || m_yAxisShowMode == 1) && !L.fallbackAxis && shownCurve(m_current))
        L.gridAxes.push_back({m_current, {p.left + L.axisWidth, p.top, p.right, p.bottom}});
    for (const PlotLayout::Area& a : L.curves) Curve(a.slot).rect = a.area;
    m_xAxis.Layout({p.left + L.axisWidth, p.top, p.right, p.bottom});
    return L;
}
