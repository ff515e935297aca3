#include "analysis/ResultsExport.h"

#include "common/AtomicFile.h"
#include "common/Cp1251.h"
#include "common/Format.h"

#include <algorithm>

namespace selva {

std::string ExportFileName(std::string_view sourceName, ExportKind kind)
{
    const auto slash = sourceName.find_last_of("/\\");
    std::string_view base = slash == std::string_view::npos ? sourceName : sourceName.substr(slash + 1);
    const auto dot = base.find_last_of('.');
    if (dot != std::string_view::npos)
        base = base.substr(0, dot);
    return std::string(base) + ExportExtension(kind);
}

std::string ExportTargetName(std::string_view chosen, ExportKind kind)
{
    const auto slash = chosen.find_last_of("/\\");
    const std::string_view base = slash == std::string_view::npos ? chosen : chosen.substr(slash + 1);
    std::string name(chosen);
    if (base.find('.') == std::string_view::npos)
        name += ExportExtension(kind);
    return name;
}

std::string ExportText(const AnalysisState& state, ExportKind kind, std::string_view sourceName)
{
    const std::vector<double>& series = kind == ExportKind::Frequency ? state.FreqData
                                        : state.NetThrust             ? state.ThrustNet
                                                                      : state.ThrustData;
    const std::size_t n = std::min<std::size_t>(state.PointCount, series.size());
    std::string text;
    text.reserve(64 + sourceName.size() + n * 10);
    text += kind == ExportKind::Frequency ? "FREQ" : "Thrust";
    text += "\r\n";
    text += utf8ToCp1251(sourceName);
    text += "\r\n";
    text += std::to_string(n);
    text += "\r\n";
    text += formatGeneral(state.AnalysisStep, 5);
    text += "\r\n---------------\r\nSTART\r\n";
    for (std::size_t i = 0; i < n; ++i) {
        text += formatFixed(series[i] == 0 ? 0.0 : series[i], 3, 8); // never "-0.000"
        text += "\r\n";
    }
    return text;
}

bool WriteResultsExport(const std::string& fileName, const AnalysisState& state, ExportKind kind,
                        std::string_view sourceName, std::string* error, const SaveOptions& options)
{
    if (state.PointCount == 0)
        return true;
    return writeFileAtomically(fileName, ExportText(state, kind, sourceName), error, options);
}

} // namespace selva
