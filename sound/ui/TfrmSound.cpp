#include "sound/ui/TfrmSound.h"

#include "ui_TfrmSound.h"

#include "analysis/ThrustProfile.h"
#include "analysis/ui/StoredLook.h"
#include "common/Error.h"
#include "common/Format.h"
#include "controls/WindowLook.h"
#include "sensors/SensorLibrary.h"
#include "sound/CaptureLayout.h"
#include "sound/RecordingFiles.h"
#include "sound/SensorSignal.h"
#include "sound/SoundModule.h"
#include "sound/SoundWindowRules.h"
#include "sound/Spectrum.h"
#include "sound/Wave.h"
#include "sound/io/SoundEngine.h"
#include "store/SettingsStore.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

#include <cmath>
#include <filesystem>

namespace selva {

namespace {

const QString kFilter = QStringLiteral("Wave audio (*.wav);;Mpeg 3 Audio (*.mp3);;Frequency file (*.frq)");

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

char decimalSeparator()
{
    return QLocale().decimalPoint().at(0).toLatin1();
}

} // namespace

TfrmSound::TfrmSound(SettingsStore& store, SensorLibrary& sensors, SoundModule& module, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmSound>()), store_(store), sensors_(sensors),
      module_(module), freqPlot_(std::make_unique<PlotRect>()), specPlot_(std::make_unique<PlotRect>())
{
    ui->setupUi(this);
    takeLookFrom(this, parent);
    engine_ = std::make_unique<SoundEngine>(module_.ring);
    for (int i = 0; i < 4; ++i)
        pictures_[i] = AutoStatePixmap(i);

    chooseFile = [this](bool save, const QString& folder, const QString& name) {
        QFileDialog dlg(this, save ? QStringLiteral("Сохранение файла") : QStringLiteral("Выбор файла"),
                        folder, kFilter);
        dlg.setObjectName(save ? QStringLiteral("dlgSaveFile") : QStringLiteral("dlgFile"));
        dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setDefaultSuffix(QStringLiteral("wav"));
        dlg.selectFile(name);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first()
                                                                                 : QString();
    };
    showMessage = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };
    askOverwrite = [this](const QString& q) {
        return QMessageBox::question(this, QStringLiteral("Ошибка записи"), q,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };

    tmrShow = new QTimer(this);
    tmrShow->setObjectName(QStringLiteral("tmrShow"));
    tmrSave = new QTimer(this);
    tmrSave->setObjectName(QStringLiteral("tmrSave"));
    tmrSave->setInterval(1000);
    tmrDevice = new QTimer(this); // hands the end of playback to this thread
    tmrDevice->setInterval(50);
    stMouseFreq = new QLabel(ui->imgFreq);
    stMouseFreq->setObjectName(QStringLiteral("stMouseFreq"));
    stMouseFreq->setAutoFillBackground(true);
    stMouseFreq->hide();
    QFont bold = ui->lblFreq->font();
    bold.setBold(true);
    bold.setPixelSize(16);
    ui->lblFreq->setFont(bold);

    // FormCreate.
    GetSources();
    bindEdits();
    ui->rbtnChannelL->setChecked(ss().channelLeft);
    ui->rbtnChannelR->setChecked(!ss().channelLeft);
    BuildAudioFormatList();
    ui->edtFile->setText(qs(module_.target.shortName));
    ui->TBSig->setValue(module_.sigOffset);
    ui->TBSigDelay->setValue(int(std::lround(module_.sigDelay)));
    ui->TBSigAmp->setValue(int(std::lround(std::log10(module_.sigAmp))));
    ui->TBSigWin->setValue(int(std::lround(std::log10(module_.sigWin))));
    const FreqBand band{ss().freqDown, ss().freqUp};
    ui->TBFreq->setMaximum(band.trackMax());
    ui->TBFreq->setValue(band.trackPosition());
    ui->TBSpec->setValue(std::clamp(ss().specDown, 0, BandTop));
    module_.ring.SetAccuracy(widenSingle(ss().accur));
    module_.ring.SetWindowLength(ss().window);
    tmrShow->setInterval(int(roundHalfEven(widenSingle(ss().refresh) * 1000)));
    setPlayEnabled();
    setDeviceControlsEnabled();
    showAutoPicture();

    connect(ui->cbxSource, &QComboBox::activated, this, &TfrmSound::cbxSourceChange);
    connect(ui->cbxRegim, &QComboBox::activated, this, &TfrmSound::cbxRegimChange);
    connect(ui->rbtnChannelR, &QRadioButton::clicked, this, &TfrmSound::channelClick);
    connect(ui->rbtnChannelL, &QRadioButton::clicked, this, &TfrmSound::channelClick);
    connect(ui->cbxDoIn, &QCheckBox::clicked, this, &TfrmSound::cbxDoInClick);
    connect(ui->sbtnRec, &QToolButton::clicked, this, &TfrmSound::sbtnRecClick);
    connect(ui->sbtnPlay, &QToolButton::clicked, this, &TfrmSound::sbtnPlayClick);
    connect(ui->sbtnPause, &QToolButton::clicked, this, &TfrmSound::sbtnPauseClick);
    connect(ui->sbtnStop, &QToolButton::clicked, this, &TfrmSound::sbtnStopClick);
    connect(ui->sbtnAS, &QToolButton::clicked, this, &TfrmSound::sbtnASClick);
    connect(ui->btnSimFire, &QPushButton::clicked, this, &TfrmSound::btnSimFireClick);
    connect(ui->btnFile, &QPushButton::clicked, this, &TfrmSound::btnFileClick);
    connect(ui->btnSet, &QPushButton::clicked, this, &TfrmSound::btnSetClick);
    connect(ui->btnExit, &QPushButton::clicked, this, &QDialog::close);
    connect(ui->cbxShow, &QCheckBox::clicked, this, &TfrmSound::cbxShowClick);
    connect(tmrShow, &QTimer::timeout, this, &TfrmSound::tmrShowTimer);
    connect(tmrSave, &QTimer::timeout, this, &TfrmSound::tmrSaveTimer);
    connect(tmrDevice, &QTimer::timeout, this, &TfrmSound::tmrDeviceTimer);
    connect(ui->PC1, &QTabWidget::currentChanged, this, [this] {
        hideMouseFreq();
        drawPage();
    });
    connect(ui->TBFreq, &QSlider::valueChanged, this, &TfrmSound::TBFreqChange);
    connect(ui->TBSpec, &QSlider::valueChanged, this, &TfrmSound::TBSpecChange);
    connect(ui->TBSig, &QSlider::valueChanged, this, [this](int v) {
        module_.sigOffset = v;
        drawPage();
    });
    connect(ui->TBSigAmp, &QSlider::valueChanged, this, [this](int v) {
        module_.sigAmp = std::pow(10.0, v);
        ui->edtSigAmp->Refresh();
        drawPage();
    });
    connect(ui->TBSigWin, &QSlider::valueChanged, this, [this](int v) {
        module_.sigWin = std::pow(10.0, v);
        ui->edtSigWin->Refresh();
        drawPage();
    });
    connect(ui->TBSigDelay, &QSlider::valueChanged, this, [this](int v) {
        module_.sigDelay = v;
        ui->edtSigDelay->Refresh();
        drawPage();
    });
    connect(ui->cbxSigAuto, &QCheckBox::toggled, this, [this](bool on) {
        ui->TBSig->setEnabled(!on);
        drawPage();
    });
    ui->imgFreq->onMouseMove = [this](QPoint at) { imgFreqMouseMove(at); };
    ui->imgFreq->onMouseLeave = [this] { hideMouseFreq(); };
    for (SoundPlot* plot : {ui->imgSig, ui->imgFreq, ui->imgSpec})
        plot->onResized = [this] { drawPage(); };
    tmrDevice->start();
}

TfrmSound::~TfrmSound()
{
    tmrDevice->stop();
    tmrSave->stop();
    if (engine_) {
        engine_->StopWriting();
        engine_.reset();
    }
}

TSoundSettings& TfrmSound::ss()
{
    return store_.project.sound;
}

void TfrmSound::bindEdits()
{
    const auto refuseUnless = [](bool (*ok)(double)) {
        return [ok](TEditFloat*, long double* v, bool& can) { can = ok(double(*v)); };
    };
    ui->edtWaveLen->setDigits(2);
    ui->edtWaveLen->OnCommit = refuseUnless(&WaveLenAcceptable);
    ui->edtWaveLen->Value(&ss().waveLen);
    ui->edtRefresh->setDigits(2);
    ui->edtRefresh->OnCommit = refuseUnless(&RefreshAcceptable);
    ui->edtRefresh->Value(&ss().refresh);
    ui->edtRefresh->PostCommit = [this](TEditFloat*) {
        tmrShow->setInterval(int(roundHalfEven(widenSingle(ss().refresh) * 1000)));
    };
    ui->edtAccur->setDigits(3);
    ui->edtAccur->OnCommit = refuseUnless(&AccuracyAcceptable);
    ui->edtAccur->Value(&ss().accur);
    ui->edtAccur->PostCommit = [this](TEditFloat*) {
        module_.ring.SetAccuracy(widenSingle(ss().accur));
        drawPage();
    };
    ui->edtWindow->setDigits(2);
    ui->edtWindow->OnCommit = refuseUnless(&WindowAcceptable);
    ui->edtWindow->Value(&ss().window);
    ui->edtWindow->PostCommit = [this](TEditFloat*) {
        module_.ring.SetWindowLength(ss().window);
        drawPage();
    };
    ui->edtFreqUp->Value(&ss().freqUp);
    ui->edtFreqDown->Value(&ss().freqDown);
    for (TEditInt* e : {ui->edtFreqUp, ui->edtFreqDown})
        e->PostCommit = [this](TEditInt*) {
            const FreqBand band{ss().freqDown, ss().freqUp};
            const QSignalBlocker block(ui->TBFreq);
            ui->TBFreq->setMaximum(band.trackMax());
            ui->TBFreq->setValue(band.trackPosition());
            drawPage();
        };
    for (TEditInt* e : {ui->edtHPoints, ui->edtVPoints, ui->edtSpecFFTLen})
        e->OnCommit = [e, this](TEditInt*, std::int32_t* v, bool& can) {
            can = e == ui->edtSpecFFTLen ? SpectrumLengthAcceptable(*v) : DivisionsAcceptable(*v);
        };
    ui->edtHPoints->Value(&module_.hPoints);
    ui->edtVPoints->Value(&module_.vPoints);
    ui->edtSpecFFTLen->Value(&module_.fftLen);
    for (TEditInt* e : {ui->edtHPoints, ui->edtVPoints, ui->edtSpecFFTLen})
        e->PostCommit = [this](TEditInt*) { drawPage(); };
    ui->edtSpecUp->Value(&ss().specUp);
    ui->edtSpecDown->Value(&ss().specDown);
    ui->edtSpecUp->PostCommit = [this](TEditInt*) {
        SpecBand b{ss().specDown, ss().specUp, ui->TBSpec->value()};
        b.commitUpper();
        ss().specDown = b.lower, ss().specUp = b.upper;
        const QSignalBlocker block(ui->TBSpec);
        ui->TBSpec->setValue(b.trackPosition);
        refreshBandEdits();
        drawPage();
    };
    ui->edtSpecDown->PostCommit = [this](TEditInt*) {
        SpecBand b{ss().specDown, ss().specUp, ui->TBSpec->value()};
        b.commitLower();
        ss().specDown = b.lower, ss().specUp = b.upper;
        const QSignalBlocker block(ui->TBSpec);
        ui->TBSpec->setValue(b.trackPosition);
        refreshBandEdits();
        drawPage();
    };
    ui->edtSigAmp->setDigits(2);
    ui->edtSigAmp->Value(&module_.sigAmp);
    ui->edtSigWin->setDigits(4);
    ui->edtSigWin->Value(&module_.sigWin);
    ui->edtSigDelay->Value(&module_.sigDelay);
    for (TEditFloat* e : {ui->edtSigAmp, ui->edtSigWin, ui->edtSigDelay})
        e->setReadOnly(true);
}

void TfrmSound::refreshBandEdits()
{
    for (TEditInt* e : {ui->edtFreqUp, ui->edtFreqDown, ui->edtSpecUp, ui->edtSpecDown})
        e->Refresh();
}

int TfrmSound::selectedRow() const
{
    const int i = ui->cbxRegim->currentIndex();
    return i >= 0 && i < int(formatRows_.size()) ? formatRows_[std::size_t(i)] : -1;
}

const AudioInput* TfrmSound::selectedDevice() const
{
    const int i = ui->cbxSource->currentIndex();
    return i >= 0 && i < int(inputs_.size()) ? &inputs_[std::size_t(i)] : nullptr;
}

double TfrmSound::waveLen() const
{
    return widenSingle(store_.project.sound.waveLen);
}

// ---------------------------------------------------------------- devices and formats

void TfrmSound::GetSources()
{
    inputs_ = engine_->Inputs();
    ui->cbxSource->clear();
    for (const AudioInput& in : inputs_)
        ui->cbxSource->addItem(qs(in.description));
    // The device chosen last time, when it is still in the list.
    const int stored = ss().source;
    ui->cbxSource->setCurrentIndex(stored >= 0 && stored < int(inputs_.size()) ? stored
                                   : inputs_.empty()                           ? -1
                                                                               : 0);
}

void TfrmSound::cbxSourceChange()
{
    BuildAudioFormatList();
    ss().source = ui->cbxSource->currentIndex();
    setDeviceControlsEnabled();
}

void TfrmSound::BuildAudioFormatList()
{
    ui->cbxRegim->clear();
    formatRows_.clear();
    const AudioInput* device = selectedDevice();
    for (int row = 0; device != nullptr && row < WaveFormatCount; ++row) {
        if (device->formatFlags & WaveFormats[std::size_t(row)].CapabilityFlag) {
            ui->cbxRegim->addItem(QString::fromUtf8(WaveFormats[std::size_t(row)].Text));
            formatRows_.push_back(row);
        }
    }
    const int stored = ss().formatIndex;
    ui->cbxRegim->setCurrentIndex(stored >= 0 && stored < ui->cbxRegim->count() ? stored
                                                                                : ui->cbxRegim->count() - 1);
    cbxRegimChange();
}

void TfrmSound::setChannels(int channels)
{
    ui->rbtnChannelL->setEnabled(channels > 1);
    if (channels <= 1)
        ui->rbtnChannelR->setChecked(true);
    channelClick();
}

void TfrmSound::cbxRegimChange()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    ss().formatIndex = ui->cbxRegim->currentIndex();
    const WaveFormatRow& f = WaveFormats[std::size_t(row)];
    setChannels(int(f.Channels));
    if (!module_.ring.DeviceOwned.load()) {
        module_.ring.SetFormat(std::uint16_t(f.Channels), f.SampleRate, std::uint16_t(f.BitsPerSample));
        module_.ring.SetWaveLen(waveLen());
    }
    module_.ring.SetWindowLength(ss().window);
}

