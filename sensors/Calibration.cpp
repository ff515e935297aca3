#include "sensors/Calibration.h"

#include "common/Format.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace selva {

TFormulaType FormulaTypeFromCode(int code)
{
    if (code < 0 || code >= FormulaTypeCount)
        return TFormulaType::none;
    return static_cast<TFormulaType>(code);
}

TFormulaType NormalizedFormulaType(TFormulaType type)
{
    return FormulaTypeFromCode(static_cast<int>(type));
}

const char* FormulaTypeName(TFormulaType type)
{
    static const char* const names[FormulaTypeCount] = {"none",    "previos",     "linear",     "polynom",
                                                        "powered", "exponential", "logariphmic"};
    return names[static_cast<int>(NormalizedFormulaType(type))];
}

const char* FormulaTypeComboText(TFormulaType type)
{
    static const char* const texts[FormulaTypeCount] = {"none",    "previos",     "linear",     "polynomal",
                                                        "powered", "exponential", "logariphmic"};
    return texts[static_cast<int>(NormalizedFormulaType(type))];
}

int FormulaCoefficientCount(TFormulaType type)
{
    switch (NormalizedFormulaType(type)) {
    case TFormulaType::linear:
        return 2;
    case TFormulaType::polynom:
        return 6;
    case TFormulaType::powered:
    case TFormulaType::exponential:
    case TFormulaType::logariphmic:
        return 3;
    default:
        return 0;
    }
}

