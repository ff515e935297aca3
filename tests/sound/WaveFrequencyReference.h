#pragma once

// The frequency estimation written the plain way, sample by sample through TWave's block reading, as
// the yardstick for the fast implementation: both must give the very same numbers.

#include "common/Format.h"
#include "sound/Wave.h"
#include "sound/WaveFrequency.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace selva::test {

inline double plainChannelMean(TWave& wave, int channel)
{
    const int bits = wave.GetBitsPerSample();
    const std::uint32_t frameSize = wave.GetFrameSize();
    double sum = 0.0;
    std::uint64_t frames = 0;
    if (!wave.ReadFirst())
        return 0.0;
    do {
        for (std::uint32_t k = 0; k < wave.GetFramesInBuffer(); ++k)
            sum += ReadSample(wave.Buffer() + k * frameSize + channel * (bits / 8), bits);
        frames += wave.GetFramesInBuffer();
    } while (wave.ReadNext());
    return frames ? sum / double(frames) : 0.0;
}

inline bool plainCalcWaveFrequency(TWave& wave, double analysisStep, int channel, std::int32_t noiseLsb,
                                   std::vector<double>& freqData, std::vector<double>& freqError)
{
    freqData.clear();
    freqError.clear();
    if (!wave.IsLoaded())
        return false;
    const std::int64_t pointCount = roundHalfEven(wave.GetDuration() / analysisStep);
    const std::int64_t P = roundHalfEven(double(wave.GetSampleRate()) * analysisStep);
    if (wave.GetTotalFrames() == 0)
        return false;
    freqData.assign(std::size_t(pointCount), 0.0);
    freqError.assign(std::size_t(pointCount), 0.0);
    std::vector<double> list(std::size_t(P) + 2);

    const int c = channel < wave.GetChannels() ? channel : 0;
    const int bits = wave.GetBitsPerSample();
    const std::uint32_t frameSize = wave.GetFrameSize();
    const double m = plainChannelMean(wave, c);
    if (!wave.ReadFirst())
        return false;
    if (wave.GetFramesInBuffer() == 0)
        return true;
    double p = ReadSample(wave.Buffer(), bits);
    const double dt = 1.0 / double(wave.GetSampleRate());

    list[0] = 0.0;
    std::size_t k = 1;
    int s0 = 0;
    bool armed = false;
    std::int64_t n = 0;
    std::uint32_t idx = 0;
    bool haveFrames = true;
    for (std::int64_t i = 0; i < pointCount; ++i) {
        // The first step takes P + 1 frames, every later one P.
        for (std::int64_t taken = (i == 0 ? 0 : 1); taken <= P && haveFrames; ++taken) {
            const double s = ReadSample(wave.Buffer() + idx * frameSize + c * (bits / 8), bits);
            if (std::fabs(s - m) >= noiseLsb)
                armed = true;
            bool found = false;
            double t = 0.0;
            if ((p > m && s < m) || (p < m && s > m)) {
                t = (double(n) - (s - m) / (s - p)) * dt;
                found = true;
            } else if (p == m && i > 0) {
                t = double(n - 1) * dt; // the sample on the mean is the crossing
                found = true;
            }
            if (found && armed) {
                list[k++] = t;
                armed = false;
            }
            p = s;
            ++n;
            if (++idx >= wave.GetFramesInBuffer()) {
                idx = 0;
                haveFrames = wave.ReadNext();
            }
        }
        if (k > 2) {
            const double h = (list[k - 1] - list[std::size_t(s0)]) / double(std::int64_t(k) - s0 - 1);
            double sum = 0.0;
            for (std::size_t j = std::size_t(s0) + 1; j < k; ++j) {
                const double dev = h - (list[j] - list[j - 1]);
                sum += dev * dev;
            }
            const double d = std::sqrt(sum / double(std::int64_t(k) - s0 - 1));
            freqData[std::size_t(i)] = 1.0 / (2.0 * h);
            freqError[std::size_t(i)] = freqData[std::size_t(i)] - 1.0 / ((h + d) * 2.0);
            s0 = 0;
        } else {
            s0 = k == 1 ? 1 : 0;
        }
        list[0] = list[k - 1];
        k = 1;
    }
    return true;
}

} // namespace selva::test
