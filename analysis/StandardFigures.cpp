#include "analysis/StandardFigures.h"

#include "common/Format.h"

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

constexpr const char* kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Time at which the segment a-b passes `level` (one end at or below it, the other above).
double crossing(const CurvePoint& a, const CurvePoint& b, double level)
{
    const double df = b.thrust - a.thrust;
    if (df == 0)
        return a.time;
    return a.time + (level - a.thrust) / df * (b.time - a.time);
}

// Thrust at time t inside the segment a-b.
double between(const CurvePoint& a, const CurvePoint& b, double t)
{
    const double dt = b.time - a.time;
    if (!(dt > 0))
        return b.thrust;
    return a.thrust + (b.thrust - a.thrust) * (t - a.time) / dt;
}

} // namespace

ImpulseClass ClassifyImpulse(double totalImpulse)
{
    ImpulseClass c;
    if (!(totalImpulse > 0) || !std::isfinite(totalImpulse))
        return c;
    // Every bound is 0.3125 × 2^k, exact in binary, so a comparison at a bound is exact.
    static const char* const fractional[] = {"1/8A", "1/4A", "1/2A"};
    double lower = 0;
    double upper = 0.3125;
    for (int k = 0; k < 3 + 26; ++k) {
        if (totalImpulse <= upper) {
            c.letter = k < 3 ? std::string(fractional[k]) : std::string(1, kLetters[k - 3]);
            c.lower = lower;
            c.upper = upper;
            c.percent = (totalImpulse - lower) / (upper - lower) * 100;
            return c;
        }
        lower = upper;
        upper *= 2;
    }
    return c; // beyond Z
}

std::string MotorDesignation(const ImpulseClass& cls, double averageThrust)
{
    if (cls.letter.empty())
        return {};
    const double rounded = std::floor(std::max(0.0, averageThrust) + 0.5);
    return cls.letter + formatFixed(rounded, 0);
}

StandardFigures ComputeStandardFigures(const std::vector<CurvePoint>& c)
{
    StandardFigures f;
    const std::size_t n = c.size();
    if (n < 2)
        return f;
    std::size_t peak = 0;
    for (std::size_t i = 1; i < n; ++i)
        if (c[i].thrust > c[peak].thrust)
            peak = i;
    if (!(c[peak].thrust > 0))
        return f;
    f.found = true;
    f.peakThrust = c[peak].thrust;
    f.peakTime = c[peak].time;

    const double threshold = StandardBurnThreshold * f.peakThrust;
    std::size_t first = 0;
    while (!(c[first].thrust > threshold))
        ++first;
    std::size_t last = n - 1;
    while (!(c[last].thrust > threshold))
        --last;
    f.burnStart = first == 0 ? c[0].time : crossing(c[first - 1], c[first], threshold);
    f.burnEnd = last == n - 1 ? c[n - 1].time : crossing(c[last], c[last + 1], threshold);
    f.burnTime = f.burnEnd - f.burnStart;

    // The whole burn reaches outward from the 5 % crossings to where the thrust is back at zero.
    std::size_t lead = first;
    while (lead > 0 && c[lead - 1].thrust > 0)
        --lead;
    f.impulseStart = lead == 0 ? c[0].time : crossing(c[lead - 1], c[lead], 0);
    std::size_t tail = last;
    while (tail + 1 < n && c[tail + 1].thrust > 0)
        ++tail;
    f.impulseEnd = tail == n - 1 ? c[n - 1].time : crossing(c[tail], c[tail + 1], 0);

    f.totalImpulse = CurveImpulse(CurveSlice(c, f.impulseStart, f.impulseEnd));
    f.burnImpulse = CurveImpulse(CurveSlice(c, f.burnStart, f.burnEnd));
    f.averageThrust = f.burnTime > 0 ? f.burnImpulse / f.burnTime : 0;
    f.impulseClass = ClassifyImpulse(f.totalImpulse);
    f.designation = MotorDesignation(f.impulseClass, f.averageThrust);
    return f;
}

std::vector<CurvePoint> ThrustCurveOf(const AnalysisState& s)
{
    const std::vector<double>& series = s.NetThrust ? s.ThrustNet : s.ThrustData;
    const double zero = s.NetThrust ? s.RestThrustNet : s.RestThrust;
    const std::size_t n = std::min<std::size_t>(s.PointCount, series.size());
    std::vector<CurvePoint> curve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double v = series[i] - zero;
        curve[i] = {static_cast<double>(i) * s.AnalysisStep, std::isfinite(v) ? v : 0.0};
    }
    return curve;
}

StandardFigures ComputeStandardFigures(const AnalysisState& state, bool calibrated)
{
    if (!calibrated || !(state.AnalysisStep > 0))
        return {};
    return ComputeStandardFigures(ThrustCurveOf(state));
}

std::vector<CurvePoint> CurveSlice(const std::vector<CurvePoint>& c, double from, double to)
{
    std::vector<CurvePoint> out;
    if (c.empty() || !(from < to))
        return out;
    const auto byTime = [](const CurvePoint& p, double t) { return p.time < t; };
    // First point at or after `from`, first at or after `to`.
    const auto lo = std::lower_bound(c.begin(), c.end(), from, byTime);
    const auto hi = std::lower_bound(lo, c.end(), to, byTime);
    const auto valueAt = [&](std::vector<CurvePoint>::const_iterator after, double t) {
        if (after == c.end())
            return c.back().thrust;
        if (after == c.begin() || after->time == t)
            return after->thrust;
        return between(*(after - 1), *after, t);
    };
    out.push_back({from, valueAt(lo, from)});
    for (auto it = lo; it != hi; ++it)
        if (it->time > from)
            out.push_back(*it);
    out.push_back({to, valueAt(hi, to)});
    return out;
}

double CurveImpulse(const std::vector<CurvePoint>& c)
{
    double sum = 0;
    for (std::size_t i = 1; i < c.size(); ++i)
        sum += 0.5 * (c[i - 1].thrust + c[i].thrust) * (c[i].time - c[i - 1].time);
    return sum;
}

std::vector<CurvePoint> BurnCurve(const std::vector<CurvePoint>& curve, const StandardFigures& f)
{
    if (!f.found)
        return {};
    std::vector<CurvePoint> burn = CurveSlice(curve, f.impulseStart, f.impulseEnd);
    if (burn.empty())
        return burn;
    for (CurvePoint& p : burn)
        p.time -= f.impulseStart;
    burn.front().time = 0;
    // Ends at zero crossings are exactly zero, whatever the interpolation left.
    if (f.impulseStart > curve.front().time)
        burn.front().thrust = 0;
    if (f.impulseEnd < curve.back().time)
        burn.back().thrust = 0;
    return burn;
}

std::vector<std::pair<std::string, std::string>> StandardFiguresLines(const StandardFigures& f, char sep)
{
    const auto g = [sep](double v) { return formatGeneral(v, 5, sep); };
    const std::string none = "—";
    std::string cls = none;
    if (!f.impulseClass.letter.empty())
        cls = f.impulseClass.letter + " (" + formatFixed(f.impulseClass.percent, 0) + " % класса)";
    return {
        {"Время работы (сек)", f.found ? g(f.burnTime) : none},
        {"Полный импульс (Н·с)", f.found ? g(f.totalImpulse) : none},
        {"Средняя тяга (Н)", f.found ? g(f.averageThrust) : none},
        {"Класс", cls},
        {"Обозначение", f.designation.empty() ? none : f.designation},
    };
}

} // namespace selva
