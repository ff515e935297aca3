#include "sound/io/SoundEngine.h"

#include "sound/SoundRing.h"
#include "sound/Wave.h"
#include "sound/io/QtAudioBackend.h"

namespace selva {

SoundEngine::SoundEngine(SoundRingState& ring) : ring_(ring), transport_(ring) {}

SoundEngine::~SoundEngine()
{
    writer_.Stop();
    stopStream();
}

QtAudioBackend& SoundEngine::qt()
{
    if (!qt_)
        qt_ = std::make_unique<QtAudioBackend>();
    return *qt_;
}

std::vector<AudioInput> SoundEngine::Inputs()
{
    std::vector<AudioInput> inputs = qt().Inputs();
    for (AudioInput& in : simulator_.Inputs())
        inputs.push_back(std::move(in));
    return inputs;
}

void SoundEngine::stopStream()
{
    if (stream_) {
        transport_.ClosingInput.store(true, std::memory_order_release);
        transport_.ClosingOutput.store(true, std::memory_order_release);
        stream_->Stop();
        stream_.reset();
        transport_.ClosingInput.store(false, std::memory_order_release);
        transport_.ClosingOutput.store(false, std::memory_order_release);
    }
    mode_ = Mode::Idle;
    // The device thread is gone: this thread owns the rings again and puts posted settings in force.
    ring_.DeviceOwned.store(false, std::memory_order_relaxed);
    ring_.ApplyPendingSettings();
}

bool SoundEngine::StartCapture(const AudioInput& device, const CaptureFormat& format, double waveLenSeconds,
                               DeviceError& error)
{
    stopStream();
    transport_.PrepareCapture(format.channels, format.sampleRate, format.bitsPerSample, waveLenSeconds);
    ring_.DeviceOwned.store(true, std::memory_order_relaxed);
    AudioBackend& backend = device.simulated ? static_cast<AudioBackend&>(simulator_) : qt();
    stream_ = backend.OpenCapture(device, format, transport_, error);
    if (!stream_) {
        stopStream();
        return false;
    }
    mode_ = Mode::Capture;
    return true;
}

void SoundEngine::StopCapture()
{
    if (mode_ == Mode::Capture)
        stopStream();
}

void SoundEngine::StartWriting(TWave& wave, std::int64_t fromFrame)
{
    writer_.Start(ring_, wave, fromFrame);
}

void SoundEngine::StartWriting(TWave& wave)
{
    StartWriting(wave, ring_.ArrivedFrames.load(std::memory_order_acquire));
}

RecordWriter::Result SoundEngine::StopWriting()
{
    return writer_.Stop();
}

bool SoundEngine::StartPlayback(TWave& wave, double waveLenSeconds, DeviceError& error)
{
    stopStream();
    error = {};
    if (!transport_.PreparePlayback(wave, waveLenSeconds))
        return false;
    ring_.DeviceOwned.store(true, std::memory_order_relaxed);
    const CaptureFormat format{wave.GetChannels(), wave.GetSampleRate(), wave.GetBitsPerSample()};
    stream_ = qt().OpenPlayback(format, transport_, error);
    if (!stream_) {
        stopStream();
        return false;
    }
    mode_ = Mode::Playback;
    return true;
}

void SoundEngine::StopPlayback()
{
    if (mode_ == Mode::Playback)
        stopStream();
}

bool SoundEngine::PausePlayback()
{
    return mode_ == Mode::Playback && stream_->Pause();
}

bool SoundEngine::ResumePlayback()
{
    return mode_ == Mode::Playback && stream_->Resume();
}

} // namespace selva
