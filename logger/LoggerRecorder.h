#pragma once

#include "logger/AutoRecord.h"
#include "logger/RecordingFiles.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace selva {

// A recording that has stopped: its temporary file is closed and complete, waiting to be converted.
struct FinishedRecording {
    std::string tempFile;
    std::uint64_t readings = 0;
    double step = 0.01;     // s between readings, for the frequency record
    bool automatic = false; // ended by the automatic recording (the guard interval passed)
    std::string writeError; // set when writing the temporary file failed: it holds what was written
};

// The acquisition window's recording, without a window: the reading window the display shows, manual
// recording ("Запись"), automatic recording ("AUTO", the six states) and the temporary file they write.
// The window drives it from its display timer and buttons, the command-line tool from its loop; both hand
// it the readings that arrived, through `source`.
//
// One thread only (the window's, or the tool's).
class LoggerRecorder {
public:
    struct Config {
        double step = 0.01;   // h, s: the time between readings (edtAccur)
        double refresh = 0.3; // s: the display refresh period (edtRefresh)
        double window = 5.0;  // s: the display window width (edtWindow)
        TAutoRecordBlock thresholds;
    };
    // Moves up to `max` waiting readings into `out`; returns how many.
    using ReadingSource = std::function<std::size_t(float* out, std::size_t max)>;

    LoggerRecorder(const Config& config, ReadingSource source);

    // New settings; the window length becomes window / step, rounded (at least 2 readings), keeping the
    // latest readings.
    void configure(const Config& config);
    const Config& config() const { return config_; }
    static std::int32_t windowLength(double window, double step);
    // Where temporary recordings are created.
    void setFolder(const std::string& folder) { folder_ = folder; }
    const std::string& folder() const { return folder_; }

    // Called for every recording that stops, from inside whichever call stopped it.
    std::function<void(const FinishedRecording&)> onFinished;

    // The display tick: takes every reading waiting in the source, in pieces of at most half the window,
    // and for each piece appends what the recording has not written yet (all but the newest reading) to
    // the temporary file and advances the automatic recording; the file is then flushed to the disk.
    void tick();

    // "AUTO": a running recording (manual, or automatic from the start on) is stopped first; then from
    // idle a temporary file is created and the rest line measurement begins, and from any other state
    // the automatic recording returns to idle (writing nothing unless a start had been found). False with
    // errorText() when the temporary file could not be created (the state stays idle).
    bool pressAuto();
    // "Запись": stops a running recording, or starts one with a new temporary file. False with
    // errorText() when that file could not be created.
    bool pressRecord();
    // Stops a running recording: every reading received so far, including those still waiting in the
    // source, is written, the file is closed and onFinished is called. The automatic recording returns to
    // idle. Nothing happens when no recording runs.
    void stopRecording();

    bool recording() const { return recording_; }
    AutoState autoState() const { return machine_.state(); }
    const AutoRecordMachine& machine() const { return machine_; }
    const ReadingWindow& readings() const { return window_; }
    const AutoRecordCounts& counts() const { return counts_; }
    const std::string& errorText() const { return error_; }
    // Readings written to the running recording's file so far.
    std::uint64_t recordedCount() const { return stream_.count(); }

    // The live value: the mean of the readings of one refresh period (at least one) ending just before
    // the newest; 0 before two readings have arrived.
    double displayAverage() const;

private:
    void absorb(bool advanceMachine);
    void step(bool advanceMachine);
    void write(std::int64_t from, std::int64_t to);
    void finish(bool automatic);
    void discardStream();

    Config config_;
    ReadingSource source_;
    ReadingWindow window_;
    AutoRecordCounts counts_;
    AutoRecordMachine machine_;
    TempRecording stream_;
    std::vector<float> pending_;
    std::string folder_;
    std::string error_;
    std::int64_t readPos_ = 0; // first reading the recording has not written
    bool recording_ = false;
};

// What became of a finished recording.
struct SavedRecording {
    bool ok = false;
    std::string fileName; // the frequency record written
    std::uint64_t readings = 0;
    std::string error; // why nothing was written; the temporary file is then kept and named here
};

// Turns a finished recording into a frequency record: the name is chosen as chooseRecordingName says
// (`folder` holds the default name), the record is written, and only then is the temporary file deleted.
// A recording without readings writes nothing and deletes its empty file; a record that cannot be
// written leaves the temporary file where it is, and the error says so.
SavedRecording saveRecording(const FinishedRecording& recording, const std::string& name,
                             const std::string& folder, const SaveNamePrompts& prompts);

} // namespace selva
