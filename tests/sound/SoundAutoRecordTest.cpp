// The automatic recording from sound over synthetic streams of live values: what the device's analysis
// would put into FreqRing, tick by tick of the window's once-a-second timer.
#include "sound/SoundAutoRecord.h"

#include "sound/SoundRing.h"

#include <gtest/gtest.h>

#include <vector>

namespace selva {
namespace {

// Plays the part of the device thread: each value stands for W frames that arrived and were analysed.
struct Stream {
    SoundRingState& ring;
    std::int64_t values = 0;
    std::int64_t frames = 0;
    std::int32_t index = 0;

    void push(const std::vector<float>& vs)
    {
        const std::int32_t length = ring.FreqRingLength.load();
        for (float v : vs) {
            ring.FreqRing[std::size_t(index)].store(v);
            index = (index + 1) % length;
            ++values;
            frames += ring.FramesPerValue();
        }
        ring.FreqRingIndex = index;
        ring.ArrivedFrames = frames;
        ring.AnalysedFrames = frames;
        ring.ValuesStored = values;
        ring.PublishAnalysisMark(values, frames, index, length);
    }
    void push(int count, float v) { push(std::vector<float>(std::size_t(count), v)); }
};

struct AutoRecordTest : ::testing::Test {
    AutoRecordTest()
    {
        ring.SetFormat(1, 44100, 16);
        ring.SetWaveLen(4.0);
        ring.SetAccuracy(0.1); // W = 4410 frames
        ring.SetWindowLength(5.0f);
        ring.WriteAheadFrames = 8820;
        thresholds.freqUp = 5;
        thresholds.freqEnd = 5;
        thresholds.deadTime = 2.0f;
        thresholds.bufLen = 0.5f;
    }
    SoundAutoRecord::Event tick(double now) { return rec.Tick(now, ring, thresholds); }
    // Starts and measures a rest line of 1000 Hz from 20 values.
    void atRest()
    {
        stream.push(35, 900.0f); // older values: not part of the rest time
        rec.Start();
        tick(0);
        stream.push(20, 1000.0f);
        ASSERT_EQ(tick(2).kind, SoundAutoRecord::Event::RestLineMeasured);
    }

    SoundRingState ring;
    Stream stream{ring};
    SoundAutoRecord rec;
    TAutoRecordBlock thresholds;
};

TEST_F(AutoRecordTest, RestLineIsTheMeanOfTheLatestValuesOfTheRestTime)
{
    EXPECT_EQ(ring.FreqRingLength.load(), 50);
    stream.push(45, 700.0f); // the ring's write index wraps during the rest time
    rec.Start();
    EXPECT_EQ(rec.state(), SoundAutoRecord::Rest);
    EXPECT_EQ(tick(10.0).kind, SoundAutoRecord::Event::None); // the rest time starts now
    std::vector<float> rest;
    for (int i = 0; i < 20; ++i)
        rest.push_back(i % 2 ? 1001.0f : 999.0f);
    stream.push(rest);
    stream.push(std::vector<float>{1004.0f, 996.0f}); // the latest 20 are these two and 18 of the above
    EXPECT_EQ(tick(11.0).kind, SoundAutoRecord::Event::None);
    const auto e = tick(12.0);
    ASSERT_EQ(e.kind, SoundAutoRecord::Event::RestLineMeasured);
    EXPECT_DOUBLE_EQ(e.restLine, 1000.0);
    EXPECT_EQ(rec.state(), SoundAutoRecord::Waiting);
}

TEST_F(AutoRecordTest, FallStartsAtTheLastValueStillAtTheRestLineWithPreRoll)
{
    atRest();
    stream.push(std::vector<float>{1000, 1001, 1000, 998, 996, 990, 970});
    const auto e = tick(3);
    ASSERT_EQ(e.kind, SoundAutoRecord::Event::StartOfThrust);
    EXPECT_EQ(rec.state(), SoundAutoRecord::Recording);
    // The last value at or above 1000 is the third of the seven (1000); it covers the frames that begin
    // five values before the latest analysed frame.
    EXPECT_EQ(e.startFrame, stream.frames - 5 * 4410);
    EXPECT_EQ(e.writeFrame, e.startFrame - 22050); // half a second of pre-roll
}

TEST_F(AutoRecordTest, PreRollNeverReachesBeyondWhatTheRingHolds)
{
    thresholds.bufLen = 10.0f; // more than the 4 s ring
    atRest();
    stream.push(std::vector<float>{1000, 950});
    const auto e = tick(3);
    ASSERT_EQ(e.kind, SoundAutoRecord::Event::StartOfThrust);
    const std::int64_t oldest =
        stream.frames - ring.ReadableFrames() + std::int64_t(SoundAutoRecord::WriterMargin * 44100);
    EXPECT_EQ(e.writeFrame, oldest);
    EXPECT_EQ(e.startFrame, stream.frames - 2 * 4410);
}

TEST_F(AutoRecordTest, ARiseNeverStartsAndAQuietSecondEndsTheRecording)
{
    atRest();
    stream.push(10, 1500.0f);
    stream.push(std::vector<float>{1000, 996, 1003}); // below the line, but by less than the excess
    EXPECT_EQ(tick(3).kind, SoundAutoRecord::Event::None);
    stream.push(10, 3000.0f);
    EXPECT_EQ(tick(4).kind, SoundAutoRecord::Event::None);
    EXPECT_EQ(rec.state(), SoundAutoRecord::Waiting);

    stream.push(std::vector<float>{1000, 900});
    ASSERT_EQ(tick(5).kind, SoundAutoRecord::Event::StartOfThrust);
    stream.push(10, 900.0f);
    EXPECT_EQ(tick(6).kind, SoundAutoRecord::Event::None);
    std::vector<float> tail(10, 997.0f); // within 5 of the rest line, or above it
    tail[9] = 1020.0f;
    tail[0] = 994.0f; // one value still 6 below: still burning
    stream.push(tail);
    EXPECT_EQ(tick(7).kind, SoundAutoRecord::Event::None);
    tail[0] = 996.0f;
    stream.push(tail);
    EXPECT_EQ(tick(8).kind, SoundAutoRecord::Event::EndOfThrust);
    rec.Stop();
    EXPECT_EQ(rec.state(), SoundAutoRecord::Off);
    EXPECT_EQ(tick(9).kind, SoundAutoRecord::Event::None);
}

TEST_F(AutoRecordTest, MoreNewValuesThanTheRingHoldsAndAResizedRing)
{
    atRest();
    stream.push(120, 1000.0f); // more than a ring's worth between two ticks
    stream.push(std::vector<float>{990});
    EXPECT_EQ(tick(3).kind, SoundAutoRecord::Event::StartOfThrust);

    // The window shortened the display window: FreqRing was cleared, the values before are gone. The rest
    // line waits for values, then takes what the ring holds although that is less than the rest time.
    SoundAutoRecord again;
    again.Start();
    again.Tick(0, ring, thresholds);
    ring.SetWindowLength(1.0f); // 10 values
    EXPECT_EQ(again.Tick(5, ring, thresholds).kind, SoundAutoRecord::Event::None);
    EXPECT_EQ(again.state(), SoundAutoRecord::Rest);
    stream.index = 0;
    stream.push(3, 1000.0f);
    const auto e = again.Tick(6, ring, thresholds);
    ASSERT_EQ(e.kind, SoundAutoRecord::Event::RestLineMeasured);
    EXPECT_DOUBLE_EQ(e.restLine, 1000.0); // the 990 before the resize is not taken
}

} // namespace
} // namespace selva
