// The curves of a plot drawn from their column summaries, kept from frame to frame, compared pixel for
// pixel with drawing every segment and marker of every shown curve one after the other, as the plot
// runs, scrolls by fractions of a column, freezes, pans, zooms, reads the cursor, loses and regains
// curves and changes its time length; and the columns the time axis draws its window in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "windows/plot/graphplot.h"
#include "windows/plot/plotcurves.h"
#include "windows/plot/plotraster.h"

namespace {

struct Measure : plot::TextMeasure {
    int32_t Width(const std::string& t) const override { return 7 * static_cast<int32_t>(t.size()); }
    int32_t Height() const override { return 12; }
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// "" when both images are the same, else how many pixels differ and the first of them.
std::string Differences(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want, int32_t width) {
    size_t n = 0, first = 0;
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i] && n++ == 0) first = i;
    if (n == 0) return "";
    char text[160];
    std::snprintf(text, sizeof text, "%zu pixels differ, the first at (%zu, %zu): %08X instead of %08X", n,
                  first % static_cast<size_t>(width), first / static_cast<size_t>(width), got[first],
                  want[first]);
    return text;
}

// A plot with curves of every kind, fed step by step; each frame is drawn by the curve painter (with its
// summaries kept between frames) and by drawing every segment, and the two images must be the same.
class CurveFrames : public testing::Test {
protected:
    void SetUp() override {
        plot = std::make_unique<CGraphPlot>();
        Resize(640, 360);
    }
    void Resize(int32_t w, int32_t h) {
        width = w;
        height = h;
        plot->SetClientRect({0, 0, w, h});
    }
    int32_t Add(const char* name, double min, double max, int32_t pointType, uint32_t color) {
        const int32_t slot = plot->AddCurve(name, "V", false, color, min, max);
        plot->Curve(slot).Shown = true;
        plot->Curve(slot).PointType = pointType;
        return slot;
    }
    // Samples of every curve from `from` up to `to` ms, each curve in its own way.
    void Feed(double from, double to) {
        for (const Source& s : sources) {
            if (!CGraphPlot::ValidSlot(s.slot) || !plot->Curve(s.slot).InUse) continue;
            for (double t = std::ceil(from / s.every) * s.every; t < to; t += s.every) {
                double v = s.wave * std::sin(t / s.period) + s.noise * (unit(rng) - 0.5);
                if (s.toggle) v = static_cast<int64_t>(t / s.every) % 2 == 0 ? s.wave : -s.wave;
                if (s.nanEvery > 0 && static_cast<int64_t>(t / s.every) % s.nanEvery == 3) v = kNaN;
                if (s.pause > 0 && std::fmod(t, s.pause) < s.pause / 2) continue;  // silent half the time
                plot->AddSample(s.slot, t, v);
            }
        }
    }
    // Both drawings of the frame as the plot stands (laid out first, as the painter does).
    void ExpectFrame(const std::string& step, int threads = 3) {
        SCOPED_TRACE(step);
        const PlotLayout& layout = plot->Layout(Measure());
        std::vector<uint32_t> drawn(static_cast<size_t>(width) * height, 0), every(drawn.size(), 0);
        plot::PixelBuffer a{drawn.data(), width, height, width}, b{every.data(), width, height, width};
        painter(threads).Draw(*plot, a);
        const plot::ColumnGrid grid = plot->XAxis().Grid();
        for (const PlotLayout::Area& area : layout.curves) {
            const CGraphPlotCurve& c = plot->Curve(area.slot);
            plot::CurveGeometry g;
            g.columns = grid;
            g.left = area.area.left;
            g.y = c.YAxis.Map(c.YAxis.rect.top, c.YAxis.rect.bottom);
            plot::DrawCurveEverySegment(b, c.Samples(plot->IsFrozen()), g, plot::PixelFromRef(c.Color),
                                        c.PointType);
        }
        ASSERT_EQ(Differences(drawn, every, width), "");
        drawnPixels = 0;
        for (uint32_t p : drawn) drawnPixels += p != 0 ? 1 : 0;
    }
    plot::CurvePainter& painter(int threads) {
        auto& p = painters[threads];
        if (!p) p = std::make_unique<plot::CurvePainter>(threads);
        return *p;
    }

    struct Source {
        int32_t slot;
        double every;   // ms between samples
        double period;  // of the wave, ms / radian
        double wave, noise;
        int nanEvery = 0;     // every n-th sample has no value
        double pause = 0;     // ms: samples only in the second half of each pause period (gaps > 5 s)
        bool toggle = false;  // +wave and -wave in turn: lines across the plot in every column
    };
    std::unique_ptr<CGraphPlot> plot;
    std::unique_ptr<plot::CurvePainter> painters[5];
    std::vector<Source> sources;
    std::mt19937 rng{2024};
    std::uniform_real_distribution<double> unit{0.0, 1.0};
    int32_t width = 0, height = 0;
    int64_t drawnPixels = 0;
};

