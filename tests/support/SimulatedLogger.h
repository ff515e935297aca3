#pragma once

// A simulated data logger on a pseudo-terminal, firing a known thrust profile through the calibration of
// sensor 1 of the bundled sample library, and what a test needs to check a recording against it.

#include "analysis/FreqRecord.h"
#include "analysis/ThrustProfile.h"
#include "logger/io/LoggerSimulator.h"
#include "sensors/Calibration.h"
#include "sensors/InverseCalibration.h"

#include <memory>
#include <string>

namespace selva::test {

// Sensor 1 of samples/sample.sns: a 100 kgf strain-gauge sensor, calibrated with weights.
inline TCalibration sampleSensorCalibration()
{
    TCalibration c;
    for (const auto& [f, t] : {std::pair{8702.5, 0.0},
                               {8643.0, 19.62},
                               {8584.1, 39.24},
                               {8525.9, 58.86},
                               {8468.2, 78.48},
                               {8411.3, 98.1}})
        AddCalibPoint(c, TCalibPoint{f, t, {}});
    SortCalibPoints(c);
    return c;
}

struct SimulatedLogger {
    explicit SimulatedLogger(LoggerSimulatorOptions options = {},
                             ThrustProfile profile = ThrustProfile::builtin())
        : sim(
              std::move(profile), [this](double thrust) { return inverse.frequencyAt(thrust); }, options)
    {
        sim.open();
        sim.start();
    }

    // The total impulse of a frequency record through the same calibration: the rest thrust of its first
    // half second subtracted, N*s.
    double impulseOf(const std::string& frqFile)
    {
        TFreq freq;
        if (!freq.LoadFromFile(frqFile))
            return -1;
        const double step = freq.SampleStep;
        double rest = 0, sum = 0;
        int restCount = 0;
        float f = freq.First();
        for (int i = 0;; ++i, f = freq.Next()) {
            const double thrust = SensorThrust(analysis, f);
            if (i < 50) {
                rest += thrust;
                ++restCount;
            }
            sum += thrust;
            if (freq.AtEnd())
                break;
        }
        return (sum - rest / restCount * freq.RecordCount) * step;
    }

    TCalibration calibration = sampleSensorCalibration(); // the simulator's, used on its thread
    TCalibration analysis = sampleSensorCalibration();    // the test's own
    InverseCalibration inverse{calibration};
    LoggerSimulator sim;
};

} // namespace selva::test
