#include "windows/graphdraw.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <thread>

#include "windows/fonts.h"
#include "windows/listcellpaint.h"
#include "windows/plot/plotformat.h"

namespace {

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The plot's faces: "宋体" at a 12-pixel character height, weight 500.
QFont plotFont(int pixelSize) {
    vex::InstallFontSubstitutions();
    QFont font(QStringLiteral("宋体"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Medium);
    return font;
}

class FontMeasure final : public plot::TextMeasure {
public:
    explicit FontMeasure(const QFont& font) : m_metrics(font) {}
    int32_t Width(const std::string& text) const override { return m_metrics.horizontalAdvance(qs(text)); }
    int32_t Height() const override { return m_metrics.height(); }

private:
    QFontMetrics m_metrics;
};

// A one-pixel pen; dotted: one pixel on, one off.
QPen pen(uint32_t colorRef, bool dotted = false) {
    QPen p(vex::ColorFromRef(colorRef));
    p.setWidth(0);
    p.setCapStyle(Qt::SquareCap);
    if (dotted) p.setDashPattern({1.0, 1.0});
    return p;
}

// The dotted grid, set straight into the image: the pixels a one-pixel dotted pen draws over an opaque
// background, a dot on the first pixel and on every other one after it, the background colour between.
// A line that starts outside the image is left to the painter, whose dots then restart where the line
// enters it, and so is a line of one point, which the painter leaves out.
class DottedLines {
public:
    DottedLines(QImage& image, uint32_t colorRef, uint32_t backgroundRef)
        : m_pixels{reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                   static_cast<int32_t>(image.bytesPerLine() / 4)},
          m_colorRef(colorRef),
          m_backgroundRef(backgroundRef) {}
    void Add(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        if (x0 < 0 || x0 >= m_pixels.width || y0 < 0 || y0 >= m_pixels.height || (x0 == x1 && y0 == y1)) {
            m_painted.emplace_back(x0, y0, x1, y1);
            return;
        }
        plot::DrawLine(m_pixels, x0, y0, x1, y1, plot::PixelFromRef(m_backgroundRef));
        plot::DrawLine(m_pixels, x0, y0, x1, y1, plot::PixelFromRef(m_colorRef), true);
    }
    bool Pending() const { return !m_painted.empty(); }
    void Paint(QPainter& p) {
        if (m_painted.empty()) return;
        p.setPen(pen(m_colorRef, true));
        p.drawLines(m_painted.data(), static_cast<int>(m_painted.size()));
        m_painted.clear();
    }

private:
    plot::PixelBuffer m_pixels;
    uint32_t m_colorRef;
    uint32_t m_backgroundRef;
    std::vector<QLine> m_painted;
};

// The value grid: a dotted line at every labelled tick of each grid axis, across its area.
void drawGrid(DottedLines& lines, const CGraphPlot& plot, const PlotLayout& layout) {
    if (!plot.GridShown()) return;
    for (const PlotLayout::Area& a : layout.gridAxes) {
        const CGraphPlotYAxis& axis = plot.Curve(a.slot).YAxis;
        for (const tGR_AXIS_TICK& t : axis.Ticks()) {
            if (!t.Labelled) continue;
            const int32_t y = axis.ValueToY(t.Value);
            lines.Add(a.area.left, y, a.area.right, y);
        }
    }
}

QRect toQRect(const plot::Rect& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

int threadCount(int wanted) {
    if (wanted > 0) return wanted;
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

}  // namespace

CGraphPlotPainter::CGraphPlotPainter(int threads)
    : m_labelFont(plotFont(12)),
      m_titleFont(plotFont(11)),
      m_readoutFont(plotFont(12)),
      m_curves(threadCount(threads)) {}

void CGraphPlotPainter::Paint(CGraphPlot& plot, QImage& image) {
    // Texts stand on the background colour, as over the curves' lines.
    const auto begin = [&](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(vex::ColorFromRef(plot.BackgroundColor));
        p.setFont(m_labelFont);
    };
    const PlotLayout* layout = nullptr;
    const plot::Rect& area = plot.PlotRect();
    {
        QPainter p(&image);
        begin(p);
        p.fillRect(toQRect(plot.FrameRect()), vex::ColorFromRef(plot.BackgroundColor));
        layout = &plot.Layout(FontMeasure(m_labelFont));
        for (const PlotLayout::Strip& s : layout->strips) drawValueAxis(p, plot.Curve(s.slot), s.rect);
        if (layout->fallbackAxis) {
            p.setPen(pen(0x000000));
            p.drawLine(area.left - 2, area.bottom, area.left - 2, area.top);
        }
    }
    // The value grid before the time axis, whose line covers it; the time grid after.
    DottedLines grid(image, plot.GridColor, plot.BackgroundColor);
    if (layout->fallbackAxis && plot.GridShown()) {
        const int32_t left = area.left + layout->axisWidth;
        for (int i = 0; i <= 10; ++i) {
            const int32_t y = area.bottom - plot::ToPixel(area.Height() * 0.1 * i);
            grid.Add(left, y, area.right, y);
        }
    }
    drawGrid(grid, plot, *layout);
    std::vector<int32_t> gridXs;
    {
        QPainter p(&image);
        begin(p);
        grid.Paint(p);
        drawTimeAxis(p, plot, gridXs);
    }
    if (plot.GridShown())
        for (int32_t x : gridXs) grid.Add(x, area.top, x, area.bottom);
    if (grid.Pending()) {
        QPainter p(&image);
        begin(p);
        grid.Paint(p);
    }
    if (layout->drawCurves) drawCurves(plot, *layout, image);
    if (plot.IsFrozen() && plot.ShowCursorReadout()) {
        QPainter p(&image);
        p.setBackgroundMode(Qt::OpaqueMode);
        p.setBackground(vex::ColorFromRef(plot.BackgroundColor));
        drawReadout(p, plot);
    }
}

void CGraphPlotPainter::drawValueAxis(QPainter& p, const CGraphPlotCurve& curve, const plot::Rect& strip) {
    const CGraphPlotYAxis& axis = curve.YAxis;
    p.setPen(pen(curve.Color));
    p.setFont(m_labelFont);
    const int32_t axisX = strip.right - 2;
    p.drawLine(axisX, strip.bottom, axisX, strip.top);
    const QFontMetrics fm(m_labelFont);
    for (const tGR_AXIS_TICK& t : axis.Ticks()) {
        const int32_t y = axis.ValueToY(t.Value);
        if (!t.Labelled) {
            p.drawLine(axisX, y, axisX - 4, y);
            continue;
        }
        p.drawLine(axisX, y, axisX - 10, y);
        const QString label = qs(t.Label);
        const int w = fm.horizontalAdvance(label);
        p.drawText(QPoint(axisX - 10 - w, y - fm.height() / 2 + fm.ascent()), label);
    }
    // The title reads upwards along the strip's left edge, from its top down as far as the strip allows.
    const QString title = qs(axis.Name) + "[" + qs(axis.Unit) + "] ";
    const QFontMetrics tm(m_titleFont);
    const int length = std::min(tm.horizontalAdvance(title), std::max(0, strip.Height()));
    p.save();
    p.setFont(m_titleFont);
    p.translate(strip.left + tm.ascent(), strip.top + length);
    p.rotate(-90);
    p.drawText(QPoint(0, 0), tm.elidedText(title, Qt::ElideRight, length));
    p.restore();
}

void CGraphPlotPainter::drawTimeAxis(QPainter& p, const CGraphPlot& plot, std::vector<int32_t>& gridXs) {
    const CGraphPlotXAxis& axis = plot.XAxis();
    const plot::Rect& r = axis.rect();
    const QFontMetrics fm(m_labelFont);
    p.setFont(m_labelFont);
    p.setPen(pen(plot.XAxisColor));
    p.drawLine(r.left, r.bottom, r.right, r.bottom);
    const double start = axis.WindowStart();
    const double end = start + axis.TimeLength();
    for (const tGR_AXIS_TICK& t : axis.Ticks()) {
        if (t.Value < start || t.Value > end) continue;
        const int32_t x = axis.TimeToX(t.Value);
        p.drawLine(x, r.bottom + 2, x, r.bottom + 2 + (t.Labelled ? 10 : 4) - 1);
        if (t.Label.empty()) continue;
        const QString label = qs(t.Label);
        const int w = fm.horizontalAdvance(label);
        p.drawText(QPoint(x - w / 2, r.bottom + 7 + fm.height() / 2 + fm.ascent()), label);
        gridXs.push_back(x);
    }
    const QString unit = QStringLiteral("[ s ]");
    p.drawText(QPoint(r.right - fm.horizontalAdvance(unit), r.bottom + 18 + fm.height() / 2 + fm.ascent()),
               unit);
}

void CGraphPlotPainter::drawCurves(CGraphPlot& plot, const PlotLayout&, QImage& image) {
    m_curves.Draw(plot, {reinterpret_cast<uint32_t*>(image.bits()), image.width(), image.height(),
                         static_cast<int32_t>(image.bytesPerLine() / 4)});
}

void CGraphPlotPainter::drawReadout(QPainter& p, const CGraphPlot& plot) {
    const int32_t slot = plot.ReadoutSlot();
    if (slot < 0) return;
    const CGraphPlotCurve& c = plot.Curve(slot);
    const plot::Rect& area = c.rect;
    p.setPen(pen(c.Color));
    p.drawLine(area.left, c.CursorY, area.right, c.CursorY);
    p.drawLine(c.CursorX, area.top, c.CursorX, area.bottom);
    double time = c.CursorTime;
    double value = c.CursorValue;
    if (c.CursorValid && c.Found.Time >= plot.XAxis().WindowStart()) {
        time = c.Found.Time;
        value = c.Found.Value;
        const int32_t fx = plot.XAxis().TimeToX(time);
        const int32_t fy = c.YAxis.ValueToY(value);
        p.setBrush(Qt::NoBrush);
        p.drawRect(fx - 5, fy - 5, 10, 10);
    }
    const QString lines[3] = {qs(c.YAxis.Name), qs(plot::ReadoutTimeText(time)),
                              qs(plot::ReadoutValueText(value, c.YAxis.Unit))};
    const QFontMetrics fm(m_readoutFont);
    int w = 0;
    for (const QString& l : lines) w = std::max(w, fm.horizontalAdvance(l));
    const int lineH = fm.height();
    const int h = 3 * lineH;
    const int left = c.CursorX + 15 + w <= area.right ? c.CursorX + 15 : c.CursorX - 5 - w;
    const int top = c.CursorY + 10 + h <= area.bottom ? c.CursorY + 10 : c.CursorY - h;
    p.setFont(m_readoutFont);
    for (int i = 0; i < 3; ++i)
        p.drawText(QRect(left, top + i * lineH, w, lineH), Qt::AlignLeft | Qt::TextSingleLine, lines[i]);
}
