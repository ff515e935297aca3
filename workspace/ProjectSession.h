#pragma once

#include "analysis/ThrustAnalysis.h"
#include "common/Format.h"
#include "common/UserPrompts.h"
#include "store/SettingsStore.h"

#include <functional>
#include <string>

namespace selva {

class Workspace;

// One chart axis as the analysis window shows it: scaled automatically, or by hand between min and max.
struct AxisRange {
    bool automatic = true;
    double max = 0;
    double min = 0;
    bool operator==(const AxisRange&) const = default;
};

// The analysis window's own state that a project stores and restores (the rest of a project lives in
// the analysis state, the sensor library and the records). The window fills it before a save and shows
// it after a load.
struct MainWindowView {
    bool invert = true;          // cbxInvert
    bool showNewtons = false;    // cbxN checked
    bool newtonsEnabled = false; // cbxN enabled: the active sensor is not the library's first
    bool showDelta = false;      // cbxDelta
    double testDate = 0;         // pkrData: days since 30 December 1899, fraction = time of day
    bool showDate = false;       // cbxDate
    bool showResults = false;    // cbxResult
    bool startByHand = false;    // "Начало тяги" pressed
    bool endByHand = false;      // "Конец тяги" pressed
    bool restByHand = false;     // "Линия покоя" pressed
    AxisRange thrustAxis;        // the value axis
    AxisRange timeAxis;
    TWindowPlacement placement; // the main window's, captured on saves
};

// What a project load did, for the window to show.
struct ProjectLoadResult {
    bool ok = false;               // the file was read with a right checksum and applied (the load's result)
    bool applied = false;          // the analysis state, the sensor library and the records changed: refresh
                                   // everything (appearance, edits, sensor combo, `view`, chart, results)
    MainWindowView view;           // the window state to show (valid when applied)
    std::string caption;           // the window's new caption (valid when applied)
    bool sourceOpened = false;     // the project's source is open and the analysis recomputed
    std::string sourceDescription; // lblInfo when sourceOpened
    bool cancelled = false;        // the recomputation was cancelled through the progress object
    bool damaged = false;          // the file exists but is not a project (empty, wrong length or checksum)
    // When not ok: "Ошибка открытия файла " + name + ": " + what is wrong; told through the prompts
    // unless the file does not exist.
    std::string error;
    bool sensorFound = true;       // the stored sensor library and sensor were found and chosen
};

// What loading the settings file did.
struct SettingsLoadResult {
    StoreLoad status = StoreLoad::Missing;
    bool applied = false;        // the settings were applied: appearance, step edit, sensor combo, channel,
                                 // placement (settings.mainPlacement) need refreshing
    bool newtonsEnabled = false; // cbxN available; when false the window clears and disables it
};

// Loading and saving projects and the settings file against the workspace: the analysis state, the
// sensor library, the thrust computation and the records. It touches no window: what the window must
// refresh is returned. Messages go through the workspace's prompts.
//
// Threads: the UI thread (or the command-line tool's only thread). The recomputation after a project
// load goes through `recalculate`, which the window may point at its own worker-thread runner.
class ProjectSession {
public:
    explicit ProjectSession(Workspace& workspace);

    // Runs ThrustAnalysis::Recalculate and returns its result. Unset: the analysis's own Recalculate on
    // this thread.
    std::function<bool(Stages)> recalculate;

    // ---- projects

    // Loads a project and applies it: calculation settings, appearance, channel, step, filter, sensor
    // library and sensor, times and rest lines, options; then opens its source and recomputes, re-detecting
    // only the start, end and rest lines the project holds as 0 (those it stores are kept, so a project
    // saved and loaded again gives the same results). A file that cannot be loaded changes nothing (not
    // the caption, not the current project name, not the notes) and returns ok false with `error`; it is
    // told through the prompts, except for a file that does not exist (the caller knows what it asked
    // for). A damaged file (empty, of a wrong length, a wrong checksum) sets `damaged`.
    // Times the project stores that are not finite, lie outside its record or end before they start are
    // corrected as the window's edits correct them (see openProjectSource), and the correction is told.
    ProjectLoadResult LoadProject(const std::string& fileName);

    // Captures the analysis, the sensor library and `view` into the project record, copies it into the
    // settings and writes the project file with its notes. An empty name does nothing and returns "".
    // Throws selva::Error "Невозможно записать файл " + name + ": " + the reason when the file cannot be
    // written, or when it is a file the analysis uses (the source, the sensor library, the settings; see
    // Workspace::CheckSaveTarget); a read-only file is replaced only when prompts.confirmReadOnly says so.
    // Returns the new caption.
    // The source and the sensor library are stored as absolute paths; one longer than the record's field
    // refuses the save (selva::Error) and leaves the project in memory as it was.
    std::string SaveProject(const std::string& fileName, const MainWindowView& view);
    // The project record a save would write now (the names as they are, not yet made absolute), without
    // changing anything: the window compares two of these to know whether there is anything to save.
    TProjectRecord CaptureProject(const MainWindowView& view) const;

    // The window opened a source on its own (OpenSource): it becomes the project's source file and the
    // caption follows it. Returns the caption.
    std::string SourceOpened(const std::string& fileName);

    // ---- settings

    // Loads the settings file (empty name: the default) and applies it: step, filter, sensor library and
    // sensor, channel. A missing file changes nothing; a damaged one is moved aside and the settings in
    // memory are applied as they are.
    SettingsLoadResult LoadSettings(const std::string& fileName);
    // Takes the step, filter, sensor file and number, channel and the main window's placement into the
    // settings record (after copying the project into it when a project was loaded in this run) and
    // writes the settings file. Failure is not reported; returns whether it was written. A read-only
    // settings file, or one that is another file in use, is left alone without a question.
    bool SaveSettings(const std::string& fileName, const TWindowPlacement& mainPlacement);

private:
    ProjectLoadResult applyProject();
    void applyCalcSettings(const TProjectRecord& p);
    // Loads the library when the file exists and selects the sensor of that number when there is one.
    // With `report`, a missing library or sensor is told to the user. Returns whether both were found.
    bool selectStoredSensor(const std::string& sensorFile, std::int32_t sensorId, bool report);
    std::string activeSensorName() const;
    void openProjectSource(ProjectLoadResult& result);
    bool runRecalculate(Stages stages);
    const UserPrompts& prompts() const;

    Workspace& ws_;
    std::string loadingFile_; // the project file being applied; relative names are also sought beside it
};

// The other way, for saves.
float narrowToSingle(double v);

} // namespace selva
