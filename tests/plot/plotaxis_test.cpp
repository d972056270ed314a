// Axis maths of the plot engine: tick steps, tick values and labels of numeric, integer and time axes,
// the value-to-pixel map, and the label and readout texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "windows/plot/graphaxis.h"
#include "windows/plot/plotformat.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct LabelledTick {
    double value;
    std::string label;
};

std::vector<LabelledTick> Labelled(const std::vector<tGR_AXIS_TICK>& ticks, size_t max = 3) {
    std::vector<LabelledTick> out;
    for (const tGR_AXIS_TICK& t : ticks)
        if (t.Labelled && !t.Label.empty() && out.size() < max) out.push_back({t.Value, t.Label});
    return out;
}

struct ValueAxisCase {
    const char* name;
    bool integer;
    double min, max;
    int32_t pixels;
    std::vector<tGR_AXIS_TICK_EUNM> enums;
    double step;
    size_t count;
    double first;
    std::vector<LabelledTick> labels;  // the first three labelled ticks
};

TEST(PlotAxis, ValueAxisTicksByRangeAndLength) {
    const ValueAxisCase cases[] = {
        {"half over 400 px: 8 px apart",
         false,
         0,
         0.5,
         400,
         {},
         0.01,
         51,
         0,
         {{0, "0"}, {0.05, "0.05"}, {0.1, "0.1"}}},
        {"negative minimum off the step starts on itself",
         false,
         -7.3,
         20,
         300,
         {},
         0.4,
         69,
         -7.3,
         {{-6.1, "-6.1"}, {-4.1, "-4.1"}, {-2.1, "-2.1"}}},
        {"unsigned 32-bit full range",
         false,
         0,
         4294967295.0,
         300,
         {},
         1e8,
         43,
         0,
         {{0, "0"}, {5e8, "500000000"}, {1e9, "1000000000"}}},
        {"5000 px: more than 1000 ticks",
         false,
         0,
         10000,
         5000,
         {},
         10,
         1001,
         0,
         {{0, "0"}, {50, "50"}, {100, "100"}}},
        {"integer, > 12 px per unit, value-table texts",
         true,
         0,
         3,
         100,
         {{"关", 0}, {"开", 1}, {"也开", 1}},
         1,
         4,
         0,
         {{0, "关[0]"}, {1, "开也开[1]"}, {2, "[2]"}}},
        {"integer, 4..12 px per unit: steps of 2", true, 0, 5, 40, {}, 2, 3, 0, {{0, "[0]"}, {4, "[4]"}}},
        {"integer, < 4 px per unit: ladder from 1",
         true,
         0,
         100,
         100,
         {},
         4,
         26,
         0,
         {{0, "[0]"}, {20, "[20]"}, {40, "[40]"}}},
        {"integer unsigned 32-bit: labels beyond 2^31",
         true,
         0,
         4294967295.0,
         300,
         {},
         1e8,
         43,
         0,
         {{0, "[0]"}, {5e8, "[500000000]"}, {1e9, "[1000000000]"}}},
    };
    for (const ValueAxisCase& c : cases) {
        SCOPED_TRACE(c.name);
        CGraphPlotYAxis axis;
        axis.SetIntegerAxis(c.integer);
        for (const auto& e : c.enums) axis.AddEnumTick(e.val, e.txt);
        axis.SetRange(c.min, c.max);
        ASSERT_TRUE(axis.ComputeTicks(c.pixels));
        EXPECT_DOUBLE_EQ(axis.Step(), c.step);
        ASSERT_EQ(axis.Ticks().size(), c.count);
        EXPECT_DOUBLE_EQ(axis.Ticks().front().Value, c.first);
        const auto labels = Labelled(axis.Ticks());
        ASSERT_EQ(labels.size(), c.labels.size());
        for (size_t i = 0; i < labels.size(); ++i) {
            EXPECT_NEAR(labels[i].value, c.labels[i].value, 1e-9);
            EXPECT_EQ(labels[i].label, c.labels[i].label);
        }
    }
    // The largest label of the unsigned 32-bit integer axis keeps its digits.
    CGraphPlotYAxis axis;
    axis.SetRange(0, 4294967295.0);
    ASSERT_TRUE(axis.ComputeTicks(300));
    EXPECT_EQ(Labelled(axis.Ticks(), 100).back().label, "[4000000000]");
}

TEST(PlotAxis, NoTicksForAFlatReversedOrNotFiniteRange) {
    const struct {
        double min, max;
        bool flat;  // every value maps to the bottom
    } cases[] = {{5, 5, true},     {kNaN, 1, true}, {0, kNaN, true},
                 {-kInf, 1, true}, {0, kInf, true}, {3, 1, false}};
    for (bool integer : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.min << " " << c.max << (integer ? " integer" : ""));
            CGraphPlotYAxis axis;
            axis.SetIntegerAxis(integer);
            axis.SetRange(1, 2);
            ASSERT_TRUE(axis.ComputeTicks(200));
            axis.SetRange(c.min, c.max);
            EXPECT_FALSE(axis.ComputeTicks(200));
            EXPECT_TRUE(axis.Ticks().empty());
            if (!c.flat) continue;
            const plot::YMap map = axis.Map(10, 110);
            for (double v : {0.0, 1e300, -1e300, kNaN}) EXPECT_EQ(map(v), 110);
        }
    }
}

