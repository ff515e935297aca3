#pragma once

#include "common/AtomicFile.h"
#include "store/Records.h"
#include "store/StoreFiles.h"

#include <string>

namespace selva {

// What reading a settings or project file found.
enum class StoreLoad {
    Missing, // no such file, an empty file, or one that cannot be read: nothing changed
    Loaded,  // the record (and the notes) were replaced
    Damaged, // wrong checksum or length: the record and notes kept their contents
};

// The settings record, the project record and the project notes of the run, with the run-time state
// beside them (current project and settings file names, whether a project was loaded). One instance is
// created at start and passed by reference; windows read their defaults from `settings` and write back
// on confirmation. This class knows only the records and their files; applying them to the analysis,
// the sensor library and the windows is ProjectSession's.
class SettingsStore {
public:
    static constexpr const char* CaptionPrefix = "Расчет параметров тяги по данным частотного датчика - ";

    // Starts with both records at their defaults and no notes.
    SettingsStore() = default;

    TSettingsRecord settings;
    TProjectRecord project;
    ProjectNotes notes;

    std::string projectFileName;  // current project file; empty when there is none
    std::string settingsFileName; // settings file last loaded or saved
    // The file an empty settings name stands for. Where it lives (next to the program, or in the user's
    // configuration folder when the program's folder is not writable) is the main window's choice.
    std::string defaultSettingsFileName;
    bool projectLoaded = false; // a project has been loaded in this run; never cleared

    // Both records back to their defaults, no notes, no names, no project loaded.
    void Initialise();

    void CopySettingsToProject() { selva::CopySettingsToProject(settings, project); }
    void CopyProjectToSettings() { selva::CopyProjectToSettings(project, settings); }

    // An empty name stands for defaultSettingsFileName.
    std::string resolveSettingsName(const std::string& name) const;

    // Reads a settings file into `settings`. A file with a wrong checksum or length is not deleted but
    // moved aside as name + ".bad" (replacing an older one), so that it can still be looked at; the
    // record in memory stays in force.
    StoreLoad ReadSettingsFile(const std::string& name);
    // Writes `settings` as it is through a temporary file renamed into place (by the rules of `options`)
    // and remembers the name. False when it could not be written (a save of the settings is not reported
    // to the user).
    bool WriteSettingsFile(const std::string& name, const SaveOptions& options = {});

    // Reads a project file into `project` and `notes`. Missing: no such file (or one that is not a
    // regular file, or cannot be read). Damaged: an empty file, one shorter than a project, larger than
    // any project, or with a wrong checksum. In both cases nothing changed and `why` (when given) says
    // what is wrong, in the program's words, without the file name.
    StoreLoad ReadProjectFile(const std::string& name, std::string* why = nullptr);
    // Writes `project` and `notes` through a temporary file renamed into place (by the rules of
    // `options`). Throws selva::Error "Невозможно записать файл " + name + ": " + the reason when it
    // cannot.
    void WriteProjectFile(const std::string& name, const SaveOptions& options = {}) const;

    // The main window's caption for a file, and the current project file name that goes with it. A name
    // that is not a ".proj" file (the source opened on its own) leaves as the project file its companion
    // name with the extension ".proj": a later "Сохранить проект" must never write a project over the
    // frequency record or recording it was computed from. Returns the caption.
    std::string SetCaption(const std::string& fileName);
    static std::string captionFor(const std::string& fileName);
};

// "dir/name.ext" -> "dir/name" + ext; the extension is the part from the last point after the last
// separator. Used for ".proj" companions and for ".rsr" names chosen in the settings window.
std::string changeFileExt(const std::string& fileName, const std::string& ext);
// ".PROJ" for "a/b.proj": the extension upper-cased, empty when there is none.
std::string fileExtUpper(const std::string& fileName);

} // namespace selva
