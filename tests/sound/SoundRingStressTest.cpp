// The live rings under two threads, as the audio callback and the window's drawing timer use them. Run
// in the tsan build (cmake --preset tsan) to check the publication order; in other builds it checks that
// the values the reader sees are always whole ones of the signal.
#include "sound/SoundRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <thread>

namespace selva {
namespace {

TEST(SoundRingStress, DeviceThreadWritesWhileTheWindowReads)
{
    SoundRingState ring;
    ring.SetFormat(1, 44100, 16);
    ring.SetWaveLen(0.5);
    ring.SetAccuracy(0.01);
    ring.SetWindowLength(1.0f);
    ring.ResetPositions();

    constexpr int kBufferFrames = 882; // 20 ms buffers
    constexpr int kBuffers = 400;      // 8 s of a 1000 Hz tone
    std::atomic<bool> done{false};

    std::thread device([&] {
        std::int64_t frame = 0;
        for (int b = 0; b < kBuffers; ++b) {
            const std::int32_t at = ring.RecordFrame.load(std::memory_order_relaxed);
            for (int k = 0; k < kBufferFrames; ++k, ++frame) {
                const double v = 20000.0 * std::sin(2 * std::numbers::pi * 1000.0 * double(frame) / 44100.0);
                const auto s = static_cast<std::int16_t>(std::lround(v));
                const std::int32_t i = (at + k) % ring.RingFrames;
                std::memcpy(ring.SoundRing.data() + std::size_t(i) * 2, &s, 2);
            }
            ring.AdvanceRecordFrame(kBufferFrames);
            AnalyseSoundBlock(ring, 0);
        }
        done.store(true, std::memory_order_release);
    });

    // The drawing timer: positions and published values only. While the tone starts, the first intervals
    // may read anything finite; what matters here is that nothing torn or out of range is ever seen.
    int seen = 0;
    while (!done.load(std::memory_order_acquire)) {
        const std::int32_t length = ring.FreqRingLength.load(std::memory_order_acquire);
        const std::int32_t index = ring.FreqRingIndex.load(std::memory_order_acquire);
        ASSERT_GE(index, 0);
        ASSERT_LE(index, length);
        const std::int32_t record = ring.RecordFrame.load(std::memory_order_acquire);
        ASSERT_GE(record, 0);
        ASSERT_LT(record, ring.RingFrames);
        for (std::int32_t i = 0; i < length; ++i) {
            const float f = ring.FreqRing[std::size_t(i)].load(std::memory_order_relaxed);
            ASSERT_TRUE(std::isfinite(f));
            ASSERT_GE(f, 0.0f);
            ASSERT_LT(f, 22050.0f);
            seen += f > 0.0f;
        }
        std::this_thread::yield();
    }
    device.join();
    EXPECT_GT(seen, 0);
    // The ring holds the last second of values, all of the steady tone.
    const std::int32_t length = ring.FreqRingLength.load();
    ASSERT_EQ(length, 100);
    for (std::int32_t i = 0; i < length; ++i)
        EXPECT_NEAR(ring.FreqRing[std::size_t(i)].load(), 1000.0f, 5.0f) << i;
}

}  // namespace
}  // namespace selva
