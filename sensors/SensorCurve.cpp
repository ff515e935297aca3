#include "sensors/SensorCurve.h"

#include "common/Format.h"

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

int rounded(double x)
{
    return static_cast<int>(roundHalfEven(x));
}

// Pixel offsets beyond this are off any canvas; holding them here keeps int arithmetic safe.
constexpr double FarOutside = 1 << 20;

int roundedOffset(double x)
{
    return rounded(std::clamp(x, -FarOutside, FarOutside));
}

std::string label(double value, char decimalSeparator)
{
    std::string text = formatGeneral(value, 5, decimalSeparator);
    if (text.size() > 10)
        text.resize(10);
    return text;
}

} // namespace

void SensorCurveCache::Fill(TCalibration& calibration, int plotWidth, std::uint32_t dataLineColour)
{
    if (valid_ && calibration_ == &calibration && plotWidth_ == plotWidth &&
        dataLineColour_ == dataLineColour)
        return;
    columns_.assign(static_cast<std::size_t>(std::max(plotWidth, 0)), CurveColumn{});
    const float step = static_cast<float>((calibration.highFrequency - calibration.lowFrequency) / plotWidth);
    float f = static_cast<float>(calibration.lowFrequency);
    for (CurveColumn& column : columns_) {
        std::uint32_t colour = TSegmentFormula::NoColour;
        column.thrust = static_cast<float>(SensorThrustColour(calibration, f, colour, dataLineColour));
        column.colour = colour;
        f += step;
    }
    calibration_ = &calibration;
    plotWidth_ = plotWidth;
    dataLineColour_ = dataLineColour;
    valid_ = true;
}

int CurveLayout::tickX(int i) const
{
    return mx + rounded(i * plotWidth / 10.0);
}

int CurveLayout::tickY(int i) const
{
    return bottom - rounded(i * plotHeight / 10.0);
}

int CurveLayout::frequencyX(double frequency) const
{
    return mx + roundedOffset((frequency - fLow) * plotWidth / (fHigh - fLow));
}

int CurveLayout::thrustY(double thrust) const
{
    return bottom - roundedOffset((thrust - tLow) * plotHeight / (tHigh - tLow));
}

std::string CurveLayout::frequencyLabel(int i, char decimalSeparator) const
{
    return label(fLow + i * (fHigh - fLow) / 10, decimalSeparator);
}

std::string CurveLayout::thrustLabel(int i, char decimalSeparator) const
{
    return label(tLow + i * (tHigh - tLow) / 10, decimalSeparator);
}

std::optional<CurveLayout> LayoutSensorCurve(TCalibration& calibration, int width, int height,
                                             SensorCurveCache& cache, std::uint32_t dataLineColour)
{
    CurveLayout l;
    l.width = width;
    l.height = height;
    l.mx = rounded(width / 20.0);
    l.my = rounded(height / 20.0);
    l.plotWidth = width - 2 * l.mx;
    l.plotHeight = height - 2 * l.my;
    l.bottom = height - l.my;
    if (l.plotWidth < 1 || l.plotHeight < 1 || !PrepareSensorRange(calibration))
        return std::nullopt;
    l.fLow = calibration.lowFrequency;
    l.fHigh = calibration.highFrequency;

    cache.Fill(calibration, l.plotWidth, dataLineColour);

    // Thrust range of the cached columns. Columns where a formula has no finite value are left out.
    double tLow = 1e7, tHigh = -1e7;
    for (const CurveColumn& c : cache.columns()) {
        if (!std::isfinite(c.thrust))
            continue;
        if (c.thrust < tLow)
            tLow = c.thrust;
        if (c.thrust > tHigh)
            tHigh = c.thrust;
    }
    if (tLow > tHigh) // nothing finite at all
        tLow = tHigh = 0;
    if (tHigh == tLow)
        tHigh = tLow + 1;
    l.tLow = tLow;
    l.tHigh = tHigh;
    return l;
}

int HitTestSensorCurve(TCalibration& calibration, int width, int height, int x, int /*y*/,
                       SensorCurveCache& cache, std::uint32_t dataLineColour, double& frequency,
                       double& thrust)
{
    const std::optional<CurveLayout> l = LayoutSensorCurve(calibration, width, height, cache, dataLineColour);
    if (!l) {
        frequency = 0;
        thrust = 0;
        return -1;
    }
    frequency = l->fLow + (x - l->mx) * (l->fHigh - l->fLow) / l->plotWidth;
    int nearest = -1;
    thrust = SensorThrustNearest(calibration, frequency, nearest);
    return nearest;
}

FormulaMetrics FormulaMetricsFor(int top, int height)
{
    const double base = 0.8 * height;
    FormulaMetrics m;
    m.left = rounded(0.25 * base);
    m.mainHeight = rounded(0.8 * base);
    m.smallHeight = rounded(base * 5 / 9);
    m.textTop = rounded(top + height / 2.0 - m.mainHeight / 2.0);
    m.superTop = rounded(m.textTop - m.smallHeight / 3.0);
    m.subTop = rounded(m.textTop + m.mainHeight - 2.0 * m.smallHeight / 3.0);
    return m;
}

std::vector<SymbolLine> FormulaSymbol(TFormulaType type, int left, int top, int height)
{
    const int s = static_cast<int>(0.6 * height);
    const int o = static_cast<int>(0.2 * height);
    switch (NormalizedFormulaType(type)) {
    case TFormulaType::none:
        return {{left + o, top + o, left + o + s, top + o + s},
                {left + o + s, top + o, left + o, top + o + s}};
    case TFormulaType::previos: {
        const int m = o + s / 2;
        const int a = rounded(0.15 * height);
        return {{left + m, top + o, left + m, top + o + s},
                {left + m, top + o, left + m - a, top + o + a},
                {left + m, top + o, left + m + a, top + o + a}};
    }
    default:
        return {};
    }
}

} // namespace selva
