#pragma once

// The field's conventions in the command-line tool: the standard figures in `analyze`, the motor files and
// the table of `export --kind eng|rse|csv`.
#include "analysis/MotorFiles.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <optional>
#include <ostream>
#include <string>

namespace selva::cli {

struct Session;

// standard_burn_time, standard_total_impulse, standard_average_thrust, impulse_class, designation,
// class_percent (zero and empty strings when there is no burn or the sensor gives no newtons).
void addStandardFiguresJson(nlohmann::ordered_json& j, const AnalysisState& st, bool calibrated);
// The second group of the results panel, after a heading line.
void printStandardFigures(std::ostream& out, const AnalysisState& st, bool calibrated);

// What export takes beyond the analysis for motor files and tables.
struct MotorExportOptions {
    std::optional<double> diameter, length, totalMass;
    std::optional<std::string> code, delays, manufacturer, type;
    std::optional<std::size_t> points;
    bool fullResolution = false;
    bool decimalComma = false;
};
void addMotorExportOptions(CLI::App* sub, MotorExportOptions& o);
bool isMotorExportKind(const std::string& kind);
// kExitUsage with a message when the options do not fit the kind (a motor file without its sizes and
// mass, motor data for another kind), else kExitOk.
int checkMotorExportOptions(const std::string& kind, const MotorExportOptions& o);
// Writes the analysis of the session as eng, rse or csv; an exit code.
int runMotorExport(const Session& s, const std::string& kind, const std::string& out,
                   const MotorExportOptions& o);

} // namespace selva::cli