TEST(PlotAxis, ValueMapAndStripWidth) {
    CGraphPlotYAxis axis;
    axis.SetIntegerAxis(false);
    axis.SetRange(-10, 10);
    const plot::YMap map = axis.Map(100, 300);
    EXPECT_EQ(map(-10), 300);
    EXPECT_EQ(map(10), 100);
    EXPECT_EQ(map(0), 200);
    EXPECT_EQ(map(1e300), -plot::kPixelLimit);  // far values stay within the pixel limit
    EXPECT_EQ(map(kNaN), 300);
    // Integer axes truncate their bounds toward zero.
    CGraphPlotYAxis whole;
    whole.SetRange(-2.7, 3.9);
    EXPECT_EQ(whole.Minimum(), -2);
    EXPECT_EQ(whole.Maximum(), 3);

    struct Measure : plot::TextMeasure {
        int32_t Width(const std::string& t) const override { return 7 * static_cast<int32_t>(t.size()); }
        int32_t Height() const override { return 12; }
    } measure;
    axis.SetRange(0, 0.5);
    // Widest label "0.45" (4 characters) + its height + 15.
    EXPECT_EQ(axis.StripWidth(400, measure), 4 * 7 + 12 + 15);
    axis.SetRange(1, 1);
    EXPECT_EQ(axis.StripWidth(400, measure), 0);
}

struct TimeAxisCase {
    const char* name;
    int32_t width;
    double length;
    double windowEnd;
    double step;
    size_t count;
    int32_t labelPeriod;
    std::vector<LabelledTick> labels;
};

TEST(PlotAxis, TimeAxisTicksByLengthAndWidth) {
    const TimeAxisCase cases[] = {
        {"20 s over 1000 px", 1000, 20000, 0, 100, 200, 10, {{0, "0"}, {1000, "1"}, {2000, "2"}}},
        {"1 h over 1000 px", 1000, 3600000, 0, 20000, 180, 10, {{0, "0"}, {200000, "200"}, {400000, "400"}}},
        {"20 s over 2000 px, window from 12345 ms",
         2000,
         20000,
         32345,
         40,
         500,
         10,
         {{12400, "12.4"}, {12800, "12.8"}, {13200, "13.2"}}},
        {"5 s over 440 px: a label on every long mark",
         440,
         5000,
         0,
         100,
         50,
         5,
         {{0, "0"}, {500, "0.5"}, {1000, "1"}}},
        {"a length of 0 is 20 s", 1000, 0, 0, 100, 200, 10, {{0, "0"}, {1000, "1"}, {2000, "2"}}},
        {"a negative length is 20 s", 1000, -5, 0, 100, 200, 10, {{0, "0"}, {1000, "1"}, {2000, "2"}}},
        {"a NaN length is 20 s", 1000, kNaN, 0, 100, 200, 10, {{0, "0"}, {1000, "1"}, {2000, "2"}}},
    };
    for (const TimeAxisCase& c : cases) {
        SCOPED_TRACE(c.name);
        CGraphPlotXAxis axis;
        axis.SetTimeLength(c.length);
        axis.Layout({10, 0, 10 + c.width, 100});
        axis.SetWindowEnd(c.windowEnd);
        EXPECT_DOUBLE_EQ(axis.Scale(), c.width / axis.TimeLength());
        EXPECT_DOUBLE_EQ(axis.Step(), c.step);
        EXPECT_EQ(axis.LabelPeriod(), c.labelPeriod);
        ASSERT_EQ(axis.Ticks().size(), c.count);
        const auto labels = Labelled(axis.Ticks());
        ASSERT_EQ(labels.size(), c.labels.size());
        for (size_t i = 0; i < labels.size(); ++i) {
            EXPECT_NEAR(labels[i].value, c.labels[i].value, 1e-6);
            EXPECT_EQ(labels[i].label, c.labels[i].label);
        }
    }
}

TEST(PlotFormat, LabelsAndReadoutTexts) {
    const struct {
        std::string got, want;
    } cases[] = {
        {plot::StrippedFixed(2.5), "2.5"},
        {plot::StrippedFixed(3.0), "3"},
        {plot::StrippedFixed(100.0), "100"},
        {plot::StrippedFixed(-1e-9), "0"},
        {plot::StrippedFixed(0.30000000000000004), "0.3"},
        {plot::IntegerLabel(4294967295.0), "[4294967295]"},
        {plot::IntegerLabel(-3.9), "[-3]"},
        {plot::IntegerLabel(kNaN), "[0]"},
        {plot::ReadoutTimeText(999.5), "t = 999.500000ms"},
        {plot::ReadoutTimeText(-20), "t = -20.000000ms"},
        {plot::ReadoutTimeText(1000), "t = 1.000000s"},
        {plot::ReadoutTimeText(59999), "t = 59.999000s"},
        {plot::ReadoutTimeText(61500), "t = 1m1.500s"},
        {plot::ReadoutTimeText(3600000), "t = 60m0.000s"},
        {plot::ReadoutTimeText(3661000), "t = 1h1m1.000s"},
        {plot::ReadoutValueText(12.5, "V"), "v = 12.5 V"},
        {plot::ReadoutValueText(3, "V"), "v = 3 V"},
        {plot::ReadoutValueText(-0.25, ""), "v = -0.25 "},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

}  // namespace
