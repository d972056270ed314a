#include "windows/plot/plotcolumns.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "windows/plot/samplering.h"

namespace plot {

namespace {

bool sameMap(const YMap& a, const YMap& b) {
    return a.flat == b.flat && a.bottom == b.bottom &&
           (a.flat || (a.minimum == b.minimum && a.perUnit == b.perUnit));
}

inline bool finite(double v) {
    return v - v == 0.0;
}

// Runs kept in the 16 bytes of a column's masks: four (top, bottom) pairs of rows, an empty pair (top
// above bottom) ending them.
struct KeptRuns {
    int16_t top[4], bottom[4];
};
static_assert(sizeof(KeptRuns) == 2 * sizeof(uint64_t));

// A 64-bit sequence number from its low 32 bits, near a reference.
inline uint64_t expand(uint32_t seq, uint64_t near) {
    return near + static_cast<uint64_t>(
                      static_cast<int64_t>(static_cast<int32_t>(seq - static_cast<uint32_t>(near))));
}

// The time of the last sample before index i whose value is a number (the drawn sample a line would come
// from), or false when there is none.
inline bool finiteBefore(const CGraphSampleRing& ring, int32_t i, double& time) {
    for (int32_t j = i - 1; j >= 0; --j) {
        const tGR_CURVE_SAMPLE& s = ring.At(j);
        if (finite(s.Value)) {
            time = s.Time;
            return true;
        }
    }
    return false;
}

}  // namespace

void ColumnSummary::Release() {
    std::vector<SampleColumn>().swap(m_cols);
    std::vector<int16_t>().swap(m_word);
    std::vector<Masks>().swap(m_masks);
    std::vector<uint64_t>().swap(m_present);
    m_cap = 0;
    m_valid = false;
    m_ring = nullptr;
}

size_t ColumnSummary::Bytes() const {
    return m_cols.capacity() * sizeof(SampleColumn) + m_word.capacity() * sizeof(int16_t) +
           m_masks.capacity() * sizeof(Masks) + m_present.capacity() * sizeof(uint64_t);
}

void ColumnSummary::reset(size_t columns) {
    const size_t cap = std::bit_ceil(std::max<size_t>(columns, 64));
    if (cap != m_cap) {
        m_cap = cap;
        m_cols.assign(cap, SampleColumn{});
        m_word.assign(cap, kInvalid);
        m_masks.assign(cap, Masks{});
        m_present.assign(cap / 64, 0);
    } else {
        std::fill(m_present.begin(), m_present.end(), 0);
    }
    std::fill(m_word.begin(), m_word.end(), kInvalid);
    m_filledLo = 0;
    m_filledHi = -1;
}

void ColumnSummary::setPresent(int64_t column, bool on) {
    const size_t s = slot(column);
    if (on)
        m_present[s >> 6] |= uint64_t{1} << (s & 63);
    else
        m_present[s >> 6] &= ~(uint64_t{1} << (s & 63));
}

int64_t ColumnSummary::nextPresent(int64_t from, int64_t to) const {
    for (int64_t c = from; c < to;) {
        const size_t s = slot(c);
        const uint64_t bits = m_present[s >> 6] >> (s & 63);
        if (bits != 0) {
            const int64_t found = c + std::countr_zero(bits);
            return found < to ? found : to;
        }
        c += 64 - static_cast<int64_t>(s & 63);
    }
    return to;
}

int64_t ColumnSummary::prevPresent(int64_t from, int64_t to) const {
    for (int64_t c = to - 1; c >= from;) {
        const size_t s = slot(c);
        const uint64_t bits = m_present[s >> 6] << (63 - (s & 63));
        if (bits != 0) {
            const int64_t found = c - std::countl_zero(bits);
            return found >= from ? found : from - 1;
        }
        c -= static_cast<int64_t>(s & 63) + 1;
    }
    return from - 1;
}

int32_t ColumnSummary::firstIndexFrom(const CGraphSampleRing& ring, int64_t column) const {
    int32_t lo = 0, hi = ring.Count();
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (m_grid.Column(ring.At(mid).Time) < column)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

int32_t ColumnSummary::ringIndex(uint32_t seq) const {
    return static_cast<int32_t>(expand(seq, m_oldest) - m_oldest);
}

void ColumnSummary::Update(const CGraphSampleRing& ring, const CurveGeometry& g, int32_t pointType,
                           int32_t height, int64_t fromX, int64_t toX) {
    if (!ring.TimesInOrder()) {
        m_valid = false;
        return;
    }
    const ColumnGrid grid = g.Grid();
    const int64_t lo = std::max(grid.first, fromX - 1);
    const int64_t hi = std::max(lo, toX + 2);
    const bool same = m_valid && m_ring == &ring && m_epoch == ring.Epoch() && m_grid.scale == grid.scale &&
                      m_grid.phase == grid.phase && sameMap(m_y, g.y) && m_gap == g.gapThreshold &&
                      static_cast<uint64_t>(hi - lo) <= m_cap && m_folded <= ring.Pushed() &&
                      ring.Pushed() - m_folded < (uint64_t{1} << 30);
    m_grid = grid;
    m_left = g.left;
    if (!same) {
        m_ring = &ring;
        m_epoch = ring.Epoch();
        m_y = g.y;
        m_gap = g.gapThreshold;
        reset(static_cast<size_t>(hi - lo));
        m_pointType = pointType;
        m_marker = MarkerOf(pointType);
        m_height = height;
        m_lo = m_hi = lo;
        m_folded = ring.Pushed();
        m_oldest = ring.OldestSeq();
        m_valid = true;
    } else {
        if (pointType != m_pointType || height != m_height) {
            m_pointType = pointType;
            m_marker = MarkerOf(pointType);
            m_height = height;
            std::fill(m_word.begin(), m_word.end(), kInvalid);
            m_filledLo = 0;
            m_filledHi = -1;
        }
        evict(ring);
        const uint64_t from = std::max(m_folded, ring.OldestSeq());
        if (from < ring.Pushed()) foldFrom(ring, static_cast<int32_t>(from - ring.OldestSeq()), m_lo, m_hi);
        m_folded = ring.Pushed();
    }
    m_oldest = ring.OldestSeq();
    moveTo(ring, lo, hi);
    m_fromX = fromX;
    m_toX = toX;
    findEnds(ring);
    fillPixels(fromX, toX);
}

void ColumnSummary::evict(const CGraphSampleRing& ring) {
    const uint64_t oldest = ring.OldestSeq();
    if (oldest == m_oldest) return;
    // Samples leave from the oldest end: the first columns lose theirs. No kept pixel column changes: they
    // lie two columns in from the first present one and depend on nothing before it, and a column that
    // keeps some samples keeps its last.
    for (int64_t c = nextPresent(m_lo, m_hi); c < m_hi; c = nextPresent(c + 1, m_hi)) {
        const SampleColumn& col = m_cols[slot(c)];
        const uint64_t first = expand(col.firstSeq, oldest);
        if (first >= oldest) break;
        const uint64_t last = first + col.span;
        setPresent(c, false);
        if (last >= oldest) {
            // What is left of the column summarised again; none of its samples has a drawn one before it.
            foldFrom(ring, 0, c, c + 1, false);
            break;
        }
    }
}

void ColumnSummary::foldFrom(const CGraphSampleRing& ring, int32_t i, int64_t from, int64_t to,
                             bool invalidate) {
    const int32_t count = ring.Count();
    if (i >= count || from >= to) return;
    const uint64_t oldest = ring.OldestSeq();
    double prevTime = 0.0;
    bool havePrev = finiteBefore(ring, i, prevTime);
    int64_t changedLo = to, changedHi = from - 1;
    int64_t open = ColumnGrid::kNone;
    SampleColumn* col = nullptr;
    for (; i < count; ++i) {
        const tGR_CURVE_SAMPLE& s = ring.At(i);
        if (!finite(s.Value)) continue;
        const bool gap = havePrev && s.Time - prevTime > m_gap;
        havePrev = true;
        prevTime = s.Time;
        const int64_t c = m_grid.Column(s.Time);
        if (c < from) continue;
        if (c >= to) break;
        const int32_t y = m_y.OfFinite(s.Value);
        const auto seq = static_cast<uint32_t>(oldest + static_cast<uint64_t>(i));
        if (c != open) {
            open = c;
            col = &m_cols[slot(c)];
            changedLo = std::min(changedLo, c);
            changedHi = c;
            if (!present(c)) {
                setPresent(c, true);
                *col = SampleColumn{y, y, y, y, uint64_t{1} << 2, seq, 0, gap ? kGapBefore : uint8_t{0}};
                continue;
            }
        }
        // The next sample of the open column (times never go back, so a column's samples follow each other).
        SampleColumn& k = *col;
        if (gap) k.flags |= kBroken;
        k.lastY = y;
        k.span = static_cast<uint16_t>(seq - k.firstSeq);
        if (y < k.lowY) {
            if ((k.flags & kSpill) == 0) {
                if (k.highY - y <= 59)
                    k.rows <<= (k.lowY - y);
                else
                    k.flags |= kSpill;
            }
            k.lowY = y;
        } else if (y > k.highY) {
            k.highY = y;
        }
        if ((k.flags & kSpill) == 0) {
            const int32_t b = y - k.lowY;
            if (b <= 59)
                k.rows |= uint64_t{1} << (b + 2);
            else
                k.flags |= kSpill;
        }
    }
    if (invalidate && changedLo <= changedHi) invalidateAround(changedLo, changedHi);
}

void ColumnSummary::summarise(const CGraphSampleRing& ring, int64_t from, int64_t to) {
    if (from >= to || ring.Count() == 0) return;
    foldFrom(ring, firstIndexFrom(ring, from), from, to);
}

void ColumnSummary::moveTo(const CGraphSampleRing& ring, int64_t lo, int64_t hi) {
    if (lo == m_lo && hi == m_hi) return;
    const int64_t keepLo = std::max(lo, m_lo), keepHi = std::min(hi, m_hi);
    const bool overlap = keepLo < keepHi;
    // Columns no longer held, and those newly held, start empty.
    const auto clear = [&](int64_t a, int64_t b) {
        for (int64_t c = a; c < b; ++c) {
            setPresent(c, false);
            invalidate(c);
        }
    };
    if (overlap) {
        clear(m_lo, keepLo);
        clear(keepHi, m_hi);
        clear(lo, keepLo);
        clear(keepHi, hi);
    } else {
        clear(m_lo, m_hi);
        clear(lo, hi);
    }
    // Kept pixel columns lie two columns inside the first and last present column held, so none of them
    // depends on the columns dropped.
    m_lo = lo;
    m_hi = hi;
    if (!overlap) {
        summarise(ring, lo, hi);
        return;
    }
    summarise(ring, lo, keepLo);
    summarise(ring, keepHi, hi);
}

void ColumnSummary::findEnds(const CGraphSampleRing& ring) {
    m_firstPresent = nextPresent(m_lo, m_hi);
    m_lastPresent = prevPresent(m_lo, m_hi);
    m_head = {};
    m_tail = {};
    const int32_t count = ring.Count();
    if (count == 0) return;
    if (m_lo > m_grid.first) {
        // The last drawn sample before the columns held.
        for (int32_t j = firstIndexFrom(ring, m_lo) - 1; j >= 0; --j) {
            const tGR_CURVE_SAMPLE& s = ring.At(j);
            if (!finite(s.Value)) continue;
            const int64_t c = m_grid.Column(s.Time);
            if (c >= m_grid.first) m_head = {true, c, m_y.OfFinite(s.Value), false};
            break;
        }
    }
    if (m_grid.Column(ring.At(count - 1).Time) >= m_hi) {
        // The first drawn sample after them.
        for (int32_t k = firstIndexFrom(ring, m_hi); k < count; ++k) {
            const tGR_CURVE_SAMPLE& s = ring.At(k);
            if (!finite(s.Value)) continue;
            double prev = 0.0;
            const bool gap = finiteBefore(ring, k, prev) && s.Time - prev > m_gap;
            m_tail = {true, m_grid.Column(s.Time), m_y.OfFinite(s.Value), gap};
            break;
        }
    }
}

void ColumnSummary::invalidateAround(int64_t from, int64_t to) {
    // Lines from the drawn sample before and to the one after, and markers two columns either way.
    const int64_t before = prevPresent(m_lo, from);
    const int64_t after = nextPresent(to + 1, m_hi);
    const int64_t a = std::max(m_lo, std::min(before, from - 2));
    const int64_t b = std::min(m_hi - 1, std::max(after, to + 2));
    for (int64_t c = a; c <= b; ++c) invalidate(c);
}

void ColumnSummary::fillPixels(int64_t fromX, int64_t toX) {
    // Pixel columns that depend only on columns held: two in from the first and last present column.
    const int64_t a = std::max({fromX, m_firstPresent + 2, m_lo});
    const int64_t b = std::min({toX - 1, m_lastPresent - 2, m_hi - 1});
    const bool fits = (m_height >> 6) < INT16_MAX;
    // Only what the last fill did not reach and what was marked since; the rest is kept.
    const auto fill = [&](int64_t from, int64_t to) {
        for (int64_t c = std::max(from, a); c <= std::min(to, b); ++c) {
            const size_t s = slot(c);
            if (m_word[s] != kInvalid) continue;
            pixelRuns(c, m_scratch);
            if (m_scratch.Size() == 0) {
                m_word[s] = kNone;
                continue;
            }
            const int32_t w = m_scratch[0].top >> 6;
            if (!fits || (m_scratch[m_scratch.Size() - 1].bottom >> 6) > w + 1) {
                // Taller: up to four runs kept as rows (a line across the plot, a jump), others worked out
                // whenever drawn.
                if (m_height > INT16_MAX || m_scratch.Size() > 4) {
                    m_word[s] = kComputed;
                    continue;
                }
                KeptRuns r{{1, 1, 1, 1}, {0, 0, 0, 0}};
                for (size_t k = 0; k < m_scratch.Size(); ++k) {
                    r.top[k] = static_cast<int16_t>(m_scratch[k].top);
                    r.bottom[k] = static_cast<int16_t>(m_scratch[k].bottom);
                }
                std::memcpy(m_masks[s].bits, &r, sizeof r);
                m_word[s] = kRuns;
                continue;
            }
            Masks& m = m_masks[s];
            m.bits[0] = m.bits[1] = 0;
            for (size_t k = 0; k < m_scratch.Size(); ++k) {
                const int32_t top = m_scratch[k].top - w * 64, bottom = m_scratch[k].bottom - w * 64;
                for (int32_t i = 0; i < 2; ++i) {
                    const int32_t lo = std::max(top, i * 64) - i * 64,
                                  hi = std::min(bottom, i * 64 + 63) - i * 64;
                    if (lo <= hi) m.bits[i] |= (~uint64_t{0} >> (63 - (hi - lo))) << lo;
                }
            }
            m_word[s] = static_cast<int16_t>(w);
        }
    };
    if (m_filledLo > m_filledHi) {
        fill(a, b);
    } else {
        fill(a, m_filledLo - 1);
        fill(m_filledHi + 1, b);
        fill(m_dirtyLo, m_dirtyHi);
    }
    m_filledLo = a;
    m_filledHi = b;
    m_dirtyLo = INT64_MAX;
    m_dirtyHi = INT64_MIN;
}

ColumnSummary::Point ColumnSummary::before(int64_t column) const {
    const int64_t from = std::max(m_lo, std::min(column, m_hi));
    const int64_t p = prevPresent(m_lo, from);
    if (p >= m_lo) return {true, p, m_cols[slot(p)].lastY, false};
    if (m_head.on && m_head.column < column) return m_head;
    return {};
}

ColumnSummary::Point ColumnSummary::after(int64_t column) const {
    const int64_t from = std::max(m_lo, column + 1);
    const int64_t n = nextPresent(from, m_hi);
    if (n < m_hi) {
        const SampleColumn& c = m_cols[slot(n)];
        return {true, n, c.firstY, (c.flags & kGapBefore) != 0};
    }
    if (m_tail.on && m_tail.column > column) return m_tail;
    return {};
}

template <typename F>
void ColumnSummary::walk(const SampleColumn& c, F&& f) const {
    const int32_t first = ringIndex(c.firstSeq);
    const int32_t end = std::min(first + c.span + 1, m_ring->Count());
    for (int32_t i = std::max(first, 0); i < end; ++i) {
        const tGR_CURVE_SAMPLE& s = m_ring->At(i);
        if (finite(s.Value)) f(m_y.OfFinite(s.Value), s.Time);
    }
}

namespace {

// The rows of a column's markers in one marker column: the sample rows (bit b: row base + b, bits 2..61)
// spread over the marker column's span; shifts of at most 2 keep them in the mask.
inline uint64_t spreadRows(uint64_t rows, const MarkerShape::Column& mc) {
    uint64_t spread = 0;
    for (int32_t k = mc.top; k <= mc.bottom; ++k) spread |= k < 0 ? rows >> -k : rows << k;
    return spread;
}

// 256 rows from `base` as bits: the runs of one pixel column set and joined without sorting.
class RowWindow {
public:
    static constexpr int32_t kRows = 256;
    explicit RowWindow(int32_t base) : m_base(base) {}
    // Rows top..bottom, within the window.
    void Set(int32_t top, int32_t bottom) {
        const int32_t a = top - m_base, b = bottom - m_base;
        for (int32_t w = a >> 6; w <= b >> 6; ++w) {
            uint64_t mask = ~uint64_t{0};
            if (w == a >> 6) mask <<= (a & 63);
            if (w == b >> 6) mask &= ~uint64_t{0} >> (63 - (b & 63));
            m_bits[w] |= mask;
        }
    }
    // Bit b of `bits` is row bitsBase + b; the rows set lie within the window.
    void Or(uint64_t bits, int32_t bitsBase) {
        const int32_t o = bitsBase - m_base;
        m_bits[o >> 6] |= bits << (o & 63);
        if ((o & 63) != 0) m_bits[(o >> 6) + 1] |= bits >> (64 - (o & 63));
    }
    // The runs in order, clipped to rows 0..height - 1.
    void Runs(int32_t height, RowList& rows) const {
        bool open = false;
        int32_t start = 0;
        for (int32_t w = 0; w < kRows / 64; ++w) {
            const uint64_t v = m_bits[w];
            int32_t pos = 0;
            while (pos < 64) {
                if (!open) {
                    const uint64_t rest = v >> pos;
                    if (rest == 0) break;
                    pos += std::countr_zero(rest);
                    start = m_base + w * 64 + pos;
                    open = true;
                }
                const uint64_t gaps = ~v >> pos;
                if (gaps == 0) break;  // the run goes on into the next word
                pos += std::countr_zero(gaps);
                add(start, m_base + w * 64 + pos - 1, height, rows);
                open = false;
            }
        }
        if (open) add(start, m_base + kRows - 1, height, rows);
    }

private:
    static void add(int32_t top, int32_t bottom, int32_t height, RowList& rows) {
        top = std::max(top, 0);
        bottom = std::min(bottom, height - 1);
        if (top <= bottom) rows.Add(top, bottom);
    }

    int32_t m_base;
    uint64_t m_bits[kRows / 64 + 1] = {};
};

}  // namespace

void ColumnSummary::addMarkers(int64_t sampleColumn, const MarkerShape::Column& mc, RowList& rows) const {
    const SampleColumn& c = m_cols[slot(sampleColumn)];
    if ((c.flags & kSpill) != 0) {
        walk(c, [&](int32_t y, double) { rows.Add(y + mc.top, y + mc.bottom); });
        return;
    }
    uint64_t spread = spreadRows(c.rows, mc);
    const int32_t base = c.lowY - 2;
    while (spread != 0) {
        const int start = std::countr_zero(spread);
        const int length = std::countr_one(spread >> start);
        rows.Add(base + start, base + start + length - 1);
        spread &= length >= 64 ? 0 : ~(((uint64_t{1} << length) - 1) << start);
    }
}

void ColumnSummary::pixelRuns(int64_t column, RowList& rows) const {
    rows.Clear();
    const int32_t x = m_grid.X(column, m_left);
    if (held(column) && present(column)) {
        const SampleColumn& c = m_cols[slot(column)];
        if ((c.flags & kBroken) != 0) {
            // Runs split where the time between two samples exceeds the gap threshold, joined by dotted
            // lines.
            bool started = false;
            int32_t low = 0, high = 0, last = 0;
            double prevTime = 0.0;
            walk(c, [&](int32_t y, double time) {
                if (started && time - prevTime > m_gap) {
                    if (high > low) rows.Add(low, high);
                    LineRowsInColumn(x, last, x, y, true, x, rows);
                    low = high = y;
                } else if (started) {
                    low = std::min(low, y);
                    high = std::max(high, y);
                } else {
                    started = true;
                    low = high = y;
                }
                last = y;
                prevTime = time;
            });
            if (high > low) rows.Add(low, high);
        } else if (c.highY > c.lowY) {
            rows.Add(c.lowY, c.highY);
        }
        const Point in = before(column);
        if (in.on)
            LineRowsInColumn(m_grid.X(in.column, m_left), in.y, x, c.firstY, (c.flags & kGapBefore) != 0, x,
                             rows);
        const Point out = after(column);
        if (out.on) LineRowsInColumn(x, c.lastY, m_grid.X(out.column, m_left), out.y, out.gap, x, rows);
    } else {
        const Point in = before(column);
        const Point out = in.on ? after(column) : Point{};
        if (out.on)
            LineRowsInColumn(m_grid.X(in.column, m_left), in.y, m_grid.X(out.column, m_left), out.y, out.gap,
                             x, rows);
    }
    // The markers reaching into the column: through a window of rows when everything lies close together
    // (the usual case), else run by run.
    const SampleColumn* marked[4];
    const MarkerShape::Column* shapes[4];
    int32_t n = 0;
    bool spill = false;
    int32_t lo = INT32_MAX, hi = INT32_MIN;
    for (int32_t k = 0; k < m_marker.count; ++k) {
        const MarkerShape::Column& mc = m_marker.columns[k];
        const int64_t s = column - mc.dx;
        if (!held(s) || !present(s)) continue;
        const SampleColumn& c = m_cols[slot(s)];
        spill |= (c.flags & kSpill) != 0;
        lo = std::min(lo, c.lowY - 2);
        hi = std::max(hi, c.highY + 2);
        marked[n] = &c;
        shapes[n++] = &mc;
    }
    if (n == 0 || spill) {
        for (int32_t k = 0; k < n; ++k) addMarkers(column - shapes[k]->dx, *shapes[k], rows);
        rows.Merge(m_height);
        return;
    }
    for (size_t k = 0; k < rows.Size(); ++k) {
        lo = std::min(lo, rows[k].top);
        hi = std::max(hi, rows[k].bottom);
    }
    if (static_cast<int64_t>(hi) - lo >= RowWindow::kRows) {
        for (int32_t k = 0; k < n; ++k) addMarkers(column - shapes[k]->dx, *shapes[k], rows);
        rows.Merge(m_height);
        return;
    }
    RowWindow window(lo);
    for (size_t k = 0; k < rows.Size(); ++k) window.Set(rows[k].top, rows[k].bottom);
    for (int32_t k = 0; k < n; ++k) window.Or(spreadRows(marked[k]->rows, *shapes[k]), marked[k]->lowY - 2);
    rows.Clear();
    window.Runs(m_height, rows);
}

void ColumnSummary::Prefetch(const PixelBuffer& buf) const {
    if (!m_valid) return;
    const int64_t shift = m_grid.first - m_left;
    const int64_t from = std::max<int64_t>(buf.Left() + shift, m_lo),
                  to = std::min<int64_t>(buf.Right() + shift, m_hi);
    constexpr int64_t kPerLine = 64 / sizeof(Masks);
    for (int64_t c = from; c < to; c += kPerLine) __builtin_prefetch(&m_masks[slot(c)]);
    __builtin_prefetch(&m_word[slot(from)]);
}

namespace {

template <bool kCovered>
size_t paintMasks(const int16_t* word, const uint64_t (*masks)[2], size_t n, uint32_t* column, int64_t stride,
                  uint64_t* cover, size_t words, uint32_t pixel, uint32_t* later, int16_t none,
                  int16_t runs) {
    const int64_t wordStride = 64 * stride;
    size_t left = 0;
    for (size_t i = 0; i < n; ++i, ++column) {
        const int32_t w = word[i];
        if (w < 0) {
            if (w == runs) {
                KeptRuns r;
                std::memcpy(&r, masks[i], sizeof r);
                for (size_t k = 0; k < 4 && r.top[k] <= r.bottom[k]; ++k) {
                    if constexpr (kCovered) {
                        PaintCovered(column, stride, cover + i * words, r.top[k], r.bottom[k], pixel);
                    } else {
                        for (int64_t y = r.top[k]; y <= r.bottom[k]; ++y) column[y * stride] = pixel;
                    }
                }
            } else if (w != none) {
                later[left++] = static_cast<uint32_t>(i);
            }
            continue;
        }
        uint64_t f0 = masks[i][0], f1 = masks[i][1];
        if constexpr (kCovered) {
            // The rows not set by a curve above; they are set now.
            uint64_t* c = cover + i * words + w;
            f0 &= ~c[0];
            f1 &= ~c[1];
            if ((f0 | f1) == 0) continue;
            c[0] |= f0;
            c[1] |= f1;
        }
        if ((f0 | f1) == 0) continue;
        uint32_t* rows = column + w * wordStride;
        for (; f0 != 0; f0 &= f0 - 1) rows[std::countr_zero(f0) * stride] = pixel;
        if (f1 == 0) continue;
        rows += wordStride;
        for (; f1 != 0; f1 &= f1 - 1) rows[std::countr_zero(f1) * stride] = pixel;
    }
    return left;
}

}  // namespace

size_t ColumnSummary::paintKept(const int16_t* word, const Masks* masks, size_t n, uint32_t* column,
                                int64_t stride, uint64_t* cover, size_t words, uint32_t pixel,
                                uint32_t* later) {
    static_assert(sizeof(Masks) == 2 * sizeof(uint64_t));
    const auto* bits = reinterpret_cast<const uint64_t(*)[2]>(masks);
    return cover != nullptr
               ? paintMasks<true>(word, bits, n, column, stride, cover, words, pixel, later, kNone, kRuns)
               : paintMasks<false>(word, bits, n, column, stride, cover, words, pixel, later, kNone, kRuns);
}

void ColumnSummary::Draw(PixelBuffer& buf, uint32_t pixel, RowList& rows) const {
    if (!m_valid) return;
    // Grid columns with anything to draw: from the first drawn sample's markers (or the line from the head)
    // to the last one's markers (or the line to the tail).
    int64_t from = 0, to = -1;
    if (m_firstPresent <= m_lastPresent) {
        from = m_head.on ? std::min(m_head.column, m_firstPresent - 2) : m_firstPresent - 2;
        to = m_tail.on ? std::max(m_tail.column, m_lastPresent + 1) : m_lastPresent + 1;
    } else if (m_head.on && m_tail.on) {
        from = m_head.column;
        to = m_tail.column;
    }
    const int64_t shift = m_grid.first - m_left;  // grid column of pixel column 0
    from = std::max({from, m_fromX, buf.Left() + shift});
    to = std::min({to, m_toX - 1, buf.Right() - 1 + shift});
    if (from > to) return;
    const auto computed = [&](int64_t c) {
        pixelRuns(c, rows);
        const auto x = static_cast<int32_t>(c - shift);
        for (size_t k = 0; k < rows.Size(); ++k) PaintRunAt(buf, x, rows[k].top, rows[k].bottom, pixel);
    };
    // Kept runs between two columns in from the first and last present column; the rest worked out.
    const int64_t a = std::max(from, m_firstPresent + 2), b = std::min(to, m_lastPresent - 2);
    int64_t c = from;
    for (; c <= to && c < a; ++c) computed(c);
    // Kept rows lie within the image already; through the cover bits where there are some.
    const bool keep = buf.height == m_height;
    const int64_t stride = buf.stride;
    uint32_t later[64];
    while (c <= b && keep) {
        const size_t s = slot(c);
        const auto n =
            static_cast<size_t>(std::min<int64_t>({b - c + 1, static_cast<int64_t>(m_cap - s), 64}));
        const auto x = static_cast<int32_t>(c - shift);
        uint64_t* cover = buf.cover != nullptr
                              ? buf.cover + static_cast<int64_t>(x - buf.coverLeft) * buf.coverWords
                              : nullptr;
        const size_t left =
            paintKept(&m_word[s], &m_masks[s], n, buf.bits + x, stride, cover,
                      cover != nullptr ? static_cast<size_t>(buf.coverWords) : 0, pixel, later);
        for (size_t k = 0; k < left; ++k) computed(c + later[k]);
        c += static_cast<int64_t>(n);
    }
    for (; c <= to; ++c) computed(c);
}

}  // namespace plot
