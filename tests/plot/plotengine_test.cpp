// The plot engine: sample rings, curve slots, the time window per tick, freezing and scrolling, the cursor
// search, the layout of value axes and curve areas, and the curves' pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "windows/plot/graphplot.h"
#include "windows/plot/plotraster.h"

namespace {

struct Measure : plot::TextMeasure {
    int32_t Width(const std::string& t) const override { return 7 * static_cast<int32_t>(t.size()); }
    int32_t Height() const override { return 12; }
};

// An engine on a 1000 x 600 client, laid out once.
std::unique_ptr<CGraphPlot> Engine() {
    auto p = std::make_unique<CGraphPlot>();
    p->SetClientRect({0, 0, 1000, 600});
    p->Layout(Measure());
    return p;
}

int32_t Add(CGraphPlot& p, double min = 0, double max = 100, bool shown = true) {
    const int32_t slot = p.AddCurve("s", "V", false, 0x0000FF, min, max);
    if (slot >= 0) p.Curve(slot).Shown = shown;
    return slot;
}

TEST(PlotEngine, RingKeepsTheLast20000Samples) {
    auto p = Engine();
    const int32_t slot = Add(*p);
    for (int i = 0; i <= CGraphSampleRing::kCapacity; ++i) p->AddSample(slot, i, i * 0.5);
    const CGraphSampleRing& ring = p->Curve(slot).Live;
    EXPECT_EQ(ring.Count(), CGraphSampleRing::kCapacity);
    EXPECT_EQ(ring.At(0).Time, 1);  // the oldest was overwritten
    EXPECT_EQ(ring.At(ring.Count() - 1).Time, CGraphSampleRing::kCapacity);
    const auto runs = ring.Contiguous();
    EXPECT_EQ(runs.na + runs.nb, CGraphSampleRing::kCapacity);
    EXPECT_EQ(runs.a[0].Time, 1);
    EXPECT_EQ(p->NewestTime(), CGraphSampleRing::kCapacity);
    // A sample back in time makes the ring unsearchable by time until it has left the ring.
    EXPECT_TRUE(ring.TimesInOrder());
    p->AddSample(slot, 5, 0);
    EXPECT_FALSE(ring.TimesInOrder());
    for (int i = 0; i < CGraphSampleRing::kCapacity - 2; ++i) p->AddSample(slot, 10 + i, 0);
    EXPECT_FALSE(ring.TimesInOrder());
    p->AddSample(slot, 1e9, 0);  // the pair leaves with its earlier sample
    EXPECT_TRUE(ring.TimesInOrder());
}

TEST(PlotEngine, SlotsGuardsAndReuse) {
    auto p = Engine();
    // Every slot outside 0..255 is ignored, AddCurve's -1 included.
    for (int32_t bad : {-1, 256, 1000}) {
        p->AddSample(bad, 1, 1);
        p->AddCurveEnumTick(bad, 1, "x");
        p->SetCurveRange(bad, 0, 1);
        p->RemoveCurve(bad);
    }
    for (int i = 0; i < CGraphPlot::kCurveCount; ++i) ASSERT_EQ(Add(*p), i);
    EXPECT_EQ(Add(*p), -1);
    EXPECT_EQ(p->CurrentCurve(), 255);
    // A freed slot taken by another signal starts empty: none of the removed curve's samples show.
    p->AddSample(7, 10, 42);
    p->Freeze(true);
    p->Freeze(false);
    p->RemoveCurve(7);
    EXPECT_FALSE(p->Curve(7).InUse);
    p->AddSample(7, 20, 1);  // a late sample for the removed curve goes nowhere
    ASSERT_EQ(p->AddCurve("B", "", false, 0, 0, 1), 7);
    EXPECT_EQ(p->Curve(7).Live.Count(), 0);
    EXPECT_EQ(p->Curve(7).Frozen.Count(), 0);
    EXPECT_EQ(p->Curve(7).YAxis.Name, "B");
}

TEST(PlotEngine, RemovingMakesTheNearestShownCurveBelowCurrent) {
    const struct {
        std::vector<int32_t> shown;  // slots added and shown (others hidden)
        int32_t hidden;              // one more slot, hidden (-1: none)
        int32_t current;
        int32_t removed;
        int32_t want;
    } cases[] = {
        {{0, 1, 2}, -1, 2, 1, 0},  // below
        {{0, 1, 2}, -1, 1, 0, 2},  // wraps from 0 to 255 and on down
        {{0, 1, 2}, 3, 0, 3, 2},   // hidden curves are passed over, the current one changes anyway
        {{5}, -1, 5, 5, -1},       // nothing left
    };
    for (const auto& c : cases) {
        auto p = Engine();
        auto listed = [&](int32_t s) {
            return std::find(c.shown.begin(), c.shown.end(), s) != c.shown.end();
        };
        const int32_t last = std::max(c.shown.back(), c.hidden);
        for (int32_t s = 0; s <= last; ++s) Add(*p, 0, 1, listed(s));
        for (int32_t s = 0; s <= last; ++s)
            if (!listed(s) && s != c.hidden) p->RemoveCurve(s);
        p->SetCurrentCurve(c.current);
        p->RemoveCurve(c.removed);
        EXPECT_EQ(p->CurrentCurve(), c.want) << "removed " << c.removed;
    }
}

TEST(PlotEngine, TimeWindowPerTick) {
    auto p = Engine();
    const int32_t slot = Add(*p);
    p->SetTimeLength(20000);
    // Without samples the window end moves at the refresh pace; it starts at 0 until it is 20 s long.
    for (int i = 0; i < 3; ++i) p->Tick();
    EXPECT_DOUBLE_EQ(p->Now(), 450);
    EXPECT_EQ(p->XAxis().RunningStart(), 0);
    // A sample makes the window jump to its time.
    p->AddSample(slot, 30000, 1);
    p->Tick();
    EXPECT_DOUBLE_EQ(p->Now(), 30000);
    EXPECT_DOUBLE_EQ(p->XAxis().RunningStart(), 10000);
    EXPECT_DOUBLE_EQ(p->PageEnd(), 40000);
    p->Tick();
    EXPECT_DOUBLE_EQ(p->XAxis().RunningStart(), 10150);
    p->XAxis().SetWindowEnd(25000);  // never backwards
    EXPECT_DOUBLE_EQ(p->XAxis().RunningStart(), 10150);
    // Page turning: now 25,000 shows the page ending at 40,000.
    auto q = Engine();
    q->SetPageTurning(true);
    q->AddSample(Add(*q), 25000, 1);
    q->Tick();
    EXPECT_DOUBLE_EQ(q->PageEnd(), 40000);
    EXPECT_DOUBLE_EQ(q->XAxis().RunningStart(), 20000);
    // Frozen, the window stays; Reset empties the rings and starts over.
    q->Freeze(true);
    q->AddSample(0, 90000, 1);
    q->Tick();
    EXPECT_DOUBLE_EQ(q->XAxis().RunningStart(), 20000);
    q->Freeze(false);
    q->Reset();
    EXPECT_EQ(q->Curve(0).Live.Count(), 0);
    EXPECT_EQ(q->XAxis().RunningStart(), 0);
    EXPECT_EQ(q->Now(), 0);
}

TEST(PlotEngine, FreezeScrollAndGoTo) {
    auto p = Engine();
    const int32_t a = Add(*p);
    for (int t = 1000; t <= 60000; t += 10) p->AddSample(a, t, 1);
    for (int i = 0; i < 2; ++i) p->Tick();
    p->Freeze(true);
    EXPECT_DOUBLE_EQ(p->ScrollStartLimit(), 850);
    EXPECT_DOUBLE_EQ(p->ScrollEndLimit(), 60150);
    EXPECT_EQ(p->Curve(a).Frozen.Count(), p->Curve(a).Live.Count());
    const double scale = p->XAxis().Scale();  // 965 px over 20 s
    ASSERT_GT(scale, 0);
    const double start = p->XAxis().WindowStart();
    EXPECT_DOUBLE_EQ(start, 40150);
    p->ScrollLeft(0);  // less than a pixel: nothing
    EXPECT_DOUBLE_EQ(p->XAxis().WindowStart(), start);
    p->ScrollLeft(100);
    EXPECT_NEAR(p->XAxis().WindowStart(), start - 100 / scale, 1e-6);
    p->ScrollRight(100000);  // cut at the end limit
    EXPECT_DOUBLE_EQ(p->XAxis().WindowStart(), 60150 - 20000);
    p->ScrollLeft(100000);  // cut at the start limit
    EXPECT_DOUBLE_EQ(p->XAxis().WindowStart(), 850);
    p->GoToEnd();
    EXPECT_DOUBLE_EQ(p->XAxis().WindowStart(), 40150);
    p->GoToStart();
    EXPECT_DOUBLE_EQ(p->XAxis().WindowStart(), 850);
    // An empty curve in use counts as starting at 0.
    Add(*p);
    p->Freeze(true);
    EXPECT_DOUBLE_EQ(p->ScrollStartLimit(), -150);
    // Running, scrolling does nothing.
    p->Freeze(false);
    p->ScrollLeft(10);
    EXPECT_DOUBLE_EQ(p->XAxis().WindowStart(), 40150);
}

TEST(PlotEngine, CursorFindsTheNearestFrozenSample) {
    auto p = Engine();
    const int32_t a = Add(*p, 0, 100);
    p->SetTimeLength(100);  // about 10 pixels per ms
    for (int t = 10; t <= 40; t += 10) p->AddSample(a, t, t);
    p->Freeze(true);
    p->Layout(Measure());
    const PlotLayout& L = p->LastLayout();
    const double scale = p->XAxis().Scale();
    const int32_t left = p->PlotRect().left + L.axisWidth;
    // The first pixel whose time is not before t.
    auto xAt = [&](double t) { return left + static_cast<int32_t>(std::ceil(t * scale)); };
    const struct {
        double time;
        bool found;
        double foundTime;
    } cases[] = {{24, true, 20},   {25.01, true, 30}, {10.5, true, 10},
                 {39.8, true, 40}, {9, false, 0},     {41, false, 0}};
    for (const auto& c : cases) {
        const int32_t x = xAt(c.time);
        p->SetCursor(x, 300);
        const CGraphPlotCurve& curve = p->Curve(a);
        ASSERT_EQ(curve.CursorX, x);
        EXPECT_EQ(curve.CursorValid, c.found) << c.time;
        if (c.found) {
            EXPECT_EQ(curve.Found.Time, c.foundTime) << c.time;
        }
    }
    // The cursor value reads the axis at the cursor's height.
    const plot::Rect& r = p->Curve(a).YAxis.rect;
    p->SetCursor(xAt(20), (r.top + r.bottom) / 2);
    EXPECT_NEAR(p->Curve(a).CursorValue, 50, 100.0 / r.Height());
    // Left of the value axes, or while running: nothing changes.
    p->SetCursor(left - 1, 0);
    EXPECT_EQ(p->Curve(a).CursorY, (r.top + r.bottom) / 2);
    p->Freeze(false);
    p->SetCursor(xAt(20), 1);
    EXPECT_NE(p->Curve(a).CursorY, 1);
}

TEST(PlotEngine, LayoutByYAxisMode) {
    auto p = Engine();
    const int32_t a = Add(*p, 0, 0.5);  // widest label "0.45": 28 + 12 + 15 = 55
    const int32_t b = Add(*p, 0, 5000);
    const int32_t hidden = Add(*p, 0, 1, false);
    const Measure m;
    const plot::Rect& plotArea = p->PlotRect();
    p->SetCurrentCurve(a);
    const struct {
        int32_t mode;
        size_t strips;
        bool fallback;
        bool curves;
    } cases[] = {{0, 1, false, true}, {1, 2, false, true}, {2, 2, false, true}, {3, 0, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        p->SetYAxisShowMode(c.mode);
        const PlotLayout& L = p->Layout(m);
        EXPECT_EQ(L.strips.size(), c.strips);
        EXPECT_EQ(L.fallbackAxis, c.fallback);
        EXPECT_EQ(L.drawCurves, c.curves);
        EXPECT_EQ(p->XAxis().rect().left, plotArea.left + L.axisWidth);
        for (const auto& area : L.curves) EXPECT_NE(area.slot, hidden);
        if (c.mode == 0) {
            EXPECT_EQ(L.axisWidth, 55);
            ASSERT_EQ(L.curves.size(), 2u);
            EXPECT_EQ(L.curves.back().slot, a);  // the current curve on top
        }
        if (c.mode == 1) {
            EXPECT_EQ(L.strips.back().slot, a);  // the current curve's strip last
            EXPECT_EQ(L.axisWidth, L.strips[0].rect.Width() + L.strips[1].rect.Width());
        }
        if (c.mode == 2) {
            // Strips from the top down, 5 pixels apart, each curve mapped onto its own strip.
            const int32_t h = (plotArea.Height() - 5) / 2;
            EXPECT_EQ(L.strips[0].rect.top, plotArea.top);
            EXPECT_EQ(L.strips[1].rect.top, plotArea.top + h + 5);
            EXPECT_EQ(p->Curve(b).YAxis.rect.bottom, plotArea.top + 2 * h + 5);
            EXPECT_EQ(L.curves[1].area.top, plotArea.top + plotArea.Height() / 2);
        }
    }
    // No current curve, or the current one hidden in mode 0: a plain line and the ten-division grid.
    p->SetYAxisShowMode(0);
    p->Curve(a).Shown = false;
    EXPECT_TRUE(p->Layout(m).fallbackAxis);
    EXPECT_EQ(p->LastLayout().axisWidth, 0);
    p->SetCurrentCurve(-1);
    EXPECT_TRUE(p->Layout(m).fallbackAxis);
}

// Reduced drawing and drawing every segment and marker set the same pixels, for curves with gaps,
// samples before the window, values far outside the image, NaN values and every point type.
TEST(PlotRaster, ReducedPolylineSetsThePixelsOfEverySegment) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    constexpr int32_t kW = 300, kH = 200;
    for (int trial = 0; trial < 24; ++trial) {
        SCOPED_TRACE(trial);
        CGraphSampleRing ring;
        ring.Allocate();
        double t = 0;
        const int n = 50 + trial * 150;
        const bool inOrder = trial % 2 == 0;  // else a few samples go back in time
        for (int i = 0; i < n; ++i) {
            t += trial % 3 == 0 ? 3 : 15;
            if (i % 97 == 96) t += 5000 + (i % 2);  // gaps right at and just over the threshold
            double v = 100 * std::sin(i * 0.01 * (trial + 1)) + 20 * noise(rng);
            if (i % 211 == 5) v = 1e12 * noise(rng);
            if (i % 307 == 7) v = std::numeric_limits<double>::quiet_NaN();
            ring.Push(!inOrder && i % 401 == 3 ? t - 1e6 : t, v);
        }
        EXPECT_EQ(ring.TimesInOrder(), inOrder);
        plot::CurveGeometry g;
        g.windowStart = trial % 4 == 1 ? 300 : 0;
        g.scale = (kW + 40.0) / (t + 1);  // the last samples fall right of the image
        g.left = -10 + trial % 5;
        g.y = plot::YMap(-120, 120, 10, kH - 10);
        std::vector<uint32_t> reduced(kW * kH, 0), every(kW * kH, 0), banded(kW * kH, 0);
        plot::PixelBuffer a{reduced.data(), kW, kH, kW}, b{every.data(), kW, kH, kW};
        plot::CurveRaster raster;
        raster.Draw(a, ring, g, 0xFF112233, trial % 3);
        plot::DrawCurveEverySegment(b, ring, g, 0xFF112233, trial % 3);
        EXPECT_EQ(reduced, every);
        EXPECT_GT(std::count(reduced.begin(), reduced.end(), 0xFF112233u), 0);
        // Drawn band by band (columns 0..36, 37..73 ...), on worker threads: the same pixels.
        plot::Workers workers(3);
        workers.Run(9, [&](int band) {
            plot::PixelBuffer c{banded.data(), kW, kH, kW, band * kW / 8 - 2, (band + 1) * kW / 8 - 2};
            plot::CurveRaster own;
            own.Draw(c, ring, g, 0xFF112233, trial % 3);
        });
        EXPECT_EQ(banded, reduced);
    }
}

TEST(PlotRaster, LinesColoursAndMarkers) {
    EXPECT_EQ(plot::PixelFromRef(0x0000FF), 0xFFFF0000u);  // stored red is painted red
    EXPECT_EQ(plot::PixelFromRef(0x005000), 0xFF005000u);
    EXPECT_EQ(plot::PixelFromRef(0xFF0000), 0xFF0000FFu);
    std::vector<uint32_t> px(10 * 10, 0);
    plot::PixelBuffer buf{px.data(), 10, 10, 10};
    plot::DrawLine(buf, 0, 0, 9, 0, 1, true);  // dotted: every other pixel
    for (int x = 0; x < 10; ++x) EXPECT_EQ(buf.At(x, 0), x % 2 == 0 ? 1u : 0u);
    plot::DrawLine(buf, -100, 5, 100, 5, 2);  // clipped both ways
    for (int x = 0; x < 10; ++x) EXPECT_EQ(buf.At(x, 5), 2u);
    plot::DrawLine(buf, 0, 9, 3, 7, 3);  // ends included, rounded half away from zero
    EXPECT_EQ(buf.At(0, 9), 3u);
    EXPECT_EQ(buf.At(1, 8), 3u);
    EXPECT_EQ(buf.At(2, 8), 3u);
    EXPECT_EQ(buf.At(3, 7), 3u);
    // Steep between neighbouring columns: steps with 2 i < 7 in the first column, the rest in the second;
    // dotted, every other of the same steps.
    std::vector<uint32_t> steep(10 * 10, 0), dots(10 * 10, 0);
    plot::PixelBuffer s{steep.data(), 10, 10, 10}, d{dots.data(), 10, 10, 10};
    plot::DrawLine(s, 5, 0, 6, 7, 4);
    plot::DrawLine(d, 5, 0, 6, 7, 4, true);
    for (int y = 0; y <= 7; ++y) {
        EXPECT_EQ(s.At(5, y), y <= 3 ? 4u : 0u) << y;
        EXPECT_EQ(s.At(6, y), y >= 4 ? 4u : 0u) << y;
        EXPECT_EQ(d.At(y <= 3 ? 5 : 6, y), y % 2 == 0 ? 4u : 0u) << y;
    }
    // A square dot covers the 4 x 4 box from (x - 2, y - 2); a round dot leaves its corners out.
    EXPECT_EQ(plot::MarkerOf(2).count, 4);
    EXPECT_EQ(plot::MarkerOf(1).columns[0].top, -1);
    EXPECT_EQ(plot::MarkerOf(0).count, 0);
    EXPECT_EQ(plot::MarkerOf(7).count, 0);
}

}  // namespace