namespace {

// Types that carry an analytic formula (linear and up). Stray codes count as none.
bool hasFormula(TFormulaType type)
{
    const int code = static_cast<int>(type);
    return code >= static_cast<int>(TFormulaType::linear) && code < FormulaTypeCount;
}

double evalAtOffset(const TSegmentFormula& formula, double x)
{
    const auto c = [&formula](int i) { return static_cast<double>(formula.c[static_cast<std::size_t>(i)]); };
    switch (NormalizedFormulaType(formula.type)) {
    case TFormulaType::linear:
        return c(0) + c(1) * x;
    case TFormulaType::polynom:
        return c(0) + c(1) * x + c(2) * std::pow(x, 2.0) + c(3) * std::pow(x, 3.0) + c(4) * std::pow(x, 4.0) +
               c(5) * std::pow(x, 5.0);
    case TFormulaType::powered: {
        // X^p has no real value for a negative X and a non-integral p, and none at X = 0 for a negative p
        // (the anchor point itself). There the power term is dropped and the value is the constant term,
        // so a curve drawn through such a segment stays finite and evaluation never traps.
        const double power = std::pow(x, c(2));
        if (!std::isfinite(power))
            return c(0);
        return c(0) + c(1) * power;
    }
    case TFormulaType::exponential:
        return c(0) + c(1) * std::exp(c(2) * x);
    case TFormulaType::logariphmic: {
        const double arg = c(2) * x;
        return arg > 0 ? c(0) + c(1) * std::log(arg) : c(0);
    }
    default:
        return 0;
    }
}

// The formula in force at `index`, or nullptr for none. Points into the list: no copy on the hot path.
const TSegmentFormula* resolvedFormula(const TCalibration& calibration, int index)
{
    if (index < 0 || index >= static_cast<int>(calibration.points.size()))
        return nullptr;
    for (int i = index; i >= 0; --i) {
        const TSegmentFormula& formula = calibration.points[static_cast<std::size_t>(i)].formula;
        if (formula.type != TFormulaType::previos)
            return &formula;
    }
    return nullptr;
}

bool cacheValid(const TCalibration& calibration)
{
    const int count = static_cast<int>(calibration.points.size());
    return calibration.lowIndex >= 0 && calibration.highIndex >= 0 && calibration.lowIndex < count &&
           calibration.highIndex < count;
}

std::uint32_t channel(std::uint32_t colour, int shift)
{
    return (colour >> shift) & 0xFFu;
}

// Nearest integer of the weighted channel, halves up (127.5 -> 128), kept within 0..255 (and 0 for a NaN
// that infinite frequencies could produce).
std::uint32_t blendChannel(double value)
{
    if (!(value >= 0))
        return 0;
    if (value >= 255)
        return 255;
    return static_cast<std::uint32_t>(std::floor(value + 0.5));
}

struct Evaluation {
    double thrust = 0;
    int nearest = -1;
    bool hasRange = false;
    const TSegmentFormula* colourFormula = nullptr; // formula whose colour applies outside the blend
    bool blended = false;
    const TSegmentFormula* formulaN = nullptr;
    const TSegmentFormula* formulaS = nullptr;
    double dn = 0, ds = 0, dx = 0;
};

// The one evaluation behind SensorThrust and its two variants. Colour details are collected only when
// asked for, so the plain variant does no more than it needs.
Evaluation evaluate(TCalibration& calibration, double f)
{
    Evaluation e;
    if (!cacheValid(calibration) && !PrepareSensorRange(calibration))
        return e;
    // A frequency that is not a number has no thrust; it is treated like a calibration without range.
    if (std::isnan(f))
        return e;
    e.hasRange = true;
    const auto& points = calibration.points;
    const TCalibPoint& low = points[static_cast<std::size_t>(calibration.lowIndex)];
    const TCalibPoint& high = points[static_cast<std::size_t>(calibration.highIndex)];

    if (f < calibration.lowFrequency) {
        // Below the range only the lowest point's own formula counts; a previos there is not followed.
        e.colourFormula = &low.formula;
        if (hasFormula(low.formula.type))
            e.thrust = EvalSegmentFormula(low.formula, low.frequency, f);
        else
            e.thrust = low.thrust - (calibration.lowFrequency - f) * calibration.lowSlope;
        return e;
    }
    if (f > calibration.highFrequency) {
        const TSegmentFormula* formula = resolvedFormula(calibration, calibration.highIndex);
        e.colourFormula = formula;
        if (formula != nullptr && hasFormula(formula->type))
            e.thrust = EvalSegmentFormula(*formula, high.frequency, f);
        else
            e.thrust = high.thrust + (f - calibration.highFrequency) * calibration.highSlope;
        return e;
    }

    // Inside the range. The searches accept strictly smaller distances only, so the earlier point wins a
    // tie. They start from infinity rather than from the highest frequency: for calibrations at positive
    // frequencies that is the same, and it keeps zero or negative frequencies from leaving no point at all.
    const int count = static_cast<int>(points.size());
    constexpr double inf = std::numeric_limits<double>::infinity();
    int n = -1;
    double best = inf;
    for (int i = 0; i < count; ++i) {
        const double d = std::fabs(f - points[static_cast<std::size_t>(i)].frequency);
        if (d < best) {
            best = d;
            n = i;
        }
    }
    if (n < 0) {
        // Only possible with frequencies that are not numbers; nothing sensible to interpolate.
        e.hasRange = false;
        return e;
    }
    e.nearest = n;
    const TCalibPoint& pn = points[static_cast<std::size_t>(n)];
    const TSegmentFormula* fn = resolvedFormula(calibration, n);
    const bool nHasFormula = fn != nullptr && hasFormula(fn->type);
    if (best == 0) {
        e.colourFormula = fn;
        e.thrust = nHasFormula ? EvalSegmentFormula(*fn, pn.frequency, f) : pn.thrust;
        return e;
    }

    const bool nBelow = pn.frequency < f;
    int s = -1;
    best = inf;
    for (int i = 0; i < count; ++i) {
        const double fi = points[static_cast<std::size_t>(i)].frequency;
        if (nBelow ? !(fi > f) : !(fi <= f))
            continue;
        const double d = std::fabs(f - fi);
        if (d < best) {
            best = d;
            s = i;
        }
    }
    if (s < 0) {
        // Cannot happen with a valid range (f lies between the lowest and the highest point); kept as a
        // guard so that a damaged list gives the nearest point's thrust instead of reading past the end.
        e.colourFormula = fn;
        e.thrust = pn.thrust;
        return e;
    }
    const TCalibPoint& ps = points[static_cast<std::size_t>(s)];
    const TSegmentFormula* fs = resolvedFormula(calibration, s);
    const bool sHasFormula = fs != nullptr && hasFormula(fs->type);

    const double dx = pn.frequency - ps.frequency;
    const double dy = pn.thrust - ps.thrust;
    const double dn = std::fabs(f - pn.frequency);
    const double ds = std::fabs(f - ps.frequency);
    const double valueN =
        nHasFormula ? EvalSegmentFormula(*fn, pn.frequency, f) : pn.thrust + (f - pn.frequency) * dy / dx;
    const double valueS =
        sHasFormula ? EvalSegmentFormula(*fs, ps.frequency, f) : ps.thrust + (f - ps.frequency) * dy / dx;
    const double adx = std::fabs(dx);
    e.thrust = (1 - dn / adx) * valueN + (1 - ds / adx) * valueS;
    e.blended = true;
    e.formulaN = fn;
    e.formulaS = fs;
    e.dn = dn;
    e.ds = ds;
    e.dx = adx;
    return e;
}

} // namespace

double EvalSegmentFormula(const TSegmentFormula& formula, double anchorFrequency, double f)
{
    return evalAtOffset(formula, f - anchorFrequency);
}

float EvalFormulaAt(const TSegmentFormula& formula, double x)
{
    return static_cast<float>(evalAtOffset(formula, x));
}

