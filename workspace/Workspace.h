#pragma once

// The whole object graph of one analysis: the analysis state, the sensor library, the open frequency
// record and WAV recording, the progress of a running computation, the thrust computation over them, the
// settings and project records with the project notes, and the loading and saving of projects and
// settings. The window program, the command-line tool and the tests each create one Workspace the same
// way and pass references from it; the Parts' process-wide variables are its members.
//
// Threads: the UI thread (or the command-line tool's only thread). A computation may run on a worker
// over a copy of `state` (see analysis/ui/RecalcRunner); nothing else is touched then.

#include "analysis/AnalysisState.h"
#include "analysis/FreqRecord.h"
#include "analysis/ThrustAnalysis.h"
#include "common/AtomicFile.h"
#include "common/Progress.h"
#include "common/UserPrompts.h"
#include "sensors/SensorLibrary.h"
#include "sound/Wave.h"
#include "store/SettingsStore.h"
#include "workspace/ProjectSession.h"

#include <cstdint>
#include <string>

namespace selva {

// What opening a source did.
struct SourceOpening {
    bool accepted = false;      // the file is now the source (or, for a project, was read and applied)
    std::uint8_t kind = SourceNone; // SourceFreq or SourceWave when accepted; for a project, its source's
    bool project = false;       // the name was a project; `load` tells what loading it did
    ProjectLoadResult load;
    std::string description;    // "FREQ  " + the record's description, or "WAV  " + the recording's
    std::string error;          // why not, in the program's words (WAV errors in English), when refused
    // What the source holds that was taken although it is odd (a record whose count line disagrees with
    // its readings). Already told through the prompts, once for each opening.
    std::string warning;
};

// What a save writes, for the check of the files in use: a file may be saved onto itself (the library
// onto the library file, the project onto the project file), never onto another file the analysis uses.
enum class SaveWhat {
    Project,
    Library,
    Settings,
    Export,    // results, motor files, tables, pictures
    Recording, // the recordings of the logger and sound windows
};

class Workspace {
public:
    // `prompts` carries messages (and questions) to the user: message boxes in the window, stderr in the
    // command-line tool. Both records start at their defaults, with no notes.
    explicit Workspace(UserPrompts prompts = {});
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    AnalysisState state;
    SensorLibrary sensors;
    TFreq freq;
    TWave wave;
    Progress progress;
    SettingsStore store;
    ThrustAnalysis analysis{state, sensors, freq, wave, progress};
    ProjectSession session{*this};

    const UserPrompts& prompts() const { return prompts_; }
    void setPrompts(UserPrompts prompts);

    // Opens a source by its extension: ".frq" as a frequency record, ".proj" as a project (which opens
    // its own source and recomputes), anything else as a WAV recording. Only regular files are read.
    // With `reset` the times, rest lines, mounting and charge flag are cleared and the step is adapted
    // to the source. A refused file leaves the previous source in place, except that a recording that
    // failed to open leaves no recording behind (the shared buffer it was in is closed). Opening a source
    // that is not a project empties the project notes; a project brings its own. A warning about the
    // source is told through the prompts (and returned).
    SourceOpening OpenSource(const std::string& fileName, bool reset);
    // The same for a frequency record or recording only: what a project opens as its source (a project
    // named as a project's source is refused, so loading can never recurse).
    SourceOpening OpenDataSource(const std::string& fileName, bool reset);

    // Why a save of `what` must not replace `fileName` (empty when it may): the open source (a frequency
    // record or recording), the sensor library in use, the current project and the settings file are
    // each replaced only by their own save. Files are compared as the system finds them (symbolic and
    // hard links to a file in use are that file); a name that leads to no file is never in use.
    std::string CheckSaveTarget(const std::string& fileName, SaveWhat what) const;
    // The save rules for a save of `what`: the check above, and the read-only question through the
    // prompts' confirmReadOnly (unset: a read-only file is refused).
    SaveOptions SaveOptionsFor(SaveWhat what) const;

    // RecordDuration from the open source, and the chart's time window over all of it.
    void ResetViewToSource();

    // The "clear the source" state: no source, empty series, every result 0.
    void ClearSource();

    // Where the window program keeps its settings: "selvarondine.rsr" in `programDir` when that folder
    // (and the file, if it exists) can be written, else in the user's configuration folder
    // ($XDG_CONFIG_HOME or ~/.config, then "Selvarondine/"). The command-line tool reads the same file.
    static std::string DefaultSettingsFile(const std::string& programDir);
    // The sensor library read at start: "<source without extension>.sns" beside the source when that file
    // exists, otherwise "Selvarondine.sns" beside the settings file.
    static std::string LibraryAtStart(const std::string& source, const std::string& settingsFile);

private:
    void clearForNewSource();

    UserPrompts prompts_;
};

} // namespace selva
