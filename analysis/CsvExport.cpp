#include "analysis/CsvExport.h"

#include "common/AtomicFile.h"
#include "common/Format.h"

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

// Decimals that show every multiple of the step exactly: 2 for 0.01, 4 for 0.0025.
int stepDecimals(double step)
{
    for (int d = 0; d < 9; ++d) {
        const double scaled = step * std::pow(10.0, d);
        if (std::abs(scaled - std::round(scaled)) < 1e-9 * std::max(1.0, scaled))
            return d;
    }
    return 9;
}

std::string number(double v, int decimals, char separator)
{
    if (!std::isfinite(v))
        return {};
    return formatFixed(v == 0 ? 0.0 : v, decimals, 0, separator); // never "-0.000"
}

} // namespace

std::string CsvText(const AnalysisState& s, const CsvFormat& format)
{
    const std::vector<double>& thrust = s.NetThrust ? s.ThrustNet : s.ThrustData;
    const std::size_t n = std::min<std::size_t>(s.PointCount, std::min(thrust.size(), s.FreqData.size()));
    const int timeDecimals = stepDecimals(s.AnalysisStep);
    const char f = format.field;
    std::string t;
    t.reserve(64 + n * 32);
    t += std::string("\"time (s)\"") + f + "\"thrust (N)\"" + f + "\"frequency (Hz)\"\r\n";
    for (std::size_t i = 0; i < n; ++i) {
        t += number(static_cast<double>(i) * s.AnalysisStep, timeDecimals, format.decimal);
        t += f;
        t += number(thrust[i], 3, format.decimal);
        t += f;
        t += number(s.FreqData[i], 3, format.decimal);
        t += "\r\n";
    }
    return t;
}

bool WriteCsvFile(const std::string& fileName, const AnalysisState& state, const CsvFormat& format,
                  std::string* error, const SaveOptions& saveOptions)
{
    std::string why;
    if (writeFileAtomically(fileName, CsvText(state, format), &why, saveOptions))
        return true;
    if (error)
        *error = "Невозможно записать файл " + fileName + ": " + why;
    return false;
}

} // namespace selva
