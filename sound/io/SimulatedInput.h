#pragma once

#include "sound/io/AudioDevices.h"

#include <memory>

namespace selva {

class SensorSignal;

// A sound input of its own kind, for demos and tests: "Имитатор датчика", listed after the real devices.
// It delivers, in real time and in every capture format, what a force sensor's oscillator delivers while a
// motor is fired on it (SensorSignal: a thrust profile through a sensor's calibration), with the firing
// started on demand (Fire). Its samples come from a thread of its own, paced by the clock, through the
// same transport as a sound card's.
//
// Threads: UI thread for everything here; the generating thread is the device thread.
class SimulatedInput : public AudioBackend {
public:
    static constexpr const char* Id = "simulator";
    static constexpr const char* Description = "Имитатор датчика";

    SimulatedInput();
    ~SimulatedInput() override;

    // The signal the next capture delivers (kept while the capture runs).
    void SetSignal(std::shared_ptr<SensorSignal> signal);
    const std::shared_ptr<SensorSignal>& Signal() const { return signal_; }
    // Starts the profile `afterSeconds` from now in the signal being delivered. False when nothing runs.
    bool Fire(double afterSeconds = 0);

    std::vector<AudioInput> Inputs() override;
    std::unique_ptr<AudioStream> OpenCapture(const AudioInput& device, const CaptureFormat& format,
                                             SoundTransport& transport, DeviceError& error) override;

private:
    std::shared_ptr<SensorSignal> signal_;
    bool running_ = false;
    friend class SimulatedStream;
};

} // namespace selva
