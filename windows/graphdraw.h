#pragma once
// One frame of the plot engine painted into an image: background, value axes, time axis, grid, every
// shown curve with its markers and, while frozen with the cursor held, the readout box. Text goes through
// QPainter; the curves' pixels are set straight into the image (plot/plotraster.h). Colours are stored
// as 0x00BBGGRR and converted here, once per frame and colour.
#include <QFont>
#include <QImage>

#include <vector>

#include "windows/plot/graphplot.h"
#include "windows/plot/plotcurves.h"

class CGraphPlotPainter {
public:
    // Curves are drawn in column bands on this many threads (the caller's included; 0: one per core, at
    // most 8); the pixels are the same as drawn on one.
    explicit CGraphPlotPainter(int threads = 0);

    // Paints the whole frame; the image (RGB32) covers the engine's client rectangle from its top-left.
    void Paint(CGraphPlot& plot, QImage& image);

    const QFont& LabelFont() const { return m_labelFont; }
    const QFont& ReadoutFont() const { return m_readoutFont; }

private:
    void drawValueAxis(QPainter& p, const CGraphPlotCurve& curve, const plot::Rect& strip);
    // The time axis; the columns of its labelled ticks, where the time grid goes, into gridXs.
    void drawTimeAxis(QPainter& p, const CGraphPlot& plot, std::vector<int32_t>& gridXs);
    void drawCurves(CGraphPlot& plot, const PlotLayout& layout, QImage& image);
    void drawReadout(QPainter& p, const CGraphPlot& plot);

    QFont m_labelFont;
    QFont m_titleFont;
    QFont m_readoutFont;
    plot::CurvePainter m_curves;
};
