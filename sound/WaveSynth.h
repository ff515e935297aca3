#pragma once

#include "common/AtomicFile.h"

#include <cstdint>
#include <functional>
#include <string>

namespace selva {

// An oscillator recording with known truth: a sine whose phase is the integral of f(t), so that the
// frequency measured from it is f, at 90 % of full scale, plus uniform noise of +-noiseAmplitude sample
// units. Deterministic for a seed.
struct WaveSynthOptions {
    std::uint32_t sampleRate = 44100;
    std::uint16_t bitsPerSample = 16; // 8 or 16
    std::uint16_t channels = 1;       // 1 or 2; both channels carry the same oscillator
    double noiseAmplitude = 0.0;      // sample units
    std::uint64_t seed = 1;
    double durationSeconds = 1.0;
};

// Writes the recording through TWave::CreateWave by the rules of `saveOptions` (throws selva::Error on a
// file error or an unsupported format). Returns the number of frames written.
std::uint64_t WriteSynthWave(const std::string& fileName, const WaveSynthOptions& options,
                             const std::function<double(double t)>& frequencyHz,
                             const SaveOptions& saveOptions = {});

} // namespace selva