void TfrmSound::channelClick()
{
    ss().channelLeft = ui->rbtnChannelL->isChecked();
    engine_->Transport().Channel = ss().channelLeft ? 1 : 0;
}

void TfrmSound::setDeviceControlsEnabled()
{
    const bool busy = engine_->Capturing() || playing_ || auto_.state() != SoundAutoRecord::Off;
    for (QWidget* w : {static_cast<QWidget*>(ui->cbxRegim), static_cast<QWidget*>(ui->cbxSource),
                       static_cast<QWidget*>(ui->edtWaveLen)})
        w->setEnabled(!busy);
    ui->cbxDoIn->setEnabled(!playing_);
    ui->sbtnRec->setEnabled(engine_->Capturing() && auto_.state() == SoundAutoRecord::Off);
    ui->sbtnAS->setEnabled(engine_->Capturing() && !recording_);
    const AudioInput* device = selectedDevice();
    ui->btnSimFire->setVisible(device != nullptr && device->simulated);
    ui->btnSimFire->setEnabled(engine_->Capturing());
}

void TfrmSound::setPlayEnabled()
{
    ui->sbtnPlay->setEnabled(fileLoaded_);
    ui->sbtnPause->setEnabled(fileLoaded_);
}

// ---------------------------------------------------------------- capture and recording

