#include "sound/WaveSynth.h"

#include "common/Error.h"
#include "common/Format.h"
#include "sound/Wave.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace selva {

namespace {

// splitmix64: the same numbers for a seed on every platform and library.
struct NoiseSource {
    std::uint64_t state;
    double next() // uniform in [-1, 1)
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return double(z >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }
};

} // namespace

std::uint64_t WriteSynthWave(const std::string& fileName, const WaveSynthOptions& options,
                             const std::function<double(double t)>& frequencyHz,
                             const SaveOptions& saveOptions)
{
    if ((options.bitsPerSample != 8 && options.bitsPerSample != 16) ||
        (options.channels != 1 && options.channels != 2) || options.sampleRate == 0 ||
        !(options.durationSeconds >= 0.0) || !(options.durationSeconds * options.sampleRate < 4.0e9))
        throw Error("Unsupported recording format for the synthesiser");

    TWave wave;
    wave.SetFormat(options.channels, options.sampleRate, options.bitsPerSample);
    wave.CreateWave(fileName, saveOptions);

    const std::uint64_t frames =
        static_cast<std::uint64_t>(roundHalfEven(options.durationSeconds * options.sampleRate));
    const double dt = 1.0 / double(options.sampleRate);
    const bool wide = options.bitsPerSample == 16;
    const double centre = wide ? 0.0 : 128.0;
    const double amplitude = 0.9 * (wide ? 32767.0 : 127.0);
    const double lowest = wide ? -32768.0 : 0.0;
    const double highest = wide ? 32767.0 : 255.0;
    const std::uint32_t frameSize = wave.GetFrameSize();

    NoiseSource noise{options.seed};
    // Phase is the integral of the frequency, by the trapezoid rule between samples.
    double phase = 0.0;
    double fPrev = frequencyHz(0.0);
    std::vector<unsigned char> chunk;
    chunk.reserve(std::size_t{1} << 16);
    for (std::uint64_t n = 0; n < frames; ++n) {
        if (n > 0) {
            const double f = frequencyHz(double(n) * dt);
            phase += std::numbers::pi * (fPrev + f) * dt;
            phase = std::fmod(phase, 2.0 * std::numbers::pi);
            fPrev = f;
        }
        const double clean = centre + amplitude * std::sin(phase);
        for (std::uint16_t c = 0; c < options.channels; ++c) {
            const double v = clean + options.noiseAmplitude * noise.next();
            const auto sample = static_cast<std::int32_t>(std::clamp(std::nearbyint(v), lowest, highest));
            if (wide) {
                chunk.push_back(static_cast<unsigned char>(sample & 0xFF));
                chunk.push_back(static_cast<unsigned char>((sample >> 8) & 0xFF));
            } else {
                chunk.push_back(static_cast<unsigned char>(sample));
            }
        }
        if (chunk.size() + frameSize > (std::size_t{1} << 16) || n + 1 == frames) {
            if (!wave.AppendData(chunk.data(), chunk.size())) {
                wave.Close();
                throw Error("Error writing " + fileName);
            }
            chunk.clear();
        }
    }
    if (!wave.Close())
        throw Error("Error writing " + fileName);
    return frames;
}

} // namespace selva
