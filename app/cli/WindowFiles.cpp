// The files the window program reads at start, read the same way by the analysis commands: its settings
// file (the sensor library and sensor in use, the chart's look, the author's name) and the sensor library.
#include "app/cli/AnalysisOptions.h"
#include "app/cli/CliText.h"
#include "app/cli/Commands.h"
#include "app/cli/Session.h"

#include "common/Format.h"
#include "store/StoreFiles.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>

namespace selva::cli {

bool loadSensors(Session& s, const std::string& fileName);
bool activateSensor(Session& s, std::int32_t number, const std::string& fileName);

namespace {

namespace fs = std::filesystem;

bool regularFile(const std::string& name)
{
    std::error_code ec;
    return !name.empty() && fs::is_regular_file(name, ec);
}

// The settings record of a file, read without changing the file (the window moves a damaged one aside
// before it writes a good one on closing; a script writes no settings, so it leaves the file alone).
StoreLoad readSettings(const std::string& name, TSettingsRecord& record)
{
    std::error_code ec;
    if (!regularFile(name))
        return StoreLoad::Missing;
    if (fs::file_size(name, ec) != SettingsFileSize)
        return StoreLoad::Damaged;
    std::ifstream in(name, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    auto decoded = decodeSettingsFile(bytes);
    if (!decoded)
        return StoreLoad::Damaged;
    record = std::move(*decoded);
    return StoreLoad::Loaded;
}

bool given(const AnalysisOptions& o, const char* option)
{
    for (const std::string& g : o.given)
        if (g == option)
            return true;
    return false;
}

} // namespace

int readWindowSettings(Session& s, const AnalysisOptions& o, std::string& settingsFile, bool& haveSettings)
{
    settingsFile = o.settingsFile.empty() ? Workspace::DefaultSettingsFile(programFolder()) : o.settingsFile;
    haveSettings = false;
    switch (readSettings(settingsFile, s.store.settings)) {
    case StoreLoad::Loaded:
        haveSettings = true;
        break;
    case StoreLoad::Missing:
        // The window's own file is missing until the window first closes; one named on purpose must be there.
        if (!o.settingsFile.empty()) {
            std::cerr << "Cannot read the settings file " << settingsFile << '\n';
            return kExitFailure;
        }
        break;
    case StoreLoad::Damaged:
        if (!o.settingsFile.empty()) {
            std::cerr << "The settings file " << settingsFile << " is damaged\n";
            return kExitFailure;
        }
        std::cerr << "The settings file " << settingsFile << " is damaged: its sensor and look are not used\n";
        break;
    }
    return kExitOk;
}

void reportSensor(const Session& s, const std::string& library)
{
    const auto i = static_cast<std::size_t>(s.sensors.ActiveSensorIndex);
    const std::string name = i < s.sensors.sensors.size() ? s.sensors.sensors[i].name : std::string();
    std::cerr << "Sensor library: " << escapeControls(library) << "; sensor " << s.sensors.ActiveSensorId << " \""
              << escapeControls(name) << '"';
    if (s.sensors.ActiveSensorIndex == 0)
        std::cerr << ", the default sensor without calibration: the results in newtons are not computed";
    std::cerr << '\n';
}

int chooseSensor(Session& s, const AnalysisOptions& o)
{
    std::string settingsFile;
    bool haveSettings = false;
    if (const int code = readWindowSettings(s, o, settingsFile, haveSettings); code != kExitOk)
        return code;

    if (!o.sensorsFile.empty()) {
        if (!loadSensors(s, o.sensorsFile) || !activateSensor(s, o.sensor, o.sensorsFile))
            return kExitFailure;
        reportSensor(s, s.sensors.SensorFileName);
        return kExitOk;
    }

    // As the window starts: the library beside the source (else the one beside the settings), silently;
    // then the library and sensor its settings name, when that library is there.
    const std::string atStart = Workspace::LibraryAtStart(o.source, settingsFile);
    std::string used;
    if (regularFile(atStart) && s.sensors.LoadSensorFile(atStart, false, s.prompts()))
        used = atStart;
    const TSettingsRecord& settings = s.store.settings;
    if (haveSettings && regularFile(settings.SensorFileName) &&
        s.sensors.LoadSensorFile(settings.SensorFileName, true, s.prompts()))
        used = settings.SensorFileName;
    const std::string library = used.empty() ? "none (no " + atStart + ")" : used;
    if (given(o, "--sensor")) {
        if (!activateSensor(s, o.sensor, used.empty() ? "the built-in library" : used))
            return kExitFailure;
    } else if (haveSettings) {
        s.sensors.SetActiveSensor(settings.ActiveSensorId); // the window says nothing when it is not there
    }
    reportSensor(s, library);
    return kExitOk;
}

} // namespace selva::cli
