#pragma once
// The curves' pixels, drawn straight into a 32-bit image: one-pixel lines with both ends included, dotted
// lines (every other pixel), vertical spans and the sample markers. A curve's polyline is reduced to the
// first, lowest, highest and last point of each pixel column, which sets exactly the pixels that drawing
// every segment sets, and a marker is drawn once however many samples repeat its pixels. Everything is
// clipped to the image. Plain C++, no allocation per sample.
#include <cstdint>
#include <vector>

#include "windows/plot/graphaxis.h"

class CGraphSampleRing;

namespace plot {

// A 32-bit image: `stride` pixels from one row to the next.
struct PixelBuffer {
    uint32_t* bits = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;

    uint32_t At(int32_t x, int32_t y) const { return bits[static_cast<int64_t>(y) * stride + x]; }
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
    void Draw(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g, uint32_t pixel,
              int32_t pointType);

private:
    void add(int32_t x, int32_t y, double time);
    void flushRun();
    void flushMarkers();

    PixelBuffer* m_buf = nullptr;
    uint32_t m_pixel = 0;
    double m_gap = 0.0;
    MarkerShape m_marker;
    bool m_started = false;
    double m_prevTime = 0.0;
    int32_t m_col = 0, m_first = 0, m_min = 0, m_max = 0, m_last = 0;
    int32_t m_markerCol = 0;
    int32_t m_lastMarkerX = 0, m_lastMarkerY = 0;
    bool m_haveMarker = false;
    std::vector<int32_t> m_markerYs;
};

// The same pixels drawn the slow way: every segment and every marker on its own (for tests).
void DrawCurveEverySegment(PixelBuffer& buf, const CGraphSampleRing& ring, const CurveGeometry& g,
                           uint32_t pixel, int32_t pointType);

}  // namespace plot
