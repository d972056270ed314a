#include "windows/plot/graphaxis.h"

#include <algorithm>
#include <cmath>

#include "platform/numconv.h"
#include "windows/plot/plotformat.h"

namespace plot {

int32_t ToPixel(double position) {
    return std::clamp(vex::SaturateTrunc<int32_t>(position), -kPixelLimit, kPixelLimit);
}

YMap::YMap(double minimum, double maximum, int32_t top, int32_t bottom)
    : bottom(std::clamp<double>(bottom, -kPixelLimit, kPixelLimit)), minimum(minimum) {
    const double range = maximum - minimum;
    perUnit = (bottom - top) / range;
    flat = range == 0.0 || !std::isfinite(range) || !std::isfinite(minimum) || !std::isfinite(perUnit) ||
           perUnit == 0.0;
}

ColumnGrid ColumnGrid::Starting(double start, double scale) {
    ColumnGrid g;
    g.scale = scale;
    const int64_t first = g.Column(start);
    if (first == kNone) return g;
    g.first = first;
    const double a = start * scale;
    // The rest of the start's column: exact, as the column is a whole number below it.
    if (std::fabs(a) < static_cast<double>(kLimit)) g.phase = a - static_cast<double>(first);
    if (!(g.phase >= 0.0 && g.phase < 1.0)) g.phase = 0.0;
    return g;
}

std::optional<TickStep> FindTickStep(double range, double pixels, double firstDecade) {
    if (!(range > 0.0) || !std::isfinite(range) || !(pixels > 0.0) || !std::isfinite(pixels)) return {};
    static constexpr double kFactors[] = {0.1, 0.2, 0.4};
    // Spacings only grow along the ladder: once one is wider than 12 pixels nothing later fits.
    for (double decade = firstDecade; std::isfinite(decade); decade *= 10.0) {
        for (double factor : kFactors) {
            const double step = factor * decade;
            const double spacing = std::trunc(pixels * step / range);
            if (spacing > 12.0) return {};
            if (spacing >= 4.0) return TickStep{step, static_cast<int32_t>(spacing)};
        }
    }
    return {};
}

}  // namespace plot

namespace {

// A quotient of tick maths that is a whole number up to rounding counts as that number (0.7 / 0.1).
double wholeQuotient(double numerator, double step) {
    return vex::TruncTolerant(numerator / step);
}

// The minimum rounded up to a multiple of the step.
double firstTick(double minimum, double step) {
    const double k = wholeQuotient(minimum, step);
    const double r = minimum - k * step;
    return r > step * 1e-9 ? minimum + (step - r) : minimum;
}

// At most one tick per 4 pixels (the narrowest spacing), plus both ends.
int64_t tickCap(int32_t pixels) {
    return pixels / 4 + 3;
}

bool multipleOf(double value, double period) {
    return std::fmod(value, period) == 0.0;
}

}  // namespace

// ---- value axis ----

void CGraphPlotYAxis::SetIntegerAxis(bool on) {
    m_integer = on;
    ResetLayout();
}

void CGraphPlotYAxis::SetRange(double minimum, double maximum) {
    m_min = m_integer ? std::trunc(minimum) : minimum;
    m_max = m_integer ? std::trunc(maximum) : maximum;
}

void CGraphPlotYAxis::AddEnumTick(int32_t value, const std::string& text) {
    m_enumTicks.push_back({text, value});
    ResetLayout();
}

void CGraphPlotYAxis::ClearEnumTicks() {
    m_enumTicks.clear();
    ResetLayout();
}

void CGraphPlotYAxis::ResetLayout() {
    m_ticks.clear();
    m_cachedWidth = 0;
    m_cachedPixels = -1;
    m_cachedMax = -1.0;
    m_cachedMin = 1.0;
}

bool CGraphPlotYAxis::ComputeTicks(int32_t pixels) {
    m_ticks.clear();
    const bool made = m_integer ? computeInteger(pixels) : computeNumeric(pixels, 1e-8);
    if (!made) m_ticks.clear();
    return made;
}

