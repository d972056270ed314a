#pragma once
// The curves of a plot frame, drawn into the frame's image on worker threads. First every drawn curve's
// column summary is brought up to date (a curve per task): only the samples that arrived, left the ring or
// scrolled in since the last frame are read. Then the image is drawn in column bands side by side, each
// band's curves from the top one down: a pixel set by a curve above is never drawn again, so a frame writes
// each pixel once however many curves cross it. The pixels are those of drawing the curves one after the
// other, the current curve last.
#include <cstdint>
#include <vector>

#include "windows/plot/graphplot.h"
#include "windows/plot/plotraster.h"

namespace plot {

class CurvePainter {
public:
    // `threads` in all, the caller's included.
    explicit CurvePainter(int threads);

    int Threads() const { return m_workers.Threads(); }
    // The shown curves as the plot's last layout placed them; the image covers the client rectangle from
    // its top-left corner.
    void Draw(CGraphPlot& plot, PixelBuffer image);

private:
    struct Job {
        CGraphPlotCurve* curve;
        const CGraphSampleRing* ring;
        CurveGeometry geometry;
        uint32_t pixel;
        int32_t pointType;
        bool walk;  // times that go back: every sample walked
    };
    struct Band {
        std::vector<uint64_t> cover;
        RowList rows;
        CurveRaster walker;
    };

    Workers m_workers;
    std::vector<Job> m_jobs;
    std::vector<Band> m_bands;
};

}  // namespace plot
