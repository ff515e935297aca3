// Motor file (.eng) reader: any bytes are either read or refused with selva::Error, without a crash or a
// hang; what is read keeps its promises (increasing times, one zero-thrust point at the end of each
// curve) and analyses as a thrust series.
#include "analysis/CompareTests.h"
#include "analysis/MotorFiles.h"
#include "common/Error.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<selva::EngMotor> motors;
    try {
        motors = selva::ParseEng(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.eng");
    } catch (const selva::Error&) {
        return 0;
    }
    for (const selva::EngMotor& m : motors) {
        const auto& p = m.points;
        if (p.empty() || p.back().thrust != 0)
            std::abort();
        for (std::size_t i = 1; i < p.size(); ++i)
            if (!(p[i].time > p[i - 1].time) || (p[i - 1].thrust == 0 && !(i == 1 && p[0].time == 0)))
                std::abort();
        try {
            const selva::AnalysisState s = selva::EngAnalysisState(m, 0.01, 100000);
            if (s.ThrustData.size() != s.PointCount || s.PointCount == 0)
                std::abort();
            (void)selva::ComputeStandardFigures(s, true);
        } catch (const selva::Error&) {
            // a curve too long for the step
        }
        const selva::StandardFigures f = selva::ComputeStandardFigures(selva::EngCurve(m));
        (void)selva::MotorFilePoints(selva::BurnCurve(selva::EngCurve(m), f), {});
    }
    return 0;
}