TEST_F(CurveFrames, RunningScrollingByFractionsOfAColumnFrozenPannedZoomedAndRunningAgain) {
    sources = {
        {Add("smooth", -120, 120, 1, 0x0000FF), 1.0, 900.0, 100, 0.2},
        {Add("noisy", -120, 120, 2, 0x00FF00), 1.0, 1500.0, 80, 30},
        {Add("sparse", -50, 50, 1, 0xFF0000), 23.7, 300.0, 40, 0, 0, 0},
        {Add("gaps and holes", 0, 10, 0, 0x00FFFF), 7.0, 200.0, 5, 1, 5, 13000},
        {Add("fast", -1, 1, 1, 0xFF00FF), 0.1, 50.0, 1.2, 0.1},
        {Add("toggling", -1, 1, 2, 0x808080), 3.0, 1.0, 0.9, 0, 0, 0, true},
    };
    plot->SetTimeLength(3000);
    plot->SetCurrentCurve(sources[0].slot);
    double now = 0;
    // Running: the window end moves by the newest sample, never by whole columns.
    for (int step = 0; step < 24; ++step) {
        const double next = now + 137.3 + 41.9 * (step % 5);
        Feed(now, next);
        now = next;
        plot->Tick();
        if (step % 3 == 0) plot->Tick();  // a tick without data moves the window on by the refresh period
        ExpectFrame("running " + std::to_string(step));
        EXPECT_EQ(plot->XAxis().Grid().phase, 0.0);
    }
    EXPECT_GT(drawnPixels, 1000);
    // The fast curve's ring has wrapped: its oldest samples left while on screen.
    EXPECT_EQ(plot->Curve(sources[4].slot).Live.Count(), CGraphSampleRing::kCapacity);
    EXPECT_GT(plot->Curve(sources[4].slot).Live.At(0).Time, plot->XAxis().RunningStart());

    // Frozen: the frozen copy, its own columns; panned by whole pixels and to the limits, zoomed.
    plot->Freeze(true);
    Feed(now, now + 500);  // live samples keep arriving
    ExpectFrame("frozen");
    const struct {
        const char* name;
        void (*move)(CGraphPlot&);
    } moves[] = {
        {"pan left 7", [](CGraphPlot& p) { p.ScrollLeft(7); }},
        {"pan right 3", [](CGraphPlot& p) { p.ScrollRight(3); }},
        {"pan left 250", [](CGraphPlot& p) { p.ScrollLeft(250); }},
        {"pan left to the limit", [](CGraphPlot& p) { p.ScrollLeft(100000); }},
        {"pan left at the limit", [](CGraphPlot& p) { p.ScrollLeft(5); }},
        {"pan right 1", [](CGraphPlot& p) { p.ScrollRight(1); }},
        {"to the end", [](CGraphPlot& p) { p.GoToEnd(); }},
        {"to the start", [](CGraphPlot& p) { p.GoToStart(); }},
        {"zoom in",
         [](CGraphPlot& p) {
             p.SetTimeLength(3000);
             p.XAxis().Layout(p.XAxis().rect());
         }},
        {"pan right 40", [](CGraphPlot& p) { p.ScrollRight(40); }},
        {"zoom out",
         [](CGraphPlot& p) {
             p.SetTimeLength(12000);
             p.XAxis().Layout(p.XAxis().rect());
         }},
        {"y axes side by side", [](CGraphPlot& p) { p.SetYAxisShowMode(1); }},
        {"bands", [](CGraphPlot& p) { p.SetYAxisShowMode(2); }},
        {"a band hidden", [](CGraphPlot& p) { p.Curve(1).Shown = false; }},
        {"shown again", [](CGraphPlot& p) { p.Curve(1).Shown = true; }},
        {"one axis", [](CGraphPlot& p) { p.SetYAxisShowMode(0); }},
        {"another current curve", [](CGraphPlot& p) { p.SetCurrentCurve(2); }},
        {"no current curve", [](CGraphPlot& p) { p.SetCurrentCurve(-1); }},
        {"new range and markers",
         [](CGraphPlot& p) {
             p.SetCurveRange(1, -30, 30);
             p.Curve(1).PointType = 1;
         }},
        {"cursor",
         [](CGraphPlot& p) {
             p.GoToStart();
             p.SetShowCursorReadout(true);
             p.SetCursor(p.XAxis().TimeToX(2000.4), 100);
         }},
    };
    for (const auto& m : moves) {
        m.move(*plot);
        ExpectFrame(m.name);
    }
    // The cursor reads the readout curve's frozen samples (the first shown, with no current curve).
    ASSERT_TRUE(plot->Curve(0).CursorValid);
    const CGraphPlotCurve& read = plot->Curve(0);
    EXPECT_NEAR(read.Found.Time, read.CursorTime, 0.5);  // samples 1 ms apart
    EXPECT_NEAR(read.CursorTime, 2000.4, 1.0 / plot->XAxis().Scale());
    plot->SetShowCursorReadout(false);
    Resize(700, 300);
    ExpectFrame("frozen, resized");

    // Running again: the live rings with what arrived meanwhile.
    plot->Freeze(false);
    plot->Tick();
    ExpectFrame("running again");
    for (int step = 0; step < 6; ++step) {
        const double next = now + 500 + 123.4 * step;
        Feed(now, next);
        now = next;
        plot->Tick();
        ExpectFrame("running again " + std::to_string(step));
    }
}

