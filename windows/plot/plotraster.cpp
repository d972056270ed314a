#include "windows/plot/plotraster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "windows/plot/graphplot.h"

namespace plot {

namespace {

// n / d rounded half away from zero; d > 0.
int64_t roundDiv(int64_t n, int64_t d) {
    return n >= 0 ? (2 * n + d) / (2 * d) : -((-2 * n + d) / (2 * d));
}

inline void put(PixelBuffer& buf, int32_t x, int32_t y, uint32_t pixel) {
    buf.bits[static_cast<int64_t>(y) * buf.stride + x] = pixel;
}

// Steps i of a run from `from` in direction `dir` (+1/-1) whose coordinate lies in 0..size-1, clipped to
// 0..steps.
void clipSteps(int32_t from, int32_t dir, int64_t steps, int32_t size, int64_t& lo, int64_t& hi) {
    if (dir > 0) {
        lo = std::max<int64_t>(0, -static_cast<int64_t>(from));
        hi = std::min<int64_t>(steps, static_cast<int64_t>(size) - 1 - from);
    } else {
        lo = std::max<int64_t>(0, static_cast<int64_t>(from) - (size - 1));
        hi = std::min<int64_t>(steps, from);
    }
}

// The sample's pixel, or false when it is not drawn.
inline bool samplePixel(const tGR_CURVE_SAMPLE& s, const CurveGeometry& g, int32_t& x, int32_t& y) {
    if (!(s.Time >= g.windowStart) || !std::isfinite(s.Value)) return false;
    const double px = (s.Time - g.windowStart) * g.scale + g.left;
    // Far beyond the image (or NaN from an infinite time) becomes the pixel limit.
    x = static_cast<int32_t>(px >= -kPixelLimit && px <= kPixelLimit ? px
                             : px < 0                                ? -kPixelLimit
                                                                     : kPixelLimit);
    y = g.y(s.Value);
    return true;
}

void markerPixels(PixelBuffer& buf, const MarkerShape& m, int32_t x, int32_t y, uint32_t pixel) {
    for (int32_t c = 0; c < m.count; ++c)
        DrawVSpan(buf, x + m.columns[c].dx, y + m.columns[c].top, y + m.columns[c].bottom, pixel);
}

}  // namespace

uint32_t PixelFromRef(uint32_t colorRef) {
    return 0xFF000000u | (colorRef & 0xFFu) << 16 | (colorRef & 0xFF00u) | (colorRef >> 16 & 0xFFu);
}

void DrawLine(PixelBuffer& buf, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel, bool dotted) {
    const int64_t dx = static_cast<int64_t>(x1) - x0;
    const int64_t dy = static_cast<int64_t>(y1) - y0;
    const int64_t adx = std::llabs(dx);
    const int64_t ady = std::llabs(dy);
    int64_t lo = 0, hi = 0;
    if (adx >= ady) {
        const int32_t sx = dx >= 0 ? 1 : -1;
        clipSteps(x0, sx, adx, buf.width, lo, hi);
        for (int64_t i = lo; i <= hi; ++i) {
            if (dotted && (i & 1) != 0) continue;
            const int64_t y = y0 + (adx == 0 ? 0 : roundDiv(i * dy, adx));
            if (y < 0 || y >= buf.height) continue;
            put(buf, static_cast<int32_t>(x0 + sx * i), static_cast<int32_t>(y), pixel);
        }
    } else {
        const int32_t sy = dy >= 0 ? 1 : -1;
        clipSteps(y0, sy, ady, buf.height, lo, hi);
        for (int64_t i = lo; i <= hi; ++i) {
            if (dotted && (i & 1) != 0) continue;
            const int64_t x = x0 + roundDiv(i * dx, ady);
            if (x < 0 || x >= buf.width) continue;
            put(buf, static_cast<int32_t>(x), static_cast<int32_t>(y0 + sy * i), pixel);
        }
    }
}

void DrawVSpan(PixelBuffer& buf, int32_t x, int32_t y0, int32_t y1, uint32_t pixel) {
    if (x < 0 || x >= buf.width) return;
    if (y0 > y1) std::swap(y0, y1);
    y0 = std::max(y0, 0);
    y1 = std::min(y1, buf.height - 1);
    uint32_t* p = buf.bits + static_cast<int64_t>(y0) * buf.stride + x;
    for (int32_t y = y0; y <= y1; ++y, p += buf.stride) *p = pixel;
}

MarkerShape MarkerOf(int32_t pointType) {
    MarkerShape m;
    if (pointType == 1) {
        m.count = 4;
        m.columns[0] = {-2, -1, 0};
        m.columns[1] = {-1, -2, 1};
        m.columns[2] = {0, -2, 1};
        m.columns[3] = {1, -1, 0};
    } else if (pointType == 2) {
        m.count = 4;
        for (int32_t c = 0; c < 4; ++c) m.columns[c] = {c - 2, -2, 1};
    }
    return m;
}

void CurveRaster::Draw(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g, uint32_t pixel,
                       int32_t pointType) {
    m_buf = &buf;
    m_pixel = pixel;
    m_gap = g.gapThreshold;
    m_marker = MarkerOf(pointType);
    m_started = false;
    m_haveMarker = false;
    m_markerYs.clear();
    const CGraphSampleRing::Runs runs = ring.Contiguous();
    int32_t x = 0, y = 0;
    for (int32_t i = 0; i < runs.na; ++i)
        if (samplePixel(runs.a[i], g, x, y)) add(x, y, runs.a[i].Time);
    for (int32_t i = 0; i < runs.nb; ++i)
        if (samplePixel(runs.b[i], g, x, y)) add(x, y, runs.b[i].Time);
    if (m_started) flushRun();
    flushMarkers();
}

void CurveRaster::add(int32_t x, int32_t y, double time) {
    if (!m_started) {
        m_started = true;
        m_col = x;
        m_first = m_min = m_max = m_last = y;
    } else {
        const bool gap = time - m_prevTime > m_gap;
        if (!gap && x == m_col) {
            m_min = std::min(m_min, y);
            m_max = std::max(m_max, y);
            m_last = y;
        } else {
            flushRun();
            DrawLine(*m_buf, m_col, m_last, x, y, m_pixel, gap);
            m_col = x;
            m_first = m_min = m_max = m_last = y;
        }
    }
    m_prevTime = time;
    if (m_marker.count == 0) return;
    if (m_haveMarker && x == m_lastMarkerX && y == m_lastMarkerY) return;
    if (m_haveMarker && x != m_markerCol) flushMarkers();
    m_haveMarker = true;
    m_markerCol = m_lastMarkerX = x;
    m_lastMarkerY = y;
    m_markerYs.push_back(y);
}

void CurveRaster::flushRun() {
    // The segments inside one column cover its lowest to highest point; a lone point of a column is the
    // end of a segment that is drawn anyway (and a line of one point draws nothing).
    if (m_max > m_min) DrawVSpan(*m_buf, m_col, m_min, m_max, m_pixel);
}

void CurveRaster::flushMarkers() {
    if (m_markerYs.empty()) return;
    std::sort(m_markerYs.begin(), m_markerYs.end());
    m_markerYs.erase(std::unique(m_markerYs.begin(), m_markerYs.end()), m_markerYs.end());
    // Per marker column, the union of the markers' spans as few spans as possible.
    for (int32_t c = 0; c < m_marker.count; ++c) {
        const MarkerShape::Column& mc = m_marker.columns[c];
        int32_t top = m_markerYs.front() + mc.top;
        int32_t bottom = m_markerYs.front() + mc.bottom;
        for (size_t i = 1; i < m_markerYs.size(); ++i) {
            const int32_t t = m_markerYs[i] + mc.top;
            if (t <= bottom + 1) {
                bottom = m_markerYs[i] + mc.bottom;
                continue;
            }
            DrawVSpan(*m_buf, m_markerCol + mc.dx, top, bottom, m_pixel);
            top = t;
            bottom = m_markerYs[i] + mc.bottom;
        }
        DrawVSpan(*m_buf, m_markerCol + mc.dx, top, bottom, m_pixel);
    }
    m_markerYs.clear();
}

void DrawCurveEverySegment(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g,
                           uint32_t pixel, int32_t pointType) {
    const MarkerShape marker = MarkerOf(pointType);
    bool started = false;
    int32_t px = 0, py = 0;
    double pt = 0.0;
    for (int32_t i = 0; i < ring.Count(); ++i) {
        const tGR_CURVE_SAMPLE& s = ring.At(i);
        int32_t x = 0, y = 0;
        if (!samplePixel(s, g, x, y)) continue;
        if (started) DrawLine(buf, px, py, x, y, pixel, s.Time - pt > g.gapThreshold);
        started = true;
        px = x;
        py = y;
        pt = s.Time;
        markerPixels(buf, marker, x, y, pixel);
    }
}

}  // namespace plot
