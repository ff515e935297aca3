#pragma once

#include "sound/io/AudioDevices.h"

#include <functional>
#include <memory>

class QObject;
class QThread;

namespace selva {

// Real sound cards through Qt Multimedia. The audio sources and sinks live on a thread of the backend's
// own, where Qt delivers their data, so the transport's callback work never runs on the UI thread.
// Captures are opened on the input device of the given id; playback goes to the system's default output
// device (the device list offers inputs only).
//
// Threads: every public function is called on the UI thread and waits while the device thread opens,
// pauses or stops a device; the device thread never waits for the UI thread. A QCoreApplication must
// exist.
class QtAudioBackend : public AudioBackend {
public:
    QtAudioBackend();
    ~QtAudioBackend() override;

    std::vector<AudioInput> Inputs() override;
    std::unique_ptr<AudioStream> OpenCapture(const AudioInput& device, const CaptureFormat& format,
                                             SoundTransport& transport, DeviceError& error) override;
    std::unique_ptr<AudioStream> OpenPlayback(const CaptureFormat& format, SoundTransport& transport,
                                              DeviceError& error) override;

    // Runs `work` on the device thread and returns when it has run.
    void RunOnDeviceThread(const std::function<void()>& work);
    QObject* DeviceContext() const { return context_; }

private:
    std::unique_ptr<QThread> thread_;
    QObject* context_ = nullptr; // lives on thread_
};

} // namespace selva
