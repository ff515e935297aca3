#include "sound/SoundRing.h"

#include "sound/RingDrain.h"
#include "sound/WaveBytes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>

namespace selva {
namespace {

// Plays the part of the capture callback: writes frames of a sine on every channel into the ring after
// the record frame and publishes them.
struct Feeder {
    SoundRingState& ring;
    double frequency;
    double amplitude;
    double offset = 0;
    std::int64_t written = 0;

    void feed(std::int32_t frames)
    {
        const std::uint32_t frameSize = ring.FrameSize();
        const int bytes = ring.BitsPerSample / 8;
        std::int32_t at = ring.RecordFrame.load();
        for (std::int32_t k = 0; k < frames; ++k, ++written) {
            const double v =
                offset +
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

// The live analysis of a sine fed in runs: the values each run stores, where the analysis stands after it,
// and the values measured.
TEST(SoundRingTest, LiveValuesOfASineFedInRuns)
{
    struct Run {
        std::int32_t frames;
        int channel, values;
        std::int32_t analysisFrame;
    };
    struct Case {
        const char* what;
        std::uint16_t channels, bits;
        std::uint32_t rate;
        double waveLen, accuracy;
        float window, hz, amplitude, offset;
        std::vector<Run> runs;
        int first, count; // the values checked
        float tolerance;
    };
    std::vector<Run> around = {{8820, 0, 2, 8820}}; // two values a buffer, round the ring, both channels
    for (int b = 1; b <= 20; ++b)
        around.push_back({8820, 1, 2, 8820 * (b + 1) % 44100});
    const std::vector<Run> seams = {{3000, 0, 0, 0}, {7000, 0, 2, 8820}, {3230, 0, 1, 13230}};
    const std::vector<Case> cases = {
        // The first value too: it measures from its own first crossing, not from the first frame.
        {"accuracy 0.1", 2, 16, 44100, 1.0, 0.1, 10, 1000, 20000, 0, around, 0, 42, 1.0f},
        // Frames that do not fill an interval wait for the next run (10000 frames: two intervals, 1180
        // left); the last crossing carried over is measured from where each run starts, so the values across
        // the runs' seams are right.
        {"unfinished interval", 1, 16, 44100, 2.0, 0.1, 10, 440, 10000, 0, seams, 0, 3, 0.5f},
        // Fewer than two crossings in an interval (W = 400): 1.
        {"too few crossings", 1, 16, 8000, 1.0, 0.05, 1, 1, 10000, 0, {{1200, 0, 3, 1200}}, 0, 3, 0.0f},
        // 8-bit samples are signed bytes here: read as unsigned, a sine from -7 to 127 would wrap at 0 and
        // cross its mean twice as often.
        {"8-bit", 1, 8, 11025, 1.0, 0.1, 5, 300, 67, 60, {{2205, 0, 2, 2204}}, 0, 2, 2.0f},
    };
    for (const Case& c : cases) {
        SoundRingState ring;
        setUp(ring, c.channels, c.rate, c.bits, c.waveLen, c.accuracy, c.window);
        Feeder feeder{ring, c.hz, c.amplitude, c.offset};
        int stored = 0;
        for (const Run& r : c.runs) {
            feeder.feed(r.frames);
            EXPECT_EQ(AnalyseSoundBlock(ring, r.channel), r.values) << c.what;
            EXPECT_EQ(ring.AnalysisFrame.load(), r.analysisFrame) << c.what;
            stored += r.values;
        }
        EXPECT_EQ(ring.FreqRingIndex.load(), stored % ring.FreqRingLength.load()) << c.what;
        EXPECT_LE(ring.LastCrossing, 0.0f) << c.what;
        for (int i = c.first; i < c.first + c.count; ++i)
            EXPECT_NEAR(ring.FreqRing[std::size_t(i)].load(), c.hz, c.tolerance) << c.what << " " << i;
    }
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
}

// The live rings under the threads that use them: the audio callback writes frames and analyses them,
// the window's timer reads values and samples and changes the display window, and the recording writer
// copies frames out to a file. Run in the tsan build (cmake --preset tsan) to check the publication
// order; in every build it checks that what a reader accepts is never torn or overwritten.
TEST(SoundRingStress, DeviceWritesWhileTheWindowReadsResizesAndTheWriterDrains)
{
    test::TempDir dir;
    SoundRingState ring;
    setUp(ring, 1, 44100, 16, 0.5, 0.01, 1.0f);

    constexpr int kBufferFrames = 882; // 20 ms buffers
    constexpr int kBuffers = 400;      // 8 s of a 1000 Hz tone
    ring.WriteAheadFrames = kBufferFrames;
    ring.DeviceOwned = true;
    std::atomic<bool> done{false};
    std::atomic<int> buffersDone{0};
    // The window's last display window is posted while the device still runs (the test's device waits for
    // it half way), so that the device puts it in force.
    std::atomic<bool> finalPosted{false};

    std::thread device([&] {
        std::int64_t frame = 0;
        for (int b = 0; b < kBuffers; ++b) {
            while (b == kBuffers / 2 && !finalPosted.load(std::memory_order_acquire))
                std::this_thread::yield();
            const std::vector<unsigned char> buffer = test::toneBytes(1000, 20000, frame, kBufferFrames);
            const std::int32_t at = ring.RecordFrame.load(std::memory_order_relaxed);
            for (int k = 0; k < kBufferFrames; ++k) // frame by frame, wrapping at the end of the ring
                ring.StoreBytes(std::size_t((at + k) % ring.RingFrames) * 2, &buffer[2 * std::size_t(k)], 2);
            ring.AdvanceRecordFrame(kBufferFrames);
            frame += kBufferFrames;
            AnalyseSoundBlock(ring, 0);
            buffersDone.store(b + 1, std::memory_order_relaxed);
        }
        done.store(true, std::memory_order_release);
    });

    // The recording writer: everything from frame 0 into a file, as fast as it can.
    TWave wave(9, 1);
    wave.CreateWave(dir.file("drained.wav"));
    RingDrain drain;
    drain.Start(0);
    std::thread writer([&] {
        while (!done.load(std::memory_order_acquire)) {
            drain.Drain(ring, wave);
            std::this_thread::yield();
        }
        drain.Drain(ring, wave);
    });

    // The window: values, samples as the spectrum and the waveform take them (more than the ring holds),
    // frames read at the oldest edge where the device overwrites, and display windows posted meanwhile.
    int seen = 0, accepted = 0;
    std::vector<float> samples(32768);
    std::vector<unsigned char> bytes(ring.ReadableFrames() * 2);
    for (int round = 0; !done.load(std::memory_order_acquire); ++round) {
        const std::int32_t length = ring.FreqRingLength.load(std::memory_order_acquire);
        const std::int32_t index = ring.FreqRingIndex.load(std::memory_order_acquire);
        ASSERT_GE(index, 0);
        ASSERT_LE(index, SoundRingState::MaxFreqRingLength);
        for (std::int32_t i = 0; i < length; ++i) {
            const float f = ring.FreqRing[std::size_t(i)].load(std::memory_order_relaxed);
            ASSERT_TRUE(std::isfinite(f));
            ASSERT_GE(f, 0.0f);
            ASSERT_LT(f, 22050.0f);
            seen += f > 0.0f;
        }
        const SoundRingState::AnalysisMark mark = ring.ReadAnalysisMark();
        ASSERT_LE(mark.firstValue, mark.values);
        ASSERT_LE(mark.index, mark.length);

        ReadLatestSamples(ring, 0, round % 3 == 0 ? -500 : 0, 32768, samples.data());
        // Every other round the whole readable part from its oldest edge (often overtaken), else the
        // latest few frames (rarely).
        const std::int64_t arrived = ring.ArrivedFrames.load(std::memory_order_acquire);
        const std::int32_t count = round % 2 ? ring.ReadableFrames() : 256;
        const std::int64_t first = round % 2 ? arrived - ring.ReadableFrames() : arrived - count;
        if (first >= 0 && ReadRingFrames(ring, first, count, bytes.data())) {
            ++accepted;
            for (std::int32_t k = 0; k < count; k += 97) {
                const auto s = static_cast<std::int16_t>(bytes[2 * std::size_t(k)] |
                                                         (bytes[2 * std::size_t(k) + 1] << 8));
                ASSERT_EQ(s, test::tone(1000, 20000, first + k)) << "frame " << first + k;
            }
        }
        // Resizes in the first half; the last one posted is 1 s, which the device puts in force.
        if (buffersDone.load(std::memory_order_relaxed) < kBuffers / 2)
            ring.SetWindowLength(round % 2 ? 0.5f : 1.0f);
        else if (!finalPosted.load(std::memory_order_relaxed)) {
            ring.SetWindowLength(1.0f);
            finalPosted.store(true, std::memory_order_release);
        }
        std::this_thread::yield();
    }
    device.join();
    writer.join();
    ring.DeviceOwned = false;
    ring.ApplyPendingSettings();
    EXPECT_GT(seen, 0);
    EXPECT_GT(accepted, 0);

    // The last values are of the steady tone.
    const std::int32_t length = ring.FreqRingLength.load();
    ASSERT_EQ(length, 100);
    const std::int32_t index = ring.FreqRingIndex.load();
    for (std::int32_t k = 1; k <= 20; ++k)
        EXPECT_NEAR(ring.FreqRing[std::size_t((index - k + length) % length)].load(), 1000.0f, 5.0f) << k;

    // The file holds every frame, in order: the writer's copies are whole, and what it could not copy in
    // time is silence counted as lost.
    ASSERT_TRUE(wave.Close());
    TWave back;
    ASSERT_TRUE(back.Open(dir.file("drained.wav")));
    ASSERT_EQ(back.GetTotalFrames(), std::uint32_t(kBuffers * kBufferFrames));
    std::vector<unsigned char> data(std::size_t(back.GetTotalFrames()) * 2);
    ASSERT_EQ(back.ReadDataAt(0, data.data(), data.size()), data.size());
    std::int64_t silent = 0;
    for (std::int64_t m = 0; m < back.GetTotalFrames(); ++m) {
        const auto s =
            static_cast<std::int16_t>(data[2 * std::size_t(m)] | (data[2 * std::size_t(m) + 1] << 8));
        if (s != test::tone(1000, 20000, m)) {
            ASSERT_EQ(s, 0) << "frame " << m;
            ++silent;
        }
    }
    EXPECT_LE(silent, drain.LostFrames());
}

} // namespace
} // namespace selva
