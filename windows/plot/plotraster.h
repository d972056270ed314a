#pragma once
// The curves' pixels, drawn straight into a 32-bit image: one-pixel lines with both ends included, dotted
// lines (every other pixel), vertical spans and the sample markers. Everything is clipped to the image.
// Plain C++, no allocation per sample.
//
// A curve is drawn from per-column summaries of its samples (plotcolumns.h), which set exactly the pixels
// that drawing every segment and every marker sets; DrawCurveEverySegment is that slow drawing, kept as the
// reference the summaries are compared with.
#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "windows/plot/graphaxis.h"

class CGraphSampleRing;

namespace plot {

// A 32-bit image: `stride` pixels from one row to the next. Drawing sets only the columns from clipLeft
// up to clipRight (exclusive) that lie in the image.
//
// With a cover, layers are drawn from the top down: a pixel whose bit is set is left as it is, and every
// pixel drawn sets its bit, so each pixel is written once, by the topmost layer that sets it. Column x's
// bits start at cover + (x - coverLeft) * coverWords; bit r (word r / 64) is row r. A column has one word
// more than its rows need (height / 64 rounded up, plus one): kept pixel columns set two words at once.
struct PixelBuffer {
    uint32_t* bits = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    int32_t clipLeft = 0;
    int32_t clipRight = INT32_MAX;
    uint64_t* cover = nullptr;
    int32_t coverLeft = 0;
    int32_t coverWords = 0;

    uint32_t At(int32_t x, int32_t y) const { return bits[static_cast<int64_t>(y) * stride + x]; }
    int32_t Left() const { return clipLeft > 0 ? clipLeft : 0; }
    int32_t Right() const { return clipRight < width ? clipRight : width; }
};

// Rows top..bottom (0 <= top <= bottom < height) of a column through its cover bits: only the rows not
// covered yet are written, and they become covered.
inline void PaintCovered(uint32_t* column, int64_t stride, uint64_t* cover, int32_t top, int32_t bottom,
                         uint32_t pixel) {
    const auto paint = [&](int32_t w, uint64_t mask) {
        uint64_t fresh = mask & ~cover[w];
        cover[w] |= mask;
        uint32_t* p = column + static_cast<int64_t>(w) * 64 * stride;
        for (; fresh != 0; fresh &= fresh - 1)
            p[static_cast<int64_t>(std::countr_zero(fresh)) * stride] = pixel;
    };
    const int32_t first = top >> 6, last = bottom >> 6;
    const uint64_t head = ~uint64_t{0} << (top & 63), tail = ~uint64_t{0} >> (63 - (bottom & 63));
    if (first == last) {
        paint(first, head & tail);
        return;
    }
    paint(first, head);
    for (int32_t w = first + 1; w < last; ++w) paint(w, ~uint64_t{0});
    paint(last, tail);
}

// Rows y0..y1 (y0 <= y1) of column x, which must lie within the buffer's columns; clipped to the rows.
inline void PaintRunAt(PixelBuffer& buf, int32_t x, int32_t y0, int32_t y1, uint32_t pixel) {
    y0 = y0 > 0 ? y0 : 0;
    y1 = y1 < buf.height - 1 ? y1 : buf.height - 1;
    if (y0 > y1) return;
    uint32_t* column = buf.bits + x;
    const int64_t stride = buf.stride;
    if (buf.cover == nullptr) {
        for (int64_t y = y0, end = y1; y <= end; ++y) column[y * stride] = pixel;
        return;
    }
    PaintCovered(column, stride, buf.cover + static_cast<int64_t>(x - buf.coverLeft) * buf.coverWords, y0, y1,
                 pixel);
}

// The same for any column: nothing outside the buffer's columns.
inline void PaintRun(PixelBuffer& buf, int32_t x, int32_t y0, int32_t y1, uint32_t pixel) {
    if (x < buf.Left() || x >= buf.Right()) return;
    if (y0 > y1) {
        const int32_t t = y0;
        y0 = y1;
        y1 = t;
    }
    PaintRunAt(buf, x, y0, y1, pixel);
}

// An opaque 0xAARRGGBB pixel of a colour stored as 0x00BBGGRR (red in the low byte): the one place the
// curves' stored colours are converted.
uint32_t PixelFromRef(uint32_t colorRef);

// From (x0, y0) to (x1, y1), both included; along the longer axis one pixel per step, the other
// coordinate rounded half away from zero. Dotted: only the pixels an even number of steps from the start.
void DrawLine(PixelBuffer& buf, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel,
              bool dotted = false);
// Column x from y0 to y1, both included.
void DrawVSpan(PixelBuffer& buf, int32_t x, int32_t y0, int32_t y1, uint32_t pixel);

// Runs of rows of one pixel column, unclipped until Merge; a scratch list reused from column to column.
class RowList {
public:
    struct Run {
        int32_t top, bottom;
    };
    void Clear() { m_runs.clear(); }
    void Add(int32_t top, int32_t bottom) { m_runs.push_back({top, bottom}); }
    // Clipped to rows 0..height - 1, sorted, overlapping and touching runs joined.
    void Merge(int32_t height);
    size_t Size() const { return m_runs.size(); }
    const Run& operator[](size_t i) const { return m_runs[i]; }

private:
    std::vector<Run> m_runs;
};

// The rows DrawLine(x0, y0, x1, y1, dotted) sets in column x, added to `rows` as runs.
void LineRowsInColumn(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool dotted, int32_t x, RowList& rows);

// Where a curve's samples land: a sample is drawn when its value is a number and its column is not before
// the window's first; x by the column grid, y by the value map.
struct CurveGeometry {
    double windowStart = 0.0;
    double scale = 0.0;  // pixels per ms
    int32_t left = 0;
    YMap y;
    double gapThreshold = 5000.0;  // ms; longer gaps are joined by a dotted line
    // The columns; without them, those of a window starting at windowStart.
    std::optional<ColumnGrid> columns;