void TfrmSound::cbxDoInClick()
{
    if (ui->cbxDoIn->isChecked())
        StartCapture();
    else
        StopCapture();
}

void TfrmSound::StartCapture()
{
    const AudioInput* device = selectedDevice();
    const int row = selectedRow();
    DeviceError error = MakeDeviceError(DeviceBadId);
    bool started = false;
    if (device != nullptr && row >= 0) {
        const WaveFormatRow& f = WaveFormats[std::size_t(row)];
        setChannels(int(f.Channels));
        try {
            if (device->simulated) {
                const TCalibration* calibration = sensors_.ActiveCalibration();
                if (calibration == nullptr)
                    throw Error("No active sensor");
                engine_->Simulator().SetSignal(
                    std::make_shared<SensorSignal>(ThrustProfile::builtin(), *calibration));
            }
            started = engine_->StartCapture(
                *device, {std::uint16_t(f.Channels), f.SampleRate, std::uint16_t(f.BitsPerSample)}, waveLen(),
                error);
        } catch (const Error& e) {
            error = MakeDeviceError(0, e.what());
        }
    }
    if (!started) {
        ui->cbxDoIn->setChecked(false);
        showMessage(qs(error.Message()));
    }
    setDeviceControlsEnabled();
}

void TfrmSound::StopCapture()
{
    if (recording_)
        StopRecording();
    if (auto_.state() != SoundAutoRecord::Off)
        StopAuto();
    engine_->StopCapture();
    ui->cbxDoIn->setChecked(false);
    setDeviceControlsEnabled();
}

