#pragma once

#include "sound/SoundAutoRecord.h"
#include "sound/io/AudioDevices.h"

#include <QDialog>
#include <QPixmap>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QTimer;

namespace Ui {
class TfrmSound;
}

namespace selva {

class SettingsStore;
class SensorLibrary;
class SoundEngine;
class TWave;
struct SoundModule;
struct TSoundSettings;
struct RecordingPrompts;
struct PlotRect;

// "Selvarondine - sound source": listening to the sensor through a sound card (or the simulated input),
// its live frequency, waveform and spectrum, recording a test by hand or automatically, and playing a
// recording back through the same displays. The sound settings are the project record's; the rings, the
// recording target and the display values are the SoundModule's, which outlives the window. Opened
// modally from the analysis window's "Работа со звуком".
//
// UI thread only; the device threads are the SoundEngine's.
class TfrmSound : public QDialog {
    Q_OBJECT
public:
    TfrmSound(SettingsStore& store, SensorLibrary& sensors, SoundModule& module, QWidget* parent = nullptr);
    ~TfrmSound() override;

    // "Set...": the automatic-recording settings window (shared with the logger); the thresholds are read
    // from the settings record when they are used.
    std::function<void()> onAutoRecordSettings;
    // A recording was saved under this name (the analysis window can open it as a WAV source).
    std::function<void(const QString&)> onRecordingSaved;
    // Why a recording must not be saved as a file (the analysis's source in use); the main window sets it.
    std::function<std::string(const std::string& target)> saveTargetCheck;

    // The file dialogs and message boxes, replaceable (tests answer them from a script). chooseFile: the
    // open dialog "Выбор файла" or the save dialog "Сохранение файла"; an empty result means cancelled.
    std::function<QString(bool save, const QString& folder, const QString& name)> chooseFile;
    std::function<void(const QString& text)> showMessage;
    // "Файл ... уже сущесвтует. Перезаписать его ?" under "Ошибка записи"; true for Yes.
    std::function<bool(const QString& question)> askOverwrite;

    SoundEngine& Engine() { return *engine_; }
    int AutoState() const { return auto_.state(); }
    bool FileLoaded() const { return fileLoaded_; }
    bool Playing() const { return playing_; }

protected:
    void showEvent(QShowEvent* event) override;
    // Every way out ("Выход", Esc, the title bar's close) ends here: playback and capture stop (a recording
    // being made is saved first) and the recording's file is closed.
    void done(int result) override;

private:
    TSoundSettings& ss();
    int selectedRow() const;
    const AudioInput* selectedDevice() const;
    double waveLen() const;
    RecordingPrompts prompts();
    void bindEdits();
    void setDeviceControlsEnabled();
    void setPlayEnabled();
    void setChannels(int channels);
    void openTarget();
    void preparePlaybackFormat();
    void saveFinished(const std::string& tempPath);
    bool createRecordingFile();

    // Devices and formats.
    void GetSources();
    void BuildAudioFormatList();
    void cbxSourceChange();
    void cbxRegimChange();
    void channelClick();
    // Capture, recording, playback.
    void cbxDoInClick();
    void StartCapture();
    void StopCapture();
    void sbtnRecClick();
    void StopRecording();
    void sbtnPlayClick();
    void sbtnPauseClick();
    void sbtnStopClick();
    void StopPlayback();
    void EndOfPlayback();
    void btnSimFireClick();
    // Automatic recording.
    void sbtnASClick();
    void tmrSaveTimer();
    void StopAuto();
    void showAutoPicture();
    // Files and settings.
    void btnFileClick();
    void btnSetClick();
    // Displays.
    void cbxShowClick();
    void tmrShowTimer();
    void tmrDeviceTimer();
    void drawPage();
    void TBFreqChange(int position);
    void TBSpecChange(int position);
    void imgFreqMouseMove(QPoint at);
    void hideMouseFreq();
    void refreshBandEdits();

    std::unique_ptr<Ui::TfrmSound> ui;
    SettingsStore& store_;
    SensorLibrary& sensors_;
    SoundModule& module_;
    std::unique_ptr<SoundEngine> engine_;
    std::unique_ptr<TWave> wave_;
    std::vector<AudioInput> inputs_;
    std::vector<int> formatRows_; // the WaveFormats row of each cbxRegim entry
    bool fileLoaded_ = false;
    bool recording_ = false;
    bool playing_ = false;
    bool paused_ = false;
    bool shown_ = false;
    std::string tempName_;
    SoundAutoRecord auto_;
    bool autoWriting_ = false;
    std::chrono::steady_clock::time_point clockStart_ = std::chrono::steady_clock::now();
    QTimer* tmrShow = nullptr;
    QTimer* tmrSave = nullptr;
    QTimer* tmrDevice = nullptr;
    QLabel* stMouseFreq = nullptr;
    std::unique_ptr<PlotRect> freqPlot_, specPlot_;
    QPixmap pictures_[4];
};

} // namespace selva
