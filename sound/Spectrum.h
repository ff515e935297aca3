#pragma once

#include <cstdint>
#include <vector>

namespace selva {

struct SoundRingState;

// Spectrum lengths are powers of two from 2 to 32768. Any other request is taken as the largest power of
// two not above it, within those limits.
inline constexpr int MinSpectrumLength = 2;
inline constexpr int MaxSpectrumLength = 32768;
int NormalizeSpectrumLength(int requested);

// Bit-reversed value of `index` over `bits` bits.
std::uint32_t BitReverse(std::uint32_t index, int bits);

// Radix-2 FFT of length N = re.size() (a power of two, 2 to 32768), in place on the real and imaginary
// arrays, then reordered: the result holds N / 2 bins, realOut[j] being the real part of the forward
// discrete Fourier transform at bin j (frequency j * sample rate / N). The imaginary output is the
// negated imaginary part as the transform leaves it. Empty output when N is not such a power of two.
struct SpectrumBins {
    std::vector<float> realOut;
    std::vector<float> imagOut;
};
SpectrumBins SpectrumFFT(std::vector<float> re, std::vector<float> im);

// The latest `n` samples of `channel` in the ring, ending at the record frame and wrapping at the end of
// the ring, as numbers (8-bit samples unsigned); zeros where the ring has none (never arrived, or more
// than the ring holds while the device writes: ReadLatestSamples). Empty when the device overwrote the
// samples during every try: that drawing is dropped.
std::vector<float> LatestRingSamples(const SoundRingState& ring, int channel, int n);

// Spectrum of the latest `n` samples of `channel` (n normalised as above); empty when the samples could
// not be read whole.
SpectrumBins RingSpectrum(const SoundRingState& ring, int channel, int n);

// Bins drawn for a band from `lowerHz` to `upperHz`: lo = (lowerHz * N) div (2 * (rate div 2)), at
// least 0; hi = (upperHz * N) div (2 * (rate div 2)), at most N / 2 - 1. Nothing is drawn when lo > hi.
struct SpectrumBinRange {
    int lo = 0;
    int hi = -1;
    bool empty() const { return lo > hi; }
};
SpectrumBinRange SpectrumBinsToDraw(std::int64_t lowerHz, std::int64_t upperHz, int n,
                                    std::uint32_t sampleRate);

// Horizontal pixel offset of `bin` within a plot `plotWidth` wide: the band lo..hi spans the plot's width
// once, as its axis is labelled (lo at 0, hi at plotWidth).
int SpectrumBinX(int bin, const SpectrumBinRange& range, int plotWidth);
// Vertical pixel of a bin's real output: plotHeight - nearest(|realOut| / N).
int SpectrumBinY(float realOut, int n, int plotHeight);

} // namespace selva