bool TfrmSound::createRecordingFile()
{
    tempName_ = GetTempWaveName();
    if (wave_)
        wave_->Close();
    fileLoaded_ = false;
    try {
        wave_ = std::make_unique<TWave>(std::uint8_t(std::max(selectedRow(), 0)), 1);
        // The recording in progress is written where it stands, so that a crash leaves it on the disk.
        SaveOptions inPlace;
        inPlace.newFileInPlace = true;
        wave_->CreateWave(tempName_, inPlace);
        return true;
    } catch (const Error& e) {
        showMessage(qs(e.what()));
        wave_.reset();
        return false;
    }
}

void TfrmSound::sbtnRecClick()
{
    if (recording_) {
        StopRecording();
        return;
    }
    if (!engine_->Capturing() || !createRecordingFile()) {
        ui->sbtnRec->setChecked(false);
        setPlayEnabled();
        return;
    }
    engine_->StartWriting(*wave_);
    recording_ = true;
    ui->sbtnRec->setChecked(true);
    ui->sbtnPlay->setEnabled(false);
    ui->sbtnPause->setEnabled(false);
    setDeviceControlsEnabled();
}

RecordingPrompts TfrmSound::prompts()
{
    RecordingPrompts p;
    p.askOverwrite = [this](const std::string& q) { return askOverwrite(qs(q)); };
    p.chooseSaveName = [this](const std::string& folder, const std::string& name) {
        return chooseFile(true, qs(folder), qs(name)).toStdString();
    };
    p.tell = [this](const std::string& t) { showMessage(qs(t)); };
    p.inUse = saveTargetCheck;
    return p;
}

