#pragma once

#include "sensors/Calibration.h"

#include <vector>

namespace selva {

// The frequency at which a sensor's calibration gives a thrust: the inverse of SensorThrust, found by
// bisection so that formulas and extrapolation are inverted exactly as the analysis evaluates them.
// Frequency falls as load rises on these sensors, but the bracket works for either direction as long as
// the curve is monotonic between the bracket's ends. Used to synthesise what a sensor would deliver for a
// known thrust (recordings for tests, the simulated devices).
class InverseCalibration {
public:
    // Throws selva::Error when the calibration has no range (fewer than two distinct frequencies).
    explicit InverseCalibration(TCalibration& calibration);

    // Throws selva::Error when the thrust lies outside what the sensor can deliver.
    double frequencyAt(double thrust) const;

private:
    TCalibration& c_;
    double lo_ = 0, hi_ = 0;
};

// The inverse tabulated over a range of thrusts, linear in between: a recording of an hour has 10^8
// samples, and bisecting each one costs minutes. With 2^16 levels the table's error is far below what any
// recording resolves. Thrusts outside [lowest, highest] are clamped to it.
class FrequencyTable {
public:
    FrequencyTable(const InverseCalibration& inverse, double lowestThrust, double highestThrust);

    double frequencyAt(double thrust) const;

private:
    static constexpr std::size_t kLevels = 1 << 16;
    double lo_ = 0, hi_ = 0;
    std::vector<double> table_;
};

} // namespace selva
