#include "sound/WaveFrequency.h"

#include "common/Error.h"
#include "common/Format.h"
#include "sound/WaveBytes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace selva {
namespace {

using test::samples;
using test::waveFile;

// The frequency estimation written the plain way, sample by sample through TWave's block reading, as the
// yardstick for the fast implementation: both must give the very same numbers. (The channel mean is TWave's
// own, which WaveTest checks to be exact.)
bool plainCalcWaveFrequency(TWave& wave, double analysisStep, int channel, std::int32_t noiseLsb,
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
    const double m = wave.GetChannelMean(std::uint8_t(c));
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

// Synthesised recordings measured back: a steady tone on both channels of a stereo file, a sweep in an
// 8-bit file, and a slow tone in noise that only the threshold keeps from counting every wobble.
TEST(WaveFrequencyTest, SynthesisedSignalsMeasureAsTheirFrequency)
{
    test::TempDir dir;
    struct Case {
        const char* what;
        double hz, hzPerSecond, step;
        int channel;
        std::int32_t noise;
        double tolerance, errorTolerance;
        double withoutThreshold; // the least value of step 5 with no threshold (0: not checked)
        WaveSynthOptions options;
    };
    const WaveSynthOptions stereo{.channels = 2},
        sweep8{.sampleRate = 22050, .bitsPerSample = 8, .noiseAmplitude = 2, .durationSeconds = 2},
        noisy{.noiseAmplitude = 3000, .seed = 99, .durationSeconds = 2};
    const std::vector<Case> cases = {
        {"1000 Hz right", 1000, 0, 0.01, 0, 0, 0.05, 0.05, 0, stereo},
        {"1000 Hz left", 1000, 0, 0.01, 1, 0, 0.05, 0.05, 0, stereo},
        {"sweep", 3000, 500, 0.05, 0, 10, 3.0, 50.0, 0, sweep8},
        {"50 Hz in noise", 50, 0, 0.1, 0, 6000, 0.5, 5.0, 100, noisy},
    };
    for (const Case& c : cases) {
        TWave wave;
        test::openSynth(wave, dir.file("s.wav"), c.options,
                        [&c](double t) { return c.hz + c.hzPerSecond * t; });
        std::vector<double> f, e;
        ASSERT_TRUE(CalcWaveFrequency(wave, c.step, c.channel, c.noise, f, e, nullptr));
        ASSERT_EQ(f.size(), std::size_t(std::lround(c.options.durationSeconds / c.step))) << c.what;
        ASSERT_EQ(e.size(), f.size());
        for (std::size_t i = 1; i < f.size(); ++i) {
            EXPECT_NEAR(f[i], c.hz + c.hzPerSecond * (double(i) + 0.5) * c.step, c.tolerance)
                << c.what << " " << i;
            EXPECT_NEAR(e[i], 0.0, c.errorTolerance) << c.what << " " << i;
        }
        if (c.withoutThreshold > 0) { // every wobble through the mean counts
            ASSERT_TRUE(CalcWaveFrequency(wave, c.step, c.channel, 0, f, e, nullptr));
            EXPECT_GT(f[5], c.withoutThreshold) << c.what;
        }
    }
}

// Rate 100 Hz, step 0.1 s: step 0 holds frames 0..10, step i frames 10i+1..10i+10. Runs of +1000 and
// -1000 put crossings at frames 3 6 9 | 15 | 21 24 27 | none | 42 45 48 | 51 54 57, mean -200.
TEST(WaveFrequencyTest, StepsWithOneOrNoCrossingAndWhereTheNextStepMeasuresFrom)
{
    test::TempDir dir;
    const std::vector<std::pair<int, int>> runs = {{1, 3},  {-1, 3}, {1, 3},   {-1, 6}, {1, 6},
                                                   {-1, 3}, {1, 3},  {-1, 15}, {1, 3},  {-1, 3},
                                                   {1, 3},  {-1, 3}, {1, 3},   {-1, 3}};
    std::vector<std::int64_t> values;
    for (auto [sign, length] : runs)
        values.insert(values.end(), std::size_t(length), sign * 1000);
    ASSERT_EQ(values.size(), 60u);
    TWave wave;
    test::openBytes(wave, dir.file("steps.wav"), waveFile(1, 100, 16, samples(values)));

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
    std::vector<std::int64_t> values;
    for (int period = 0; period < 10; ++period)
        values.insert(values.end(), {0, 1000, 1000, 1000, -1000, -1000, -1000});
    TWave wave;
    test::openBytes(wave, dir.file("onmean.wav"), waveFile(1, 100, 16, samples(values)));
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

// Files with too little or unreadable data: the series that results (stale contents replaced), false
// with empty series, or an error for a header that would make the series absurdly long.
TEST(WaveFrequencyTest, ShortUnreadableAndAbsurdFiles)
{
    test::TempDir dir;
    enum Outcome { Series, False, Throws };
    struct Case {
        const char* what;
        std::string bytes;
        double step;
        Outcome outcome;
        std::size_t zeros;
        std::string error = {}; // how the message begins
    };
    using test::chunk, test::fmtBody, test::riff;
    const std::string rate1 = riff("WAVE", chunk("fmt ", fmtBody(1, 8000, 16, true, 1, 1)) +
                                               chunk("data", std::string(1000, '\0')));
    const std::vector<Case> cases = {
        {"6 frames, one crossing: one point",
         waveFile(1, 100, 16, samples({500, 500, 500, -500, -500, -500})), 0.1, Series, 1},
        {"less than half a frame", waveFile(2, 100, 16, "ab"), 0.001, False, 0},
        {"12-bit samples",
         riff("WAVE",
              chunk("fmt ", fmtBody(1, 100, 12, true, 1, 100)) + chunk("data", std::string(50, '\x40'))),
         0.1, Series, 5},
        // A byte rate of 1 makes 1000 bytes last 1000 s.
        {"byte rate 1", rate1, 1e-6, Throws, 0, "Слишком много точек анализа (1000000000 при шаге 1e-06 сек"},
        {"just past the limit", rate1, 1000.0 / double(MaxAnalysisPoints + 2), Throws, 0,
         "Слишком много точек"},
    };
    for (const Case& c : cases) {
        TWave wave;
        test::openBytes(wave, dir.file("x.wav"), c.bytes);
        std::vector<double> f{1, 2, 3}, e{4};
        if (c.outcome == Throws) {
            try {
                CalcWaveFrequency(wave, c.step, 0, 0, f, e, nullptr);
                ADD_FAILURE() << c.what << ": measured";
            } catch (const Error& err) {
                EXPECT_EQ(std::string(err.what()).rfind(c.error, 0), 0u) << c.what << ": " << err.what();
            }
        } else
            EXPECT_EQ(CalcWaveFrequency(wave, c.step, 0, 0, f, e, nullptr), c.outcome == Series) << c.what;
        EXPECT_EQ(f, std::vector<double>(c.zeros, 0.0)) << c.what;
        EXPECT_EQ(e, f) << c.what;
    }
    TWave none;
    std::vector<double> f{1}, e{1};
    EXPECT_FALSE(CalcWaveFrequency(none, 0.01, 0, 0, f, e, nullptr));
    EXPECT_TRUE(f.empty());
}

TEST(WaveFrequencyTest, ReportsProgressAndStopsWhenCancelled)
{
    test::TempDir dir;
    TWave wave;
    test::openSynth(wave, dir.file("p.wav"), {.sampleRate = 8000, .durationSeconds = 3},
                    [](double) { return 440.0; });
    Progress progress;
    std::vector<double> f, e;
    ASSERT_TRUE(CalcWaveFrequency(wave, 0.01, 0, 0, f, e, &progress));
    EXPECT_EQ(progress.ProgressStage.load(), 1);
    EXPECT_LE(progress.ProgressFraction.load(), 1.0);

    progress.cancel = true;
    for (const WaveFrequencyTuning& t : {WaveFrequencyTuning{.chunkFrames = 1000},
                                         WaveFrequencyTuning{.crossingListLimit = 4, .chunkFrames = 1000}}) {
        EXPECT_FALSE(CalcWaveFrequencyTuned(wave, 0.01, 0, 0, f, e, &progress, t)); // one pass, two passes
        EXPECT_TRUE(f.empty());
    }
}

// Every path of the fast implementation (each SIMD level, small reading pieces, the two-pass way for
// steps longer than the crossing list) against the plain reference on one recording: the numbers must be
// identical. Returns the number of comparisons.
int expectPlainNumbers(TWave& wave, int channel, std::int32_t noise, double step, std::size_t smallChunk,
                       std::size_t listLimit, std::size_t twoPassChunk, const std::string& what)
{
    const WaveFrequencyTuning tunings[] = {{},
                                           {.simdLevel = 0},
                                           {.simdLevel = 1},
                                           {.simdLevel = 2},
                                           {.chunkFrames = smallChunk},
                                           {.crossingListLimit = listLimit, .chunkFrames = twoPassChunk}};
    std::vector<double> rf, re;
    EXPECT_TRUE(plainCalcWaveFrequency(wave, step, channel, noise, rf, re));
    int compared = 0;
    for (const WaveFrequencyTuning& t : tunings) {
        std::vector<double> f, e;
        EXPECT_TRUE(CalcWaveFrequencyTuned(wave, step, channel, noise, f, e, nullptr, t));
        EXPECT_EQ(f, rf) << what << " step " << step << " noise " << noise << " tuning " << compared;
        EXPECT_EQ(e, re) << what << " step " << step << " noise " << noise << " tuning " << compared;
        if (f != rf || e != re)
            return -1000000; // one report a recording is enough
        ++compared;
    }
    return compared;
}

// Signals that cross the mean often, sit exactly on it, hover within the noise band, at every sample
// width, channel count and channel, for steps of zero, one, a few and many frames.
TEST(WaveFrequencyTest, FastPathGivesExactlyThePlainNumbers)
{
    test::TempDir dir;
    const std::string name = dir.file("eq.wav");
    std::mt19937_64 rng(2024);
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
                TWave wave;
                test::openBytes(wave, name, waveFile(channels, 1000, bits, samples(v, bits)));
                const std::string what = std::to_string(bits) + "-bit " + std::to_string(channels) +
                                         "ch kind " + std::to_string(kind);
                for (int channel : {0, 1})
                    for (std::int32_t noise :
                         {0, 1, std::int32_t(std::min<std::int64_t>(full / 3, 1 << 30)), -3})
                        for (double step : {0.0004, 0.001, 0.004, 0.013, 0.25})
                            compared += expectPlainNumbers(wave, channel, noise, step, 37, 5, 50,
                                                           what + " channel " + std::to_string(channel));
            }
        }
    }
    EXPECT_EQ(compared, 4 * 3 * 3 * 2 * 4 * 5 * 6);
}

