#include "windows/plot/plotraster.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "windows/plot/plotcolumns.h"
#include "windows/plot/samplering.h"

namespace plot {

namespace {

inline void put(PixelBuffer& buf, int32_t x, int32_t y, uint32_t pixel) {
    if (buf.cover == nullptr)
        buf.bits[static_cast<int64_t>(y) * buf.stride + x] = pixel;
    else
        PaintRunAt(buf, x, y, y, pixel);
}

// Steps i of a run from `from` in direction `dir` (+1/-1) whose coordinate lies in first..last, clipped to
// 0..steps.
void clipSteps(int32_t from, int32_t dir, int64_t steps, int32_t first, int32_t last, int64_t& lo,
               int64_t& hi) {
    if (dir > 0) {
        lo = std::max<int64_t>(0, static_cast<int64_t>(first) - from);
        hi = std::min<int64_t>(steps, static_cast<int64_t>(last) - from);
    } else {
        lo = std::max<int64_t>(0, static_cast<int64_t>(from) - last);
        hi = std::min<int64_t>(steps, static_cast<int64_t>(from) - first);
    }
}

// The sample's pixel, or false when it is not drawn.
inline bool samplePixel(const tGR_CURVE_SAMPLE& s, const ColumnGrid& grid, const CurveGeometry& g, int32_t& x,
                        int32_t& y) {
    if (!std::isfinite(s.Value)) return false;
    const int64_t column = grid.Column(s.Time);
    if (column < grid.first) return false;
    x = grid.X(column, g.left);
    y = g.y.OfFinite(s.Value);
    return true;
}

void markerPixels(PixelBuffer& buf, const MarkerShape& m, int32_t x, int32_t y, uint32_t pixel) {
    for (int32_t c = 0; c < m.count; ++c)
        DrawVSpan(buf, x + m.columns[c].dx, y + m.columns[c].top, y + m.columns[c].bottom, pixel);
}

// ceil(n / d) for d > 0.
inline int64_t ceilDiv(int64_t n, int64_t d) {
    return n >= 0 ? (n + d - 1) / d : -(-n / d);
}

}  // namespace

uint32_t PixelFromRef(uint32_t colorRef) {
    return 0xFF000000u | (colorRef & 0xFFu) << 16 | (colorRef & 0xFF00u) | (colorRef >> 16 & 0xFFu);
}

void RowList::Merge(int32_t height) {
    size_t n = 0;
    for (const Run& r : m_runs) {
        const int32_t top = std::max(r.top, 0);
        const int32_t bottom = std::min(r.bottom, height - 1);
        if (top <= bottom) m_runs[n++] = {top, bottom};
    }
    m_runs.resize(n);
    if (n < 2) return;
    // Few runs, mostly in order already.
    for (size_t i = 1; i < n; ++i)
        for (size_t j = i; j > 0 && m_runs[j].top < m_runs[j - 1].top; --j)
            std::swap(m_runs[j], m_runs[j - 1]);
    size_t out = 0;
    for (size_t i = 1; i < n; ++i) {
        if (m_runs[i].top <= m_runs[out].bottom + 1)
            m_runs[out].bottom = std::max(m_runs[out].bottom, m_runs[i].bottom);
        else
            m_runs[++out] = m_runs[i];
    }
    m_runs.resize(out + 1);
}

namespace {

// Steps lo..hi of the minor coordinate from0 + roundDiv(i * d, a) (a > 0, |d| <= a), kept incrementally:
// for d >= 0 it is from0 + floor((2 i d + a) / 2a); a negative d mirrors that.
class MinorStep {
public:
    MinorStep(int64_t from0, int64_t d, int64_t a, int64_t i)
        : m_from(from0), m_neg(d < 0), m_d(d < 0 ? -d : d), m_a(a) {
        const int64_t n = 2 * i * m_d + a;
        m_q = n / (2 * a);
        m_r = n % (2 * a);
    }
    int64_t Value() const { return m_neg ? m_from - m_q : m_from + m_q; }
    void Next() {
        m_r += 2 * m_d;
        if (m_r >= 2 * m_a) {
            m_r -= 2 * m_a;
            ++m_q;
        }
    }

private:
    int64_t m_from;
    bool m_neg;
    int64_t m_d, m_a, m_q = 0, m_r = 0;
};

}  // namespace

void DrawLine(PixelBuffer& buf, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel, bool dotted) {
    const int64_t dx = static_cast<int64_t>(x1) - x0;
    const int64_t dy = static_cast<int64_t>(y1) - y0;
    const int64_t adx = std::llabs(dx);
    const int64_t ady = std::llabs(dy);
    int64_t lo = 0, hi = 0;
    if ((dy == 0 || dx == 0) && buf.cover == nullptr) {
        // A row or a column (the grid): the same pixels, without a step per pixel.
        const bool across = dy == 0;
        const int32_t from = across ? x0 : y0;
        const int32_t dir = (across ? dx : dy) >= 0 ? 1 : -1;
        if (across) {
            if (y0 < 0 || y0 >= buf.height) return;
            clipSteps(from, dir, adx, buf.Left(), buf.Right() - 1, lo, hi);
        } else {
            if (x0 < buf.Left() || x0 >= buf.Right()) return;
            clipSteps(from, dir, ady, 0, buf.height - 1, lo, hi);
        }
        if (dotted) lo += lo & 1;
        const int64_t unit = dir * (across ? 1 : static_cast<int64_t>(buf.stride));
        const int64_t inc = dotted ? 2 : 1;
        for (int64_t i = lo, at = static_cast<int64_t>(y0) * buf.stride + x0 + lo * unit; i <= hi;
             i += inc, at += inc * unit)
            buf.bits[at] = pixel;
        return;
    }
    if (adx >= ady) {
        const int32_t sx = dx >= 0 ? 1 : -1;
        clipSteps(x0, sx, adx, buf.Left(), buf.Right() - 1, lo, hi);
        if (lo > hi) return;
        MinorStep y(y0, dy, adx == 0 ? 1 : adx, lo);
        for (int64_t i = lo; i <= hi; ++i, y.Next()) {
            if (dotted && (i & 1) != 0) continue;
            const int64_t row = y.Value();
            if (row < 0 || row >= buf.height) continue;
            put(buf, static_cast<int32_t>(x0 + sx * i), static_cast<int32_t>(row), pixel);
        }
    } else {
        const int32_t sy = dy >= 0 ? 1 : -1;
        clipSteps(y0, sy, ady, 0, buf.height - 1, lo, hi);
        if (lo > hi) return;
        MinorStep x(x0, dx, ady, lo);
        for (int64_t i = lo; i <= hi; ++i, x.Next()) {
            if (dotted && (i & 1) != 0) continue;
            const int64_t column = x.Value();
            if (column < buf.Left() || column >= buf.Right()) continue;
            put(buf, static_cast<int32_t>(column), static_cast<int32_t>(y0 + sy * i), pixel);
        }
    }
}

void LineRowsInColumn(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool dotted, int32_t x, RowList& rows) {
    const int64_t dx = static_cast<int64_t>(x1) - x0;
    const int64_t dy = static_cast<int64_t>(y1) - y0;
    const int64_t adx = std::llabs(dx);
    const int64_t ady = std::llabs(dy);
    // Columns counted from x0 towards x1.
    const int64_t k = dx >= 0 ? static_cast<int64_t>(x) - x0 : static_cast<int64_t>(x0) - x;
    if (k < 0 || k > adx) return;
    if (adx >= ady) {
        // One pixel per column: step k.
        if (dotted && (k & 1) != 0) return;
        const int64_t row = MinorStep(y0, dy, adx == 0 ? 1 : adx, k).Value();
        rows.Add(static_cast<int32_t>(row), static_cast<int32_t>(row));
        return;
    }
    // Steps i in column k: floor((2 i adx + ady) / (2 ady)) == k, those from ceil((2k - 1) ady / 2 adx) on.
    int64_t first = 0, last = ady;
    if (adx > 0) {
        first = std::max<int64_t>(0, ceilDiv((2 * k - 1) * ady, 2 * adx));
        last = std::min<int64_t>(ady, ceilDiv((2 * k + 1) * ady, 2 * adx) - 1);
    }
    const int64_t sy = dy >= 0 ? 1 : -1;
    if (!dotted) {
        const int64_t a = y0 + sy * first, b = y0 + sy * last;
        rows.Add(static_cast<int32_t>(std::min(a, b)), static_cast<int32_t>(std::max(a, b)));
        return;
    }
    for (int64_t i = first + (first & 1); i <= last; i += 2) {
        const auto row = static_cast<int32_t>(y0 + sy * i);
        rows.Add(row, row);
    }
}

void DrawVSpan(PixelBuffer& buf, int32_t x, int32_t y0, int32_t y1, uint32_t pixel) {
    PaintRun(buf, x, y0, y1, pixel);
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

CurveRaster::CurveRaster() : m_summary(std::make_unique<ColumnSummary>()) {}
CurveRaster::~CurveRaster() = default;
CurveRaster::CurveRaster(CurveRaster&&) noexcept = default;
CurveRaster& CurveRaster::operator=(CurveRaster&&) noexcept = default;

void CurveRaster::Draw(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g, uint32_t pixel,
                       int32_t pointType) {
    if (!ring.TimesInOrder()) {
        DrawWalking(buf, ring, g, pixel, pointType);
        return;
    }
    // The summary of the columns the buffer shows; its pixels go nowhere else.
    const ColumnGrid grid = g.Grid();
    const int64_t from = grid.first + (static_cast<int64_t>(buf.Left()) - g.left);
    const int64_t to = grid.first + (static_cast<int64_t>(buf.Right()) - g.left);
    m_summary->Update(ring, g, pointType, buf.height, from, std::max(from, to));
    m_summary->Draw(buf, pixel, m_rows);
}

void CurveRaster::DrawWalking(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g,
                              uint32_t pixel, int32_t pointType) {
    m_buf = &buf;
    m_pixel = pixel;
    m_marker = MarkerOf(pointType);
    m_markerYs.clear();
    m_gapLimit = g.gapThreshold;
    m_started = false;
    const ColumnGrid grid = g.Grid();
    for (int32_t i = 0; i < ring.Count(); ++i) {
        const tGR_CURVE_SAMPLE& s = ring.At(i);
        int32_t x = 0, y = 0;
        if (samplePixel(s, grid, g, x, y)) step(x, y, s.Time);
    }
    if (m_started) endColumn();
}

inline void CurveRaster::step(int32_t x, int32_t y, double time) {
    const bool gap = time - m_prevTime > m_gapLimit;
    m_prevTime = time;
    if (m_started && !gap && x == m_col) {
        m_low = y < m_low ? y : m_low;
        m_high = y > m_high ? y : m_high;
        m_last = y;
    } else {
        if (m_started) {
            // The segments inside one column cover its lowest to highest point; a lone point of a column
            // is the end of a segment drawn anyway.
            const bool sameColumn = x == m_col;
            if (m_high > m_low) PaintRun(*m_buf, m_col, m_low, m_high, m_pixel);
            if (!sameColumn && m_marker.count > 0) flushMarkers();
            DrawLine(*m_buf, m_col, m_last, x, y, m_pixel, gap);
        }
        m_started = true;
        m_col = x;
        m_low = m_high = m_last = y;
    }
    if (m_marker.count > 0) m_markerYs.push_back(y);
}

void CurveRaster::endColumn() {
    if (m_high > m_low) PaintRun(*m_buf, m_col, m_low, m_high, m_pixel);
    if (m_marker.count > 0) flushMarkers();
}

void CurveRaster::flushMarkers() {
    // The markers of one column, each row once; per marker column their spans merged.
    if (m_markerYs.empty()) return;
    std::sort(m_markerYs.begin(), m_markerYs.end());
    m_markerYs.erase(std::unique(m_markerYs.begin(), m_markerYs.end()), m_markerYs.end());
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
            PaintRun(*m_buf, m_col + mc.dx, top, bottom, m_pixel);
            top = t;
            bottom = m_markerYs[i] + mc.bottom;
        }
        PaintRun(*m_buf, m_col + mc.dx, top, bottom, m_pixel);
    }
    m_markerYs.clear();
}

