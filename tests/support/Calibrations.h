#pragma once

// Calibrations and segment formulas written out in a line, as the sensor tests build them.

#include "sensors/Calibration.h"

#include <cstdint>
#include <vector>

namespace selva::test {

inline TCalibration calibration(std::vector<TCalibPoint> points)
{
    TCalibration c;
    c.points = std::move(points);
    return c;
}

// A formula of `type` with its first coefficients `c` (the rest 0) and a colour (0x00BBGGRR).
inline TSegmentFormula formula(TFormulaType type, std::vector<float> c = {},
                               std::uint32_t colour = TSegmentFormula::NoColour)
{
    TSegmentFormula f;
    f.type = type;
    f.colour = colour;
    for (std::size_t i = 0; i < c.size() && i < f.c.size(); ++i)
        f.c[i] = c[i];
    return f;
}

} // namespace selva::test
