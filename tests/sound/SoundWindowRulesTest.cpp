// The sound window's rules without a window: the bands and their track bars, the read-out's numbers, the
// live mean and the mappings of the pictures.
#include "sound/SoundWindowRules.h"

#include "sound/SoundRing.h"

#include <gtest/gtest.h>

#include <tuple>

namespace selva {
namespace {

TEST(SoundWindowRulesTest, FrequencyBandMovesWithItsTrackBarAndKeepsItsWidth)
{
    FreqBand band{0, 10000};
    EXPECT_EQ(band.trackMax(), 10000);
    EXPECT_EQ(band.trackPosition(), 10000); // the lowest band sits at the bottom
    band.onTrack(2000, band.trackMax());
    EXPECT_EQ(band.lower, 8000);
    EXPECT_EQ(band.upper, 18000);
    band = {8400, 8800};
    EXPECT_EQ(band.trackMax(), 19600);
    EXPECT_EQ(band.trackPosition(), 11200);
}

// The spectrum band (lower, upper, track bar) after its track bar moved or an edit was committed.
TEST(SoundWindowRulesTest, SpectrumBandRules)
{
    using Band = std::tuple<std::int32_t, std::int32_t, int>;
    const auto track = [](SpecBand& b) { b.onTrack(20000); };
    const auto middle = [](SpecBand& b) { b.onTrack(5000); };
    const auto upper = [](SpecBand& b) { b.commitUpper(); };
    const auto lower = [](SpecBand& b) { b.commitLower(); };
    struct {
        SpecBand band;
        void (*act)(SpecBand&);
        Band after;
    } cases[] = {
        {{1000, 4000, 1000}, middle, {5000, 8000, 5000}},   // the band keeps its width
        {{0, 3000, 0}, track, {17000, 20000, 17000}},       // to the end, still 3000 wide
        {{5000, 25000, 5000}, upper, {5000, 20000, 5000}},  // at most 20000
        {{5000, 4000, 5000}, upper, {0, 4000, 0}},          // not above the lower one: the band starts at 0
        {{25000, 10000, 1234}, lower, {1234, 10000, 1234}}, // 20000 or more: the track bar's position
        {{12000, 10000, 0}, lower, {12000, 20000, 12000}},  // above the upper one: that goes to 20000
    };
    for (auto& [b, act, after] : cases) {
        act(b);
        EXPECT_EQ(Band(b.lower, b.upper, b.trackPosition), after);
    }
}

TEST(SoundWindowRulesTest, ReadoutNumbers)
{
    const struct {
        double v;
        const char* text;
    } cases[] = {{0.12, "0.12"},   {1500, "1500"},     {0, "0"},        {0.5, "0.5"},
                 {1.0, "1"},       {5.25, "5.2"},      {12.7, "13"},    {0.05, "0.05"},
                 {0.012, "0.012"}, {0.0034, "0.0034"}, {-3.25, "-3.2"}, {-0.5, "-0.50"}};
    for (const auto& c : cases)
        EXPECT_EQ(FormatReadout(c.v), c.text) << c.v;
    EXPECT_EQ(FormatReadout(0.12, ','), "0,12");
}

TEST(SoundWindowRulesTest, LiveMeanOfTheDefaults)
{
    SoundRingState ring;
    ring.SetAccuracy(0.01);
    ring.SetWindowLength(5.0f);
    ASSERT_EQ(ring.FreqRingLength.load(), 500);
    EXPECT_EQ(LiveMeanCount(0.5, 0.01, 500), 50);
    EXPECT_EQ(LiveMeanCount(0.005, 0.01, 500), 1); // a refresh below the accuracy: one value
    EXPECT_EQ(LiveMeanCount(1000, 0.001, 500), 500);
    // 60 values, the write index wrapped: the latest 50 are 1000.04 on average.
    for (int i = 0; i < 510; ++i)
        ring.FreqRing[std::size_t(i % 500)] = i < 460 ? 5.0f : (i % 2 ? 1000.0f : 1000.08f);
    ring.FreqRingIndex = 10;
    EXPECT_DOUBLE_EQ(LiveMean(ring, 50), 1000.0);
    EXPECT_DOUBLE_EQ(LiveMean(ring, 51), 980.5);
    const std::vector<float> latest = LatestFreqValues(ring, 3);
    EXPECT_EQ(latest, (std::vector<float>{1000.0f, 1000.08f, 1000.0f}));
}

TEST(SoundWindowRulesTest, FrequencyGraphAndMouseReadout)
{
    const PlotRect plot{10, 20, 511, 220}; // 501 wide, 200 high
    const auto points = FreqGraphPoints({0.0f, 500.0f, 1000.0f}, plot, 500.0, 0.0, 1000.0);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].x, 10);
    EXPECT_EQ(points[2].x, 12);
    EXPECT_EQ(points[0].y, 220);
    EXPECT_EQ(points[1].y, 120);
    EXPECT_EQ(points[2].y, 20);
    EXPECT_TRUE(FreqGraphPoints({1.0f}, plot, 500, 1000, 1000).empty()); // an empty band draws nothing

    double f = 0;
    ASSERT_TRUE(MouseFrequency(120, plot, 1000, 2000, f));
    EXPECT_EQ(FormatReadout(f), "1500");
    ASSERT_TRUE(MouseFrequency(220 - 24, {0, 20, 100, 220}, 0, 1.0, f));
    EXPECT_EQ(FormatReadout(f), "0.12");
    EXPECT_FALSE(MouseFrequency(19, plot, 0, 1, f));
    EXPECT_FALSE(MouseFrequency(221, plot, 0, 1, f));
}

TEST(SoundWindowRulesTest, SignalWindowAndScaling)
{
    const SignalView v = SignalFrames(10, 100, 44100, 88200);
    EXPECT_EQ(v.back, 441);
    EXPECT_EQ(v.frames, 4410);
    EXPECT_EQ(SignalFrames(0, 1e6, 44100, 88200).frames, 88200);
    EXPECT_EQ(SignalFrames(0, 0.001, 44100, 88200).frames, 1);

    const PlotRect plot{0, 0, 100, 200};
    EXPECT_EQ(SignalY(0, 1, 0, -1000, 1000, plot), 100);
    EXPECT_EQ(SignalY(1000, 1, 0, -1000, 1000, plot), 0);
    EXPECT_EQ(SignalY(50, 10, 500, -1000, 1000, plot), 0);
    double lo = 0, hi = 0;
    AutoBounds({-3, 5, 1}, 10, lo, hi);
    EXPECT_EQ(lo, -30);
    EXPECT_EQ(hi, 50);
    AutoBounds({7, 7}, 1, lo, hi);
    EXPECT_LT(lo, hi);
}

} // namespace
} // namespace selva