TSegmentFormula ResolveSegmentFormula(const TCalibration& calibration, int index)
{
    const TSegmentFormula* formula = resolvedFormula(calibration, index);
    return formula != nullptr ? *formula : TSegmentFormula{};
}

bool PrepareSensorRange(TCalibration& calibration)
{
    calibration.lowIndex = -1;
    calibration.highIndex = -1;
    const auto& points = calibration.points;
    if (points.size() < 2)
        return false;

    // One pass keeping the two lowest and the two highest distinct frequencies; equal frequencies keep the
    // earlier point. The start values are infinities (not the largest single-precision value), so that no
    // finite frequency is ever out of reach.
    constexpr double inf = std::numeric_limits<double>::infinity();
    double low1 = inf, low2 = inf, high1 = -inf, high2 = -inf;
    int iLow1 = -1, iLow2 = -1, iHigh1 = -1, iHigh2 = -1;
    for (int i = 0; i < static_cast<int>(points.size()); ++i) {
        const double fr = points[static_cast<std::size_t>(i)].frequency;
        if (fr < low1) {
            low2 = low1;
            iLow2 = iLow1;
            low1 = fr;
            iLow1 = i;
        } else if (fr > low1 && fr < low2) {
            low2 = fr;
            iLow2 = i;
        }
        if (fr > high1) {
            high2 = high1;
            iHigh2 = iHigh1;
            high1 = fr;
            iHigh1 = i;
        } else if (fr < high1 && fr > high2) {
            high2 = fr;
            iHigh2 = i;
        }
    }
    if (iLow1 < 0 || iLow2 < 0 || iHigh1 < 0 || iHigh2 < 0)
        return false;

    // The cache keeps double precision: nothing depends on the narrower values, and single precision
    // would turn very large calibration frequencies into infinities.
    const auto thrust = [&points](int i) { return points[static_cast<std::size_t>(i)].thrust; };
    calibration.lowSlope = (thrust(iLow2) - thrust(iLow1)) / (low2 - low1);
    calibration.highSlope = (thrust(iHigh1) - thrust(iHigh2)) / (high1 - high2);
    calibration.lowFrequency = low1;
    calibration.highFrequency = high1;
    calibration.lowIndex = iLow1;
    calibration.highIndex = iHigh1;
    return true;
}

double SensorThrust(TCalibration& calibration, double f)
{
    return evaluate(calibration, f).thrust;
}

double SensorThrustNearest(TCalibration& calibration, double f, int& nearest)
{
    const Evaluation e = evaluate(calibration, f);
    nearest = e.nearest;
    return e.thrust;
}

double SensorThrustColour(TCalibration& calibration, double f, std::uint32_t& colour,
                          std::uint32_t dataLineColour)
{
    const Evaluation e = evaluate(calibration, f);
    if (!e.hasRange)
        return -1.0;
    if (!e.blended) {
        colour = e.colourFormula != nullptr ? e.colourFormula->colour : TSegmentFormula::NoColour;
        return e.thrust;
    }
    std::uint32_t cn = e.formulaN != nullptr ? e.formulaN->colour : TSegmentFormula::NoColour;
    std::uint32_t cs = e.formulaS != nullptr ? e.formulaS->colour : TSegmentFormula::NoColour;
    if (cn == TSegmentFormula::NoColour && cs == TSegmentFormula::NoColour) {
        colour = dataLineColour;
        return e.thrust;
    }
    if (cn == TSegmentFormula::NoColour)
        cn = dataLineColour;
    if (cs == TSegmentFormula::NoColour)
        cs = dataLineColour;
    // The nearer point weighs more: n's weight is the distance to s and the other way round.
    std::uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double v = (e.ds * channel(cn, shift) + e.dn * channel(cs, shift)) / e.dx;
        result |= blendChannel(v) << shift;
    }
    colour = result;
    return e.thrust;
}

int AddCalibPoint(TCalibration& calibration, const TCalibPoint& point)
{
    calibration.invalidate();
    auto& points = calibration.points;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i].frequency == point.frequency) {
            points[i] = point;
            return static_cast<int>(i);
        }
    }
    points.push_back(point);
    return static_cast<int>(points.size()) - 1;
}

int DeleteCalibPoint(TCalibration& calibration, int index)
{
    calibration.lowIndex = -1;
    calibration.highIndex = -1;
    auto& points = calibration.points;
    if (points.size() == 1) {
        // The last point stays, reset, so that a sensor never ends up without any point.
        points[0] = TCalibPoint{};
        return index;
    }
    if (index < 0 || index >= static_cast<int>(points.size()))
        return -1;
    points.erase(points.begin() + index);
    return index;
}

