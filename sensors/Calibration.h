#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace selva {

// Formula codes as stored in sensor files and shown in the editor. A code outside 0..6 counts as `none`
// wherever it is evaluated or written.
enum class TFormulaType : std::uint8_t {
    none = 0,
    previos = 1, // the formula in force at the preceding point (see ResolveSegmentFormula)
    linear = 2,
    polynom = 3,
    powered = 4,
    exponential = 5,
    logariphmic = 6,
};

inline constexpr int FormulaTypeCount = 7;

// The code as a type; anything outside 0..6 becomes `none`.
TFormulaType FormulaTypeFromCode(int code);
// The same for a type that may hold a stray code.
TFormulaType NormalizedFormulaType(TFormulaType type);
// Grid names ("none", "previos", "linear", "polynom", ...) and editor combo texts ("polynomal" for polynom).
const char* FormulaTypeName(TFormulaType type);
const char* FormulaTypeComboText(TFormulaType type);
// Number of coefficients a type uses: 2 linear, 6 polynom, 3 powered/exponential/logariphmic, else 0.
int FormulaCoefficientCount(TFormulaType type);

// The formula of the segment anchored at a calibration point. X is always the offset of the evaluated
// frequency from the anchor point's frequency.
//   linear       c0 + c1·X
//   polynom      c0 + c1·X + ... + c5·X^5
//   powered      c0 + c1·X^c2
//   exponential  c0 + c1·e^(c2·X)
//   logariphmic  c0 + c1·ln(c2·X) when c2·X > 0, otherwise c0
struct TSegmentFormula {
    // Colours are 0x00BBGGRR (or 0xFF0000nn for system colour nn); this value means "no colour".
    static constexpr std::uint32_t NoColour = 0x1FFFFFFF;

    std::uint32_t colour = NoColour;
    TFormulaType type = TFormulaType::none;
    std::array<float, 6> c{}; // coefficients; those the type does not use are 0

    bool operator==(const TSegmentFormula&) const = default;
};

struct TCalibPoint {
    double frequency = 0; // Hz
    double thrust = 0;    // N
    TSegmentFormula formula;

    bool operator==(const TCalibPoint&) const = default;
};

// A sensor's calibration: the points plus a cache of the calibrated range. Every change of the points must
// set lowIndex to -1 (the helpers below do); every evaluation rebuilds the cache when an index is negative.
struct TCalibration {
    std::vector<TCalibPoint> points; // after SortCalibPoints: highest frequency first
    std::int32_t lowIndex = -1;      // index of the lowest frequency, -1 when the cache is invalid
    std::int32_t highIndex = -1;     // index of the highest frequency, -1 when the cache is invalid
    double lowFrequency = 0;
    double highFrequency = 0;
    double lowSlope = 0;  // thrust per Hz between the two lowest frequencies
    double highSlope = 0; // thrust per Hz between the two highest frequencies

    void invalidate() { lowIndex = -1; }
};

// Value of a formula at X = f - anchorFrequency; 0 for none and previos.
double EvalSegmentFormula(const TSegmentFormula& formula, double anchorFrequency, double f);
// The same with X given directly, in single precision (the editor's check for a blank formula).
float EvalFormulaAt(const TSegmentFormula& formula, double x);

// The formula in force at a point: walking from `index` towards 0, previos points are skipped. A walk that
// finds nothing, or an index outside the list, gives type none with no colour.
TSegmentFormula ResolveSegmentFormula(const TCalibration& calibration, int index);

// Computes the range cache; false when there are fewer than two distinct frequencies.
bool PrepareSensorRange(TCalibration& calibration);

// Thrust at frequency f. 0 when the calibration has no range. Called once per reading of long series:
// it allocates nothing.
double SensorThrust(TCalibration& calibration, double f);
// Also reports the index of the nearest point (-1 outside the calibrated range or without a range).
double SensorThrustNearest(TCalibration& calibration, double f, int& nearest);
// Also reports the curve colour at f. `dataLineColour` (the chart's data line colour) stands in for a
// segment without colour when blending. Without a range the result is -1.0 and `colour` is unchanged.
double SensorThrustColour(TCalibration& calibration, double f, std::uint32_t& colour,
                          std::uint32_t dataLineColour);

// Replaces the point of exactly the same frequency (whole record) or appends; returns its index.
int AddCalibPoint(TCalibration& calibration, const TCalibPoint& point);
// Removes the point at `index` and returns it, -1 when out of range. The only point of a list is reset
// to 0 Hz, 0 N, no formula instead of being removed.
int DeleteCalibPoint(TCalibration& calibration, int index);
// Orders the points by descending frequency (ascending thrust).
void SortCalibPoints(TCalibration& calibration);

// Text runs that show a formula: "Y = " then coefficients (bold), operators and X, with sub- and
// superscripts. `symbolic` gives the reference form with letter coefficients; otherwise numbers in general
// format with up to 15 significant digits and the caller's decimal separator.
enum class RunLevel : std::uint8_t { baseline, subscript, superscript };
struct FormulaRun {
    std::string text;
    bool bold = false;
    RunLevel level = RunLevel::baseline;

    bool operator==(const FormulaRun&) const = default;
};
std::vector<FormulaRun> FormulaRuns(const TSegmentFormula& formula, bool symbolic,
                                    char decimalSeparator = '.');

} // namespace selva
