#pragma once
// The axes of the plot engine: a value axis per curve and one time axis. An axis turns its range and its
// length in pixels into a tick step, a list of ticks with labels, and a mapping between values and pixels.
// Plain C++, GUI thread only.
//
// Tick step: candidates 0.1, 0.2 and 0.4 times a decade, decades rising by 10 from a first decade; the
// first candidate whose spacing trunc(pixels * step / range) lies between 4 and 12 pixels is the step.
// The ladder rises as far as a range needs, so even an unsigned 32-bit signal's full range gets an axis.
// Tick tables are sized to the axis (at most one tick per 4 pixels), never a fixed number of slots.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plot {

// Left, top, right, bottom in pixels.
struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// Extents of the label font, measured by the drawing side.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    virtual int32_t Width(const std::string& text) const = 0;
    virtual int32_t Height() const = 0;
};

// A pixel coordinate from a computed position: truncated toward zero and kept within +-kPixelLimit, so
// that far-away values never overflow (NaN gives 0).
constexpr int32_t kPixelLimit = 1 << 22;
int32_t ToPixel(double position);

// Value to pixel row: trunc(bottom - (value - minimum) * (bottom - top) / (maximum - minimum)). A flat or
// not-finite range maps every value to the bottom; a NaN value too.
struct YMap {
    double bottom = 0.0;
    double minimum = 0.0;
    double perUnit = 0.0;  // pixels per unit
    bool flat = true;

    YMap() = default;
    YMap(double minimum, double maximum, int32_t top, int32_t bottom);
    int32_t operator()(double value) const {
        if (flat) return static_cast<int32_t>(bottom);
        double y = bottom - (value - minimum) * perUnit;
        if (y != y) y = bottom;
        return static_cast<int32_t>(y < -kPixelLimit ? -kPixelLimit : y > kPixelLimit ? kPixelLimit : y);
    }
    // The same for a finite value, without the test for NaN (a finite value never makes one here).
    int32_t OfFinite(double value) const {
        const double y = flat ? bottom : bottom - (value - minimum) * perUnit;
        return static_cast<int32_t>(y < -kPixelLimit ? -kPixelLimit : y > kPixelLimit ? kPixelLimit : y);
    }
};

// Which pixel column a time falls in, computed from the time alone: column floor(time * scale - phase).
// A window whose first column is `first` puts column c at x = left + c - first. Because the column does
// not depend on where the window stands, a window moved by whole columns keeps every sample in its column,
// and what was summarised per column stays valid. It equals trunc((time - start) * scale + left) for the
// window start (first + phase) / scale, except for a time within a rounding error of a column's edge.
struct ColumnGrid {
    static constexpr int64_t kLimit = int64_t{1} << 60;
    static constexpr int64_t kNone = INT64_MIN;  // the column of a time that is not a number

    double scale = 0.0;  // pixels per ms
    double phase = 0.0;  // 0 <= phase < 1
    int64_t first = 0;

    int64_t Column(double time) const {
        const double a = time * scale - phase;
        if (a >= -static_cast<double>(kLimit) && a <= static_cast<double>(kLimit)) {
            const auto c = static_cast<int64_t>(a);
            return static_cast<double>(c) > a ? c - 1 : c;
        }
        return a != a ? kNone : a < 0 ? -kLimit : kLimit;
    }
    // The pixel of a column in a window whose first column lies at x = left, kept within +-kPixelLimit.
    int32_t X(int64_t column, int32_t left) const {
        const int64_t x = left + (column - first);
        return static_cast<int32_t>(x < -kPixelLimit ? -kPixelLimit : x > kPixelLimit ? kPixelLimit : x);
    }
    // The columns of a window starting at `start`: first = floor(start * scale), the phase the rest.
    static ColumnGrid Starting(double start, double scale);
};

struct TickStep {
    double Step = 0.0;
    int32_t Spacing = 0;  // pixels between ticks
};
// The first fitting candidate from firstDecade upwards; none for a range that is 0, negative or not finite,
// for no pixels, or when even the first candidate is spaced wider than 12 pixels.
std::optional<TickStep> FindTickStep(double range, double pixels, double firstDecade);

}  // namespace plot

// One tick: its value, whether it has a long mark (and, where it has one, its label), its label text.
struct tGR_AXIS_TICK {
    double Value = 0.0;
    uint8_t Labelled = 0;
    std::string Label;
};

// One enumerated tick of a value-table signal: the text of a value.
struct tGR_AXIS_TICK_EUNM {
    std::string txt;
    int32_t val = 0;
};

class CGraphPlotYAxis {
public:
    // Value axis of a value-table signal: whole-number ticks labelled "[n]" (with the value-table text in
    // front); bounds are truncated toward zero.
    bool IntegerAxis() const { return m_integer; }
    void SetIntegerAxis(bool on);
    // Both bounds, truncated toward zero on an integer axis. Not-finite bounds are kept: such an axis
    // gets no ticks and maps nothing sensibly, but nothing undefined happens.
    void SetRange(double minimum, double maximum);
    double Minimum() const { return m_min; }
    double Maximum() const { return m_max; }

    std::string Name;
    std::string Unit;
    // The strip the axis is drawn in; set by the layout before each drawing.
    plot::Rect rect;

