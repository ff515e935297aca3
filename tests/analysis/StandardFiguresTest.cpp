#include "analysis/StandardFigures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace selva;

namespace {

// Points at a 0.1 s step from t = 0.
std::vector<CurvePoint> curveOf(const std::vector<double>& thrust, double step = 0.1)
{
    std::vector<CurvePoint> c;
    for (std::size_t i = 0; i < thrust.size(); ++i)
        c.push_back({static_cast<double>(i) * step, thrust[i]});
    return c;
}

} // namespace

TEST(StandardFigures, ImpulseClassesAndTheirBoundaries)
{
    struct Case {
        double impulse;
        const char* letter;
        double percent;
    };
    const Case cases[] = {
        {0.2, "1/8A", 64},
        {0.3125, "1/8A", 100},
        {0.3126, "1/4A", 0.032},
        {1.25, "1/2A", 100},
        {1.26, "A", 0.8},
        {2.50, "A", 100},
        {2.51, "B", 0.4},
        {120, "G", 50},
        {40960, "O", 100},
        {40961, "P", 100.0 / 40960},
        {0, "", 0},
        {-3, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.impulse);
        const ImpulseClass cls = ClassifyImpulse(c.impulse);
        EXPECT_EQ(cls.letter, c.letter);
        EXPECT_NEAR(cls.percent, c.percent, 1e-9);
    }
    EXPECT_EQ(MotorDesignation(ClassifyImpulse(137), 79.5), "G80");
    EXPECT_EQ(MotorDesignation(ClassifyImpulse(0.9), 2.4), "1/2A2");
    EXPECT_EQ(MotorDesignation(ClassifyImpulse(0), 50), "");
}

TEST(StandardFigures, CrossingsAreInterpolatedAboveTheRestLine)
{
    // Peak 100 N, so the threshold is 5 N: it is crossed between 0.2 s (4 N) and 0.3 s (100 N) and
    // between 0.5 s (50 N) and 0.6 s (2 N); the thrust leaves zero at 0.1 s and is back at 0.7 s.
    const std::vector<double> net = {0, 0, 4, 100, 100, 50, 2, 0, 0};
    const double start = 0.2 + 0.1 * (5.0 - 4) / 96, end = 0.5 + 0.1 * (50.0 - 5) / 48;
    const double inside =
        (end - 0.5) * (50 + 5) / 2 + 0.1 * (100 + 50) / 2 + 0.1 * 100 + (0.3 - start) * (5 + 100) / 2;

    AnalysisState s;
    s.AnalysisStep = 0.1;
    s.PointCount = static_cast<std::uint32_t>(net.size());
    s.NetThrust = false;
    s.RestThrust = 10; // the thrust series stands 10 N above its zero
    for (double v : net)
        s.ThrustData.push_back(v + 10);
    s.ThrustNet.assign(net.size(), 1000); // not the series in use

    const StandardFigures f = ComputeStandardFigures(s, true);
    ASSERT_TRUE(f.found);
    EXPECT_DOUBLE_EQ(f.peakThrust, 100);
    EXPECT_NEAR(f.burnStart, start, 1e-12);
    EXPECT_NEAR(f.burnEnd, end, 1e-12);
    EXPECT_NEAR(f.burnTime, end - start, 1e-12);
    EXPECT_NEAR(f.impulseStart, 0.1, 1e-12);
    EXPECT_NEAR(f.impulseEnd, 0.7, 1e-12);
    EXPECT_NEAR(f.totalImpulse, 0.1 * (2 + 52 + 100 + 75 + 26 + 1), 1e-12);
    EXPECT_NEAR(f.averageThrust, inside / (end - start), 1e-9);
    EXPECT_EQ(f.impulseClass.letter, "E"); // 25.6 N·s
    EXPECT_EQ(f.designation, "E" + std::to_string(static_cast<int>(inside / (end - start) + 0.5)));

    // The whole burn as a motor's own curve: from zero to zero, time from the start of thrust.
    const std::vector<CurvePoint> burn = BurnCurve(ThrustCurveOf(s), f);
    ASSERT_EQ(burn.size(), 7u);
    EXPECT_EQ(burn.front(), (CurvePoint{0, 0}));
    EXPECT_NEAR(burn.back().time, 0.6, 1e-12);
    EXPECT_NEAR(CurveImpulse(burn), f.totalImpulse, 1e-12);

    // No figures without newtons, nor for a curve that never rises.
    EXPECT_FALSE(ComputeStandardFigures(s, false).found);
    EXPECT_FALSE(ComputeStandardFigures(curveOf({0, -1, 0, 0})).found);
}

TEST(StandardFigures, AChuffingBurnSpansBothPeaks)
{
    // Two pulses with the thrust back at zero between them; the second is the smaller one.
    const StandardFigures f = ComputeStandardFigures(curveOf({0, 0, 60, 80, 30, 0, 0, 0, 20, 40, 10, 0, 0}));
    ASSERT_TRUE(f.found);
    EXPECT_NEAR(f.burnStart, 0.1 + 0.1 * 4 / 60, 1e-12);
    EXPECT_NEAR(f.burnEnd, 1.0 + 0.1 * 6 / 10, 1e-12);
    EXPECT_NEAR(f.impulseStart, 0.1, 1e-12);
    EXPECT_NEAR(f.impulseEnd, 1.1, 1e-12);
    EXPECT_NEAR(f.totalImpulse, 0.1 * (30 + 70 + 55 + 15) + 0.1 * (10 + 30 + 25 + 5), 1e-12);
}
