#include "logger/LoggerRecorder.h"

#include "common/Format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace selva {

LoggerRecorder::LoggerRecorder(const Config& config, ReadingSource source) : source_(std::move(source))
{
    configure(config);
}

std::int32_t LoggerRecorder::windowLength(double window, double step)
{
    // Four million readings (16 MB) is more than any display shows; a length below 2 would leave no room
    // between the newest reading and the ones being written.
    constexpr double kMax = 4'000'000;
    if (!(step > 0) || !(window > 0))
        return 2;
    const double n = std::clamp(static_cast<double>(roundHalfEven(std::min(window / step, kMax))), 2.0, kMax);
    return static_cast<std::int32_t>(n);
}

void LoggerRecorder::configure(const Config& config)
{
    config_ = config;
    window_.setLength(windowLength(config.window, config.step));
    counts_ = AutoRecordCounts::from(config.thresholds, config.step > 0 ? config.step : 0.01, config.refresh);
}

void LoggerRecorder::tick()
{
    absorb(true);
    if (stream_.isOpen() && !stream_.flush() && recording_)
        finish(false);
}

// Moves the waiting readings into the window in pieces of at most half its length, so that nothing the
// recording still has to write is pushed out of the window before it is written, and runs one step a
// piece (one step when nothing arrived).
void LoggerRecorder::absorb(bool advanceMachine)
{
    const auto piece = static_cast<std::size_t>(std::max(1, window_.length() / 2));
    pending_.resize(piece);
    bool stepped = false;
    for (;;) {
        const std::size_t n = source_ ? source_(pending_.data(), piece) : 0;
        for (std::size_t i = 0; i < n; ++i)
            window_.push(pending_[i]);
        if (n > 0 || !stepped)
            step(advanceMachine);
        stepped = true;
        if (n < piece)
            break;
    }
}

void LoggerRecorder::step(bool advanceMachine)
{
    const std::int64_t last = window_.count() - 1;
    if (last < 0)
        return;
    // The newest reading waits for the next step; everything before it is written.
    if (recording_)
        write(readPos_, last);
    if (advanceMachine) {
        const AutoRecordMachine::Step s = machine_.tick(window_, last, counts_);
        if (s.startRecording && stream_.isOpen()) {
            write(s.writeFrom, last);
            recording_ = true;
        }
        if (s.finished && recording_) {
            finish(true);
            return;
        }
    }
    if (recording_ && stream_.failed()) {
        finish(false);
        return;
    }
    readPos_ = std::max(readPos_, last);
}

void LoggerRecorder::write(std::int64_t from, std::int64_t to)
{
    from = std::max(from, window_.oldest());
    if (from < to && !stream_.failed()) {
        std::vector<float> run;
        run.reserve(static_cast<std::size_t>(to - from));
        for (std::int64_t p = from; p < to; ++p)
            run.push_back(window_.at(p));
        stream_.append(run.data(), run.size());
    }
    readPos_ = std::max(readPos_, to);
}

void LoggerRecorder::finish(bool automatic)
{
    write(readPos_, window_.count());
    FinishedRecording f;
    f.tempFile = stream_.fileName();
    f.step = config_.step;
    f.automatic = automatic;
    const bool closed = stream_.close();
    f.readings = stream_.count();
    if (!closed)
        f.writeError = stream_.errorText();
    recording_ = false;
    machine_.reset();
    if (onFinished)
        onFinished(f);
}

void LoggerRecorder::discardStream()
{
    if (!stream_.isOpen() || recording_)
        return;
    stream_.close();
    std::remove(stream_.fileName().c_str());
}

bool LoggerRecorder::pressAuto()
{
    const AutoState before = machine_.state();
    if (recording_)
        stopRecording();
    if (before != AutoState::Idle) {
        machine_.reset();
        discardStream();
        return true;
    }
    discardStream();
    if (!stream_.create(folder_)) {
        error_ = stream_.errorText();
        return false;
    }
    machine_.start(window_);
    return true;
}

bool LoggerRecorder::pressRecord()
{
    if (recording_) {
        stopRecording();
        return true;
    }
    if (machine_.state() != AutoState::Idle) {
        error_ = "The automatic recording is running";
        return false;
    }
    if (!stream_.create(folder_)) {
        error_ = stream_.errorText();
        return false;
    }
    recording_ = true;
    return true;
}

void LoggerRecorder::stopRecording()
{
    if (recording_) {
        absorb(false);
        if (recording_)
            finish(false);
    }
    machine_.reset();
    discardStream();
}

double LoggerRecorder::displayAverage() const
{
    const std::int64_t last = window_.count() - 1;
    const std::int64_t n = std::max<std::int64_t>(1, counts_.refresh);
    const std::int64_t from = std::max(window_.oldest(), last - n);
    if (from >= last)
        return 0;
    double sum = 0;
    for (std::int64_t p = from; p < last; ++p)
        sum += window_.at(p);
    return sum / static_cast<double>(last - from);
}

SavedRecording saveRecording(const FinishedRecording& recording, const std::string& name,
                             const std::string& folder, const SaveNamePrompts& prompts)
{
    SavedRecording saved;
    saved.readings = recording.readings;
    if (recording.readings == 0) {
        std::remove(recording.tempFile.c_str());
        saved.error = "Запись не содержит ни одного отсчета; файл не записан";
        return saved;
    }
    saved.fileName = chooseRecordingName(name, folder, prompts);
    const ConversionResult r =
        convertRecording(recording.tempFile, saved.fileName, recording.step, prompts.saveOptions);
    if (!r.ok) {
        saved.error = "Невозможно записать файл " + saved.fileName + ": " + r.error +
                      ". Отсчеты записи сохранены во временном файле " + recording.tempFile;
        return saved;
    }
    std::remove(recording.tempFile.c_str());
    saved.ok = true;
    saved.readings = r.readings;
    return saved;
}

} // namespace selva
