#include "windows/plot/plotcurves.h"

#include <algorithm>

namespace plot {

CurvePainter::CurvePainter(int threads) : m_workers(threads) {}

void CurvePainter::Draw(CGraphPlot& plot, PixelBuffer image) {
    const PlotLayout& layout = plot.LastLayout();
    if (!layout.drawCurves || image.width <= 0 || image.height <= 0) return;
    const CGraphPlotXAxis& axis = plot.XAxis();
    const ColumnGrid grid = axis.Grid();
    const bool frozen = plot.IsFrozen();
    m_jobs.clear();
    for (const PlotLayout::Area& a : layout.curves) {
        CGraphPlotCurve& c = plot.Curve(a.slot);
        Job job{&c, &c.Samples(frozen), {}, PixelFromRef(c.Color), c.PointType, false};
        job.geometry.windowStart = axis.DrawnStart();
        job.geometry.scale = axis.Scale();
        job.geometry.left = a.area.left;
        job.geometry.y = c.YAxis.Map(c.YAxis.rect.top, c.YAxis.rect.bottom);
        job.geometry.gapThreshold = CGraphPlotCurve::kGapThreshold;
        job.geometry.columns = grid;
        m_jobs.push_back(job);
    }
    const int32_t width = image.width;
    m_workers.Run(static_cast<int>(m_jobs.size()), [&](int i) {
        Job& job = m_jobs[static_cast<size_t>(i)];
        const int64_t column0 = grid.first - job.geometry.left;  // the grid column of pixel column 0
        job.curve->Columns.Update(*job.ring, job.geometry, job.pointType, image.height, column0,
                                  column0 + width);
        job.walk = !job.curve->Columns.Usable();
    });
    // Several bands per thread, so that a thread held up by the machine delays less of the frame.
    const int bands = std::max(1, std::min(m_workers.Threads() * 4, width / 16));
    // A spare word per column: kept rows span two words from any word of the column.
    const int32_t words = (image.height + 63) / 64 + 1;
    m_bands.resize(static_cast<size_t>(bands));
    m_workers.Run(bands, [&](int band) {
        PixelBuffer buf = image;
        buf.clipLeft = static_cast<int32_t>(static_cast<int64_t>(width) * band / bands);
        buf.clipRight = static_cast<int32_t>(static_cast<int64_t>(width) * (band + 1) / bands);
        Band& b = m_bands[static_cast<size_t>(band)];
        b.cover.assign(static_cast<size_t>(buf.clipRight - buf.clipLeft) * static_cast<size_t>(words), 0);
        buf.cover = b.cover.data();
        buf.coverLeft = buf.clipLeft;
        buf.coverWords = words;
        for (auto job = m_jobs.rbegin(); job != m_jobs.rend(); ++job) {
            // The next curve's columns are on their way while this one is drawn.
            if (job + 1 != m_jobs.rend() && !job[1].walk) job[1].curve->Columns.Prefetch(buf);
            if (job->walk)
                b.walker.DrawWalking(buf, *job->ring, job->geometry, job->pixel, job->pointType);
            else
                job->curve->Columns.Draw(buf, job->pixel, b.rows);
        }
    });
}

}  // namespace plot