// Every worker takes part in every round, and Run waits for all of them: between rounds they are all
// parked, so the round's task and count are never read while they change.
struct Workers::Shared {
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable done;
    const std::function<void(int)>* task = nullptr;
    int count = 0;
    std::atomic<int> next{0};
    int finished = 0;    // workers done with the current round
    uint64_t round = 0;  // bumped for every Run
    bool quit = false;

    // Takes task numbers until none is left.
    void work() {
        for (int i = next.fetch_add(1); i < count; i = next.fetch_add(1)) (*task)(i);
    }
};

Workers::Workers(int threads) : m_threads(std::max(1, threads)), m_shared(std::make_unique<Shared>()) {
    for (int t = 1; t < m_threads; ++t) {
        m_pool.emplace_back([s = m_shared.get(), helpers = m_threads - 1] {
            uint64_t seen = 0;
            std::unique_lock<std::mutex> lock(s->lock);
            for (;;) {
                s->wake.wait(lock, [&] { return s->quit || s->round != seen; });
                if (s->quit) return;
                seen = s->round;
                lock.unlock();
                s->work();
                lock.lock();
                if (++s->finished == helpers) s->done.notify_all();
            }
        });
    }
}

Workers::~Workers() {
    {
        std::lock_guard<std::mutex> lock(m_shared->lock);
        m_shared->quit = true;
    }
    m_shared->wake.notify_all();
    for (std::thread& t : m_pool) t.join();
}