// Curves drawn over each other in bands of any width, split anywhere, set the pixels of the whole image
// drawn in one go (the later curve on top), also where the times are spread very unevenly (bursts of one
// time, long jumps, a ring that has wrapped) so that finding a band's samples cannot go by their count, and
// for smooth curves whose samples move less than a pixel, about a pixel or several pixels at a time.
TEST(PlotRaster, LayeredCurvesInNarrowBandsMatchTheWholeImage) {
    constexpr int32_t kW = 160, kH = 120;
    const struct {
        const char* name;
        int samples;
        int spacing;  // 0 even, 1 bursts and jumps, 2 growing steps
        double spanPixels;
        double noise;  // values, 240 to 110 pixels
    } cases[] = {
        {"even, ~10 per column", 1600, 0, 150.0, 15.0},  {"even, wrapped ring", 26000, 0, 170.0, 15.0},
        {"bursts and jumps", 3000, 1, 150.0, 15.0},      {"growing steps", 2500, 2, 150.0, 15.0},
        {"sparse, columns skipped", 60, 0, 150.0, 15.0}, {"smooth, steps of 0.1", 4000, 0, 150.0, 0.0},
        {"smooth, under a pixel", 4000, 0, 150.0, 1.2},  {"smooth, about a pixel", 4000, 0, 150.0, 2.5},
        {"smooth, a few pixels", 4000, 0, 150.0, 6.0},
    };
    const uint32_t pixels[3] = {0xFF0000AA, 0xFF00BB00, 0xFFCC0000};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(99);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        CGraphSampleRing rings[3];
        double t = 0;
        for (int k = 0; k < 3; ++k) {
            rings[k].Allocate();
            t = 0;
            for (int i = 0; i < c.samples; ++i) {
                if (c.spacing == 0) t += 2;
                if (c.spacing == 1)
                    t += i % 50 == 0 ? 300 + 6000 * (i % 150 == 0) : (unit(rng) < 0.7 ? 0 : 1);
                if (c.spacing == 2) t += 0.001 * i;
                const double v = 90 * std::sin(i * 0.003 * (k + 1)) + c.noise * (unit(rng) - 0.5);
                rings[k].Push(t, std::round(v * 10) / 10);
            }
            ASSERT_TRUE(rings[k].TimesInOrder());
        }
        plot::CurveGeometry g;
        g.windowStart = rings[0].At(0).Time;
        g.scale = c.spanPixels / (t - g.windowStart + 1);
        g.left = 3;
        g.y = plot::YMap(-120, 120, 5, kH - 5);
        std::vector<uint32_t> whole(kW * kH, 0), every(kW * kH, 0);
        plot::PixelBuffer w{whole.data(), kW, kH, kW}, e{every.data(), kW, kH, kW};
        plot::CurveRaster raster;
        for (int k = 0; k < 3; ++k) {
            raster.Draw(w, rings[k], g, pixels[k], k % 3);
            plot::DrawCurveEverySegment(e, rings[k], g, pixels[k], k % 3);
        }
        EXPECT_EQ(whole, every);
        for (const int32_t width : {1, 2, 3, 5, 17, 64}) {
            SCOPED_TRACE(width);
            std::vector<uint32_t> banded(kW * kH, 0);
            const int bands = (kW + width - 1) / width + 1;
            plot::Workers workers(4);
            workers.Run(bands, [&](int band) {
                plot::PixelBuffer b{banded.data(), kW, kH, kW, band * width - 1, (band + 1) * width - 1};
                plot::CurveRaster own;
                for (int k = 0; k < 3; ++k) own.Draw(b, rings[k], g, pixels[k], k % 3);
            });
            EXPECT_EQ(banded, whole);
        }
    }
}

