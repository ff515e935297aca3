#pragma once

#include "analysis/AnalysisState.h"
#include "common/AtomicFile.h"

#include <string>

namespace selva {

// The analysis series as a table for a spreadsheet: a header "time (s)","thrust (N)","frequency (Hz)" and
// one row a point at full resolution, CR LF line ends. Thrust is the series the ".trt" export writes
// (ThrustNet with NetThrust, else ThrustData), in newtons; frequency is FreqData. Spreadsheets in a locale
// with a decimal comma read a comma inside a number, so that choice also separates the fields with a
// semicolon; otherwise a point and a comma.
struct CsvFormat {
    char decimal = '.';
    char field = ',';
};
inline CsvFormat CsvFormatFor(bool decimalComma)
{
    return decimalComma ? CsvFormat{',', ';'} : CsvFormat{'.', ','};
}

// Times with the decimals the step needs (at most 9), thrust and frequency with 3.
std::string CsvText(const AnalysisState& state, const CsvFormat& format);

// Through a temporary file renamed into place; false with `error` holding the message for the user.
// Written by the rules of `options` (common/AtomicFile.h); pass Workspace::SaveOptionsFor(SaveWhat::Export).
bool WriteCsvFile(const std::string& fileName, const AnalysisState& state, const CsvFormat& format,
                  std::string* error = nullptr, const SaveOptions& saveOptions = {});

} // namespace selva