bool CGraphPlotYAxis::computeNumeric(int32_t pixels, double firstDecade) {
    const double range = m_max - m_min;
    const auto step = plot::FindTickStep(range, pixels, firstDecade);
    if (!step) return false;
    m_step = step->Step;
    m_spacing = step->Spacing;
    const int64_t count =
        std::min<int64_t>(vex::SaturateTrunc<int64_t>(wholeQuotient(range, m_step)) + 1, tickCap(pixels));
    const double first = firstTick(m_min, m_step);
    const double phase = std::fmod(wholeQuotient(first, m_step), 5.0);
    m_ticks.resize(static_cast<size_t>(std::max<int64_t>(count, 0)));
    for (size_t i = 0; i < m_ticks.size(); ++i) {
        tGR_AXIS_TICK& t = m_ticks[i];
        t.Value = first + static_cast<double>(i) * m_step;
        t.Labelled = multipleOf(static_cast<double>(i) + phase, 5.0) ? 1 : 0;
        if (!t.Labelled)
            t.Label.clear();
        else
            t.Label = m_integer ? integerLabel(t.Value) : plot::StrippedFixed(t.Value);
    }
    return true;
}

bool CGraphPlotYAxis::computeInteger(int32_t pixels) {
    const double range = m_max - m_min;
    if (range == 0.0 || !std::isfinite(range) || pixels <= 0) return false;
    const double perUnit = pixels / range;
    if (perUnit > 12.0) {
        m_step = 1.0;
        m_spacing = vex::SaturateTrunc<int32_t>(perUnit);
        const int64_t count = std::min<int64_t>(vex::SaturateTrunc<int64_t>(range + 1.0), tickCap(pixels));
        m_ticks.resize(static_cast<size_t>(std::max<int64_t>(count, 0)));
        for (size_t i = 0; i < m_ticks.size(); ++i) {
            m_ticks[i].Value = m_min + static_cast<double>(i);
            m_ticks[i].Labelled = 1;
            m_ticks[i].Label = integerLabel(m_ticks[i].Value);
        }
        return true;
    }
    if (perUnit >= 4.0) {
        m_step = 2.0;
        m_spacing = vex::SaturateTrunc<int32_t>(perUnit * 2.0);
        const int64_t count =
            std::min<int64_t>(1 - vex::SaturateTrunc<int64_t>(-range / 2.0), tickCap(pixels));
        const double phase = std::fmod(std::trunc(m_min / 2.0), 10.0);
        m_ticks.resize(static_cast<size_t>(std::max<int64_t>(count, 0)));
        for (size_t i = 0; i < m_ticks.size(); ++i) {
            tGR_AXIS_TICK& t = m_ticks[i];
            t.Value = m_min + 2.0 * static_cast<double>(i);
            t.Labelled = multipleOf(static_cast<double>(i) + phase, 2.0) ? 1 : 0;
            if (t.Labelled)
                t.Label = integerLabel(t.Value);
            else
                t.Label.clear();
        }
        return true;
    }
    // Fewer than 4 pixels per unit: the ladder from steps of 1 upwards, as for a numeric axis.
    return computeNumeric(pixels, 10.0);
}

std::string CGraphPlotYAxis::integerLabel(double value) const {
    const double whole = std::trunc(value);
    std::string label;
    for (const tGR_AXIS_TICK_EUNM& e : m_enumTicks)
        if (static_cast<double>(e.val) == whole) label += e.txt;
    return label + plot::IntegerLabel(value);
}

int32_t CGraphPlotYAxis::StripWidth(int32_t pixels, const plot::TextMeasure& measure) {
    if (pixels == m_cachedPixels && m_max == m_cachedMax && m_min == m_cachedMin) return m_cachedWidth;
    m_cachedPixels = pixels;
    m_cachedMax = m_max;
    m_cachedMin = m_min;
    m_cachedWidth = 0;
    if (!ComputeTicks(pixels)) return 0;
    int32_t widest = -1;
    for (const tGR_AXIS_TICK& t : m_ticks)
        if (t.Labelled) widest = std::max(widest, measure.Width(t.Label));
    if (widest >= 0) m_cachedWidth = widest + measure.Height() + 15;
    return m_cachedWidth;
}

// ---- time axis ----

void CGraphPlotXAxis::SetTimeLength(double ms) {
    m_timeLength = ms > 0.0 && std::isfinite(ms) ? ms : kDefaultTimeLength;
}

