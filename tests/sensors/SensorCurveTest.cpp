#include "sensors/SensorCurve.h"

#include "sensors/SensorLibrary.h"

#include <gtest/gtest.h>

#include <cmath>

namespace selva {
namespace {

constexpr std::uint32_t Yellow = 0x0000FFFF;

TCalibration calibration(std::vector<TCalibPoint> points)
{
    TCalibration c;
    c.points = std::move(points);
    return c;
}

TEST(SensorCurve, DefaultCalibrationFallsFromTopLeftToBottomRight)
{
    TCalibration cal = calibration({{8460, 80, {}}, {8700, 0, {}}});
    SensorCurveCache cache;
    const auto l = LayoutSensorCurve(cal, 337, 249, cache, Yellow);
    ASSERT_TRUE(l);
    EXPECT_EQ(17, l->mx);
    EXPECT_EQ(12, l->my);
    EXPECT_EQ(303, l->plotWidth);
    EXPECT_EQ(225, l->plotHeight);
    EXPECT_EQ(237, l->bottom);
    EXPECT_EQ(8460, l->fLow);
    EXPECT_EQ(8700, l->fHigh);
    ASSERT_EQ(303u, cache.columns().size());
    EXPECT_EQ(80, l->tHigh);
    EXPECT_NEAR(80.0 / 303, l->tLow, 0.02) << "the last column lies one step short of 8700 Hz";
    EXPECT_EQ(l->top(), l->thrustY(cache.columns().front().thrust));
    EXPECT_EQ(l->bottom, l->thrustY(cache.columns().back().thrust));
    // Without segment colours: no colour at the point itself, the data line colour between points.
    EXPECT_EQ(TSegmentFormula::NoColour, cache.columns().front().colour);
    EXPECT_EQ(Yellow, cache.columns()[1].colour);
    EXPECT_EQ(17 + 30, l->tickX(1));
    EXPECT_EQ(237 - 22, l->tickY(1)) << "22.5 rounds to even";
    EXPECT_EQ("8460", l->frequencyLabel(0, ','));
    EXPECT_EQ("8484", l->frequencyLabel(1, ','));
    EXPECT_EQ("80", l->thrustLabel(10, ','));
    EXPECT_EQ(l->mx + l->plotWidth, l->frequencyX(8700));
}

TEST(SensorCurve, ThrustRangeSpansThePlotHeight)
{
    TCalibration cal = calibration({{8700, 100, {}}, {8460, 50, {}}});
    SensorCurveCache cache;
    const auto l = LayoutSensorCurve(cal, 337, 249, cache, Yellow);
    ASSERT_TRUE(l);
    EXPECT_EQ(50, l->tLow);
    EXPECT_EQ("50", l->thrustLabel(0, '.'));
    EXPECT_EQ(l->bottom, l->thrustY(cache.columns().front().thrust));
    EXPECT_EQ(l->top(), l->thrustY(cache.columns().back().thrust));

    // A flat calibration gets a range of one.
    TCalibration flat = calibration({{8700, 5, {}}, {8460, 5, {}}});
    SensorCurveCache flatCache;
    const auto f = LayoutSensorCurve(flat, 337, 249, flatCache, Yellow);
    ASSERT_TRUE(f);
    EXPECT_EQ(5, f->tLow);
    EXPECT_EQ(6, f->tHigh);
}

TEST(SensorCurve, NothingWithoutARangeOrAPlotArea)
{
    SensorCurveCache cache;
    for (auto points : {std::vector<TCalibPoint>{{8460, 80, {}}}, std::vector<TCalibPoint>{},
                        std::vector<TCalibPoint>{{8460, 80, {}}, {8460, 10, {}}}}) {
        TCalibration cal = calibration(points);
        EXPECT_FALSE(LayoutSensorCurve(cal, 337, 249, cache, Yellow));
        double f = 1, t = 1;
        EXPECT_EQ(-1, HitTestSensorCurve(cal, 337, 249, 100, 100, cache, Yellow, f, t));
    }
    TCalibration cal = calibration({{8460, 80, {}}, {8700, 0, {}}});
    EXPECT_FALSE(LayoutSensorCurve(cal, 0, 249, cache, Yellow));
    EXPECT_TRUE(LayoutSensorCurve(cal, 3, 3, cache, Yellow));
}

TEST(SensorCurve, WildFormulasKeepTheDrawingFinite)
{
    TSegmentFormula huge;
    huge.type = TFormulaType::exponential;
    huge.c = {0, 1, -50, 0, 0, 0}; // e^(-50·X) overflows a few hertz below the anchor
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

TEST(SensorCurve, FormulaMetricsAndSymbols)
{
    const FormulaMetrics m = FormulaMetricsFor(0, 25);
    EXPECT_EQ(5, m.left);
    EXPECT_EQ(16, m.mainHeight);
    EXPECT_EQ(11, m.smallHeight);
    EXPECT_EQ(4, m.textTop) << "4.5 rounds to even";
    EXPECT_EQ(0, m.superTop);
    EXPECT_EQ(13, m.subTop);
    EXPECT_EQ(104, FormulaMetricsFor(100, 25).textTop);

    EXPECT_EQ((std::vector<SymbolLine>{{15, 25, 30, 40}, {30, 25, 15, 40}}),
              FormulaSymbol(TFormulaType::none, 10, 20, 25));
    EXPECT_EQ((std::vector<SymbolLine>{{22, 25, 22, 40}, {22, 25, 18, 29}, {22, 25, 26, 29}}),
              FormulaSymbol(TFormulaType::previos, 10, 20, 25));
    EXPECT_TRUE(FormulaSymbol(TFormulaType::linear, 10, 20, 25).empty());
}

} // namespace
} // namespace selva