// Recordings as our sensors make them (8400 to 8700 Hz, about a third of the samples next to a
// crossing, with noise that makes the signal wobble through the mean), long enough for many sub-blocks
// and reading pieces: steps that begin and end anywhere in them, several steps closed at once, steps
// spanning many pieces (pieces that end inside a word and inside a sub-block), and thresholds that drop
// some crossings.
TEST(WaveFrequencyTest, FastPathGivesExactlyThePlainNumbersAtSensorFrequencies)
{
    test::TempDir dir;
    int compared = 0;
    for (std::uint16_t channels : {1, 2}) {
        TWave wave;
        test::openSynth(wave, dir.file("sensor.wav"),
                        {.sampleRate = 48000,
                         .channels = channels,
                         .noiseAmplitude = 3000,
                         .seed = 7u + channels,
                         .durationSeconds = 1.3},
                        [](double t) { return 8550.0 + 150.0 * std::sin(t * 9.0); });
        // The signal is what it should be (the highest threshold drops crossings).
        std::vector<double> rf, re;
        ASSERT_TRUE(plainCalcWaveFrequency(wave, 0.01, 0, 0, rf, re));
        ASSERT_GT(std::count_if(rf.begin(), rf.end(), [](double v) { return v > 8000.0; }),
                  std::ptrdiff_t(rf.size() / 2));
        for (int channel : {0, 1})
            for (std::int32_t noise : {0, 4000, 25000})
                for (double step : {0.01, 0.0031, 0.25})
                    compared += expectPlainNumbers(wave, channel, noise, step, 5000, 2000, 1 << 18,
                                                   std::to_string(channels) + "ch channel " +
                                                       std::to_string(channel));
    }
    EXPECT_EQ(compared, 2 * 2 * 3 * 3 * 6);
}

} // namespace
} // namespace selva
