#include "windows/plot/plotraster.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

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
        clipSteps(x0, sx, adx, buf.Left(), buf.Right() - 1, lo, hi);
        for (int64_t i = lo; i <= hi; ++i) {
            if (dotted && (i & 1) != 0) continue;
            const int64_t y = y0 + (adx == 0 ? 0 : roundDiv(i * dy, adx));
            if (y < 0 || y >= buf.height) continue;
            put(buf, static_cast<int32_t>(x0 + sx * i), static_cast<int32_t>(y), pixel);
        }
    } else {
        const int32_t sy = dy >= 0 ? 1 : -1;
        clipSteps(y0, sy, ady, 0, buf.height - 1, lo, hi);
        for (int64_t i = lo; i <= hi; ++i) {
            if (dotted && (i & 1) != 0) continue;
            const int64_t x = x0 + roundDiv(i * dx, ady);
            if (x < buf.Left() || x >= buf.Right()) continue;
            put(buf, static_cast<int32_t>(x), static_cast<int32_t>(y0 + sy * i), pixel);
        }
    }
}

void DrawVSpan(PixelBuffer& buf, int32_t x, int32_t y0, int32_t y1, uint32_t pixel) {
    if (x < buf.Left() || x >= buf.Right()) return;
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
    m_marker = MarkerOf(pointType);
    m_markerYs.clear();
    m_markerMask = 0;
    const bool markers = m_marker.count > 0;
    const double gapLimit = g.gapThreshold;
    // The state of the walk lives in locals, so that it stays in registers between column changes; the
    // per-sample path has no unpredictable branch but the column change.
    bool started = false;
    double prevTime = 0.0;
    int32_t col = 0, low = 0, high = 0, last = 0;
    int32_t markerBase = 0;
    uint64_t markerMask = 0;
    int32_t first = 0;
    int32_t end = ring.Count();
    if (ring.TimesInOrder() && (buf.Left() > 0 || buf.Right() < buf.width))
        walkedRange(ring, g, buf, first, end);
    const CGraphSampleRing::Runs runs = ring.Contiguous();
    const tGR_CURVE_SAMPLE* parts[2] = {runs.a, runs.b};
    const int32_t from[2] = {std::max(first, 0), std::max(first, runs.na) - runs.na};
    const int32_t to[2] = {std::min(end, runs.na), std::min(end, runs.na + runs.nb) - runs.na};
    for (int part = 0; part < 2; ++part) {
        const tGR_CURVE_SAMPLE* samples = parts[part];
        for (int32_t i = from[part]; i < to[part]; ++i) {
            int32_t x = 0, y = 0;
            const double time = samples[i].Time;
            if (!samplePixel(samples[i], g, x, y)) continue;
            const bool gap = time - prevTime > gapLimit;
            prevTime = time;
            if (started && !gap && x == col) {
                low = y < low ? y : low;
                high = y > high ? y : high;
                last = y;
            } else {
                if (started) {
                    // The segments inside one column cover its lowest to highest point; a lone point of a
                    // column is the end of a segment drawn anyway (a line of one point draws nothing).
                    if (high > low) DrawVSpan(buf, col, low, high, pixel);
                    DrawLine(buf, col, last, x, y, pixel, gap);
                }
                if (markers && (!started || x != col)) {
                    if (started) flushMarkers(col, markerBase, markerMask);
                    markerBase = y - 30;
                    markerMask = 0;
                }
                started = true;
                col = x;
                low = high = last = y;
            }
            if (!markers) continue;
            // Rows 2..61 of the mask are the markers' rows within 30 of the column's first; others are kept
            // aside.
            const int32_t d = y - markerBase;
            if (static_cast<uint32_t>(d - 2) < 60u)
                markerMask |= uint64_t{1} << d;
            else
                m_markerYs.push_back(y);
        }
    }
    if (!started) return;
    if (high > low) DrawVSpan(buf, col, low, high, pixel);
    if (markers) flushMarkers(col, markerBase, markerMask);
}

void CurveRaster::walkedRange(const CGraphSampleRing& ring, const CurveGeometry& g, const PixelBuffer& buf,
                              int32_t& first, int32_t& end) {
    if (!(g.scale > 0.0)) return;
    // Samples more than 8 pixels left or right of the columns cannot set any of their pixels, except
    // through the segment that joins the last drawn sample before them to the first after them.
    const double from = g.windowStart + (buf.Left() - 8 - g.left) / g.scale;
    const double to = g.windowStart + (buf.Right() + 8 - g.left) / g.scale;
    const int32_t count = ring.Count();
    int32_t lo = 0, hi = count;
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (ring.At(mid).Time < from)
            lo = mid + 1;
        else
            hi = mid;
    }
    // Back to the drawn sample before: only samples with no value lie between (earlier ones precede the
    // window and are never drawn).
    first = lo;
    while (first > 0) {
        const tGR_CURVE_SAMPLE& s = ring.At(first - 1);
        if (!(s.Time >= g.windowStart)) break;
        --first;
        if (std::isfinite(s.Value)) break;
    }
    hi = count;
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (ring.At(mid).Time <= to)
            lo = mid + 1;
        else
            hi = mid;
    }
    // On to the drawn sample after.
    end = lo;
    while (end < count) {
        const tGR_CURVE_SAMPLE& s = ring.At(end++);
        if (s.Time >= g.windowStart && std::isfinite(s.Value)) break;
    }
}

void CurveRaster::flushMarkers(int32_t x, int32_t base, uint64_t mask) {
    // Per marker column, the union of the markers' spans, each pixel once: the mask spread over each
    // span's rows (shifts of at most 2 keep rows 2..61 inside the mask).
    if (m_markerYs.empty()) {
        for (int32_t c = 0; c < m_marker.count; ++c) {
            const MarkerShape::Column& mc = m_marker.columns[c];
            uint64_t spread = 0;
            for (int32_t k = mc.top; k <= mc.bottom; ++k) spread |= k < 0 ? mask >> -k : mask << k;
            while (spread != 0) {
                const int start = std::countr_zero(spread);
                const int length = std::countr_one(spread >> start);
                DrawVSpan(*m_buf, x + mc.dx, base + start, base + start + length - 1, m_pixel);
                spread &= length >= 64 ? 0 : ~(((uint64_t{1} << length) - 1) << start);
            }
        }
        return;
    }
    // Markers spread wider than the mask: all of them sorted and merged.
    for (uint64_t m = mask; m != 0; m &= m - 1) m_markerYs.push_back(base + std::countr_zero(m));
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
            DrawVSpan(*m_buf, x + mc.dx, top, bottom, m_pixel);
            top = t;
            bottom = m_markerYs[i] + mc.bottom;
        }
        DrawVSpan(*m_buf, x + mc.dx, top, bottom, m_pixel);
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
