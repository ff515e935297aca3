#pragma once

// Arithmetic of the thrust chart that needs no screen: axis navigation, wheel zoom, the pointer value
// format and the min/max decimation that keeps large series fluid.

#include <QList>
#include <QPointF>
#include <QString>

#include <cstddef>
#include <vector>

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

// New time-axis range for a navigation button; first and last are the times of the first and last point
// of the data series.
AxisSpan navigateTime(TimeNav button, AxisSpan current, double firstTime, double lastTime);

// New value-axis range for a navigation button; lowest and highest are the extremes of the data series.
AxisSpan navigateValue(ValueNav button, bool inverted, AxisSpan current, double lowest, double highest);

// One wheel turn: widens (positive delta) or narrows the range by 5 % of the span per 100 delta units
// on each side. A range with no positive span stays as it is.
AxisSpan wheelZoom(AxisSpan current, int wheelDelta);

// The value under the pointer, with as many decimals as a tenth of the axis span needs: 0 for a tenth of
// 10 or more, then 1, 2, 3, at most 4. A value of exactly 0 is "0". Trailing zeros are dropped from
// short numbers below 10 ("1.50" -> "1.5"). `decimalSeparator` is the one the user reads.
QString FormatAxisValue(double value, double axisMax, double axisMin, QChar decimalSeparator = QChar('.'));

// Index range [first, last] of an evenly spaced series (point i at i * step, valid indices lo..hi) that
// covers the time range, with one point beyond each side so that the line runs to the plot edges.
// Returns false when nothing of the series lies in the range.
bool visibleIndexRange(double step, std::size_t lo, std::size_t hi, AxisSpan time, std::size_t& first,
                       std::size_t& last);

// Points of values[first - base .. last - base] (point index i at time i * step) for a plot `columns`
// pixels wide. When there are more than two points a column, each column contributes its lowest and
// highest point in time order, so that every peak stays visible; otherwise every point is taken.
// `base` is the index of values[0].
void decimateMinMax(const std::vector<double>& values, std::size_t base, std::size_t first, std::size_t last,
                    double step, int columns, QList<QPointF>& out);

// Tick spacing of 1, 2 or 5 times a power of ten giving about `wanted` intervals over the span.
double niceTickInterval(double span, int wanted);

} // namespace selva
