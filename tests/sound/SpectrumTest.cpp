#include "sound/Spectrum.h"

#include "sound/SoundRing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace selva {
namespace {

TEST(SpectrumTest, FftIsTheDiscreteFourierTransform)
{
    std::mt19937 rng(5);
    for (int n : {2, 4, 8, 16, 256, 1024}) {
        std::vector<float> re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n), 0.0f);
        for (float& v : re)
            v = float(int(rng() % 2001) - 1000);
        const SpectrumBins bins = SpectrumFFT(re, im);
        ASSERT_EQ(bins.realOut.size(), std::size_t(n / 2));
        for (int j = 0; j < n / 2; ++j) {
            std::complex<double> x = 0;
            for (int k = 0; k < n; ++k)
                x += double(re[std::size_t(k)]) * std::polar(1.0, -2 * std::numbers::pi * j * k / n);
            const double tolerance = 1e-4 * 1000.0 * n;
            EXPECT_NEAR(bins.realOut[std::size_t(j)], x.real(), tolerance) << n << " bin " << j;
            EXPECT_NEAR(bins.imagOut[std::size_t(j)], -x.imag(), tolerance) << n << " bin " << j;
        }
    }
}

TEST(SpectrumTest, LengthsOtherThanPowersOfTwoAreRefusedOrNormalised)
{
    EXPECT_TRUE(SpectrumFFT(std::vector<float>(6), std::vector<float>(6)).realOut.empty());
    EXPECT_TRUE(SpectrumFFT(std::vector<float>(1), std::vector<float>(1)).realOut.empty());
    EXPECT_TRUE(SpectrumFFT(std::vector<float>(65536), std::vector<float>(65536)).realOut.empty());
    const std::vector<std::pair<int, int>> cases = {
        {-5, 2}, {0, 2}, {2, 2}, {3, 2}, {1000, 512}, {1024, 1024}, {32768, 32768}, {40000, 32768}};
    for (auto [asked, got] : cases)
        EXPECT_EQ(NormalizeSpectrumLength(asked), got) << asked;
}

TEST(SpectrumTest, SineInTheRingPeaksAtItsBin)
{
    SoundRingState ring;
    ring.SetFormat(2, 44100, 16);
    ring.SetWaveLen(1.0);
    // 1000 Hz on the left channel (index 1) only, ending just before the record frame 5000 (the samples
    // wrap around the end of the ring).
    const int n = 4096;
    const std::int32_t record = 5000;
    for (int k = 0; k < n; ++k) {
        const std::int32_t frame = (record - n + k + ring.RingFrames) % ring.RingFrames;
        const auto s = static_cast<std::int16_t>(
            std::lround(10000 * std::cos(2 * std::numbers::pi * 1000.0 * k / 44100)));
        ring.SoundRing[std::size_t(frame) * 4 + 2] = static_cast<unsigned char>(s & 0xFF);
        ring.SoundRing[std::size_t(frame) * 4 + 3] = static_cast<unsigned char>((s >> 8) & 0xFF);
    }
    ring.PublishRecordFrame(record);

    const SpectrumBins left = RingSpectrum(ring, 1, n);
    ASSERT_EQ(left.realOut.size(), std::size_t(n / 2));
    std::size_t peak = 0;
    for (std::size_t j = 0; j < left.realOut.size(); ++j)
        if (std::fabs(left.realOut[j]) > std::fabs(left.realOut[peak]))
            peak = j;
    EXPECT_NEAR(double(peak), 1000.0 * n / 44100, 1.0); // bin 92.9

    const SpectrumBins right = RingSpectrum(ring, 0, n);
    for (float v : right.realOut)
        EXPECT_EQ(v, 0.0f);

    // An empty ring gives a flat spectrum.
    SoundRingState empty;
    const SpectrumBins none = RingSpectrum(empty, 0, 64);
    ASSERT_EQ(none.realOut.size(), 32u);
    for (float v : none.realOut)
        EXPECT_EQ(v, 0.0f);
}

TEST(SpectrumTest, BandToDraw)
{
    struct Case {
        std::int64_t lower, upper;
        int n;
        std::uint32_t rate;
        int lo, hi;
    };
    const std::vector<Case> cases = {
        {100, 30000, 1024, 44100, 2, 511}, // upper bin limited to N/2 - 1
        {0, 5000, 1024, 44100, 0, 116},
        {-100, 1000, 256, 11025, 0, 23},
        {1000, 1000, 1024, 44100, 23, 23},
    };
    for (const Case& c : cases) {
        const SpectrumBinRange r = SpectrumBinsToDraw(c.lower, c.upper, c.n, c.rate);
        EXPECT_EQ(r.lo, c.lo) << c.lower;
        EXPECT_EQ(r.hi, c.hi) << c.upper;
        EXPECT_FALSE(r.empty());
    }
    EXPECT_TRUE(SpectrumBinsToDraw(5000, 1000, 1024, 44100).empty()); // lower above upper: nothing drawn
    EXPECT_TRUE(SpectrumBinsToDraw(0, 1000, 1024, 1).empty());

    const SpectrumBinRange r{10, 20};
    EXPECT_EQ(SpectrumBinX(10, r, 400), 0);
    EXPECT_EQ(SpectrumBinX(15, r, 400), 200);
    EXPECT_EQ(SpectrumBinX(20, r, 400), 400);
    EXPECT_EQ(SpectrumBinY(-2048.0f, 1024, 300), 298);
}

} // namespace
} // namespace selva
