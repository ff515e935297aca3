#include "sound/SensorSignal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace selva {

namespace {

double thrustRange(const ThrustProfile& profile, bool highest)
{
    double v = 0;
    for (const ThrustProfile::Point& p : profile.points())
        v = highest ? std::max(v, p.thrust) : std::min(v, p.thrust);
    return v;
}

} // namespace

SensorSignal::SensorSignal(ThrustProfile profile, const TCalibration& calibration)
    : profile_(std::move(profile))
{
    // The inverse reads the calibration only while the table is built.
    TCalibration copy = calibration;
    const InverseCalibration inverse(copy);
    table_ =
        std::make_unique<FrequencyTable>(inverse, thrustRange(profile_, false), thrustRange(profile_, true));
}

void SensorSignal::SetFormat(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample)
{
    channels_ = channels;
    rate_ = sampleRate;
    bits_ = bitsPerSample;
}

void SensorSignal::SetLevel(double amplitude, double noise)
{
    amplitude_ = amplitude;
    noise_ = noise;
}

void SensorSignal::Generate(unsigned char* out, std::int32_t frames)
{
    const bool wide = bits_ == 16;
    const double full = wide ? 32767.0 : 127.0;
    const double centre = wide ? 0.0 : 128.0;
    const double lowest = wide ? -32768.0 : 0.0, highest = wide ? 32767.0 : 255.0;
    const double dt = 1.0 / double(rate_);
    const std::int64_t fire = fireFrame_.load(std::memory_order_relaxed);
    std::int64_t n = position_.load(std::memory_order_relaxed);
    for (std::int32_t k = 0; k < frames; ++k, ++n) {
        const double t = fire == kNever ? -1.0 : double(n - fire) * dt;
        const double f = table_->frequencyAt(t < 0 ? 0.0 : profile_.thrustAt(t));
        phase_ = std::fmod(phase_ + 2.0 * std::numbers::pi * f * dt, 2.0 * std::numbers::pi);
        // splitmix64 noise: the same for every run.
        std::uint64_t z = (noiseState_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        const double noise = noise_ * (double(z >> 11) * (2.0 / 9007199254740992.0) - 1.0);
        const double v = std::clamp(std::nearbyint(centre + amplitude_ * full * std::sin(phase_) + noise),
                                    lowest, highest);
        const auto s = static_cast<std::int32_t>(v);
        for (std::uint16_t c = 0; c < channels_; ++c) {
            if (wide) {
                *out++ = static_cast<unsigned char>(s & 0xFF);
                *out++ = static_cast<unsigned char>((s >> 8) & 0xFF);
            } else {
                *out++ = static_cast<unsigned char>(s);
            }
        }
    }
    position_.store(n, std::memory_order_relaxed);
}

} // namespace selva
