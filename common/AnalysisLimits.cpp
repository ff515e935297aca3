#include "common/AnalysisLimits.h"

#include "common/Error.h"
#include "common/Format.h"

namespace selva {

std::string TooManyPointsMessage(double points, double step)
{
    return "Слишком много точек анализа (" + formatGeneral(points, 12) + " при шаге " + formatShortest(step) +
           " сек, можно не больше " + std::to_string(MaxAnalysisPoints) + "): увеличьте шаг \"Точность\"";
}

void CheckPointCount(double points, double step)
{
    if (!(points <= static_cast<double>(MaxAnalysisPoints)))
        throw Error(TooManyPointsMessage(points, step));
}

} // namespace selva
