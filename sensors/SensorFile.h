#pragma once

#include "sensors/Calibration.h"

#include <string>
#include <string_view>
#include <vector>

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

// The reading part of LoadSensorFile, from the file's bytes: resets the library, reads the sensors after
// the START line and activates the sensor at ActiveSensorIndex again (the default sensor after the reset).
// Lines that cannot be read are left out and, with `reportErrors`, told in one message (LineErrorMessage).
// SensorFileName, SensorsModified and the combo are LoadSensorFile's.
void LoadSensorText(SensorLibrary& library, std::string_view bytes, bool reportErrors,
                    const UserPrompts& prompts);
// What SaveSensorFile writes: the header lines, START and every sensor.
std::string SensorFileText(const SensorLibrary& library, const std::vector<std::string>& header);

// How many unreadable lines a load names in its message; the rest are counted.
inline constexpr std::size_t MaxLinesNamed = 5;
// The one message for the unreadable lines of a load: "Ошибка в строке 4" for one line, otherwise
// "Ошибки в строках 2, 4, 5" with " и ещё в N строках" for the lines beyond `firstLines`. `count` is the
// number of such lines, `firstLines` the counters of the first of them. Empty when `count` is 0.
std::string LineErrorMessage(const std::vector<long long>& firstLines, long long count);

// The formula fields of a point line: empty for type none without colour, otherwise the type code, the
// colour as eight upper-case hex digits and the coefficients the type uses, TAB separated.
std::string FormulaFields(const TSegmentFormula& formula);
// Reads formula fields back (a comma is accepted as decimal separator too). False, with `formula` left
// alone, when the text is not well-formed.
bool ParseFormulaFields(std::string_view text, TSegmentFormula& formula);

// Files larger than this are refused with a message that says so: a sensor library is a few kilobytes.
inline constexpr std::size_t MaxSensorFileSize = 8u << 20;

} // namespace selva
