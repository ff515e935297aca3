#include "sound/Spectrum.h"

#include "common/Format.h"
#include "sound/SoundRing.h"
#include "sound/WaveFrequency.h"

#include <cmath>
#include <numbers>

namespace selva {

int NormalizeSpectrumLength(int requested)
{
    if (requested <= MinSpectrumLength)
        return MinSpectrumLength;
    if (requested >= MaxSpectrumLength)
        return MaxSpectrumLength;
    int n = MinSpectrumLength;
    while (n * 2 <= requested)
        n *= 2;
    return n;
}

std::uint32_t BitReverse(std::uint32_t index, int bits)
{
    // Halving the range at each of the bits' steps: the highest bit of the index becomes bit 0.
    std::uint32_t r = 0;
    std::uint32_t half = bits > 0 ? std::uint32_t{1} << bits : 1;
    std::uint32_t rest = index;
    for (int step = 1; step <= bits; ++step) {
        half /= 2;
        if (rest >= half) {
            r += std::uint32_t{1} << (step - 1);
            rest -= half;
        }
    }
    return r;
}

SpectrumBins SpectrumFFT(std::vector<float> re, std::vector<float> im)
{
    SpectrumBins out;
    const std::size_t n = re.size();
    if (n < std::size_t(MinSpectrumLength) || n > std::size_t(MaxSpectrumLength) || (n & (n - 1)) != 0 ||
        im.size() != n)
        return out;
    int b = 0;
    while ((std::size_t{1} << b) < n)
        ++b;

    // b stages; in each, the groups of 2 * span elements share one twiddle factor. The twiddle's
    // exponent is the group index reversed over the b - 1 bits a group index has (groups run up to
    // N / 2): reversing it over b bits would double every angle, and the result would not be the
    // Fourier transform.
    std::size_t span = n / 2;
    std::size_t groups = 1;
    for (int stage = 0; stage < b; ++stage) {
        for (std::size_t g = 0; g < groups; ++g) {
            const std::size_t start = g * 2 * span;
            const double angle =
                2.0 * std::numbers::pi * double(BitReverse(std::uint32_t(g), b - 1)) / double(n);
            const float wr = static_cast<float>(std::cos(angle));
            const float wi = static_cast<float>(-std::sin(angle));
            for (std::size_t x = start; x < start + span; ++x) {
                const float br = re[x + span], bi = im[x + span];
                const float tr = wr * br - wi * bi;
                const float ti = wr * bi + wi * br;
                const float ar = re[x], ai = im[x];
                re[x] = ar + tr;
                im[x] = ai + ti;
                re[x + span] = ar - tr;
                im[x + span] = ai - ti;
            }
        }
        span /= 2;
        groups *= 2;
    }

    out.realOut.resize(n / 2);
    out.imagOut.resize(n / 2);
    for (std::size_t j = 0; j < n / 2; ++j) {
        const std::uint32_t r = BitReverse(std::uint32_t(j), b);
        out.realOut[j] = re[r];
        out.imagOut[j] = -im[r];
    }
    return out;
}

std::vector<float> LatestRingSamples(const SoundRingState& ring, int channel, int n)
{
    std::vector<float> samples(static_cast<std::size_t>(n > 0 ? n : 0), 0.0f);
    if (!ReadLatestSamples(ring, channel, 0, n, samples.data()))
        samples.clear();
    return samples;
}

SpectrumBins RingSpectrum(const SoundRingState& ring, int channel, int n)
{
    const int length = NormalizeSpectrumLength(n);
    std::vector<float> samples = LatestRingSamples(ring, channel, length);
    if (samples.empty())
        return {};
    return SpectrumFFT(std::move(samples), std::vector<float>(std::size_t(length), 0.0f));
}

SpectrumBinRange SpectrumBinsToDraw(std::int64_t lowerHz, std::int64_t upperHz, int n,
                                    std::uint32_t sampleRate)
{
    SpectrumBinRange range;
    const std::int64_t divisor = 2 * std::int64_t(sampleRate / 2);
    if (divisor == 0 || n < 2)
        return range; // empty
    range.lo = static_cast<int>(std::max<std::int64_t>((lowerHz * n) / divisor, 0));
    range.hi = static_cast<int>(std::min<std::int64_t>((upperHz * n) / divisor, n / 2 - 1));
    return range;
}

int SpectrumBinX(int bin, const SpectrumBinRange& range, int plotWidth)
{
    if (range.hi <= range.lo)
        return 0;
    return static_cast<int>(
        roundHalfEven(double(bin - range.lo) * double(plotWidth) / double(range.hi - range.lo)));
}

int SpectrumBinY(float realOut, int n, int plotHeight)
{
    return plotHeight - static_cast<int>(roundHalfEven(std::fabs(double(realOut)) / double(n > 0 ? n : 1)));
}

} // namespace selva
