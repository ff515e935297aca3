#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace selva {

// The file a recording is saved to: its full path and its name without the folder (shown in edtFile).
struct RecordingTarget {
    std::string path;
    std::string shortName;

    bool empty() const { return path.empty(); }
    void set(const std::string& fullPath);
    void clear() { path.clear(), shortName.clear(); }
};

// How saving a recording talks to the person: the window shows message boxes and its save dialog, the
// tests answer from a script. Unset members answer No / Cancel and say nothing.
struct RecordingPrompts {
    // "Файл X уже сущесвтует. Перезаписать его ?" (the window's caption: "Ошибка записи"); true for Yes.
    std::function<bool(const std::string& question)> askOverwrite;
    // The save dialog ("Сохранение файла") opened at `folder` with `name`; the chosen full path, or empty
    // when it was cancelled.
    std::function<std::string(const std::string& folder, const std::string& name)> chooseSaveName;
    // A Yes/No question of its own; true for Yes.
    std::function<bool(const std::string& question)> confirm;
    std::function<void(const std::string& text)> tell;
    // Why a recording must not be saved as this file (the source the analysis has open, ...); empty when it
    // may. Unset: no file is in use.
    std::function<std::string(const std::string& target)> inUse;
};

// Why a recording cannot replace `target` whatever the user answers: not a regular file (a folder, a
// pipe, a device), a name that cannot be followed, or a read-only file unless `readOnlyAllowed`. Empty
// when it can; the recording then goes to the file a symbolic link leads to (`resolved`).
std::string RecordingTargetRefusal(const std::string& target, bool readOnlyAllowed, std::string* resolved = nullptr);

// What became of a finished recording: saved under `path`, or still in the temporary file `path`.
struct SaveOutcome {
    bool saved = false;
    std::string path;
};

// The overwrite question the window asks, with the program's own wording.
std::string OverwriteQuestion(const std::string& shortName);

// Puts a finished temporary recording where the user wants it. With a target: while a file of that name
// exists, ask whether to overwrite it; No opens the save dialog and asks again for the name chosen there.
// Without a target, the save dialog is opened. The temporary file is then moved over the target (an
// existing file is replaced by the move itself, so it stays until the recording has taken its place).
//
// A recording is never deleted here: when the dialog is cancelled the temporary file stays and the user
// is told its name, and a move that fails is reported and leaves the temporary file where it is. On
// success `target` is the file saved.
SaveOutcome SaveRecording(const std::string& tempPath, RecordingTarget& target,
                          const RecordingPrompts& prompts);

// Moves a file, replacing `to`. Across file systems it copies beside `to` and renames the copy into place
// before removing `from`. False with `error` set when `to` could not be made; `from` is then untouched.
bool MoveFileReplacing(const std::string& from, const std::string& to, std::string& error);

// A temporary recording left by an earlier run ("wave_tmp_<n>.wav"), ended without its final sizes when the
// program stopped while recording.
struct LeftoverWave {
    std::string path;
    std::uint64_t dataBytes = 0;
    double seconds = 0;
    bool repaired = false; // the sizes in the header were corrected
};

// The "wave_tmp_<digits>.wav" files in `folder`, by name.
std::vector<std::string> FindLeftoverRecordings(const std::string& folder);

// Makes a recording whose writing was cut off open again: the "data" chunk's size becomes what the file
// holds (whole frames), the RIFF size the file's. Only the two size fields are written. False with
// `error` set when the file is not a WAV file with a "fmt " and a "data" chunk.
bool RepairRecordingSizes(const std::string& path, LeftoverWave& info, std::string& error);

// At the start of the program: offers to keep each leftover recording in `folder` (sizes repaired first).
// Yes opens the save dialog and moves it there (a cancelled dialog keeps it where it is, asked about again
// next time); No asks whether to delete it. Leftovers with no sound in them are removed without asking.
void OfferLeftoverRecordings(const std::string& folder, const RecordingPrompts& prompts);

} // namespace selva