void SortCalibPoints(TCalibration& calibration)
{
    calibration.invalidate();
    auto& points = calibration.points;
    // Selection sort that moves the lowest frequency (the last of equal lowest values) to the end.
    for (int i = static_cast<int>(points.size()) - 1; i > 0; --i) {
        int lowest = 0;
        for (int j = 1; j <= i; ++j)
            if (points[static_cast<std::size_t>(j)].frequency <=
                points[static_cast<std::size_t>(lowest)].frequency)
                lowest = j;
        if (lowest != i)
            std::swap(points[static_cast<std::size_t>(lowest)], points[static_cast<std::size_t>(i)]);
    }
}

namespace {

void addRun(std::vector<FormulaRun>& runs, std::string text, bool bold = false,
            RunLevel level = RunLevel::baseline)
{
    runs.push_back(FormulaRun{std::move(text), bold, level});
}

void symbolicRuns(std::vector<FormulaRun>& runs, TFormulaType type)
{
    constexpr auto sub = RunLevel::subscript;
    constexpr auto sup = RunLevel::superscript;
    switch (type) {
    case TFormulaType::linear:
        addRun(runs, "A", true);
        addRun(runs, " + ");
        addRun(runs, "B", true);
        addRun(runs, " * X");
        break;
    case TFormulaType::polynom:
        for (int k = 0; k <= 5; ++k) {
            addRun(runs, "A", true);
            addRun(runs, std::to_string(k), true, sub);
            if (k > 0) {
                addRun(runs, " * X");
                addRun(runs, std::to_string(k), false, sup);
            }
            if (k < 5)
                addRun(runs, " + ");
        }
        break;
    case TFormulaType::powered:
        addRun(runs, "A", true);
        addRun(runs, "p", true, sub);
        addRun(runs, " + ");
        addRun(runs, "B", true);
        addRun(runs, "p", true, sub);
        addRun(runs, " * X");
        addRun(runs, "P", true, sup);
        break;
    case TFormulaType::exponential:
        addRun(runs, "A", true);
        addRun(runs, "e", true, sub);
        addRun(runs, " + ");
        addRun(runs, "B", true);
        addRun(runs, "e", true, sub);
        addRun(runs, " * e");
        addRun(runs, "P * X", true, sup);
        break;
    case TFormulaType::logariphmic:
        addRun(runs, "A", true);
        addRun(runs, "ln", true, sub);
        addRun(runs, " + ");
        addRun(runs, "B", true);
        addRun(runs, "ln", true, sub);
        addRun(runs, " * ln(");
        addRun(runs, "P", true);
        addRun(runs, " * X)");
        break;
    default:
        break;
    }
}

void numericRuns(std::vector<FormulaRun>& runs, const TSegmentFormula& formula, char sep)
{
    constexpr auto sup = RunLevel::superscript;
    // Coefficients are widened before formatting, so 0.1 typed in shows as 0.100000001490116.
    const auto v = [&formula, sep](int i) {
        return formatGeneral(static_cast<double>(formula.c[static_cast<std::size_t>(i)]), 15, sep);
    };
    switch (NormalizedFormulaType(formula.type)) {
    case TFormulaType::linear:
        addRun(runs, v(0), true);
        addRun(runs, " + ");
        addRun(runs, v(1), true);
        addRun(runs, " * X");
        break;
    case TFormulaType::polynom:
        addRun(runs, v(0), true);
        addRun(runs, " + ");
        addRun(runs, v(1), true);
        addRun(runs, " * X");
        addRun(runs, " + ");
        for (int k = 2; k <= 5; ++k) {
            addRun(runs, v(k), true);
            addRun(runs, " * X");
            addRun(runs, std::to_string(k), false, sup);
            if (k < 5)
                addRun(runs, " + ");
        }
        break;
    case TFormulaType::powered:
        addRun(runs, v(0), true);
        addRun(runs, " + ");
        addRun(runs, v(1), true);
        addRun(runs, " * X");
        addRun(runs, v(2), true, sup);
        break;
    case TFormulaType::exponential:
        addRun(runs, v(0), true);
        addRun(runs, " + ");
        addRun(runs, v(1), true);
        addRun(runs, " * e");
        addRun(runs, v(2) + " * X", true, sup);
        break;
    case TFormulaType::logariphmic:
        addRun(runs, v(0), true);
        addRun(runs, " + ");
        addRun(runs, v(1), true);
        addRun(runs, " * ln(");
        addRun(runs, v(2), true);
        addRun(runs, " * X)");
        break;
    default:
        break;
    }
}

} // namespace

std::vector<FormulaRun> FormulaRuns(const TSegmentFormula& formula, bool symbolic, char decimalSeparator)
{
    std::vector<FormulaRun> runs;
    addRun(runs, "Y = ");
    if (symbolic)
        symbolicRuns(runs, NormalizedFormulaType(formula.type));
    else
        numericRuns(runs, formula, decimalSeparator);
    return runs;
}

} // namespace selva
