#pragma once

#include "sound/SoundTransport.h"
#include "sound/io/AudioDevices.h"
#include "sound/io/RecordWriter.h"
#include "sound/io/SimulatedInput.h"

#include <memory>
#include <vector>

namespace selva {

class QtAudioBackend;
struct SoundRingState;
class TWave;

// Capture, playback and recording as the sound window and the command-line tool drive them: the sound
// cards (Qt Multimedia) and the simulated input behind one device list, the transport that moves the
// buffers through the rings, and the recording writer. A capture and a playback never run at once.
//
// Threads: UI thread only (the device threads are the backends'); see SoundTransport and SoundRingState
// for what the device threads touch. A QCoreApplication must exist.
class SoundEngine {
public:
    explicit SoundEngine(SoundRingState& ring);
    ~SoundEngine();
    SoundEngine(const SoundEngine&) = delete;
    SoundEngine& operator=(const SoundEngine&) = delete;

    // The input devices: the sound cards, then the simulated input.
    std::vector<AudioInput> Inputs();
    SimulatedInput& Simulator() { return simulator_; }
    SoundTransport& Transport() { return transport_; }
    SoundRingState& Ring() { return ring_; }

    // Sets up the rings for the format and wave length and starts capturing from `device`. False with
    // `error` set when the device did not open (nothing then runs).
    bool StartCapture(const AudioInput& device, const CaptureFormat& format, double waveLenSeconds,
                      DeviceError& error);
    void StopCapture();
    bool Capturing() const { return mode_ == Mode::Capture; }

    // The recording writer appends what arrives from monotonic frame `fromFrame` on to `wave` (opened by
    // CreateWave, and left alone by the caller until StopWriting).
    void StartWriting(TWave& wave, std::int64_t fromFrame);
    // From the latest frame on (a manual recording).
    void StartWriting(TWave& wave);
    RecordWriter::Result StopWriting();
    bool Writing() const { return writer_.Running(); }

    // Plays an open recording (rewound here) through the default output device. False when the file
    // cannot be rewound (`error` empty: not shown) or the device did not open.
    bool StartPlayback(TWave& wave, double waveLenSeconds, DeviceError& error);
    void StopPlayback();
    bool PausePlayback();
    bool ResumePlayback();
    bool Playing() const { return mode_ == Mode::Playback; }
    // True once after the playback reached the end of the file (taken from the window's timer).
    bool TakeEndOfPlayback() { return transport_.TakePlaybackEnded(); }

private:
    enum class Mode { Idle, Capture, Playback };
    QtAudioBackend& qt();
    void stopStream();

    SoundRingState& ring_;
    SoundTransport transport_;
    std::unique_ptr<QtAudioBackend> qt_;
    SimulatedInput simulator_;
    std::unique_ptr<AudioStream> stream_;
    RecordWriter writer_;
    Mode mode_ = Mode::Idle;
};

} // namespace selva
