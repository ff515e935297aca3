#pragma once

// The analysis of one source as `analyze` runs it, shared by the commands that analyse sources
// (analyze, export, compare, render). Defined in CmdAnalyze.cpp and WindowFiles.cpp.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace selva {
struct AnalysisState;
}

namespace selva::cli {

struct Session;

// The calculation settings a user sets in the windows, with the defaults of a fresh analysis window
// except that each one is applied explicitly, so a script never depends on what was stored before. The
// sensor library and sensor are the window's (see chooseSensor) unless given.
struct AnalysisOptions {
    std::string source;
    std::string sensorsFile;
    std::string settingsFile;
    std::int32_t sensor = 0;
    std::optional<double> step;
    std::optional<std::int32_t> filter;
    std::string channel = "right";
    std::int32_t noise = 0;
    std::string position = "horizontal";
    float charge = 0;
    float rig = 0;
    bool noChargeWeight = false;
    bool noRigWeight = false;
    bool rigid = false;
    bool gross = false;
    std::optional<double> start;
    std::optional<double> end;
    std::string saveProject;
    // Options given on the command line (a project source takes its settings from the project).
    std::vector<std::string> given;
};

bool isProjectFile(const std::string& name);

// SOURCE, the calculation settings and --save-project.
void addAnalysisOptions(CLI::App* sub, AnalysisOptions& o);
// The calculation settings alone (sensor, step, filter, channel, noise, mounting, weights, times).
void addAnalysisSettings(CLI::App* sub, AnalysisOptions& o);
// Which of the options were given (after parsing).
void collectGiven(const CLI::App* sub, AnalysisOptions& o);

// Runs the analysis of o.source as the window does. Returns an exit code; kExitOk leaves the results in
// the session, with its presenter made. Messages go to stderr.
int runAnalysis(Session& s, const AnalysisOptions& o);

// The object `analyze --json` prints. `calibrated`: the active sensor gives newtons.
nlohmann::ordered_json analysisJson(const AnalysisState& st, bool calibrated);

// The window's settings file (--settings, else the one beside the program or in the user's folder) into
// the session's settings record. An exit code: a file named by --settings must be there and sound; the
// window's own may be missing (not yet written) or damaged (said on stderr, not used).
int readWindowSettings(Session& s, const AnalysisOptions& o, std::string& settingsFile, bool& haveSettings);
// The sensor library and sensor of a source's analysis: --sensors and --sensor when given, otherwise
// those the window would use (the library beside the source or the settings, then the settings' library
// and sensor). Says on stderr which were used. An exit code.
int chooseSensor(Session& s, const AnalysisOptions& o);
// "Sensor library: ...; sensor N "name"" on stderr, saying when the default sensor gives no newtons.
void reportSensor(const Session& s, const std::string& library);

} // namespace selva::cli
