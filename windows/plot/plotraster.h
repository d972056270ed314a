#pragma once
// The curves' pixels, drawn straight into a 32-bit image: one-pixel lines with both ends included, dotted
// lines (every other pixel), vertical spans and the sample markers. A curve's polyline is reduced to the
// first, lowest, highest and last point of each pixel column, which sets exactly the pixels that drawing
// every segment sets, and a marker is drawn once however many samples repeat its pixels. Everything is
// clipped to the image. Plain C++, no allocation per sample.
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "windows/plot/graphaxis.h"

class CGraphSampleRing;
struct tGR_CURVE_SAMPLE;

namespace plot {

// A 32-bit image: `stride` pixels from one row to the next. Drawing sets only the columns from clipLeft
// up to clipRight (exclusive) that lie in the image.
struct PixelBuffer {
    uint32_t* bits = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    int32_t clipLeft = 0;
    int32_t clipRight = INT32_MAX;

    uint32_t At(int32_t x, int32_t y) const { return bits[static_cast<int64_t>(y) * stride + x]; }
    int32_t Left() const { return clipLeft > 0 ? clipLeft : 0; }
    int32_t Right() const { return clipRight < width ? clipRight : width; }
};

// An opaque 0xAARRGGBB pixel of a colour stored as 0x00BBGGRR (red in the low byte): the one place the
// curves' stored colours are converted.
uint32_t PixelFromRef(uint32_t colorRef);

// From (x0, y0) to (x1, y1), both included; along the longer axis one pixel per step, the other
// coordinate rounded half away from zero. Dotted: only the pixels an even number of steps from the start.
void DrawLine(PixelBuffer& buf, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t pixel,
              bool dotted = false);
// Column x from y0 to y1, both included.
void DrawVSpan(PixelBuffer& buf, int32_t x, int32_t y0, int32_t y1, uint32_t pixel);

// Where a curve's samples land: x = trunc((time - window start) * scale + left), y by the value map.
struct CurveGeometry {
    double windowStart = 0.0;
    double scale = 0.0;  // pixels per ms
    int32_t left = 0;
    YMap y;
    double gapThreshold = 5000.0;  // ms; longer gaps are joined by a dotted line
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

// Draws curves; keeps its scratch storage from one curve to the next.
class CurveRaster {
public:
    // The ring's samples from the oldest: those before the window start or with a value that is not a
    // number are skipped; the first drawn sample only starts the line; each further one is joined to the
    // previous drawn one, solid or, after a gap longer than the threshold, dotted; markers by point type.
    // When the buffer is clipped to some columns and the ring's times never go back, only the samples
    // that can reach those columns are walked; the pixels set are the same.
    void Draw(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g, uint32_t pixel,
              int32_t pointType);

private:
    // One drawn sample of the walk: joins it to the previous one or widens its column, and notes its marker.
    void step(int32_t x, int32_t y, double time);
    void addMarker(int32_t y);
    // The samples s[i] ... s[end - 1] of a ring whose times never go back, a pixel column at a time.
    void drawInOrder(const tGR_CURVE_SAMPLE* s, int32_t i, int32_t end, const CurveGeometry& g);
    // The logical sample range [first, end) that can set pixels in the buffer's columns.
    static void walkedRange(const CGraphSampleRing& ring, const CurveGeometry& g, const PixelBuffer& buf,
                            int32_t& first, int32_t& end);
    // Draws the markers of pixel column x, each pixel once: rows base + bit of the mask, and the rows kept
    // aside in m_markerYs.
    void flushMarkers(int32_t x, int32_t base, uint64_t mask);
    void flushSpreadMarkers(int32_t x, int32_t base, uint64_t mask);

    PixelBuffer* m_buf = nullptr;
    uint32_t m_pixel = 0;
    MarkerShape m_marker;
    double m_markerReach = 0.0;  // the rows of the shortest marker column, less half a row
    double m_gapLimit = 0.0;
    // The walk: the last drawn sample's time, the open column (lowest, highest and last pixel) and its
    // markers (rows base + bit of the mask, and those kept aside).
    bool m_started = false;
    double m_prevTime = 0.0;
    int32_t m_col = 0, m_low = 0, m_high = 0, m_last = 0;
    int32_t m_markerBase = 0;
    uint64_t m_markerMask = 0;
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
