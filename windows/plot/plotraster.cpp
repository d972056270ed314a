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

inline void put(PixelBuffer& buf, int32_t x, int32_t y, uint32_t pixel) {
    buf.bits[static_cast<int64_t>(y) * buf.stride + x] = pixel;
}

inline void vspan(PixelBuffer& buf, int32_t x, int32_t y0, int32_t y1, uint32_t pixel) {
    if (x < buf.Left() || x >= buf.Right()) return;
    if (y0 > y1) std::swap(y0, y1);
    y0 = std::max(y0, 0);
    y1 = std::min(y1, buf.height - 1);
    const int64_t stride = buf.stride;
    uint32_t* p = buf.bits + y0 * stride + x;
    for (int32_t y = y0; y <= y1; ++y, p += stride) *p = pixel;
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

// The pixel column of a time not before the window start.
inline int32_t columnOf(double time, const CurveGeometry& g) {
    const double px = (time - g.windowStart) * g.scale + g.left;
    // Far beyond the image (or NaN from an infinite time) becomes the pixel limit.
    return static_cast<int32_t>(px >= -kPixelLimit && px <= kPixelLimit ? px
                                : px < 0                                ? -kPixelLimit
                                                                        : kPixelLimit);
}

// The sample's pixel, or false when it is not drawn.
inline bool samplePixel(const tGR_CURVE_SAMPLE& s, const CurveGeometry& g, int32_t& x, int32_t& y) {
    if (!(s.Time >= g.windowStart) || !std::isfinite(s.Value)) return false;
    x = columnOf(s.Time, g);
    y = g.y(s.Value);
    return true;
}

// The number of leading samples of a ring whose times never go back that lie before `limit` (at or before
// it when `orAt`), as a binary search finds it. Times are mostly spread evenly, so the search starts where
// the limit would lie between the first and last time and widens from there by doubling steps: a few
// neighbouring samples are read instead of one from each of many far-apart places.
int32_t countBefore(const CGraphSampleRing& ring, double limit, bool orAt) {
    const int32_t count = ring.Count();
    if (count == 0) return 0;
    const auto before = [&](int32_t i) {
        const double t = ring.At(i).Time;
        return orAt ? t <= limit : t < limit;
    };
    const double first = ring.At(0).Time;
    const double last = ring.At(count - 1).Time;
    double guess = (limit - first) / (last - first) * (count - 1);
    if (!(guess >= 0.0)) guess = 0.0;
    if (guess > count) guess = count;
    auto g = static_cast<int32_t>(guess);
    // The answer lies in lo..hi.
    int32_t lo = 0, hi = count;
    if (g < count && before(g)) {
        lo = g + 1;
        int32_t p = lo;
        for (int32_t step = 1; p < count && before(p); step *= 2) {
            lo = p + 1;
            p = count - lo > step ? lo + step : count;
        }
        hi = std::min(p, count);
    } else {
        hi = g;
        int32_t p = hi - 1;
        for (int32_t step = 1; p >= 0 && !before(p); step *= 2) {
            hi = p;
            p = hi - 1 > step ? hi - 1 - step : -1;
        }
        lo = p + 1;
    }
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (before(mid))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void markerPixels(PixelBuffer& buf, const MarkerShape& m, int32_t x, int32_t y, uint32_t pixel) {
    for (int32_t c = 0; c < m.count; ++c)
        DrawVSpan(buf, x + m.columns[c].dx, y + m.columns[c].top, y + m.columns[c].bottom, pixel);
}

}  // namespace

uint32_t PixelFromRef(uint32_t colorRef) {
    return 0xFF000000u | (colorRef & 0xFFu) << 16 | (colorRef & 0xFF00u) | (colorRef >> 16 & 0xFFu);
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

namespace {

// A solid line between neighbouring columns (the usual case), or false for any other.
inline bool neighbourLine(PixelBuffer& buf, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel) {
    if (x1 - x0 != 1 && x0 - x1 != 1) return false;
    const int64_t dy = static_cast<int64_t>(y1) - y0;
    if (dy >= -1 && dy <= 1) {
        // Rows at most one apart: the two ends.
        vspan(buf, x0, y0, y0, pixel);
        vspan(buf, x1, y1, y1, pixel);
        return true;
    }
    // Step i (from y0) lies in column x0 while 2 i < |dy|, in column x1 from then on.
    const int32_t sy = dy > 0 ? 1 : -1;
    const auto half = static_cast<int32_t>(((dy > 0 ? dy : -dy) - 1) / 2);  // the last step in column x0
    vspan(buf, x0, y0, y0 + sy * half, pixel);
    vspan(buf, x1, y0 + sy * (half + 1), y1, pixel);
    return true;
}

}  // namespace

void DrawLine(PixelBuffer& buf, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel, bool dotted) {
    if (!dotted && neighbourLine(buf, x0, y0, x1, y1, pixel)) return;
    const int64_t dx = static_cast<int64_t>(x1) - x0;
    const int64_t dy = static_cast<int64_t>(y1) - y0;
    const int64_t adx = std::llabs(dx);
    const int64_t ady = std::llabs(dy);
    int64_t lo = 0, hi = 0;
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

void DrawVSpan(PixelBuffer& buf, int32_t x, int32_t y0, int32_t y1, uint32_t pixel) {
    vspan(buf, x, y0, y1, pixel);
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
    int32_t height = 64;
    for (int32_t c = 0; c < m_marker.count; ++c)
        height = std::min(height, m_marker.columns[c].bottom - m_marker.columns[c].top + 1);
    m_markerReach = height - 0.5;
    m_markerYs.clear();
    m_gapLimit = g.gapThreshold;
    m_started = false;
    const CGraphSampleRing::Runs runs = ring.Contiguous();
    const tGR_CURVE_SAMPLE* parts[2] = {runs.a, runs.b};
    if (!ring.TimesInOrder()) {
        for (int part = 0; part < 2; ++part) {
            const tGR_CURVE_SAMPLE* samples = parts[part];
            const int32_t n = part == 0 ? runs.na : runs.nb;
            int32_t x = 0, y = 0;
            for (int32_t i = 0; i < n; ++i)
                if (samplePixel(samples[i], g, x, y)) step(x, y, samples[i].Time);
        }
    } else {
        int32_t first = 0;
        int32_t end = ring.Count();
        walkedRange(ring, g, buf, first, end);
        const int32_t from[2] = {std::max(first, 0), std::max(first, runs.na) - runs.na};
        const int32_t to[2] = {std::min(end, runs.na), std::min(end, runs.na + runs.nb) - runs.na};
        for (int part = 0; part < 2; ++part) drawInOrder(parts[part], from[part], to[part], g);
    }
    if (!m_started) return;
    if (m_high > m_low) vspan(buf, m_col, m_low, m_high, pixel);
    if (m_marker.count > 0) flushMarkers(m_col, m_markerBase, m_markerMask);
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
            // is the end of a segment drawn anyway (a line of one point draws nothing).
            if (m_high > m_low) vspan(*m_buf, m_col, m_low, m_high, m_pixel);
            if (gap || !neighbourLine(*m_buf, m_col, m_last, x, y, m_pixel))
                DrawLine(*m_buf, m_col, m_last, x, y, m_pixel, gap);
        }
        if (m_marker.count > 0 && (!m_started || x != m_col)) {
            if (m_started) flushMarkers(m_col, m_markerBase, m_markerMask);
            m_markerBase = y - 30;
            m_markerMask = 0;
        }
        m_started = true;
        m_col = x;
        m_low = m_high = m_last = y;
    }
    if (m_marker.count > 0) addMarker(y);
}

inline void CurveRaster::addMarker(int32_t y) {
    // Rows 2..61 of the mask are the markers' rows within 30 of the column's first; others are kept aside.
    const int32_t d = y - m_markerBase;
    if (static_cast<uint32_t>(d - 2) < 60u)
        m_markerMask |= uint64_t{1} << d;
    else
        m_markerYs.push_back(y);
}

void CurveRaster::drawInOrder(const tGR_CURVE_SAMPLE* s, int32_t i, int32_t end, const CurveGeometry& g) {
    // Times never go back, so the samples of one pixel column follow each other. A column's samples are
    // found by time; when all of them have a value and no gap lies between them they are taken as one
    // run: the first steps as usual, then only the run's lowest, highest and last pixel and its markers
    // count. Otherwise they step one by one. Either way the same pixels are set.
    const double gapLimit = g.gapThreshold;
    const double perPixel = g.scale > 0.0 ? 1.0 / g.scale : 0.0;
    while (i < end) {
        int32_t x = 0, y = 0;
        if (!samplePixel(s[i], g, x, y)) {
            ++i;
            continue;
        }
        // Samples from this time on lie right of column x (up to rounding, settled below).
        const double edge = g.scale > 0.0 ? g.windowStart + (x + 1 - g.left) * perPixel : HUGE_VAL;
        int32_t j = i + 1;
        double low = s[i].Value, high = low, prev = s[i].Time, prevValue = low;
        double change = 0.0;  // the largest change of value from one sample to the next
        bool clean = true;
        for (; j < end && s[j].Time < edge; ++j) {
            const double v = s[j].Value;
            low = v < low ? v : low;
            high = v > high ? v : high;
            const double d = std::fabs(v - prevValue);
            change = d > change ? d : change;
            prevValue = v;
            clean &= (v - v == 0.0) & (s[j].Time - prev <= gapLimit);
            prev = s[j].Time;
        }
        const int32_t scanned = j;
        while (j > i + 1 && columnOf(s[j - 1].Time, g) != x) --j;
        while (j < end && columnOf(s[j].Time, g) == x) ++j;
        if (j != scanned) {
            low = high = s[i].Value;
            change = 0.0;
            clean = true;
            for (int32_t k = i + 1; k < j; ++k) {
                low = std::min(low, s[k].Value);
                high = std::max(high, s[k].Value);
                change = std::max(change, std::fabs(s[k].Value - s[k - 1].Value));
                clean &= s[k].Value - s[k].Value == 0.0 && s[k].Time - s[k - 1].Time <= gapLimit;
            }
        }
        if (!clean) {
            for (; i < j; ++i)
                if (samplePixel(s[i], g, x, y)) step(x, y, s[i].Time);
            continue;
        }
        step(x, y, s[i].Time);
        if (j > i + 1) {
            const int32_t a = g.y.OfFinite(low), b = g.y.OfFinite(high);
            m_low = std::min({m_low, a, b});
            m_high = std::max({m_high, a, b});
            m_last = g.y.OfFinite(s[j - 1].Value);
            m_prevTime = s[j - 1].Time;
            if (m_marker.count > 0) {
                uint64_t mask = 0;
                const int32_t base = m_markerBase;
                // Rows lie between those of the lowest and highest value: when both fit the mask, so
                // do all. When no two samples in a row are h pixels or more apart, their rows are at
                // most h apart (truncation keeps values less than h apart within h rows of each other):
                // rows missing between them are fewer than the rows of any marker column, whose spans
                // then cover them as they cover every row from the lowest to the highest.
                if (static_cast<uint32_t>(a - base - 2) < 60u && static_cast<uint32_t>(b - base - 2) < 60u) {
                    if (a == b || change * std::fabs(g.y.perUnit) <= m_markerReach) {
                        const int32_t top = std::min(a, b) - base;
                        const int32_t rows = std::abs(a - b) + 1;
                        m_markerMask |= ((uint64_t{1} << rows) - 1) << top;
                        i = j;
                        continue;
                    }
                    for (int32_t k = i + 1; k < j; ++k)
                        mask |= uint64_t{1} << (g.y.OfFinite(s[k].Value) - base);
                    m_markerMask |= mask;
                    i = j;
                    continue;
                }
                for (int32_t k = i + 1; k < j; ++k) {
                    const int32_t d = g.y.OfFinite(s[k].Value) - base;
                    if (static_cast<uint32_t>(d - 2) < 60u)
                        mask |= uint64_t{1} << d;
                    else
                        m_markerYs.push_back(d + base);
                }
                m_markerMask |= mask;
            }
        }
        i = j;
    }
}

void CurveRaster::walkedRange(const CGraphSampleRing& ring, const CurveGeometry& g, const PixelBuffer& buf,
                              int32_t& first, int32_t& end) {
    if (!(g.scale > 0.0)) return;
    // Samples more than 2 pixels left or 3 right of the columns cannot set any of their pixels, except
    // through the segment that joins the last drawn sample before them to the first after them. The
    // column the walk enters halfway (its samples before that one missing) lies at least 2 pixels left:
    // what it misses reaches 1 pixel right of it. The column it leaves halfway lies at least 2 pixels
    // right (3, less one for rounding): what it and the next columns miss reaches 2 pixels left of it.
    const double from = std::max(g.windowStart, g.windowStart + (buf.Left() - 2 - g.left) / g.scale);
    const double to = g.windowStart + (buf.Right() + 3 - g.left) / g.scale;
    const int32_t count = ring.Count();
    const int32_t lo = countBefore(ring, from, false);
    // Back to the drawn sample before: only samples with no value lie between (earlier ones precede the
    // window and are never drawn).
    first = lo;
    while (first > 0) {
        const tGR_CURVE_SAMPLE& s = ring.At(first - 1);
        if (!(s.Time >= g.windowStart)) break;
        --first;
        if (std::isfinite(s.Value)) break;
    }
    // On to the drawn sample after.
    end = countBefore(ring, to, true);
    while (end < count) {
        const tGR_CURVE_SAMPLE& s = ring.At(end++);
        if (s.Time >= g.windowStart && std::isfinite(s.Value)) break;
    }
}

inline void CurveRaster::flushMarkers(int32_t x, int32_t base, uint64_t mask) {
    // Per marker column, the union of the column's markers' spans: the mask spread over each span's rows
    // (shifts of at most 2 keep rows 2..61 inside the mask). Neighbouring columns' markers may set some
    // of the same pixels again: setting an opaque pixel twice leaves it as once, and costs less than
    // merging the columns first.
    if (m_markerYs.empty()) {
        int32_t top = 1, bottom = 0;
        uint64_t same = 0;
        for (int32_t c = 0; c < m_marker.count; ++c) {
            const MarkerShape::Column& mc = m_marker.columns[c];
            if (mc.top != top || mc.bottom != bottom) {
                top = mc.top;
                bottom = mc.bottom;
                same = 0;
                for (int32_t k = top; k <= bottom; ++k) same |= k < 0 ? mask >> -k : mask << k;
            }
            uint64_t spread = same;
            while (spread != 0) {
                const int start = std::countr_zero(spread);
                const int length = std::countr_one(spread >> start);
                vspan(*m_buf, x + mc.dx, base + start, base + start + length - 1, m_pixel);
                spread &= length >= 64 ? 0 : ~(((uint64_t{1} << length) - 1) << start);
            }
        }
        return;
    }
    flushSpreadMarkers(x, base, mask);
}

void CurveRaster::flushSpreadMarkers(int32_t x, int32_t base, uint64_t mask) {
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
            vspan(*m_buf, x + mc.dx, top, bottom, m_pixel);
            top = t;
            bottom = m_markerYs[i] + mc.bottom;
        }
        vspan(*m_buf, x + mc.dx, top, bottom, m_pixel);
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