// The end of a recording, manual or automatic: every byte to the file, the sizes written, the file moved
// where the user wants it (never deleted), and the target opened for playback.
void TfrmSound::saveFinished(const std::string& tempPath)
{
    const RecordWriter::Result written = engine_->StopWriting();
    const bool closed = wave_->Close();
    if (!written.ok || !closed)
        showMessage(QStringLiteral("Ошибка записи в файл %1: запись может быть неполной").arg(qs(tempPath)));
    if (written.lostFrames > 0)
        showMessage(
            QStringLiteral("Часть записи (%1 с) не успела попасть в файл и заменена тишиной")
                .arg(QLocale().toString(double(written.lostFrames) / module_.ring.SampleRate, 'f', 2)));
    const SaveOutcome out = SaveRecording(tempPath, module_.target, prompts());
    ui->edtFile->setText(qs(module_.target.shortName));
    if (out.saved && onRecordingSaved)
        onRecordingSaved(qs(out.path));
    openTarget();
}

void TfrmSound::StopRecording()
{
    recording_ = false;
    ui->sbtnRec->setChecked(false);
    if (wave_)
        saveFinished(tempName_);
    setDeviceControlsEnabled();
}

void TfrmSound::openTarget()
{
    fileLoaded_ = false;
    std::error_code ec;
    if (!module_.target.empty() && std::filesystem::exists(module_.target.path, ec)) {
        try {
            wave_ = std::make_unique<TWave>(std::uint8_t(std::max(selectedRow(), 0)), 1);
            fileLoaded_ = wave_->Open(module_.target.path);
        } catch (const Error& e) {
            showMessage(qs(e.what()));
        }
    }
    setPlayEnabled();
}

// ---------------------------------------------------------------- playback

