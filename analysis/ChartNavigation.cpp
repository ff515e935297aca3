#include "analysis/ChartNavigation.h"

#include "common/Format.h"

#include <algorithm>
#include <cmath>

namespace selva {

AxisSpan navigateTime(TimeNav button, AxisSpan r, double firstTime, double lastTime)
{
    const double s = r.span();
    switch (button) {
    case TimeNav::Start:
        return {firstTime, firstTime + s};
    case TimeNav::End:
        return {lastTime - s, lastTime};
    case TimeNav::In:
        return zoomAround(r, (r.min + r.max) / 2, 1 / kZoomStep);
    case TimeNav::Out:
        return zoomAround(r, (r.min + r.max) / 2, kZoomStep);
    case TimeNav::LeftPage:
        return {r.min - 0.75 * s, r.max - 0.75 * s};
    case TimeNav::RightPage:
        return {r.min + 0.75 * s, r.max + 0.75 * s};
    case TimeNav::Left:
        return {r.min - 0.1 * s, r.max - 0.1 * s};
    case TimeNav::Right:
        return {r.min + 0.1 * s, r.max + 0.1 * s};
    }
    return r;
}

AxisSpan navigateValue(ValueNav button, bool inverted, AxisSpan r, double lowest, double highest)
{
    const double s = r.span();
    // With the axis inverted the paired buttons swap roles (bottom <-> top, down <-> up).
    if (inverted) {
        switch (button) {
        case ValueNav::Bottom:
            button = ValueNav::Top;
            break;
        case ValueNav::Top:
            button = ValueNav::Bottom;
            break;
        case ValueNav::DownPage:
            button = ValueNav::UpPage;
            break;
        case ValueNav::UpPage:
            button = ValueNav::DownPage;
            break;
        case ValueNav::Down:
            button = ValueNav::Up;
            break;
        case ValueNav::Up:
            button = ValueNav::Down;
            break;
        default:
            break;
        }
    }
    switch (button) {
    case ValueNav::Bottom:
        return {highest - s, highest};
    case ValueNav::Top:
        return {lowest, lowest + s};
    case ValueNav::In:
        return zoomAround(r, (r.min + r.max) / 2, 1 / kZoomStep);
    case ValueNav::Out:
        return zoomAround(r, (r.min + r.max) / 2, kZoomStep);
    case ValueNav::DownPage:
        return {r.min - 0.75 * s, r.max - 0.75 * s};
    case ValueNav::UpPage:
        return {r.min + 0.75 * s, r.max + 0.75 * s};
    case ValueNav::Down:
        return {r.min - 0.1 * s, r.max - 0.1 * s};
    case ValueNav::Up:
        return {r.min + 0.1 * s, r.max + 0.1 * s};
    }
    return r;
}

AxisSpan zoomAround(AxisSpan r, double anchor, double factor)
{
    if (!(r.span() > 0) || !std::isfinite(anchor) || !(factor > 0))
        return r;
    return {anchor - (anchor - r.min) * factor, anchor + (r.max - anchor) * factor};
}

double wheelZoomFactor(int wheelDelta)
{
    return std::pow(2.0, -wheelDelta / 240.0);
}

AxisSpan limitTimeRange(AxisSpan r, double first, double last, double step)
{
    if (!(last > first) || !std::isfinite(r.min) || !std::isfinite(r.max))
        return r;
    const double minSpan = std::min(last - first, std::max(2 * step, 1e-9));
    if (r.span() < minSpan) {
        const double c = (r.min + r.max) / 2;
        r = {c - minSpan / 2, c + minSpan / 2};
    }
    if (r.span() >= last - first)
        return {first, last};
    if (r.min < first)
        return {first, first + r.span()};
    if (r.max > last)
        return {last - r.span(), last};
    return r;
}

AxisSpan limitValueRange(AxisSpan r)
{
    const double minSpan = std::max({std::fabs(r.min), std::fabs(r.max), 1e-300}) * 1e-6;
    if (!(r.span() >= minSpan)) {
        const double c = (r.min + r.max) / 2;
        return {c - minSpan / 2, c + minSpan / 2};
    }
    return r;
}

std::string FormatAxisValue(double value, double axisMax, double axisMin, char decimalSeparator)
{
    if (value == 0)
        return "0";
    const double d = std::fabs(axisMax - axisMin) / 10;
    int decimals = 4;
    if (d >= 10)
        decimals = 0;
    else if (d >= 1)
        decimals = 1;
    else if (d >= 0.1)
        decimals = 2;
    else if (d >= 0.01)
        decimals = 3;
    std::string text(trimBlanks(formatFixed(value, decimals, 6, decimalSeparator)));
    if (text.size() >= 4 && text[1] == decimalSeparator) {
        while (!text.empty() && (text.back() == '0' || text.back() == ' '))
            text.pop_back();
    }
    return text;
}

bool visibleIndexRange(double step, std::size_t lo, std::size_t hi, AxisSpan time, std::size_t& first,
                       std::size_t& last)
{
    if (!(step > 0) || hi < lo || !(time.max >= time.min))
        return false;
    const double a = std::floor(time.min / step) - 1;
    const double b = std::ceil(time.max / step) + 1;
    if (b < static_cast<double>(lo) || a > static_cast<double>(hi))
        return false;
    first = a <= static_cast<double>(lo) ? lo : static_cast<std::size_t>(a);
    last = b >= static_cast<double>(hi) ? hi : static_cast<std::size_t>(b);
    return first <= last;
}

double niceTickInterval(double span, int wanted)
{
    if (!(span > 0) || !std::isfinite(span))
        return 1;
    wanted = std::max(wanted, 1);
    const double raw = span / wanted;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double r = raw / magnitude;
    double nice = 10;
    if (r <= 1)
        nice = 1;
    else if (r <= 2)
        nice = 2;
    else if (r <= 5)
        nice = 5;
    return nice * magnitude;
}

} // namespace selva
