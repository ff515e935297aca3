#pragma once

#include "analysis/AnalysisState.h"
#include "analysis/MotorFiles.h"
#include "analysis/StandardFigures.h"

#include <string>
#include <vector>

namespace selva {

// One test among several compared: its curve for the chart, aligned at its start of thrust, and the
// figures of the comparison table.
struct ComparedTest {
    std::string source;
    // Thrust above the zero line, time counted from the start of thrust: where the thrust leaves zero
    // before the burn (StandardFigures::impulseStart), which is t = 0 of a motor file too.
    std::vector<CurvePoint> curve;
    double alignTime = 0; // that start in the source's own time
    // The program's results and the standard figures.
    double thrustTime = 0;
    double totalImpulse = 0;
    double specificImpulse = 0;
    double maxThrust = 0;
    double averageThrust = 0;
    StandardFigures standard;
};

// The comparison entry of an analysis (`calibrated` as for ComputeStandardFigures). Without a burn the
// curve is the whole series, unshifted.
ComparedTest CompareEntry(const std::string& source, const AnalysisState& state, bool calibrated);

// A motor file's curve as an analysis of its own: the thrust series sampled at `step` from the start of
// thrust (t = 0) to the first sample at or after its last point, in ThrustData and ThrustNet alike with
// zero rest lines; the charge weight is its propellant mass, start and end of thrust are the series' ends,
// and the results are computed as ComputeResults does (sums of the points times the step). Throws
// selva::Error when the step is not positive or would make more than `maxPoints` points.
AnalysisState EngAnalysisState(const EngMotor& motor, double step, std::size_t maxPoints = 1u << 25);

// The numeric columns of the comparison table; keys as in `analyze --json`.
struct CompareColumn {
    const char* key;
    const char* title;
};
const std::vector<CompareColumn>& CompareColumns();
// A test's values in the order of CompareColumns.
std::vector<double> CompareValues(const ComparedTest& test);

// Mean and standard deviation of a figure over the tests: the sample deviation (divided by n − 1), as
// for repeated firings of one motor; 0 for fewer than two tests.
struct MeanStd {
    double mean = 0;
    double std = 0;
};
MeanStd MeanAndStd(const std::vector<double>& values);

} // namespace selva
