#pragma once

// Arithmetic of the thrust chart that needs no screen: axis navigation, zoom, the limits of the time
// axis, tick spacing, the visible part of a series and the pointer value format.

#include <cstddef>
#include <string>

namespace selva {

struct AxisSpan {
    double min = 0;
    double max = 0;
    double span() const { return max - min; }
    bool operator==(const AxisSpan&) const = default;
};

// Buttons of the time-axis navigation panel.
enum class TimeNav { Start, End, In, Out, LeftPage, RightPage, Left, Right };

// Buttons of the value-axis navigation panel, by their own name (sbVBottom, sbVTop, ...). What a button
// does depends on whether the axis is inverted: the panel keeps its look while the data turn over.
enum class ValueNav { Bottom, Top, In, Out, DownPage, UpPage, Down, Up };

// How much "+" narrows and "−" widens an axis: a factor of 2 about the centre, so that a one-second burn
// inside an hour's recording is a dozen clicks away (a fixed 5 % of the span a click took 80).
inline constexpr double kZoomStep = 2.0;

// New time-axis range for a navigation button; first and last are the times of the first and last point
// of the data series. "+" and "−" halve and double the span about its centre; the other buttons move by
// the span's fractions of the panel (a page 0.75, a step 0.1). The caller keeps the result inside the
// data with limitTimeRange.
AxisSpan navigateTime(TimeNav button, AxisSpan current, double firstTime, double lastTime);

// New value-axis range for a navigation button; lowest and highest are the extremes of the data series.
AxisSpan navigateValue(ValueNav button, bool inverted, AxisSpan current, double lowest, double highest);

// The range scaled by `factor` about `anchor` (the anchor keeps its place on the axis).
AxisSpan zoomAround(AxisSpan current, double anchor, double factor);
// Span factor of a wheel turn: a turn away from the user (positive delta) zooms in, 120 units (one notch)
// by a factor of 1/sqrt(2), as other programs do.
double wheelZoomFactor(int wheelDelta);

// A time range kept inside the data [first, last]: never before the first point or past the last, never
// narrower than two steps; a range wider than the data shows all of it.
AxisSpan limitTimeRange(AxisSpan range, double first, double last, double step);
// A value range no narrower than a millionth of its magnitude (Qt Charts needs a positive span).
AxisSpan limitValueRange(AxisSpan range);

// The value under the pointer, with as many decimals as a tenth of the axis span needs: 0 for a tenth of
// 10 or more, then 1, 2, 3, at most 4. A value of exactly 0 is "0". Trailing zeros are dropped from
// short numbers below 10 ("1.50" -> "1.5"). `decimalSeparator` is the one the user reads.
std::string FormatAxisValue(double value, double axisMax, double axisMin, char decimalSeparator = '.');

// Index range [first, last] of an evenly spaced series (point i at i * step, valid indices lo..hi) that
// covers the time range, with one point beyond each side so that the line runs to the plot edges.
// Returns false when nothing of the series lies in the range.
bool visibleIndexRange(double step, std::size_t lo, std::size_t hi, AxisSpan time, std::size_t& first,
                       std::size_t& last);

// Tick spacing of 1, 2 or 5 times a power of ten giving about `wanted` intervals over the span.
double niceTickInterval(double span, int wanted);

} // namespace selva
