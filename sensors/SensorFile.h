#pragma once

#include "sensors/Calibration.h"

#include <string>
#include <string_view>

namespace selva {

class SensorLibrary;
struct UserPrompts;

// Sensor library files (".sns"): code page 1251 text, CR LF lines, TAB separated fields, numbers with a
// point. Free header lines, then "START", then per sensor its sensor line (number, first frequency, first
// thrust, name), its point lines (number, frequency, thrust, formula fields) and an empty line.

// Same as SensorLibrary::LoadSensorFile / SaveSensorFile.
bool LoadSensorFile(SensorLibrary& library, const std::string& fileName, bool reportErrors,
                    const UserPrompts& prompts);
bool SaveSensorFile(SensorLibrary& library, const std::string& fileName, const UserPrompts& prompts);

// The formula fields of a point line: empty for type none without colour, otherwise the type code, the
// colour as eight upper-case hex digits and the coefficients the type uses, TAB separated.
std::string FormulaFields(const TSegmentFormula& formula);
// Reads formula fields back (a comma is accepted as decimal separator too). False, with `formula` left
// alone, when the text is not well-formed.
bool ParseFormulaFields(std::string_view text, TSegmentFormula& formula);

// Files larger than this are refused as unreadable: a sensor library is a few kilobytes.
inline constexpr std::size_t MaxSensorFileSize = 8u << 20;

} // namespace selva
