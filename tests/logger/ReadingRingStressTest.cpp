// The link between the serial reader and the window under two threads, as the reader and the display
// timer use it. Run in the tsan build (cmake --preset tsan; build tests_logger) to check the publication
// order; in other builds it checks that no reading is lost, repeated or reordered.
#include "logger/LoggerLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace selva {
namespace {

TEST(ReadingRingStress, ReaderPublishesWhileTheWindowDrainsAndCommands)
{
    LoggerLink link;
    constexpr std::uint32_t kReadings = 2'000'000; // exactly representable as floats
    std::atomic<bool> done{false};
    std::vector<unsigned char> taken;

    std::thread reader([&] {
        for (std::uint32_t i = 0; i < kReadings; ++i) {
            link.apply({LoggerReport::Reading, 0, static_cast<float>(i)});
            if (i % 1000 == 0) {
                link.apply({LoggerReport::Battery, 0, static_cast<float>(i % 13)});
                link.apply({LoggerReport::Status, static_cast<std::uint8_t>(i % 8), 0});
            }
            unsigned char c = 0;
            if (link.takeCommand(c))
                taken.push_back(c);
        }
        done.store(true, std::memory_order_release);
    });

    // The display timer: drain in pieces, send commands, run the poll, look at the status.
    std::vector<float> piece(700);
    std::uint64_t received = 0;
    float expected = 0;
    bool ordered = true;
    int ticks = 0;
    for (;;) {
        const bool finished = done.load(std::memory_order_acquire);
        const std::size_t n = link.readings.pop(piece.data(), piece.size());
        for (std::size_t i = 0; i < n; ++i) {
            // Drops (a full ring) may skip readings, never repeat or reorder them.
            ordered = ordered && piece[i] >= expected;
            expected = piece[i] + 1;
        }
        received += n;
        if (++ticks % 50 == 0)
            link.placeCommand(CmdFire);
        else if (ticks % 7 == 0)
            link.pollCycle();
        if (link.batteryReported.load(std::memory_order_acquire)) {
            EXPECT_LT(link.batteryVoltage.load(std::memory_order_relaxed), 13.0f);
        }
        EXPECT_LT(link.statusFlags.load(std::memory_order_relaxed), 8);
        if (finished && n == 0)
            break;
    }
    reader.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(received + link.readings.dropped(), kReadings);
    for (unsigned char c : taken)
        EXPECT_TRUE(c == CmdFire || c == CmdStatus || c == CmdBattery || c == 0) << int(c);
}

} // namespace
} // namespace selva
