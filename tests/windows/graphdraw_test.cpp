// A frame of the plot painted into an image: pixels that do not depend on fonts (background, the
// stand-in axis and grid, a curve's colour at a computed point, the readout's square).
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "windows/graphdraw.h"

namespace {

constexpr QRgb kYellow = 0xFFFFFF00;  // stored as 0x00FFFF
constexpr QRgb kRed = 0xFFFF0000;     // stored as 0x0000FF
constexpr QRgb kGrid = 0xFF005000;    // stored as 0x005000

int CountOnRow(const QImage& img, int y, int x0, int x1, QRgb colour) {
    int n = 0;
    for (int x = x0; x <= x1; ++x) n += img.pixel(x, y) == colour ? 1 : 0;
    return n;
}

class GraphDraw : public testing::Test {
protected:
    GraphDraw() : img(600, 400, QImage::Format_RGB32) {
        plot.SetClientRect({0, 0, 600, 400});
        plot.BackgroundColor = 0x00FFFF;
        plot.GridColor = 0x005000;
    }
    int32_t AddFlatCurve(double value, double every) {
        const int32_t slot = plot.AddCurve("A", "V", false, 0x0000FF, 0, 100);
        plot.Curve(slot).Shown = true;
        plot.Curve(slot).PointType = 0;
        for (double t = 0; t <= 20000; t += every) plot.AddSample(slot, t, value);
        plot.Tick();
        return slot;
    }

    CGraphPlot plot;
    CGraphPlotPainter painter;
    QImage img;
};

TEST_F(GraphDraw, BackgroundStandInAxisAndTenDivisionGrid) {
    painter.Paint(plot, img);
    const plot::Rect& area = plot.PlotRect();  // 15, 20, 595, 355
    EXPECT_EQ(img.pixel(2, 2), kYellow);
    EXPECT_EQ(img.pixel(599, 399), kYellow);
    EXPECT_EQ(img.pixel(area.left - 2, (area.top + area.bottom) / 2), 0xFF000000);  // no value axis: a line
    // Dotted grid lines i tenths of the plot height up from the bottom (the bottom one lies under the time
    // axis).
    for (int i = 1; i <= 10; ++i) {
        const int y = area.bottom - static_cast<int>(area.Height() * 0.1 * i);
        EXPECT_GT(CountOnRow(img, y, area.left + 5, area.right - 5, kGrid), 200) << i;
        EXPECT_LT(CountOnRow(img, y + 2, area.left + 5, area.right - 5, kGrid), 30) << i;
    }
    plot.SetGridShown(false);
    painter.Paint(plot, img);
    EXPECT_EQ(CountOnRow(img, area.bottom - area.Height() / 2, area.left + 5, area.right - 5, kGrid), 0);
}

TEST_F(GraphDraw, CurveInItsStoredColourAtItsPoint) {
    const int32_t slot = AddFlatCurve(25, 100);
    painter.Paint(plot, img);
    const CGraphPlotCurve& c = plot.Curve(slot);
    const int y = c.YAxis.ValueToY(25);
    EXPECT_EQ(y, static_cast<int>(plot.PlotRect().bottom - 0.25 * plot.PlotRect().Height()));
    const int x = plot.XAxis().TimeToX(10500);  // between two labelled time ticks
    EXPECT_GT(x, plot.PlotRect().left + plot.LastLayout().axisWidth);
    EXPECT_EQ(img.pixel(x, y), kRed);
    EXPECT_EQ(img.pixel(x, y + 4), kYellow);
    EXPECT_EQ(img.pixel(x, y - 4), kYellow);
    // Hidden, the curve is not drawn.
    plot.Curve(slot).Shown = false;
    painter.Paint(plot, img);
    EXPECT_EQ(img.pixel(x, y), kYellow);
}

TEST_F(GraphDraw, ReadoutSquareOnTheFoundSample) {
    const int32_t slot = AddFlatCurve(50, 1000);
    plot.Freeze(true);
    plot.SetShowCursorReadout(true);
    painter.Paint(plot, img);  // lays out, so that the cursor knows the scale
    const CGraphPlotCurve& c = plot.Curve(slot);
    const int fx = plot.XAxis().TimeToX(5000);
    const int fy = c.YAxis.ValueToY(50);
    plot.SetCursor(fx + 3, fy - 20);
    ASSERT_TRUE(c.CursorValid);
    ASSERT_EQ(c.Found.Time, 5000);
    painter.Paint(plot, img);
    for (int d : {-3, 0, 3}) {
        EXPECT_EQ(img.pixel(fx - 5, fy + d), kRed) << d;
        EXPECT_EQ(img.pixel(fx + 5, fy + d), kRed) << d;
        EXPECT_EQ(img.pixel(fx + d, fy - 5), kRed) << d;
    }
    EXPECT_EQ(img.pixel(fx - 6, fy - 3), kYellow);
    EXPECT_EQ(img.pixel(fx - 4, fy - 3), kYellow);
    EXPECT_EQ(img.pixel(fx - 30, fy - 20), kRed);  // the cursor's horizontal line
    EXPECT_EQ(img.pixel(fx + 3, fy + 30), kRed);   // and its vertical line
    // Readout off: no square.
    plot.SetShowCursorReadout(false);
    painter.Paint(plot, img);
    EXPECT_EQ(img.pixel(fx - 5, fy - 3), kYellow);
}

// The dotted grid is set straight into the frame: the pixels of a one-pixel pen dotted one on, one off,
// over an opaque background (the gaps take the background colour), for lines starting in the image,
// whichever way they run, wherever they end, also outside the image (lines of one point are left to the
// painter, which leaves them out).
TEST(GraphDrawGrid, DottedLinesAreThoseOfAOnePixelDottedPen) {
    const struct {
        int x0, y0, x1, y1;
    } lines[] = {{10, 5, 150, 5},  {11, 7, 150, 7},  {150, 20, 10, 20}, {149, 22, -30, 22}, {20, 30, 20, 90},
                 {25, 91, 25, 31}, {0, 40, 400, 40}, {60, 1, 60, 300},  {159, 99, 159, -7}, {80, 60, 81, 60}};
    for (const auto& l : lines) {
        SCOPED_TRACE(testing::Message() << l.x0 << "," << l.y0 << " to " << l.x1 << "," << l.y1);
        QImage pen(160, 100, QImage::Format_RGB32), set(pen.size(), QImage::Format_RGB32);
        pen.fill(0xFF102030);
        set.fill(0xFF102030);
        {
            QPainter p(&pen);
            p.setBackgroundMode(Qt::OpaqueMode);
            p.setBackground(QColor(0xFF, 0xFF, 0));
            QPen dotted(QColor(0, 0x50, 0));
            dotted.setWidth(0);
            dotted.setCapStyle(Qt::SquareCap);
            dotted.setDashPattern({1.0, 1.0});
            p.setPen(dotted);
            p.drawLine(l.x0, l.y0, l.x1, l.y1);
        }
        plot::PixelBuffer buf{reinterpret_cast<uint32_t*>(set.bits()), set.width(), set.height(),
                              static_cast<int32_t>(set.bytesPerLine() / 4)};
        plot::DrawLine(buf, l.x0, l.y0, l.x1, l.y1, plot::PixelFromRef(0x00FFFF));
        plot::DrawLine(buf, l.x0, l.y0, l.x1, l.y1, plot::PixelFromRef(0x005000), true);
        EXPECT_EQ(set, pen);
    }
}

}  // namespace
