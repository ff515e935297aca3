#pragma once

#include "analysis/ThrustProfile.h"
#include "sensors/InverseCalibration.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>

namespace selva {

// What a force sensor's oscillator delivers while a motor is fired on it: a sine whose frequency is the
// sensor's frequency for the thrust of a profile, fired at a frame chosen at run time (before the firing
// and after the profile's end the thrust is 0, so the sensor rests at its zero-thrust frequency). The
// signal the simulated sound input produces.
//
// Threads: the device thread calls Generate; any thread may call FireAt (atomic). The rest is set before
// the device starts.
class SensorSignal {
public:
    // The frequency for a thrust is taken from a table over the profile's range of thrusts (`table`), so
    // generating costs no bisection. Throws selva::Error when the calibration cannot be inverted.
    SensorSignal(ThrustProfile profile, const TCalibration& calibration);

    // Format of the frames Generate writes: 8-bit (unsigned) or 16-bit (signed), 1 or 2 channels with the
    // same signal.
    void SetFormat(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample);
    // Amplitude as a fraction of full scale, and uniform noise in sample units.
    void SetLevel(double amplitude, double noise);

    // The profile starts at monotonic frame `frame` of what Generate produces.
    void FireAt(std::int64_t frame) { fireFrame_.store(frame, std::memory_order_relaxed); }
    bool Fired() const { return fireFrame_.load(std::memory_order_relaxed) != kNever; }
    // Frames generated so far.
    std::int64_t Position() const { return position_.load(std::memory_order_relaxed); }

    // Writes `frames` frames into `out` (frames * frame size bytes) and advances. Allocates nothing.
    void Generate(unsigned char* out, std::int32_t frames);

    double FrequencyAt(double thrust) const { return table_->frequencyAt(thrust); }
    const ThrustProfile& Profile() const { return profile_; }
    std::uint32_t FrameSize() const { return std::uint32_t{channels_} * bits_ / 8; }
    std::uint32_t SampleRate() const { return rate_; }

private:
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

    ThrustProfile profile_;
    std::unique_ptr<FrequencyTable> table_;
    std::uint16_t channels_ = 1;
    std::uint32_t rate_ = 44100;
    std::uint16_t bits_ = 16;
    double amplitude_ = 0.5;
    double noise_ = 0;
    // Not 0: a rest frequency with a half-integer number of periods in a buffer would put a sample exactly
    // on the mean at every buffer's end, which no real oscillator does.
    double phase_ = 0.3;
    std::uint64_t noiseState_ = 1;
    std::atomic<std::int64_t> fireFrame_{kNever};
    std::atomic<std::int64_t> position_{0};
};

} // namespace selva
