#include "sound/SoundRing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace selva {
namespace {

// Plays the part of the capture callback: writes frames of a sine on every channel into the ring after
// the record frame and publishes them.
struct Feeder {
    SoundRingState& ring;
    double frequency;
    double amplitude;
    std::int64_t written = 0;

    void feed(std::int32_t frames)
    {
        const std::uint32_t frameSize = ring.FrameSize();
        const int bytes = ring.BitsPerSample / 8;
        std::int32_t at = ring.RecordFrame.load();
        for (std::int32_t k = 0; k < frames; ++k, ++written) {
            const double v =
                amplitude *
                std::sin(2 * std::numbers::pi * frequency * double(written) / ring.SampleRate + 0.3);
            const auto s = static_cast<std::int32_t>(std::lround(v));
            for (std::uint16_t c = 0; c < ring.Channels; ++c)
                for (int b = 0; b < bytes; ++b)
                    ring.SoundRing[std::size_t(at) * frameSize + c * bytes + std::size_t(b)] =
                        static_cast<unsigned char>((static_cast<std::uint32_t>(s) >> (8 * b)) & 0xFF);
            if (++at == ring.RingFrames)
                at = 0;
        }
        ring.PublishRecordFrame(at);
    }
};

void setUp(SoundRingState& ring, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
           double waveLen, double accuracy, float window)
{
    ring.SetFormat(channels, rate, bits);
    ring.SetWaveLen(waveLen);
    ring.ResetPositions();
    ring.SetAccuracy(accuracy);
    ring.SetWindowLength(window);
}

std::vector<float> values(const SoundRingState& ring, int first, int count)
{
    std::vector<float> out;
    for (int i = first; i < first + count; ++i)
        out.push_back(ring.FreqRing[i].load());
    return out;
}

TEST(SoundRingTest, TwoValuesPerBufferOf8820FramesAtAccuracy01)
{
    SoundRingState ring;
    setUp(ring, 2, 44100, 16, 1.0, 0.1, 10.0f);
    EXPECT_EQ(ring.FramesPerValue(), 4410);

    Feeder feeder{ring, 1000.0, 20000.0};
    feeder.feed(8820);
    EXPECT_EQ(AnalyseSoundBlock(ring, 0), 2);
    EXPECT_EQ(ring.FreqRingIndex.load(), 2);
    EXPECT_EQ(ring.AnalysisFrame.load(), 8820);
    // The first value too: it measures from its own first crossing, not from the first frame.
    EXPECT_NEAR(ring.FreqRing[0].load(), 1000.0, 1.0);
    EXPECT_NEAR(ring.FreqRing[1].load(), 1000.0, 1.0);

    // Around the ring several times: every value after the first is the sine's frequency.
    for (int buffer = 0; buffer < 20; ++buffer) {
        feeder.feed(8820);
        EXPECT_EQ(AnalyseSoundBlock(ring, 1), 2);
    }
    EXPECT_EQ(ring.FreqRingIndex.load(), 42);
    for (float v : values(ring, 1, 41))
        EXPECT_NEAR(v, 1000.0, 1.0);
}

TEST(SoundRingTest, FramesOfAnUnfinishedIntervalWaitForTheNextRun)
{
    SoundRingState ring;
    setUp(ring, 1, 44100, 16, 2.0, 0.1, 10.0f);
    Feeder feeder{ring, 440.0, 10000.0};

    feeder.feed(3000); // less than one interval
    EXPECT_EQ(AnalyseSoundBlock(ring, 0), 0);
    EXPECT_EQ(ring.AnalysisFrame.load(), 0);

    feeder.feed(7000); // 10000 waiting: two intervals, 1180 frames left
    EXPECT_EQ(AnalyseSoundBlock(ring, 0), 2);
    EXPECT_EQ(ring.AnalysisFrame.load(), 8820);
    feeder.feed(3230); // the 1180 and 3230 more make one interval
    EXPECT_EQ(AnalyseSoundBlock(ring, 0), 1);
    EXPECT_EQ(ring.AnalysisFrame.load(), 13230);
    // The last crossing carried over is measured from where each run starts, so the values across the
    // runs' seams are right.
    for (float v : values(ring, 1, 2))
        EXPECT_NEAR(v, 440.0, 0.5);
    EXPECT_LE(ring.LastCrossing, 0.0f);
}

TEST(SoundRingTest, IntervalWithTooFewCrossingsStoresOne)
{
    SoundRingState ring;
    setUp(ring, 1, 8000, 16, 1.0, 0.05, 1.0f); // W = 400
    Feeder slow{ring, 1.0, 10000.0};           // one crossing in a second
    slow.feed(1200);
    EXPECT_EQ(AnalyseSoundBlock(ring, 0), 3);
    EXPECT_EQ(values(ring, 0, 3), std::vector<float>(3, 1.0f));
}

TEST(SoundRingTest, EightBitSamplesAreSignedBytesHere)
{
    SoundRingState ring;
    setUp(ring, 1, 11025, 8, 1.0, 0.1, 5.0f);
    // A signed sine around 0; read as unsigned bytes it would wrap at every zero crossing.
    Feeder feeder{ring, 300.0, 100.0};
    feeder.feed(2205);
    EXPECT_EQ(AnalyseSoundBlock(ring, 0), 2);
    EXPECT_NEAR(ring.FreqRing[1].load(), 300.0, 2.0);
}

TEST(SoundRingTest, RingSizesAndResets)
{
    SoundRingState ring;
    setUp(ring, 2, 48000, 16, 0.5, 0.01, 2.0f);
    EXPECT_EQ(ring.RingFrames, 24000);
    EXPECT_EQ(ring.FreqRingLength.load(), 200);
    ring.RecordFrame = 10;
    ring.AnalysisFrame = 5;
    ring.SetWaveLen(0.5); // same size: positions kept
    EXPECT_EQ(ring.RecordFrame.load(), 10);
    ring.SetWaveLen(1.0); // new size: zero-filled, positions 0
    EXPECT_EQ(ring.RecordFrame.load(), 0);
    EXPECT_EQ(ring.AnalysisFrame.load(), 0);
    EXPECT_EQ(ring.SoundRing.size(), 192000u);

    ring.FreqRingIndex = 7;
    ring.SetAccuracy(0.5);
    EXPECT_EQ(ring.FreqRingLength.load(), 4);
    EXPECT_EQ(ring.FreqRingIndex.load(), 0);
    ring.SetWindowLength(1e9f);
    EXPECT_EQ(ring.FreqRingLength.load(), SoundRingState::MaxFreqRingLength);

    // A window shorter than the accuracy leaves no room for values: nothing is stored, nothing breaks.
    ring.SetWindowLength(0.1f);
    EXPECT_EQ(ring.FreqRingLength.load(), 0);
    Feeder feeder{ring, 100.0, 1000.0};
    feeder.feed(47000);
    EXPECT_EQ(AnalyseSoundBlock(ring, 0), 1);
    EXPECT_EQ(ring.FreqRingIndex.load(), 0);

    ring.ResetPositions();
    EXPECT_EQ(ring.RecordFrame.load(), 0);
    EXPECT_EQ(ring.LastCrossing, 0.0f);
}

} // namespace
} // namespace selva
