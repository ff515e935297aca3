#pragma once

// The arithmetic of the calibration curve drawing and of the formula drawing: the column cache, margins,
// ranges, label texts, pixel positions and the click mapping. The windows paint with what this gives.

#include "sensors/Calibration.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace selva {

// One pixel column of a curve: the thrust and the colour there, as SensorThrustColour gives them.
struct CurveColumn {
    float thrust = 0;
    std::uint32_t colour = TSegmentFormula::NoColour;
};

// The column cache of curve drawings, refilled by the next drawing or click mapping after Invalidate. It
// also refills by itself when asked for another calibration, plot width or data line colour than it
// holds, so a missed invalidation can show an old curve of the same sensor but never another sensor's.
// Every change of points, formulas or colours must still invalidate it.
class SensorCurveCache {
public:
    void Invalidate() { valid_ = false; }
    bool valid() const { return valid_; }
    const std::vector<CurveColumn>& columns() const { return columns_; }

    // Makes the cache hold `plotWidth` columns of `calibration`, which must have a range: column i at
    // f = fLow + i · (fHigh − fLow) / plotWidth, the step accumulated in single precision.
    void Fill(TCalibration& calibration, int plotWidth, std::uint32_t dataLineColour);

private:
    bool valid_ = false;
    const TCalibration* calibration_ = nullptr;
    int plotWidth_ = 0;
    std::uint32_t dataLineColour_ = 0;
    std::vector<CurveColumn> columns_;
};

// Where the parts of a curve drawing of width × height go.
struct CurveLayout {
    int width = 0;
    int height = 0;
    int mx = 0; // left and right margin, round(width / 20)
    int my = 0; // top and bottom margin, round(height / 20)
    int plotWidth = 0;
    int plotHeight = 0;
    int bottom = 0; // y of the frequency axis, height − my
    double fLow = 0, fHigh = 0;
    double tLow = 0, tHigh = 0; // from the cached thrusts; tHigh > tLow

    int top() const { return my; }
    int right() const { return width - mx; }
    // Ticks and labels i = 0..10.
    int tickX(int i) const;
    int tickY(int i) const;
    // Pixel of a frequency and of a thrust. Values far outside the ranges are held a long way outside
    // the canvas, so that whatever a formula gives stays a drawable integer.
    int frequencyX(double frequency) const;
    int thrustY(double thrust) const;
    // Label i: general format, 5 significant digits, at most 10 characters.
    std::string frequencyLabel(int i, char decimalSeparator) const;
    std::string thrustLabel(int i, char decimalSeparator) const;
    // Thrust that one pixel of height stands for.
    double thrustPerPixel() const { return (tHigh - tLow) / plotHeight; }
};

// Margins and ranges of a drawing, filling the cache when it is not valid. Nothing when the calibration
// has no range (the picture then keeps what it showed) or the canvas is too small for a plot area.
std::optional<CurveLayout> LayoutSensorCurve(TCalibration& calibration, int width, int height,
                                             SensorCurveCache& cache, std::uint32_t dataLineColour);

// Click mapping of a drawing of width × height: the frequency of the click column and the thrust there,
// and the index of the nearest calibration point (−1 left or right of the calibrated range, or without a
// range). The vertical position is not used.
int HitTestSensorCurve(TCalibration& calibration, int width, int height, int x, int y,
                       SensorCurveCache& cache, std::uint32_t dataLineColour, double& frequency,
                       double& thrust);

// Heights and tops of a formula line drawn in a rectangle of height h at top T.
struct FormulaMetrics {
    int left = 0;        // x offset of "Y = " from the rectangle's left edge, round(0.25 · base)
    int mainHeight = 0;  // round(0.8 · base), base = 0.8 h
    int smallHeight = 0; // round(base · 5/9)
    int textTop = 0;     // round(T + h/2 − main/2)
    int superTop = 0;    // round(text top − small/3)
    int subTop = 0;      // round(text top + main − 2 · small/3)
};
FormulaMetrics FormulaMetricsFor(int top, int height);

// The symbol drawn instead of a formula: a cross for `none`, an upward arrow for `previos`, as lines in
// a rectangle at (left, top) of height h. Empty for the other types.
struct SymbolLine {
    int x1, y1, x2, y2;
    bool operator==(const SymbolLine&) const = default;
};
std::vector<SymbolLine> FormulaSymbol(TFormulaType type, int left, int top, int height);

} // namespace selva