TEST_F(CurveFrames, CurveRemovedAndAddedAndTheTimeLengthChangedWhileRunning) {
    sources = {
        {Add("a", -10, 10, 1, 0x0000FF), 2.0, 400.0, 8, 4},
        {Add("b", -10, 10, 2, 0x00FF00), 3.0, 700.0, 9, 1},
        {Add("c", -10, 10, 1, 0xFF0000), 5.0, 100.0, 7, 0.5},
    };
    double now = 0;
    const auto run = [&](const std::string& name, int steps) {
        for (int step = 0; step < steps; ++step) {
            const double next = now + 211.7;
            Feed(now, next);
            now = next;
            plot->Tick();
            ExpectFrame(name + " " + std::to_string(step));
        }
    };
    run("three curves", 8);
    // The middle curve goes; a new one takes its slot with other samples.
    plot->RemoveCurve(sources[1].slot);
    sources[1].slot = -1;
    run("two curves", 3);
    const int32_t slot = Add("d", 0, 50, 1, 0xFFFF00);
    ASSERT_EQ(slot, 1);
    sources[1] = {slot, 1.0, 50.0, 20, 10};
    run("re-added", 4);
    // Time lengths changed while running: the window and its columns change, the picture follows.
    for (const double length : {5000.0, 20000.0, 1234.5}) {
        plot->SetTimeLength(length);
        plot->XAxis().Layout(plot->XAxis().rect());
        run("time length " + std::to_string(length), 3);
    }
    // One thread, four threads: the same pixels.
    for (const int threads : {1, 4}) ExpectFrame("threads " + std::to_string(threads), threads);
}

// Times that go back cannot be summarised: such a curve is walked sample by sample, still beneath the
// curves drawn after it.
TEST_F(CurveFrames, TimesGoingBackAreWalkedBeneathTheCurvesAbove) {
    const int32_t back = Add("back", -10, 10, 1, 0x0000FF);
    sources = {{Add("over", -10, 10, 2, 0x00FF00), 2.0, 300.0, 8, 3}};
    for (int i = 0; i < 3000; ++i)
        plot->AddSample(back, i * 3.0 - (i % 50 == 7 ? 400 : 0), 8 * std::sin(i * 0.01));
    Feed(0, 9000);
    plot->SetTimeLength(10000);
    plot->Tick();
    ASSERT_FALSE(plot->Curve(back).Live.TimesInOrder());
    ExpectFrame("walked");
    EXPECT_FALSE(plot->Curve(back).Columns.Usable());
}

