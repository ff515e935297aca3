// The logger's report lines, the line buffer, the command hand-over and the reading ring.
#include "logger/LoggerProtocol.h"
#include "logger/LoggerLink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace selva {
namespace {

TEST(LoggerProtocol, ReportLinesDecodeAsTheLoggerMeansThem)
{
    using K = LoggerReport;
    const struct {
        const char* line;
        LoggerReport::Kind kind;
        double value; // flags for status lines
    } cases[] = {
        {"a04\n", K::Status, 4},  // only the temperature sensor
        {"a03\n", K::Status, 3},  // igniter and battery
        {"aZ3\n", K::Ignored, 0}, // H1 is not a hex digit: nothing changes
        {"a0z\n", K::Ignored, 0}, // lower case is not hex
        {"b0800\n", K::Battery, 6.25},
        {"bFFFF\r\n", K::Battery, 65535 * 12.5 / 4096},
        {"b08G0\n", K::Ignored, 0},
        {"tFF90\n", K::Temperature, -7},
        {"t0190\n", K::Temperature, 25},
        {"tZ190\n", K::Ignored, 0},
        {"1F40\n", K::Reading, 8000},
        {"1F40\r\n", K::Reading, 8000}, // the CR is one more byte: still the short form
        {"1g40\n", K::Ignored, 0},
        {"\n", K::Ignored, 0},
        {"000064001200\n", K::Reading, 400000}, // 100 * 18432000 / 4608
        {"000064001200\r\n", K::Reading, 400000},
        {"000064000000\n", K::Reading, 100.0 * 18432000}, // T of 0 counts as 1
        {"0Z0064001200\n", K::Reading, 400000},           // N stops at its first pair: the bytes so far stay
        {"00006400120Z\n", K::Reading, 100.0 * 18432000}, // T's last pair is broken: T is 0
        {"0000641\n", K::Reading, 100.0 * 18432000},      // length 8: the long form, T beyond the line
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const LoggerReport r = decodeLoggerLine(c.line);
        ASSERT_EQ(r.kind, c.kind);
        if (c.kind == K::Status) {
            EXPECT_EQ(r.flags, c.value);
        } else if (c.kind != K::Ignored) {
            EXPECT_FLOAT_EQ(r.value, static_cast<float>(c.value));
        }
    }
    // A temperature checks only its first two digits; the last two are decoded whatever they are.
    const LoggerReport t = decodeLoggerLine("t01ZZ\n");
    EXPECT_EQ(t.kind, LoggerReport::Temperature);
    EXPECT_TRUE(t.value >= 16.0f && t.value < 32.0f) << t.value;
}

TEST(LoggerProtocol, AnOverlongLineKeepsItsFirst510BytesAndTheLatestByte)
{
    LineBuffer line;
    for (int i = 0; i < 599; ++i)
        EXPECT_FALSE(line.append('1'));
    line.append('Q');
    ASSERT_EQ(line.length(), 511);
    EXPECT_EQ(line.line()[509], '1');
    EXPECT_EQ(line.line()[510], 'Q');
    EXPECT_TRUE(line.append('\n'));
    EXPECT_EQ(line.length(), 511);
    EXPECT_EQ(line.line()[510], '\n');
    // An overlong line of digits is a counted reading like any long line.
    EXPECT_EQ(decodeLoggerLine(line.line()).kind, LoggerReport::Reading);
}

TEST(LoggerLink, PollCycleAsksStatusTemperatureAndBatteryInTurn)
{
    LoggerLink link;
    const auto tenSteps = [&link] {
        std::string sent;
        for (int i = 0; i < 10; ++i) {
            link.pollCycle();
            unsigned char c = 0;
            EXPECT_TRUE(link.takeCommand(c)); // the pending mark is set on every step
            sent += c == 0 ? '0' : static_cast<char>(c);
        }
        return sent;
    };
    // Without a temperature sensor step 1 asks nothing and the zero byte goes out.
    EXPECT_EQ(tenSteps(), "A0ABAAAAAA");
    link.statusFlags = StatusTemperatureSensor;
    link.batteryReported = true;
    EXPECT_EQ(tenSteps(), "ATABAAAAAA");
    EXPECT_FALSE(link.batteryReported); // cleared when the battery is asked for

    // A button's command waits until the reader has sent it; the poll does not replace it.
    link.placeCommand(CmdFire);
    link.pollCycle();
    unsigned char c = 0;
    ASSERT_TRUE(link.takeCommand(c));
    EXPECT_EQ(c, CmdFire);
    EXPECT_FALSE(link.takeCommand(c));
}

TEST(ReadingRing, KeepsOrderAcrossItsEndAndDropsWhenFull)
{
    ReadingRing ring(4);
    std::vector<float> out(8);
    float next = 0, expect = 0;
    for (int round = 0; round < 5; ++round) { // positions pass the capacity several times
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(ring.push(next++));
        ASSERT_EQ(ring.pop(out.data(), out.size()), 3u);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(out[static_cast<std::size_t>(i)], expect++);
    }
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(ring.push(static_cast<float>(i)));
    EXPECT_FALSE(ring.push(99));
    EXPECT_EQ(ring.dropped(), 1u);
    EXPECT_EQ(ring.pop(out.data(), 2), 2u);
    EXPECT_EQ(ring.available(), 2u);
}

TEST(LoggerLink, BatterySymbolColourBlendsBetweenSevenAndEightVolts)
{
    const struct {
        double volts;
        std::uint32_t colour; // 0x00BBGGRR
    } cases[] = {
        {3.0, 0x0000FF}, {6.99, 0x0000FF}, {7.0, 0x0000FF}, {7.25, 0x007FFF}, // 255 - round(127.5)
        {7.5, 0x00FFFF}, {7.75, 0x00FF80}, {8.0, 0x00FF00}, {8.01, 0x008000}, {20, 0x008000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(batteryFillColour(c.volts), c.colour) << c.volts;
}

} // namespace
} // namespace selva