    const std::vector<tGR_AXIS_TICK_EUNM>& EnumTicks() const { return m_enumTicks; }
    void AddEnumTick(int32_t value, const std::string& text);
    void ClearEnumTicks();

    // Ticks for an axis of `pixels` length by the numeric or the integer rule. False when none can be
    // made: the table is then empty.
    bool ComputeTicks(int32_t pixels);
    const std::vector<tGR_AXIS_TICK>& Ticks() const { return m_ticks; }
    double Step() const { return m_step; }

    // Width of the axis strip for an axis of `pixels` length: the widest label + its height + 15, or 0
    // without ticks. Recomputed only when the length or the range changed since the last time, or after
    // ResetLayout.
    int32_t StripWidth(int32_t pixels, const plot::TextMeasure& measure);
    // Forgets the cached strip and ticks: the axis now belongs to another curve or its ticks changed.
    void ResetLayout();

    // The pixel row of a value on the strip's top and bottom: trunc(bottom - (value - minimum) /
    // (maximum - minimum) * (bottom - top)); the bottom when maximum equals minimum.
    int32_t ValueToY(double value) const { return Map(rect.top, rect.bottom)(value); }
    plot::YMap Map(int32_t top, int32_t bottom) const { return plot::YMap(m_min, m_max, top, bottom); }

private:
    bool computeNumeric(int32_t pixels, double firstDecade);
    bool computeInteger(int32_t pixels);
    std::string integerLabel(double value) const;

    std::vector<tGR_AXIS_TICK> m_ticks;
    double m_max = 0.0;
    double m_min = 0.0;
    bool m_integer = true;
    std::vector<tGR_AXIS_TICK_EUNM> m_enumTicks;
    int32_t m_spacing = 0;
    double m_step = 0.0;
    // Layout cache; the first layout always computes.
    int32_t m_cachedWidth = 0;
    int32_t m_cachedPixels = -1;
    double m_cachedMax = -1.0;
    double m_cachedMin = 1.0;
};

class CGraphPlotXAxis {
public:
    static constexpr double kDefaultTimeLength = 20000.0;

    // The window's length in ms; 0, negative or not finite is the default 20,000 ms (a length that
    // divides nothing by zero).
    void SetTimeLength(double ms);
    double TimeLength() const { return m_timeLength; }

    // When the rectangle or the time length changed since the last layout: scale = width / time length
    // pixels per ms (0 for no width), and the ticks rebuilt for the width.
    void Layout(const plot::Rect& r);
    const plot::Rect& rect() const { return m_rect; }
    double Scale() const { return m_scale; }

    // Moves the running window forward so that it ends at `end`; an end at or before the current one
    // changes nothing.
    void SetWindowEnd(double end);
    // The running window starts at 0 again.
    void Reset();
    // Entering the frozen state starts the frozen window where the running one is.
    void SetFrozen(bool on);
    bool IsFrozen() const { return m_frozen; }
    // Moves the frozen window by `ms` (later for positive).
    void Shift(double ms);
    // The same by whole pixels: the frozen window keeps its columns' edges.
    void ShiftColumns(int64_t pixels);

    double RunningStart() const { return m_runningStart; }
    double FrozenStart() const { return m_frozenStart; }
    // The frozen window's start while frozen, else the running one's.
    double WindowStart() const { return m_frozen ? m_frozenStart : m_runningStart; }
    // The ticks of the window shown: the frozen table while frozen.
    const std::vector<tGR_AXIS_TICK>& Ticks() const { return m_frozen ? m_frozenTicks : m_runningTicks; }
    const std::vector<tGR_AXIS_TICK>& RunningTicks() const { return m_runningTicks; }
    const std::vector<tGR_AXIS_TICK>& FrozenTicks() const { return m_frozenTicks; }
    double Step() const { return m_step; }
    int32_t LabelPeriod() const { return m_labelPeriod; }

    // The columns the window is drawn in. Running, the window is drawn from the last column edge at or
    // before its start (whole multiples of a column's time from 0), so that it moves by whole columns
    // while the data scrolls and what was summarised per column stays valid; the picture lags the running
    // start by less than a column. Frozen, the columns of the frozen start, kept through scrolls by whole
    // pixels.
    plot::ColumnGrid Grid() const;
    // Where the window drawn starts: the first column's edge while running, the frozen start while frozen.
    double DrawnStart() const;

    // x = trunc((time - drawn start) * scale + left).
    int32_t TimeToX(double time) const;

private:
    void buildTicks(std::vector<tGR_AXIS_TICK>& ticks, double start) const;
    void setFrozenGrid();

    std::vector<tGR_AXIS_TICK> m_runningTicks;
    std::vector<tGR_AXIS_TICK> m_frozenTicks;
    bool m_frozen = false;
    plot::Rect m_rect;
    plot::Rect m_layoutRect{0, 0, -1, -1};
    double m_timeLength = kDefaultTimeLength;
    double m_layoutLength = -1.0;
    double m_runningStart = 0.0;
    double m_frozenStart = 0.0;
    int64_t m_frozenFirst = 0;
    double m_frozenPhase = 0.0;
    double m_scale = 0.0;
    int32_t m_spacing = 0;
    int32_t m_labelPeriod = 10;
    double m_step = 0.0;
    bool m_stepValid = false;
    int32_t m_pixels = 0;
};