// Any order of what a user does: pauses and resumes, pans by any number of pixels, jumps to the ends,
// changes the time length, the window size and the y-axis mode, hides and shows, removes and adds
// curves, while samples arrive at uneven rates.
TEST_F(CurveFrames, RandomSequencesOfWhatAUserDoes) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        plot = std::make_unique<CGraphPlot>();
        Resize(320, 200);
        rng.seed(seed);
        sources = {
            {Add("a", -10, 10, 1, 0x0000FF), 0.5, 300.0, 8, 4},
            {Add("b", -10, 10, 2, 0x00FF00), 3.0, 700.0, 9, 1, 7},
            {Add("c", -10, 10, 0, 0xFF0000), 41.0, 900.0, 7, 2, 0, 11000},
        };
        plot->SetTimeLength(4000);
        double now = 0;
        std::uniform_int_distribution<int> pick(0, 11);
        for (int step = 0; step < 60; ++step) {
            const int what = pick(rng);
            if (what <= 3 || !plot->IsFrozen()) {
                const double next = now + 50 + 400 * unit(rng);
                Feed(now, next);
                now = next;
                plot->Tick();
            }
            if (what == 4) plot->Freeze(!plot->IsFrozen());
            if (what == 5) plot->ScrollLeft(static_cast<int32_t>(unit(rng) * 90));
            if (what == 6) plot->ScrollRight(static_cast<int32_t>(unit(rng) * 90));
            if (what == 7) unit(rng) < 0.5 ? plot->GoToStart() : plot->GoToEnd();
            if (what == 8) {
                plot->SetTimeLength(1000 + 9000 * unit(rng));
                plot->XAxis().Layout(plot->XAxis().rect());
            }
            if (what == 9)
                Resize(200 + static_cast<int32_t>(unit(rng) * 200),
                       120 + static_cast<int32_t>(unit(rng) * 100));
            if (what == 10) plot->SetYAxisShowMode(static_cast<int32_t>(unit(rng) * 3));
            if (what == 11) {
                Source& s = sources[static_cast<size_t>(unit(rng) * 3)];
                if (!CGraphPlot::ValidSlot(s.slot)) {
                    s.slot = Add("again", -10, 10, 1, 0x00FFFF);
                } else if (unit(rng) < 0.5) {
                    plot->Curve(s.slot).Shown = !plot->Curve(s.slot).Shown;
                } else {
                    plot->RemoveCurve(s.slot);
                    s.slot = -1;
                }
            }
            ExpectFrame("step " + std::to_string(step) + ", action " + std::to_string(what));
        }
    }
}

TEST(PlotColumns, TheRunningWindowIsDrawnFromWholeColumnsTheFrozenOneWhereItStands) {
    CGraphPlotXAxis axis;
    axis.SetTimeLength(20000);
    axis.Layout({10, 0, 10 + 1000, 100});  // 0.05 pixels per ms: 20 ms per column
    axis.SetWindowEnd(20000 + 1234.5);
    EXPECT_DOUBLE_EQ(axis.RunningStart(), 1234.5);
    plot::ColumnGrid g = axis.Grid();
    EXPECT_EQ(g.first, 61);  // the column edge at 1220 ms
    EXPECT_EQ(g.phase, 0.0);
    EXPECT_DOUBLE_EQ(axis.DrawnStart(), 1220);
    EXPECT_EQ(axis.TimeToX(1225), 10);
    EXPECT_EQ(axis.TimeToX(1245), 11);
    // A sample's column comes from its time alone.
    EXPECT_EQ(g.Column(1239.9), 61);
    EXPECT_EQ(g.Column(1240), 62);
    EXPECT_EQ(g.Column(-0.5), -1);
    EXPECT_EQ(g.Column(kNaN), plot::ColumnGrid::kNone);
    EXPECT_EQ(g.X(62, 10), 11);
    // Frozen: the window where the running start stands, its columns kept while panning by whole pixels.
    axis.SetFrozen(true);
    g = axis.Grid();
    EXPECT_EQ(g.first, 61);
    EXPECT_NEAR(g.phase, 0.725, 1e-9);
    EXPECT_DOUBLE_EQ(axis.DrawnStart(), 1234.5);
    axis.ShiftColumns(-30);
    EXPECT_EQ(axis.Grid().first, 31);
    EXPECT_EQ(axis.Grid().phase, g.phase);
    EXPECT_DOUBLE_EQ(axis.FrozenStart(), 1234.5 - 30 / 0.05);
    axis.Shift(5);  // a quarter column
    EXPECT_NEAR(axis.Grid().phase, 0.975, 1e-9);
    EXPECT_EQ(axis.Grid().first, 31);
}

TEST(PlotColumns, SummaryMemoryIsBoundedByTheImageWidth) {
    // 256 curves at 1920 columns: a power of two of columns (2048) of 50 bytes each per curve.
    CGraphSampleRing ring;
    ring.Allocate();
    for (int i = 0; i < CGraphSampleRing::kCapacity; ++i) ring.Push(i, std::sin(i * 0.01));
    plot::CurveGeometry g;
    g.scale = 1920.0 / 20000.0;
    g.y = plot::YMap(-1, 1, 0, 1000);
    plot::ColumnSummary s;
    s.Update(ring, g, 1, 1080, 0, 1920);
    EXPECT_EQ(s.Bytes(), 2048u * 50u + 2048u / 8u);
    // A narrower image later keeps the storage; a wider one takes the next power of two.
    s.Update(ring, g, 1, 1080, 0, 800);
    EXPECT_EQ(s.Bytes(), 2048u * 50u + 2048u / 8u);
    s.Release();
    EXPECT_EQ(s.Bytes(), 0u);
}

}  // namespace
