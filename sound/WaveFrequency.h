#pragma once

#include "common/AnalysisLimits.h"
#include "common/Progress.h"
#include "sound/Wave.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace selva {

// Frequency of a WAV recording, one value per analysis step, measured by timing the crossings of the
// signal's mean level (each crossing placed between two samples by linear interpolation); the value of
// a step is 1 / (2 * the mean time between successive crossings), its error the change of that value
// when the mean half-period grows by the spread of the half-periods.
//
// channel: 0 = first sample of each frame ("Канал Пр"), 1 = second ("Канал Л"; on a mono file use 0).
// Fills freqData/freqError (their size is the PointCount); reports stage 1 and the fraction through
// progress (may be null) and stops early, returning false, when progress->cancel is set. Returns false
// when no file is loaded or it has no frames (series then empty).
//
// The point count is the nearest integer to the duration / analysisStep, a step spans the nearest
// integer to sample rate * analysisStep frames (the first step one frame more), steps after the end of
// the data give 0 in both series. A crossing counts only once the signal has moved at least noiseLsb
// away from the mean since the crossing before. Reads the file in large pieces; memory besides the two
// series stays below 16 MB whatever the recording's length. Throws selva::Error ("Слишком много точек
// анализа ...") before anything is allocated when the series would be longer than MaxAnalysisPoints (a
// long recording at a fine step, or a header whose byte rate makes the recording absurdly long).
bool CalcWaveFrequency(TWave& wave, double analysisStep, int channel, std::int32_t noiseLsb,
                       std::vector<double>& freqData, std::vector<double>& freqError, Progress* progress);

// Knobs of the implementation, for tests that pin down that every path gives the same numbers.
struct WaveFrequencyTuning {
    // Most crossing times held for one step; a step that could hold more is measured in two passes.
    std::size_t crossingListLimit = std::size_t{1} << 20;
    // -1 picks the best the processor offers; 0 plain code, 1 SSE2, 2 AVX2 (taken only where present).
    int simdLevel = -1;
    // Frames read from the file at a time.
    std::size_t chunkFrames = std::size_t{1} << 18;
};
bool CalcWaveFrequencyTuned(TWave& wave, double analysisStep, int channel, std::int32_t noiseLsb,
                            std::vector<double>& freqData, std::vector<double>& freqError, Progress* progress,
                            const WaveFrequencyTuning& tuning);

// Highest SIMD level this processor offers to CalcWaveFrequency (0, 1 or 2 as in WaveFrequencyTuning).
int WaveFrequencySimdLevel();

// Largest series CalcWaveFrequency builds (points); beyond it the recording is refused.
inline constexpr std::uint64_t MaxWaveFrequencyPoints = MaxAnalysisPoints;

// Value of one sample as the estimators read it: 8 bits unsigned (0 to 255) unless `signed8` (then
// -128 to 127), 16, 24 and 32 bits signed little-endian. `readable` is false for other widths.
inline bool SampleWidthReadable(int bitsPerSample)
{
    return bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32;
}
inline std::int32_t ReadSample(const unsigned char* p, int bitsPerSample, bool signed8 = false)
{
    switch (bitsPerSample) {
    case 8:
        return signed8 ? static_cast<std::int32_t>(static_cast<signed char>(p[0])) : std::int32_t{p[0]};
    case 16:
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
    case 24: {
        const std::uint32_t u =
            std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
        return static_cast<std::int32_t>(u << 8) >> 8;
    }
    case 32:
        return static_cast<std::int32_t>(std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
                                         (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24));
    default:
        return 0;
    }
}

} // namespace selva