void Workers::Run(int count, const std::function<void(int)>& task) {
    Shared& s = *m_shared;
    if (m_pool.empty()) {
        for (int i = 0; i < count; ++i) task(i);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(s.lock);
        s.task = &task;
        s.count = count;
        s.next = 0;
        s.finished = 0;
        ++s.round;
    }
    s.wake.notify_all();
    s.work();
    std::unique_lock<std::mutex> lock(s.lock);
    s.done.wait(lock, [&] { return s.finished == static_cast<int>(m_pool.size()); });
    s.task = nullptr;
}

void DrawCurveEverySegment(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g,
                           uint32_t pixel, int32_t pointType) {
    const MarkerShape marker = MarkerOf(pointType);
    const ColumnGrid grid = g.Grid();
    bool started = false;
    int32_t px = 0, py = 0;
    double pt = 0.0;
    for (int32_t i = 0; i < ring.Count(); ++i) {
        const tGR_CURVE_SAMPLE& s = ring.At(i);
        int32_t x = 0, y = 0;
        if (!samplePixel(s, grid, g, x, y)) continue;
        if (started) DrawLine(buf, px, py, x, y, pixel, s.Time - pt > g.gapThreshold);
        started = true;
        px = x;
        py = y;
        pt = s.Time;
        markerPixels(buf, marker, x, y, pixel);
    }
}

}  // namespace plot