void CGraphPlotXAxis::Layout(const plot::Rect& r) {
    m_rect = r;
    if (r == m_layoutRect && m_timeLength == m_layoutLength) return;
    m_layoutRect = r;
    m_layoutLength = m_timeLength;
    m_pixels = std::max(0, r.Width());
    m_scale = m_pixels > 0 ? m_pixels / m_timeLength : 0.0;
    const auto step = plot::FindTickStep(m_timeLength, m_pixels, 1e-8);
    m_stepValid = step.has_value();
    if (m_stepValid) {
        m_step = step->Step;
        m_spacing = step->Spacing;
        m_labelPeriod = 5 * m_spacing >= 40 ? 5 : 10;
    }
    buildTicks(m_runningTicks, m_runningStart);
    buildTicks(m_frozenTicks, m_frozenStart);
    setFrozenGrid();
}

void CGraphPlotXAxis::SetWindowEnd(double end) {
    const double start = end - m_timeLength;
    if (!(start > m_runningStart)) return;
    m_runningStart = start;
    buildTicks(m_runningTicks, m_runningStart);
}

void CGraphPlotXAxis::Reset() {
    m_runningStart = 0.0;
    buildTicks(m_runningTicks, m_runningStart);
}

void CGraphPlotXAxis::SetFrozen(bool on) {
    if (on && !m_frozen) {
        m_frozenStart = m_runningStart;
        buildTicks(m_frozenTicks, m_frozenStart);
        setFrozenGrid();
    }
    m_frozen = on;
}

void CGraphPlotXAxis::Shift(double ms) {
    if (!std::isfinite(ms)) return;
    m_frozenStart += ms;
    buildTicks(m_frozenTicks, m_frozenStart);
    if (ms != 0.0) setFrozenGrid();
}

void CGraphPlotXAxis::ShiftColumns(int64_t pixels) {
    if (!(m_scale > 0.0)) return;
    m_frozenStart += static_cast<double>(pixels) / m_scale;
    m_frozenFirst += pixels;
    buildTicks(m_frozenTicks, m_frozenStart);
}

void CGraphPlotXAxis::setFrozenGrid() {
    const plot::ColumnGrid g = plot::ColumnGrid::Starting(m_frozenStart, m_scale);
    m_frozenFirst = g.first;
    m_frozenPhase = g.phase;
}

plot::ColumnGrid CGraphPlotXAxis::Grid() const {
    if (m_frozen) return {m_scale, m_frozenPhase, m_frozenFirst};
    plot::ColumnGrid g{m_scale, 0.0, 0};
    const int64_t first = g.Column(m_runningStart);
    g.first = first == plot::ColumnGrid::kNone ? 0 : first;
    return g;
}

double CGraphPlotXAxis::DrawnStart() const {
    if (m_frozen || !(m_scale > 0.0)) return WindowStart();
    return static_cast<double>(Grid().first) / m_scale;
}

int32_t CGraphPlotXAxis::TimeToX(double time) const {
    return plot::ToPixel((time - DrawnStart()) * m_scale + m_rect.left);
}

void CGraphPlotXAxis::buildTicks(std::vector<tGR_AXIS_TICK>& ticks, double start) const {
    // Without a step the previous ticks stay.
    if (!m_stepValid) return;
    const int64_t count = std::min<int64_t>(vex::SaturateTrunc<int64_t>(wholeQuotient(m_timeLength, m_step)),
                                            tickCap(m_pixels));
    const double first = firstTick(start, m_step);
    const double phase = std::fmod(wholeQuotient(first, m_step), 10.0);
    ticks.resize(static_cast<size_t>(std::max<int64_t>(count, 0)));
    for (size_t i = 0; i < ticks.size(); ++i) {
        tGR_AXIS_TICK& t = ticks[i];
        t.Value = first + static_cast<double>(i) * m_step;
        const double k = phase + static_cast<double>(i);
        t.Labelled = multipleOf(k, 5.0) ? 1 : 0;
        if (t.Labelled && multipleOf(k, m_labelPeriod))
            t.Label = plot::StrippedFixed(t.Value / 1000.0);
        else
            t.Label.clear();
    }
}
