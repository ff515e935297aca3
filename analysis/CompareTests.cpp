#include "analysis/CompareTests.h"

#include "common/Error.h"
#include "common/Format.h"

#include <algorithm>
#include <cmath>

namespace selva {

ComparedTest CompareEntry(const std::string& source, const AnalysisState& s, bool calibrated)
{
    ComparedTest t;
    t.source = source;
    t.curve = ThrustCurveOf(s);
    t.standard = calibrated && s.AnalysisStep > 0 ? ComputeStandardFigures(t.curve) : StandardFigures{};
    if (t.standard.found) {
        t.alignTime = t.standard.impulseStart;
        for (CurvePoint& p : t.curve)
            p.time -= t.alignTime;
    }
    t.thrustTime = widenSingle(s.ThrustTime);
    t.totalImpulse = widenSingle(s.TotalImpulse);
    t.specificImpulse = widenSingle(s.SpecificImpulse);
    t.maxThrust = widenSingle(s.MaxThrust);
    t.averageThrust = widenSingle(s.AverageThrust);
    return t;
}

AnalysisState EngAnalysisState(const EngMotor& motor, double step, std::size_t maxPoints)
{
    const std::vector<CurvePoint> curve = EngCurve(motor);
    if (!(step > 0) || !std::isfinite(step))
        throw Error("Шаг анализа должен быть больше нуля");
    const double span = curve.back().time;
    // The last sample at or after the curve's end, where the thrust is zero.
    const double count = std::ceil(span / step - 1e-9) + 1;
    if (count > static_cast<double>(maxPoints))
        throw Error("Слишком много точек анализа (" + formatShortest(count) + ") для шага " +
                    formatShortest(step));

    AnalysisState s;
    s.SourceKind = SourceNone;
    s.AnalysisStep = step;
    s.MinStep = step;
    s.PointCount = static_cast<std::uint32_t>(count);
    s.RecordDuration = span;
    s.ViewFrom = 0;
    s.ViewTo = static_cast<float>(span);
    s.NetThrust = true;
    s.ChargeWeight = static_cast<float>(motor.motor.propellantKg);
    s.FreqData.assign(s.PointCount, 0);
    s.FreqError.assign(s.PointCount, 0);
    s.ThrustError.assign(s.PointCount, 0);
    s.ThrustData.resize(s.PointCount);
    std::size_t k = 0;
    for (std::uint32_t i = 0; i < s.PointCount; ++i) {
        const double t = i * step;
        while (k + 1 < curve.size() && curve[k + 1].time < t)
            ++k;
        double v = 0;
        if (k + 1 < curve.size()) {
            const CurvePoint &a = curve[k], &b = curve[k + 1];
            v = b.time > a.time ? a.thrust + (b.thrust - a.thrust) * (t - a.time) / (b.time - a.time)
                                : b.thrust;
        }
        s.ThrustData[i] = v;
    }
    s.ThrustNet = s.ThrustData;
    s.StartTime = 0;
    // Divided rather than multiplied when the step is a whole fraction of a second: 1910 points of 0.001 s
    // end at 1.91, not 1.9100000000000001.
    const double perSecond = std::round(1 / step);
    s.EndTime =
        std::abs(perSecond * step - 1) < 1e-12 ? (s.PointCount - 1) / perSecond : (s.PointCount - 1) * step;

    // The results over the whole curve, as ComputeResults sums them.
    double sum = 0, peak = 0;
    for (double v : s.ThrustData) {
        sum += v;
        peak = std::max(peak, v);
    }
    const double impulse = step * sum;
    const double duration = s.EndTime - s.StartTime;
    s.ThrustMax = peak;
    s.MeanThrust = s.MeanThrustNet = s.PointCount > 1 ? sum / (s.PointCount - 1) : 0;
    s.ThrustTime = static_cast<float>(duration);
    s.TotalImpulse = static_cast<float>(impulse);
    s.MaxThrust = static_cast<float>(peak);
    s.AverageThrust = duration > 0 ? static_cast<float>(impulse / duration) : 0;
    if (motor.motor.propellantKg > 0)
        s.SpecificImpulse = static_cast<float>(impulse / (GravityConstant * motor.motor.propellantKg));
    return s;
}

const std::vector<CompareColumn>& CompareColumns()
{
    static const std::vector<CompareColumn> columns = {
        {"total_impulse", "Импульс суммарный (Н·с)"},
        {"specific_impulse", "Импульс удельный (сек)"},
        {"thrust_time", "Время тяги (сек)"},
        {"max_thrust", "Макс. тяга (Н)"},
        {"average_thrust", "Средняя тяга (Н)"},
        {"standard_total_impulse", "Полный импульс (Н·с)"},
        {"standard_burn_time", "Время работы (сек)"},
        {"standard_average_thrust", "Средняя тяга за время работы (Н)"},
        {"class_percent", "% класса"},
    };
    return columns;
}

std::vector<double> CompareValues(const ComparedTest& t)
{
    const StandardFigures& f = t.standard;
    return {t.totalImpulse, t.specificImpulse, t.thrustTime,    t.maxThrust,           t.averageThrust,
            f.totalImpulse, f.burnTime,        f.averageThrust, f.impulseClass.percent};
}

MeanStd MeanAndStd(const std::vector<double>& values)
{
    MeanStd r;
    if (values.empty())
        return r;
    double sum = 0;
    for (double v : values)
        sum += v;
    r.mean = sum / static_cast<double>(values.size());
    if (values.size() < 2)
        return r;
    double squares = 0;
    for (double v : values)
        squares += (v - r.mean) * (v - r.mean);
    r.std = std::sqrt(squares / static_cast<double>(values.size() - 1));
    return r;
}

} // namespace selva
