#pragma once

#include "analysis/AnalysisState.h"

#include <string>
#include <utility>
#include <vector>

namespace selva {

// One point of a thrust curve: seconds and newtons. A curve is a list of them in increasing time, linear
// in between.
struct CurvePoint {
    double time = 0;
    double thrust = 0;
    bool operator==(const CurvePoint&) const = default;
};

// The impulse class of a motor by the usual table: 1/8A up to 0.3125 N·s, 1/4A up to 0.625, 1/2A up to
// 1.25, then A up to 2.5 N·s and each following letter doubling (O up to 40 960 N·s, P up to 81 920, on
// to Z). A class includes its upper bound: exactly 2.5 N·s is A, exactly 1.25 is 1/2A.
struct ImpulseClass {
    std::string letter; // "1/8A", "1/4A", "1/2A", "A" ... "Z"; empty when the impulse is not positive
    double lower = 0;   // N·s, the class holds lower < I <= upper
    double upper = 0;
    double percent = 0; // where the impulse lies inside the class: 0 just above lower, 100 at upper
};
ImpulseClass ClassifyImpulse(double totalImpulse);

// "G80": the class letter and the average thrust rounded to whole newtons (halves up); empty without a
// class.
std::string MotorDesignation(const ImpulseClass& cls, double averageThrust);

// The figures rocketry users compare motors by, computed from a thrust curve above its zero line:
// - burn time: from the first time the thrust rises above 5 % of its peak to the last time it falls back
//   below it, each crossing interpolated linearly between the points around it;
// - total impulse: the trapezoid rule over the whole burn, from where the thrust leaves zero before that
//   first crossing to where it comes back to zero after the last one (zero crossings interpolated; the
//   curve's own ends when it does not get there);
// - average thrust: the impulse inside the burn time divided by the burn time;
// - class, designation and the percentage of the class from the total impulse.
// A curve with a peak not above zero has no burn: `found` is false and every figure is zero.
struct StandardFigures {
    bool found = false;
    double peakThrust = 0; // N
    double peakTime = 0;   // s, the first point of the peak value
    double burnStart = 0;  // s, the 5 % crossings, in the curve's own time
    double burnEnd = 0;
    double burnTime = 0;
    double impulseStart = 0; // s, the ends of the whole burn (zero crossings)
    double impulseEnd = 0;
    double totalImpulse = 0;  // N·s over impulseStart..impulseEnd
    double burnImpulse = 0;   // N·s over burnStart..burnEnd
    double averageThrust = 0; // N
    ImpulseClass impulseClass;
    std::string designation;
};

// The part of the peak a burn's ends are measured at.
inline constexpr double StandardBurnThreshold = 0.05;

StandardFigures ComputeStandardFigures(const std::vector<CurvePoint>& curve);

// The thrust series the results use, as a curve above its zero line: ThrustNet less RestThrustNet when
// NetThrust is set, else ThrustData less RestThrust; point i at i × AnalysisStep. Values that are not
// finite count as zero.
std::vector<CurvePoint> ThrustCurveOf(const AnalysisState& state);

// The standard figures of the analysis. `calibrated`: the active sensor converts to newtons (it is not
// the library's first, "<Без калибровки>"); without it there are no figures, as there are no results.
StandardFigures ComputeStandardFigures(const AnalysisState& state, bool calibrated);

// The curve between two times (linear interpolation at both ends); empty unless from < to.
std::vector<CurvePoint> CurveSlice(const std::vector<CurvePoint>& curve, double from, double to);
// The trapezoid integral of a curve, N·s.
double CurveImpulse(const std::vector<CurvePoint>& curve);

// The whole burn (impulseStart..impulseEnd) with its time counted from impulseStart: the motor's own
// thrust curve, as motor files carry it. Empty without a burn.
std::vector<CurvePoint> BurnCurve(const std::vector<CurvePoint>& curve, const StandardFigures& figures);

// The figures as the results panel's second group and the command-line tool show them: caption and
// value text, numbers in the general format with 5 significant digits and the given decimal separator.
inline constexpr const char* StandardFiguresTitle = "Стандартные показатели";
std::vector<std::pair<std::string, std::string>> StandardFiguresLines(const StandardFigures& figures,
                                                                      char decimalSeparator = '.');

} // namespace selva
