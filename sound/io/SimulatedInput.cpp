#include "sound/io/SimulatedInput.h"

#include "sound/SensorSignal.h"
#include "sound/SoundTransport.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace selva {

class SimulatedStream : public AudioStream {
public:
    SimulatedStream(SimulatedInput& owner, std::shared_ptr<SensorSignal> signal, SoundTransport& transport,
                    std::uint32_t sampleRate)
        : owner_(owner), signal_(std::move(signal)), transport_(transport), rate_(sampleRate)
    {
        // A quarter of a second at most per piece; pieces follow the clock.
        scratch_.assign(std::size_t(rate_ / 4 + 1) * signal_->FrameSize(), 0);
        owner_.running_ = true;
        thread_ = std::thread([this] { run(); });
    }
    ~SimulatedStream() override { Stop(); }

    void Stop() override
    {
        if (!thread_.joinable())
            return;
        stop_.store(true, std::memory_order_relaxed);
        thread_.join();
        owner_.running_ = false;
    }

private:
    void run()
    {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        std::int64_t produced = 0;
        const std::int64_t most = std::int64_t(rate_ / 4);
        while (!stop_.load(std::memory_order_relaxed)) {
            // As many frames as the clock says have passed, 20 ms at a time.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            std::int64_t due = static_cast<std::int64_t>(elapsed * rate_) - produced;
            while (due > 0 && !stop_.load(std::memory_order_relaxed)) {
                const auto n = static_cast<std::int32_t>(std::min(due, most));
                signal_->Generate(scratch_.data(), n);
                transport_.CaptureArrived(scratch_.data(), std::size_t(n) * signal_->FrameSize());
                produced += n;
                due -= n;
            }
        }
    }

    SimulatedInput& owner_;
    std::shared_ptr<SensorSignal> signal_;
    SoundTransport& transport_;
    std::uint32_t rate_;
    std::vector<unsigned char> scratch_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

SimulatedInput::SimulatedInput() = default;
SimulatedInput::~SimulatedInput() = default;

void SimulatedInput::SetSignal(std::shared_ptr<SensorSignal> signal)
{
    signal_ = std::move(signal);
}

bool SimulatedInput::Fire(double afterSeconds)
{
    if (!running_ || !signal_)
        return false;
    signal_->FireAt(signal_->Position() + std::llround(std::max(afterSeconds, 0.0) * signal_->SampleRate()));
    return true;
}

std::vector<AudioInput> SimulatedInput::Inputs()
{
    AudioInput in;
    in.id = Id;
    in.description = Description;
    in.formatFlags = FormatFlagsWhere(
        [](const CaptureFormat& f) { return f.bitsPerSample == 8 || f.bitsPerSample == 16; });
    in.simulated = true;
    return {in};
}

std::unique_ptr<AudioStream> SimulatedInput::OpenCapture(const AudioInput& device,
                                                         const CaptureFormat& format,
                                                         SoundTransport& transport, DeviceError& error)
{
    if (device.id != Id) {
        error = MakeDeviceError(DeviceBadId);
        return nullptr;
    }
    if (!signal_) {
        error = MakeDeviceError(DeviceNoDriver);
        return nullptr;
    }
    if ((format.bitsPerSample != 8 && format.bitsPerSample != 16) ||
        (format.channels != 1 && format.channels != 2) || format.sampleRate == 0) {
        error = MakeDeviceError(DeviceBadFormat);
        return nullptr;
    }
    if (running_) {
        error = MakeDeviceError(DeviceAllocated);
        return nullptr;
    }
    signal_->SetFormat(format.channels, format.sampleRate, format.bitsPerSample);
    return std::make_unique<SimulatedStream>(*this, signal_, transport, format.sampleRate);
}

} // namespace selva