void TfrmSound::preparePlaybackFormat()
{
    setChannels(wave_->GetChannels());
    for (std::size_t i = 0; i < formatRows_.size(); ++i) {
        const WaveFormatRow& f = WaveFormats[std::size_t(formatRows_[i])];
        if (f.Channels == wave_->GetChannels() && f.BitsPerSample == wave_->GetBitsPerSample() &&
            f.SampleRate == wave_->GetSampleRate()) {
            ui->cbxRegim->setCurrentIndex(int(i));
            cbxRegimChange();
        }
    }
}

void TfrmSound::sbtnPlayClick()
{
    if (playing_) {
        ui->sbtnPlay->setChecked(true);
        if (paused_ && engine_->ResumePlayback()) {
            paused_ = false;
            ui->sbtnPause->setChecked(false);
        }
        return;
    }
    if (ui->cbxDoIn->isChecked())
        StopCapture();
    DeviceError error;
    if (fileLoaded_ && wave_ && wave_->Rewind()) {
        preparePlaybackFormat();
        playing_ = engine_->StartPlayback(*wave_, waveLen(), error);
    }
    ui->sbtnPlay->setChecked(playing_);
    if (!playing_ && !error.text.empty())
        showMessage(qs(error.Message()));
    paused_ = false;
    setDeviceControlsEnabled();
}

void TfrmSound::sbtnPauseClick()
{
    if (!playing_) {
        ui->sbtnPause->setChecked(false);
        return;
    }
    if (ui->sbtnPause->isChecked()) {
        paused_ = engine_->PausePlayback();
        ui->sbtnPause->setChecked(paused_);
    } else if (engine_->ResumePlayback()) {
        paused_ = false;
        ui->sbtnPlay->setChecked(true);
    }
}

void TfrmSound::StopPlayback()
{
    engine_->StopPlayback();
    playing_ = false;
    paused_ = false;
    ui->sbtnPlay->setChecked(false);
    ui->sbtnPause->setChecked(false);
    setDeviceControlsEnabled();
}

void TfrmSound::EndOfPlayback()
{
    StopPlayback();
}

void TfrmSound::sbtnStopClick()
{
    if (recording_)
        StopRecording();
    if (playing_)
        StopPlayback();
    if (auto_.state() != SoundAutoRecord::Off)
        StopAuto();
    ui->sbtnStop->setChecked(false);
}

void TfrmSound::btnSimFireClick()
{
    engine_->Simulator().Fire();
}

// ---------------------------------------------------------------- automatic recording

void TfrmSound::showAutoPicture()
{
    ui->imgAS->setPixmap(pictures_[AutoStatePicture(auto_.state())]);
}

void TfrmSound::sbtnASClick()
{
    if (recording_)
        StopRecording();
    if (playing_)
        StopPlayback();
    if (auto_.state() != SoundAutoRecord::Off) {
        StopAuto();
        return;
    }
    if (!engine_->Capturing() || !createRecordingFile()) {
        ui->sbtnAS->setChecked(false);
        setPlayEnabled();
        return;
    }
    autoWriting_ = false;
    auto_.Start();
    engine_->Transport().AutoActive = true;
    tmrSave->start();
    ui->sbtnAS->setChecked(true);
    setPlayEnabled();
    setDeviceControlsEnabled();
    showAutoPicture();
}

void TfrmSound::tmrSaveTimer()
{
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - clockStart_).count();
    const SoundAutoRecord::Event e = auto_.Tick(now, module_.ring, store_.settings.autoRecord);
    if (e.kind == SoundAutoRecord::Event::StartOfThrust && wave_) {
        engine_->StartWriting(*wave_, e.writeFrame);
        autoWriting_ = true;
    }
    showAutoPicture();
    if (e.kind == SoundAutoRecord::Event::EndOfThrust)
        StopAuto();
}

void TfrmSound::StopAuto()
{
    auto_.Stop();
    tmrSave->stop();
    engine_->Transport().AutoActive = false;
    ui->sbtnAS->setChecked(false);
    showAutoPicture();
    if (wave_ && autoWriting_) {
        saveFinished(tempName_);
    } else if (wave_) {
        // No firing was found: the empty recording is not saved over anything.
        engine_->StopWriting();
        wave_->Close();
        wave_.reset();
        std::error_code ec;
        std::filesystem::remove(tempName_, ec);
        openTarget();
    }
    autoWriting_ = false;
    setDeviceControlsEnabled();
}

// ---------------------------------------------------------------- files and settings

