#pragma once

#include "common/AtomicFile.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace selva {

// The temporary recording of the data logger: "data_tmp_" + n + ".bin" (n from 0 to 99), the readings as
// consecutive 4-byte little-endian singles and nothing else. What is appended is flushed to the disk at
// every flush() (once a display tick), so a crash loses at most one tick, and the file is kept locked
// while it is written, so that a leftover search never takes a recording in progress for a leftover.
class TempRecording {
public:
    TempRecording() = default;
    ~TempRecording(); // closes, keeping the file
    TempRecording(const TempRecording&) = delete;
    TempRecording& operator=(const TempRecording&) = delete;

    // Creates a new file in `folder`, trying the numbers from `first` (the hundredths of the current
    // second when negative) up, wrapping after 99, and never opening a file that exists. False with
    // errorText() when no number is free or the folder cannot be written.
    bool create(const std::string& folder, int first = -1);
    bool append(const float* readings, std::size_t count);
    // Flushes what was appended to the disk. False when a write or the flush failed.
    bool flush();
    // Flushes and closes. False when anything written could not be flushed.
    bool close();

    bool isOpen() const { return file_ != nullptr; }
    bool failed() const { return failed_; }
    const std::string& fileName() const { return name_; }
    const std::string& errorText() const { return error_; }
    std::uint64_t count() const { return count_; }

private:
    void setError();

    std::FILE* file_ = nullptr;
    std::string name_;
    std::string error_;
    std::uint64_t count_ = 0;
    bool dirty_ = false;
    bool failed_ = false;
};

// "data_tmp_<n>.bin".
std::string tempRecordingName(int n);

// A temporary recording left behind by a run that ended while recording, or whose file could not be
// converted.
struct LeftoverRecording {
    std::string fileName;
    std::uint64_t readings = 0; // whole readings in it
};
// The temporary recordings in `folder` that no running recording holds.
std::vector<LeftoverRecording> findLeftoverRecordings(const std::string& folder);

// What converting a temporary recording gave.
struct ConversionResult {
    bool ok = false;
    std::uint64_t readings = 0;
    std::string error; // the system's text when not ok
};

// Writes the frequency record of a temporary recording:
//   FREQ / the output name / the number of readings / the step, 8 characters, 3 decimals /
//   "---------------" / START / every reading, 8 characters, 3 decimals
// code page 1251, CR LF, numbers with a point; every reading is converted, however many there are. The
// record replaces `outName` only once it is complete (a temporary file renamed into place); the temporary
// recording is left as it is (the caller deletes it after a successful conversion). A trailing part of a
// reading (a write cut short by a crash) is ignored. The record is saved by the rules of `options`
// (common/AtomicFile.h; the window passes Workspace::SaveOptionsFor(SaveWhat::Recording)).
ConversionResult convertRecording(const std::string& tempName, const std::string& outName, double step,
                                  const SaveOptions& options = {});

// How the choice of the output name talks to the person: the window asks with message boxes and the save
// dialog, the command-line tool answers from its options.
struct SaveNamePrompts {
    // Yes/No question; true for Yes. Unset: yes.
    std::function<bool(const std::string& question)> confirm;
    // The save dialog, starting at `proposed`; nullopt when cancelled. A dialog that asks before
    // replacing a file returns an existing name only when the person agreed. Unset: cancelled.
    std::function<std::optional<std::string>(const std::string& proposed)> chooseName;
    // A message. Unset: nothing is said.
    std::function<void(const std::string& text)> tell;
    // The rules the record is saved by (the read-only question, the files in use).
    SaveOptions saveOptions = {};
};

// The name a finished recording is written under. An empty `name` asks for one; a name in use asks
// "Файл <name> уже сущесвтует. Перезаписать его ?" and on "No" offers the save dialog. The recording is
// never dropped and never replaces a file the person refused to replace: when the dialog is cancelled the
// recording goes to a free name beside the intended one (or to a free "data.frq" in `folder` when no name
// was given), and the person is told where.
std::string chooseRecordingName(const std::string& name, const std::string& folder,
                                const SaveNamePrompts& prompts);

// The first of "name_1.ext", "name_2.ext", ... that does not exist (`name` itself when it does not).
std::string freeNameBeside(const std::string& name);

} // namespace selva