// A pixel column whose samples jump by 1 to 4 rows, far from any other: its markers show every gap
// their spans leave, as drawing each marker shows it.
TEST(PlotRaster, MarkersOfAColumnWhoseSamplesJumpRows) {
    constexpr int32_t kW = 60, kH = 100;
    for (const int32_t pointType : {1, 2}) {
        for (const double jump : {0.0, 1.0, 2.0, 3.0, 4.0}) {
            SCOPED_TRACE(pointType * 100 + jump);
            CGraphSampleRing ring;
            ring.Allocate();
            // Column 10: from 50.5 up by the jump three times; then column 40.
            const double values[] = {50.5, 50.5 + jump, 50.5 + 2 * jump, 50.5 + 3 * jump, 20.5};
            const double times[] = {0.0, 0.2, 0.4, 0.6, 30.0};
            for (int k = 0; k < 5; ++k) ring.Push(times[k], values[k]);
            plot::CurveGeometry g;
            g.scale = 1.0;
            g.left = 10;
            g.y = plot::YMap(0, 100, 0, kH);  // one row per unit
            std::vector<uint32_t> reduced(kW * kH, 0), every(kW * kH, 0);
            plot::PixelBuffer a{reduced.data(), kW, kH, kW}, b{every.data(), kW, kH, kW};
            plot::CurveRaster raster;
            raster.Draw(a, ring, g, 7, pointType);
            plot::DrawCurveEverySegment(b, ring, g, 7, pointType);
            EXPECT_EQ(reduced, every);
        }
    }
}