void TfrmSound::btnFileClick()
{
    const std::filesystem::path target(module_.target.path);
    const QString picked = chooseFile(false, qs(target.parent_path().string()), qs(module_.target.shortName));
    if (picked.isEmpty())
        return;
    module_.target.set(picked.toStdString());
    ui->edtFile->setText(qs(module_.target.shortName));
    // A recording being written or played stays with its file; the new name is where it will be saved.
    if (recording_ || auto_.state() != SoundAutoRecord::Off)
        return;
    if (playing_)
        StopPlayback();
    if (QFileInfo::exists(picked)) {
        openTarget();
        if (fileLoaded_ && !ui->cbxDoIn->isChecked())
            preparePlaybackFormat();
    }
    setPlayEnabled();
}

void TfrmSound::btnSetClick()
{
    if (onAutoRecordSettings)
        onAutoRecordSettings();
}

// ---------------------------------------------------------------- window

void TfrmSound::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    // FormShow: the target, when it exists, is ready to play.
    openTarget();
    if (fileLoaded_ && !ui->cbxDoIn->isChecked())
        preparePlaybackFormat();
    drawPage();
}

void TfrmSound::done(int result)
{
    if (playing_)
        StopPlayback();
    if (ui->cbxDoIn->isChecked() || engine_->Capturing())
        StopCapture();
    if (wave_)
        wave_->Close();
    tmrShow->stop();
    QDialog::done(result);
}

// ---------------------------------------------------------------- displays

void TfrmSound::cbxShowClick()
{
    engine_->Transport().Live = ui->cbxShow->isChecked();
    if (ui->cbxShow->isChecked())
        tmrShow->start();
    else
        tmrShow->stop();
}

void TfrmSound::tmrDeviceTimer()
{
    if (engine_->TakeEndOfPlayback() && playing_)
        EndOfPlayback();
}

void TfrmSound::tmrShowTimer()
{
    if (!ui->cbxShow->isChecked())
        return;
    const int n = LiveMeanCount(widenSingle(ss().refresh), widenSingle(ss().accur),
                                module_.ring.FreqRingLength.load(std::memory_order_acquire));
    ui->lblFreq->setText(qs(formatGeneral(LiveMean(module_.ring, n), 15, decimalSeparator())));
    drawPage();
}

void TfrmSound::drawPage()
{
    if (!isVisible())
        return;
    const PlotColors colors = ColorsOf(store_.settings.chart);
    if (ui->PC1->currentWidget() == ui->TS1)
        DrawSignalPage(*ui->imgSig, module_, ss(), ui->cbxSigAuto->isChecked(), colors);
    else if (ui->PC1->currentWidget() == ui->TS2)
        *freqPlot_ = DrawFreqPage(*ui->imgFreq, module_, ss(), colors);
    else
        *specPlot_ = DrawSpecPage(*ui->imgSpec, module_, ss(), colors);
}

void TfrmSound::TBFreqChange(int position)
{
    FreqBand band{ss().freqDown, ss().freqUp};
    band.onTrack(position, ui->TBFreq->maximum());
    ss().freqDown = band.lower;
    ss().freqUp = band.upper;
    refreshBandEdits();
    drawPage();
}

void TfrmSound::TBSpecChange(int position)
{
    SpecBand band{ss().specDown, ss().specUp, position};
    band.onTrack(position);
    ss().specDown = band.lower;
    ss().specUp = band.upper;
    if (band.trackPosition != position) {
        const QSignalBlocker block(ui->TBSpec);
        ui->TBSpec->setValue(band.trackPosition);
    }
    refreshBandEdits();
    drawPage();
}

void TfrmSound::imgFreqMouseMove(QPoint at)
{
    double f = 0;
    if (ui->PC1->currentWidget() != ui->TS2 ||
        !MouseFrequency(at.y(), *freqPlot_, ss().freqDown, ss().freqUp, f)) {
        hideMouseFreq();
        return;
    }
    stMouseFreq->setText(qs(FormatReadout(f, decimalSeparator())));
    stMouseFreq->adjustSize();
    stMouseFreq->move(std::clamp(at.x() + 4, 0, std::max(ui->imgFreq->width() - stMouseFreq->width(), 0)),
                      std::max(at.y() - stMouseFreq->height() - 2, 0));
    stMouseFreq->show();
}

void TfrmSound::hideMouseFreq()
{
    stMouseFreq->hide();
}

} // namespace selva
