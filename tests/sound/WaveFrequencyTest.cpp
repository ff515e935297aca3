#include "sound/WaveFrequency.h"

#include "common/Error.h"
#include "sound/WaveBytes.h"
#include "sound/WaveFrequencyReference.h"
#include "sound/WaveSynth.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace selva {
namespace {

// Writes interleaved sample values as a PCM file (8-bit values are the raw unsigned bytes).
void writeSamples(const std::string& name, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                  const std::vector<std::int64_t>& values)
{
    TWave wave;
    wave.SetFormat(channels, rate, bits);
    wave.CreateWave(name);
    std::string bytes;
    for (std::int64_t v : values)
        for (int b = 0; b < bits / 8; ++b)
            bytes += char((static_cast<std::uint64_t>(v) >> (8 * b)) & 0xFF);
    wave.AppendData(bytes.data(), bytes.size());
    ASSERT_TRUE(wave.Close());
}

// Frequency and error of one step from its crossing times, measured from entry s0.
std::pair<double, double> fromCrossings(const std::vector<double>& e, int s0)
{
    const double intervals = double(e.size()) - s0 - 1;
    const double h = (e.back() - e[std::size_t(s0)]) / intervals;
    double sum = 0.0;
    for (std::size_t j = std::size_t(s0) + 1; j < e.size(); ++j)
        sum += (h - (e[j] - e[j - 1])) * (h - (e[j] - e[j - 1]));
    const double d = std::sqrt(sum / intervals);
    return {1.0 / (2 * h), 1.0 / (2 * h) - 1.0 / (2 * (h + d))};
}

TEST(WaveFrequencyTest, SineOf1000HzMeasuresAs1000Hz)
{
    test::TempDir dir;
    const std::string name = dir.file("sine.wav");
    WaveSynthOptions o;
    o.sampleRate = 44100;
    o.channels = 2;
    o.durationSeconds = 1.0;
    WriteSynthWave(name, o, [](double) { return 1000.0; });
    TWave wave;
    wave.Open(name);
    for (int channel : {0, 1}) {
        std::vector<double> f, e;
        ASSERT_TRUE(CalcWaveFrequency(wave, 0.01, channel, 0, f, e, nullptr));
        ASSERT_EQ(f.size(), 100u);
        ASSERT_EQ(e.size(), 100u);
        for (std::size_t i = 1; i < f.size(); ++i) {
            EXPECT_NEAR(f[i], 1000.0, 0.05) << i;
            EXPECT_NEAR(e[i], 0.0, 0.05) << i;
        }
    }
}

TEST(WaveFrequencyTest, FollowsAChangingFrequency)
{
    test::TempDir dir;
    const std::string name = dir.file("sweep.wav");
    WaveSynthOptions o;
    o.sampleRate = 22050;
    o.bitsPerSample = 8;
    o.durationSeconds = 2.0;
    o.noiseAmplitude = 2.0;
    const auto f = [](double t) { return 3000.0 + 500.0 * t; };
    WriteSynthWave(name, o, f);
    TWave wave;
    wave.Open(name);
    std::vector<double> fd, fe;
    ASSERT_TRUE(CalcWaveFrequency(wave, 0.05, 0, 10, fd, fe, nullptr));
    ASSERT_EQ(fd.size(), 40u);
    for (std::size_t i = 1; i < fd.size(); ++i)
        EXPECT_NEAR(fd[i], f((double(i) + 0.5) * 0.05), 3.0) << i;
}

// Rate 100 Hz, step 0.1 s: step 0 holds frames 0..10, step i frames 10i+1..10i+10. Runs of +1000 and
// -1000 put crossings at frames 3 6 9 | 15 | 21 24 27 | none | 42 45 48 | 51 54 57, mean -200.
TEST(WaveFrequencyTest, StepsWithOneOrNoCrossingAndWhereTheNextStepMeasuresFrom)
{
    test::TempDir dir;
    const std::string name = dir.file("steps.wav");
    const std::vector<std::pair<int, int>> runs = {{1, 3},  {-1, 3}, {1, 3},   {-1, 6}, {1, 6},
                                                   {-1, 3}, {1, 3},  {-1, 15}, {1, 3},  {-1, 3},
                                                   {1, 3},  {-1, 3}, {1, 3},   {-1, 3}};
    std::vector<std::int64_t> values;
    for (auto [sign, length] : runs)
        values.insert(values.end(), std::size_t(length), sign * 1000);
    ASSERT_EQ(values.size(), 60u);
    writeSamples(name, 1, 100, 16, values);
    TWave wave;
    wave.Open(name);

    // Falling crossings lie 0.4 frame before their frame, rising ones 0.6 (the mean is -200).
    const auto at = [](double frames) { return frames * 0.01; };
    const std::vector<std::pair<double, double>> expected = {
        fromCrossings({0.0, at(2.6), at(5.4), at(8.6)}, 0),
        {0.0, 0.0},                                                 // one crossing
        fromCrossings({at(14.4), at(20.6), at(23.4), at(26.6)}, 0), // from the crossing of step 1
        {0.0, 0.0},                                                 // no crossing
        fromCrossings({at(26.6), at(41.4), at(44.6), at(47.4)}, 1), // from its own first crossing
        fromCrossings({at(47.4), at(50.6), at(53.4), at(56.6)}, 0),
    };
    for (std::int32_t noise : {0, 1200}) {
        std::vector<double> f, e;
        ASSERT_TRUE(CalcWaveFrequency(wave, 0.1, 0, noise, f, e, nullptr));
        ASSERT_EQ(f.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(f[i], expected[i].first, 1e-9) << "step " << i << " noise " << noise;
            EXPECT_NEAR(e[i], expected[i].second, 1e-9) << "step " << i << " noise " << noise;
        }
    }
    EXPECT_NEAR(expected[4].first, 1.0 / 0.06, 1e-9);

    // Excursions of 800 and 1200 from the mean never reach a threshold of 1201: only zeros.
    std::vector<double> f, e;
    ASSERT_TRUE(CalcWaveFrequency(wave, 0.1, 0, 1201, f, e, nullptr));
    EXPECT_EQ(f, std::vector<double>(6, 0.0));
    EXPECT_EQ(e, std::vector<double>(6, 0.0));
}

// A sample lying exactly on the mean is the crossing itself, timed at that sample: rising crossings on
// the 0 samples and falling ones halfway between +1000 and -1000 give equal half-periods of 3.5 frames.
TEST(WaveFrequencyTest, SampleExactlyOnTheMeanIsTheCrossing)
{
    test::TempDir dir;
    const std::string name = dir.file("onmean.wav");
    std::vector<std::int64_t> values;
    for (int period = 0; period < 10; ++period)
        values.insert(values.end(), {0, 1000, 1000, 1000, -1000, -1000, -1000});
    writeSamples(name, 1, 100, 16, values);
    TWave wave;
    wave.Open(name);
    ASSERT_EQ(wave.GetChannelMean(0), 0.0);
    std::vector<double> f, e;
    ASSERT_TRUE(CalcWaveFrequency(wave, 0.1, 0, 1, f, e, nullptr));
    ASSERT_EQ(f.size(), 7u);
    // The first step takes no crossing on the mean, so the one at frame 7 is missing there and in the
    // second step's measurement; from the third step on every half-period is seen.
    for (std::size_t i = 2; i < f.size(); ++i) {
        EXPECT_NEAR(f[i], 100.0 / 7.0, 1e-9) << i;
        EXPECT_NEAR(e[i], 0.0, 1e-9) << i;
    }
}

TEST(WaveFrequencyTest, NoiseThresholdIgnoresJitterAroundTheMean)
{
    test::TempDir dir;
    const std::string name = dir.file("noisy.wav");
    WaveSynthOptions o;
    o.sampleRate = 44100;
    o.noiseAmplitude = 3000;
    o.durationSeconds = 2.0;
    o.seed = 99;
    WriteSynthWave(name, o, [](double) { return 50.0; });
    TWave wave;
    wave.Open(name);
    std::vector<double> f, e;
    ASSERT_TRUE(CalcWaveFrequency(wave, 0.1, 0, 0, f, e, nullptr));
    EXPECT_GT(f[5], 100.0); // every wobble through the mean counts
    ASSERT_TRUE(CalcWaveFrequency(wave, 0.1, 0, 6000, f, e, nullptr));
    ASSERT_EQ(f.size(), 20u);
    for (std::size_t i = 1; i < f.size(); ++i)
        EXPECT_NEAR(f[i], 50.0, 0.5) << i;
}

TEST(WaveFrequencyTest, ShortFilesAndFilesWithoutFrames)
{
    test::TempDir dir;
    const std::string name = dir.file("short.wav");
    // 6 frames at 100 Hz with one crossing: shorter than a step of 0.1 s, one point, zero.
    writeSamples(name, 1, 100, 16, {500, 500, 500, -500, -500, -500});
    TWave wave;
    wave.Open(name);
    std::vector<double> f{1, 2, 3}, e{4};
    ASSERT_TRUE(CalcWaveFrequency(wave, 0.1, 0, 0, f, e, nullptr));
    EXPECT_EQ(f, std::vector<double>{0.0});
    EXPECT_EQ(e, std::vector<double>{0.0});

    // Less than half a frame of data: no frames.
    test::writeFile(name, test::waveFile(2, 100, 16, "ab"));
    wave.Open(name);
    EXPECT_EQ(wave.GetTotalFrames(), 0u);
    EXPECT_FALSE(CalcWaveFrequency(wave, 0.001, 0, 0, f, e, nullptr));
    EXPECT_TRUE(f.empty());
    EXPECT_TRUE(e.empty());

    TWave none;
    EXPECT_FALSE(CalcWaveFrequency(none, 0.01, 0, 0, f, e, nullptr));
    EXPECT_TRUE(f.empty());
}

TEST(WaveFrequencyTest, UnreadableSampleWidthGivesZeros)
{
    test::TempDir dir;
    const std::string name = dir.file("w12.wav");
    test::writeFile(name, test::riff("WAVE", test::chunk("fmt ", test::fmtBody(1, 100, 12, true, 1, 100)) +
                                                 test::chunk("data", std::string(50, '\x40'))));
    TWave wave;
    wave.Open(name);
    std::vector<double> f, e;
    ASSERT_TRUE(CalcWaveFrequency(wave, 0.1, 0, 0, f, e, nullptr));
    EXPECT_EQ(f, std::vector<double>(5, 0.0));
}

TEST(WaveFrequencyTest, AbsurdByteRateIsRefusedNotAllocated)
{
    test::TempDir dir;
    const std::string name = dir.file("rate.wav");
    // A byte rate of 1 makes 1000 bytes last 1000 s.
    test::writeFile(name, test::riff("WAVE", test::chunk("fmt ", test::fmtBody(1, 8000, 16, true, 1, 1)) +
                                                 test::chunk("data", std::string(1000, '\0'))));
    TWave wave;
    wave.Open(name);
    std::vector<double> f, e;
    try {
        CalcWaveFrequency(wave, 1e-6, 0, 0, f, e, nullptr);
        ADD_FAILURE() << "measured";
    } catch (const Error& err) {
        EXPECT_EQ(
            std::string(err.what()).rfind("Слишком много точек анализа (1000000000 при шаге 1e-06 сек", 0),
            0u)
            << err.what();
    }
    EXPECT_TRUE(f.empty());
    // Just past the limit.
    EXPECT_THROW(CalcWaveFrequency(wave, 1000.0 / double(MaxAnalysisPoints + 2), 0, 0, f, e, nullptr), Error);
}

TEST(WaveFrequencyTest, ReportsProgressAndStopsWhenCancelled)
{
    test::TempDir dir;
    const std::string name = dir.file("p.wav");
    WaveSynthOptions o;
    o.sampleRate = 8000;
    o.durationSeconds = 3.0;
    WriteSynthWave(name, o, [](double) { return 440.0; });
    TWave wave;
    wave.Open(name);
    Progress progress;
    std::vector<double> f, e;
    ASSERT_TRUE(CalcWaveFrequency(wave, 0.01, 0, 0, f, e, &progress));
    EXPECT_EQ(progress.ProgressStage.load(), 1);
    EXPECT_LE(progress.ProgressFraction.load(), 1.0);

    progress.cancel = true;
    WaveFrequencyTuning small;
    small.chunkFrames = 1000;
    EXPECT_FALSE(CalcWaveFrequencyTuned(wave, 0.01, 0, 0, f, e, &progress, small));
    EXPECT_TRUE(f.empty());
    small.crossingListLimit = 4; // the two-pass way
    EXPECT_FALSE(CalcWaveFrequencyTuned(wave, 0.01, 0, 0, f, e, &progress, small));
    EXPECT_TRUE(f.empty());
}

// The fast implementation against the plain one, on signals that cross the mean often, sit exactly on
// it, hover within the noise band, at every sample width, channel count and channel, for steps of zero,
// one, a few and many frames, through every SIMD level, small reading pieces and the two-pass way for
// long steps: the numbers must be identical.
TEST(WaveFrequencyTest, FastPathGivesExactlyThePlainNumbers)
{
    test::TempDir dir;
    const std::string name = dir.file("eq.wav");
    std::mt19937_64 rng(2024);
    const std::vector<WaveFrequencyTuning> tunings = [] {
        std::vector<WaveFrequencyTuning> t(6);
        t[1].simdLevel = 0;
        t[2].simdLevel = 1;
        t[3].simdLevel = 2;
        t[4].chunkFrames = 37;
        t[5].crossingListLimit = 5;
        t[5].chunkFrames = 50;
        return t;
    }();
    int compared = 0;
    for (int bits : {8, 16, 24, 32}) {
        for (std::uint16_t channels : {1, 2, 3}) {
            for (int kind = 0; kind < 3; ++kind) {
                const std::int64_t full = bits == 8 ? 127 : (std::int64_t{1} << (bits - 1)) - 1;
                const std::int64_t centre = bits == 8 ? 128 : 0;
                const std::size_t frames = 300 + rng() % 3000;
                std::vector<std::int64_t> v(frames * channels);
                double phase = 0.0;
                std::int64_t walk = 0;
                for (std::size_t i = 0; i < frames; ++i) {
                    phase += 0.05 + 0.3 * double(rng() % 1000) / 1000.0;
                    for (std::size_t c = 0; c < channels; ++c) {
                        std::int64_t s;
                        if (kind == 0) // sine with noise
                            s = std::llround(0.8 * double(full) * std::sin(phase + double(c)) +
                                             double(full) * 0.1 * (double(rng() % 2001) / 1000.0 - 1.0));
                        else if (kind == 1) // a few levels around 0, often exactly on it
                            s = std::int64_t(rng() % 3) - 1;
                        else // a random walk
                            s = walk =
                                std::clamp<std::int64_t>(walk + std::int64_t(rng() % 21) - 10, -full, full);
                        v[i * channels + c] =
                            std::clamp<std::int64_t>(centre + s, centre - full - 1, centre + full);
                    }
                }
                if (kind == 1) {
                    // Exactly on the mean at the end, which makes the mean an integer.
                    for (std::size_t c = 0; c < channels; ++c) {
                        std::int64_t sum = 0;
                        for (std::size_t i = 0; i < frames; ++i)
                            sum += v[i * channels + c] - centre;
                        v[c] -= sum; // the first frame balances the rest
                    }
                }
                writeSamples(name, channels, 1000, std::uint16_t(bits), v);
                TWave wave;
                wave.Open(name);
                for (int channel : {0, 1}) {
                    for (std::int32_t noise :
                         {0, 1, std::int32_t(std::min<std::int64_t>(full / 3, 1 << 30)), -3}) {
                        for (double step : {0.0004, 0.001, 0.004, 0.013, 0.25}) {
                            std::vector<double> rf, re;
                            ASSERT_TRUE(test::plainCalcWaveFrequency(wave, step, channel, noise, rf, re));
                            for (std::size_t t = 0; t < tunings.size(); ++t) {
                                std::vector<double> f, e;
                                ASSERT_TRUE(CalcWaveFrequencyTuned(wave, step, channel, noise, f, e, nullptr,
                                                                   tunings[t]));
                                ASSERT_EQ(f, rf)
                                    << bits << "-bit " << channels << "ch kind " << kind << " channel "
                                    << channel << " noise " << noise << " step " << step << " tuning " << t;
                                ASSERT_EQ(e, re);
                                ++compared;
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 1000);
}

// Recordings as our sensors make them (8400 to 8700 Hz, about a third of the samples next to a
// crossing, with noise that makes the signal wobble through the mean), long enough for many sub-blocks
// and reading pieces: steps that begin and end anywhere in them, several steps closed at once, steps
// spanning many pieces, and thresholds that drop some crossings. Mono and stereo, both channels, every
// SIMD level, small pieces and the two-pass way: the numbers must be identical to the plain ones.
TEST(WaveFrequencyTest, FastPathGivesExactlyThePlainNumbersAtSensorFrequencies)
{
    test::TempDir dir;
    std::vector<WaveFrequencyTuning> tunings(6);
    tunings[1].simdLevel = 0;
    tunings[2].simdLevel = 1;
    tunings[3].simdLevel = 2;
    tunings[4].chunkFrames = 5000; // pieces that end inside a word and inside a sub-block
    tunings[5].crossingListLimit = 2000;
    int compared = 0;
    for (std::uint16_t channels : {1, 2}) {
        const std::string name = dir.file("sensor" + std::to_string(channels) + ".wav");
        WaveSynthOptions o;
        o.sampleRate = 48000;
        o.channels = channels;
        o.durationSeconds = 1.3;
        o.noiseAmplitude = 3000;
        o.seed = 7 + channels;
        WriteSynthWave(name, o, [](double t) { return 8550.0 + 150.0 * std::sin(t * 9.0); });
        TWave wave;
        wave.Open(name);
        for (int channel : {0, 1}) {
            for (std::int32_t noise : {0, 4000, 25000}) {
                for (double step : {0.01, 0.0031, 0.25}) {
                    std::vector<double> rf, re;
                    ASSERT_TRUE(test::plainCalcWaveFrequency(wave, step, channel, noise, rf, re));
                    // The signal is what it should be (the highest threshold drops crossings).
                    if (noise == 0) {
                        ASSERT_GT(std::count_if(rf.begin(), rf.end(), [](double v) { return v > 8000.0; }),
                                  std::ptrdiff_t(rf.size() / 2));
                    }
                    for (std::size_t t = 0; t < tunings.size(); ++t) {
                        std::vector<double> f, e;
                        ASSERT_TRUE(
                            CalcWaveFrequencyTuned(wave, step, channel, noise, f, e, nullptr, tunings[t]));
                        ASSERT_EQ(f, rf) << channels << "ch channel " << channel << " noise " << noise
                                         << " step " << step << " tuning " << t;
                        ASSERT_EQ(e, re) << channels << "ch channel " << channel << " noise " << noise
                                         << " step " << step << " tuning " << t;
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_EQ(compared, 2 * 2 * 3 * 3 * 6);
}

} // namespace
} // namespace selva
