#include "sensors/SensorCurve.h"

#include "sensors/SensorLibrary.h"
#include "support/Calibrations.h"

#include <gtest/gtest.h>

#include <cmath>

namespace selva {
namespace {

constexpr std::uint32_t Yellow = 0x0000FFFF;

using test::calibration;

TEST(SensorCurve, WildFormulasKeepTheDrawingFinite)
{
    // e^(-50·X) overflows a few hertz below the anchor.
    const TSegmentFormula huge = test::formula(TFormulaType::exponential, {0, 1, -50});
    TCalibration cal = calibration({{8700, 0, huge}, {8460, 80, {}}, {8400, 1e30, {}}});
    SensorCurveCache cache;
    const auto l = LayoutSensorCurve(cal, 337, 249, cache, Yellow);
    ASSERT_TRUE(l);
    EXPECT_TRUE(std::isfinite(l->tLow) && std::isfinite(l->tHigh) && l->tHigh > l->tLow);
    for (const CurveColumn& c : cache.columns()) {
        if (std::isfinite(c.thrust)) {
            EXPECT_LE(std::abs(l->thrustY(c.thrust)), 2'000'000);
        }
    }
    EXPECT_LE(std::abs(l->thrustY(1e300)), 2'000'000);
}

TEST(SensorCurve, ClickMapping)
{
    TCalibration cal = calibration({{8700, 0, {}}, {8580, 40, {}}, {8460, 80, {}}});
    SensorCurveCache cache;
    double f = 0, t = 0;
    // The left edge of the plot is the lowest frequency (the last point of the list).
    EXPECT_EQ(2, HitTestSensorCurve(cal, 337, 249, 17, 5, cache, Yellow, f, t));
    EXPECT_EQ(8460, f);
    EXPECT_EQ(80, t);
    EXPECT_EQ(1, HitTestSensorCurve(cal, 337, 249, 17 + 150, 240, cache, Yellow, f, t));
    EXPECT_EQ(0, HitTestSensorCurve(cal, 337, 249, 320, 5, cache, Yellow, f, t));
    EXPECT_EQ(8700, f);
    // Left of the plot and beyond the calibrated range nothing is selected.
    EXPECT_EQ(-1, HitTestSensorCurve(cal, 337, 249, 16, 100, cache, Yellow, f, t));
    EXPECT_LT(f, 8460);
    EXPECT_EQ(-1, HitTestSensorCurve(cal, 337, 249, 321, 100, cache, Yellow, f, t));
    EXPECT_EQ(-1, HitTestSensorCurve(cal, 337, 249, -50, 100, cache, Yellow, f, t));
}

TEST(SensorCurve, CacheIsReusedUntilInvalidatedOrAskedForAnotherCurve)
{
    TCalibration cal = calibration({{8460, 80, {}}, {8700, 0, {}}});
    SensorCurveCache cache;
    ASSERT_TRUE(LayoutSensorCurve(cal, 337, 249, cache, Yellow));
    EXPECT_TRUE(cache.valid());
    const float first = cache.columns().front().thrust;

    // Until invalidated, the columns stay as they were even if the points change.
    cal.points[0].thrust = 120;
    cal.invalidate();
    ASSERT_TRUE(LayoutSensorCurve(cal, 337, 249, cache, Yellow));
    EXPECT_EQ(first, cache.columns().front().thrust);
    cache.Invalidate();
    ASSERT_TRUE(LayoutSensorCurve(cal, 337, 249, cache, Yellow));
    EXPECT_EQ(120, cache.columns().front().thrust);

    // Another size, another sensor or another data line colour refills it by itself.
    ASSERT_TRUE(LayoutSensorCurve(cal, 209, 161, cache, Yellow));
    EXPECT_EQ(189u, cache.columns().size());
    TCalibration other = calibration({{8460, 10, {}}, {8700, 0, {}}});
    ASSERT_TRUE(LayoutSensorCurve(other, 209, 161, cache, Yellow));
    EXPECT_EQ(10, cache.columns().front().thrust);
    ASSERT_TRUE(LayoutSensorCurve(other, 209, 161, cache, 0x00FF0000));
    EXPECT_EQ(0x00FF0000u, cache.columns()[1].colour);
}

} // namespace
} // namespace selva
