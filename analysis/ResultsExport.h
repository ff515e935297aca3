#pragma once

#include "analysis/AnalysisState.h"
#include "common/AtomicFile.h"

#include <string>
#include <string_view>
#include <vector>

namespace selva {

// The results export ("Экспорт результатов"): the analysis series as a text file in the layout of a
// frequency record, code page 1251, CR LF line ends:
//
//   FREQ or Thrust
//   the name of the analysed source
//   number of values
//   step in seconds, general format with 5 significant digits
//   ---------------
//   START
//   one value a line, 8 characters wide with 3 decimals ("8460.000", "  80.000", "  -1.500")
//
// Numbers always use a point. A ".frq" export can be opened again as a source; a ".trt" one cannot.
enum class ExportKind {
    Frequency, // FreqData, extension ".frq"
    Thrust,    // ThrustNet with NetThrust, else ThrustData, in newtons; extension ".trt"
};

// The kind follows the "в ньютонах" box: thrust when thrust is shown.
inline ExportKind ExportKindFor(bool showNewtons)
{
    return showNewtons ? ExportKind::Thrust : ExportKind::Frequency;
}
inline const char* ExportExtension(ExportKind kind)
{
    return kind == ExportKind::Thrust ? ".trt" : ".frq";
}

// The save dialog is prepared for the kind: its filter index among "Частота (*.frq)" (1) and
// "Тяга (*.trt)" (2), and its default extension. Picking the other filter in the dialog does not change
// the kind.
inline int ExportFilterIndex(ExportKind kind)
{
    return kind == ExportKind::Thrust ? 2 : 1;
}
// The file written for a name chosen in the dialog: a name without an extension gets the kind's.
std::string ExportTargetName(std::string_view chosen, ExportKind kind);

// The name the save dialog proposes: the file-name part of the source name with its extension replaced
// ("C:\test\run1.wav" gives "run1.frq"). Both '\' and '/' separate folders.
std::string ExportFileName(std::string_view sourceName, ExportKind kind);

// The whole file text for the state (PointCount values; none when the series is shorter). `sourceName`
// is UTF-8 and is written in code page 1251.
std::string ExportText(const AnalysisState& state, ExportKind kind, std::string_view sourceName);

// Writes the export through a temporary file renamed into place (an existing file is replaced without
// a question; a failed write leaves it as it was), by the rules of `options` (common/AtomicFile.h; pass
// Workspace::SaveOptionsFor(SaveWhat::Export)). With PointCount 0 nothing is written and the result is
// true. False with `error` set (the reason, without the file name) when the file cannot be written.
bool WriteResultsExport(const std::string& fileName, const AnalysisState& state, ExportKind kind,
                        std::string_view sourceName, std::string* error = nullptr,
                        const SaveOptions& options = {});

} // namespace selva