    ColumnGrid Grid() const { return columns ? *columns : ColumnGrid::Starting(windowStart, scale); }
};

// Markers: point type 1 a round dot, 2 a square dot, each in the 4 x 4 box from (x - 2, y - 2); other
// types none.
struct MarkerShape {
    int32_t count = 0;
    struct Column {
        int32_t dx, top, bottom;  // pixels (x + dx, y + top) to (x + dx, y + bottom)
    } columns[4];
};
MarkerShape MarkerOf(int32_t pointType);

class ColumnSummary;

// Draws single curves; keeps its scratch storage from one curve to the next.
class CurveRaster {
public:
    CurveRaster();
    ~CurveRaster();
    CurveRaster(CurveRaster&&) noexcept;
    CurveRaster& operator=(CurveRaster&&) noexcept;

    // The ring's samples from the oldest: those before the window's first column or with a value that is
    // not a number are skipped; the first drawn sample only starts the line; each further one is joined
    // to the previous drawn one, solid or, after a gap longer than the threshold, dotted; markers by point
    // type. A ring whose times never go back is drawn from column summaries of the samples that can reach
    // the buffer's columns; any other ring by walking every sample. The pixels are the same either way.
    void Draw(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g, uint32_t pixel,
              int32_t pointType);
    // Every sample walked, in ring order.
    void DrawWalking(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g, uint32_t pixel,
                     int32_t pointType);

private:
    // One drawn sample of the walk: joins it to the previous one or widens its column, and notes its marker.
    void step(int32_t x, int32_t y, double time);
    void endColumn();
    // Draws the markers of the open column, each pixel once.
    void flushMarkers();

    std::unique_ptr<ColumnSummary> m_summary;
    RowList m_rows;
    PixelBuffer* m_buf = nullptr;
    uint32_t m_pixel = 0;
    MarkerShape m_marker;
    double m_gapLimit = 0.0;
    // The walk: the last drawn sample's time, the open column (lowest, highest and last pixel) and the rows
    // of its markers.
    bool m_started = false;
    double m_prevTime = 0.0;
    int32_t m_col = 0, m_low = 0, m_high = 0, m_last = 0;
    std::vector<int32_t> m_markerYs;
};

// Runs tasks on a fixed set of worker threads and the calling thread; the threads are joined when the
// object goes.
class Workers {
public:
    // `threads` in all, the caller included; 1 runs everything on the caller.
    explicit Workers(int threads);
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    int Threads() const { return m_threads; }
    // task(0) ... task(count - 1), each once, spread over the threads; returns when all have run.
    void Run(int count, const std::function<void(int)>& task);

private:
    struct Shared;
    int m_threads;
    std::unique_ptr<Shared> m_shared;
    std::vector<std::thread> m_pool;
};

// The same pixels drawn the slow way: every segment and every marker on its own (for tests).
void DrawCurveEverySegment(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g,
                           uint32_t pixel, int32_t pointType);

}  // namespace plot
