// The live rings under the threads that use them: the audio callback writes frames and analyses them,
// the window's timer reads values and samples and changes the display window, and the recording writer
// copies frames out to a file. Run in the tsan build (cmake --preset tsan) to check the publication
// order; in every build it checks that what a reader accepts is never torn or overwritten.
#include "sound/RingDrain.h"
#include "sound/SoundRing.h"
#include "sound/Wave.h"
#include "sound/WaveBytes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

namespace selva {
namespace {

TEST(SoundRingStress, DeviceWritesWhileTheWindowReadsResizesAndTheWriterDrains)
{
    test::TempDir dir;
    SoundRingState ring;
    ring.SetFormat(1, 44100, 16);
    ring.SetWaveLen(0.5);
    ring.SetAccuracy(0.01);
    ring.SetWindowLength(1.0f);
    ring.ResetPositions();

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
