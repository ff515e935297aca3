#include "sensors/Calibration.h"

#include "support/Calibrations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace selva {
namespace {

using test::calibration;
using test::formula;

constexpr std::uint32_t Red = 0x000000FF;
constexpr std::uint32_t Blue = 0x00FF0000;
constexpr std::uint32_t Green = 0x0000FF00;
constexpr std::uint32_t NoColour = TSegmentFormula::NoColour;

TCalibration defaultPoints()
{
    return calibration({{8460, 80, {}}, {8700, 0, {}}});
}

void expectNear(double expected, double actual, const std::string& what)
{
    if (std::isinf(expected)) {
        EXPECT_EQ(expected, actual) << what;
        return;
    }
    EXPECT_NEAR(expected, actual, 1e-9 * std::max(1.0, std::fabs(expected))) << what;
}

TEST(Calibration, PointsInterpolateAndExtrapolateLinearly)
{
    const struct {
        double f, thrust;
    } cases[] = {{8580, 40}, {8460, 80}, {8700, 0}, {8400, 100}, {8760, -20}, {8520, 60}};
    TCalibration cal = defaultPoints();
    for (const auto& c : cases)
        expectNear(c.thrust, SensorThrust(cal, c.f), "f = " + std::to_string(c.f));

    // With the highest frequency at or below 0 a nearest-point search seeded with the highest frequency
    // would find nothing; such calibrations interpolate like any other.
    TCalibration negative = calibration({{0, 0, {}}, {-100, 10, {}}});
    expectNear(5, SensorThrust(negative, -50), "between 0 and -100 Hz");
    int nearest = -1;
    SensorThrustNearest(negative, -80, nearest);
    EXPECT_EQ(1, nearest);
}

TEST(Calibration, WithoutRangeEverythingIsZero)
{
    const std::vector<TCalibration> cals = {calibration({}), calibration({{8500, 10, {}}}),
                                            calibration({{8500, 10, {}}, {8500, 20, {}}})};
    for (std::size_t i = 0; i < cals.size(); ++i) {
        TCalibration cal = cals[i];
        for (double f : {0.0, 8400.0, 8500.0, 9000.0}) {
            EXPECT_EQ(0.0, SensorThrust(cal, f)) << i;
            int nearest = 5;
            EXPECT_EQ(0.0, SensorThrustNearest(cal, f, nearest)) << i;
            EXPECT_EQ(-1, nearest);
            std::uint32_t colour = 0x123456;
            EXPECT_EQ(-1.0, SensorThrustColour(cal, f, colour, Green)) << i;
            EXPECT_EQ(0x123456u, colour) << "colour must stay unchanged";
        }
        EXPECT_FALSE(PrepareSensorRange(cal));
        EXPECT_EQ(-1, cal.lowIndex);
        EXPECT_EQ(-1, cal.highIndex);
    }
}

TEST(Calibration, RangeCacheKeepsEarlierOfEqualFrequencies)
{
    TCalibration cal =
        calibration({{8700, 0, {}}, {8700, 3, {}}, {8460, 80, {}}, {8460, 90, {}}, {8600, 20, {}}});
    ASSERT_TRUE(PrepareSensorRange(cal));
    EXPECT_EQ(2, cal.lowIndex);
    EXPECT_EQ(0, cal.highIndex);
    EXPECT_EQ(8460, cal.lowFrequency);
    EXPECT_EQ(8700, cal.highFrequency);
    expectNear((20.0 - 80) / (8600 - 8460), cal.lowSlope, "lowSlope");
    expectNear((0.0 - 20) / (8700 - 8600), cal.highSlope, "highSlope");
}

TEST(Calibration, FormulasAtExactHitAndAcrossSegments)
{
    // A point with a linear formula answers with the formula at X = 0, whatever its own thrust.
    TCalibration linear = calibration({{8700, 0, {}}, {8600, 99, formula(TFormulaType::linear, {5, 1})}});
    expectNear(5, SensorThrust(linear, 8600), "exact hit on linear");

    // previos after linear takes the same A and B, anchored at its own frequency.
    const TSegmentFormula lin = formula(TFormulaType::linear, {10, -0.5f}, Red);
    TCalibration prev = calibration({{8700, 0, lin}, {8600, 50, formula(TFormulaType::previos)}});
    EXPECT_EQ(lin, ResolveSegmentFormula(prev, 1));
    expectNear(10, SensorThrust(prev, 8600), "previos exact hit");
    // Midway the two segment values (35 from 8700, -15 from 8600) are cross-faded half and half.
    expectNear(10, SensorThrust(prev, 8650), "midway");
    // A quarter of the way from 8700: 0.75 * (10 + 0.5*25) + 0.25 * (10 - 0.5*75).
    expectNear(0.75 * 22.5 + 0.25 * -27.5, SensorThrust(prev, 8675), "quarter way");

    // Above the range the formula in force at the highest point is extended.
    expectNear(10 - 0.5 * 100, SensorThrust(prev, 8800), "above with formula");
    // Below the range a previos on the lowest point is not followed: linear extrapolation.
    TCalibration low = calibration(
        {{8700, 0, formula(TFormulaType::linear, {1, 2})}, {8460, 80, formula(TFormulaType::previos)}});
    expectNear(100, SensorThrust(low, 8400), "previos below range");
    // ... while its own formula is used.
    low.points[1].formula = formula(TFormulaType::linear, {7, -1});
    low.invalidate();
    expectNear(7 + 60, SensorThrust(low, 8400), "own formula below range");

    // A chain of previos ends at the first point that has a formula of its own, or at none.
    TCalibration chain = calibration({{8700, 0, formula(TFormulaType::previos, {}, Red)},
                                      {8600, 1, formula(TFormulaType::previos)},
                                      {8500, 2, formula(TFormulaType::none, {}, Blue)},
                                      {8400, 3, formula(TFormulaType::previos)}});
    EXPECT_EQ(TSegmentFormula{}, ResolveSegmentFormula(chain, 1)) << "walk past index 0 gives none";
    EXPECT_EQ(Blue, ResolveSegmentFormula(chain, 3).colour);
    EXPECT_EQ(TSegmentFormula{}, ResolveSegmentFormula(chain, 4));
    EXPECT_EQ(TSegmentFormula{}, ResolveSegmentFormula(chain, -1));
}

TEST(Calibration, EvalSegmentFormulaTable)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        TSegmentFormula formula;
        double x, expected;
        const char* what;
    } cases[] = {
        {formula(TFormulaType::none, {1, 2}), 3, 0, "none"},
        {formula(TFormulaType::previos, {1, 2}), 3, 0, "previos"},
        {formula(TFormulaType::linear, {1, 2}), 3, 7, "linear"},
        {formula(TFormulaType::polynom, {1, 1, 1, 1, 1, 1}), 2, 63, "polynom"},
        {formula(TFormulaType::polynom, {0, 0, 0, 0, 0, 1}), -2, -32, "polynom odd power of negative X"},
        {formula(TFormulaType::powered, {1, 2, 0.5f}), 4, 5, "powered"},
        {formula(TFormulaType::powered, {1, 2, 2}), -3, 19, "powered, negative X, integral p"},
        {formula(TFormulaType::powered, {1, 2, 0.5f}), -4, 1, "powered, negative X, fractional p: constant"},
        {formula(TFormulaType::powered, {1, 2, -1}), 0, 1, "powered pole at the anchor: constant"},
        {formula(TFormulaType::exponential, {1, 2, 0.5f}), 2, 1 + 2 * std::exp(1.0), "exponential"},
        {formula(TFormulaType::logariphmic, {1, 2, 0.5f}), 2, 1, "logariphmic ln(1)"},
        {formula(TFormulaType::logariphmic, {3, 2, 0}), 5, 3, "logariphmic with Pln = 0"},
        {formula(TFormulaType::logariphmic, {3, 2, 1}), -5, 3, "logariphmic, negative argument"},
        {formula(static_cast<TFormulaType>(9), {1, 2}), 3, 0, "stray code counts as none"},
        {formula(TFormulaType::exponential, {0, 1, 1}), 1e6, inf, "overflow stays an infinity"},
    };
    for (const auto& c : cases) {
        expectNear(c.expected, EvalSegmentFormula(c.formula, 8000, 8000 + c.x), c.what);
        EXPECT_FLOAT_EQ(static_cast<float>(c.expected), EvalFormulaAt(c.formula, c.x)) << c.what;
    }
    // Codes outside the list (a damaged file, an empty type list) count as none and name no formula.
    EXPECT_EQ(TFormulaType::none, FormulaTypeFromCode(7));
    EXPECT_EQ(TFormulaType::none, FormulaTypeFromCode(-1));
    EXPECT_STREQ("none", FormulaTypeName(static_cast<TFormulaType>(200)));

    // The logarithmic value is the constant term everywhere when Pln is 0, also through SensorThrust.
    TCalibration cal = calibration({{8700, 0, formula(TFormulaType::logariphmic, {4, 2, 0})},
                                    {8400, 9, formula(TFormulaType::previos)}});
    for (double f : {8400.0, 8550.0, 8700.0, 8900.0})
        expectNear(4, SensorThrust(cal, f), "Pln = 0 at " + std::to_string(f));
}

TEST(Calibration, NonNumbersNeverStopEvaluation)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    TCalibration cal = defaultPoints();
    int nearest = 7;
    EXPECT_EQ(0.0, SensorThrustNearest(cal, nan, nearest)) << "a NaN frequency has no thrust";
    EXPECT_EQ(-1, nearest);
    EXPECT_EQ(-inf, SensorThrust(cal, inf));
    EXPECT_EQ(inf, SensorThrust(cal, -inf));

    // NaN frequencies in the list: no range point is found for them, evaluation still returns.
    TCalibration bad = calibration({{nan, 1, {}}, {8700, 0, {}}, {8460, 80, {}}});
    expectNear(40, SensorThrust(bad, 8580), "NaN point ignored by the range");
    std::uint32_t colour = 0;
    SensorThrustColour(bad, 8580, colour, Green);

    // Infinite frequencies: results may be infinite or NaN but the blend colour stays a colour.
    TCalibration wide = calibration({{-inf, 0, formula(TFormulaType::none, {}, Red)}, {inf, 1, {}}});
    colour = 0;
    SensorThrustColour(wide, 0, colour, Blue);
    EXPECT_EQ(0u, colour & 0xFF000000u);
}

TEST(Calibration, NearestPointAndTies)
{
    TCalibration cal = calibration({{8700, 0, {}}, {8600, 30, {}}, {8500, 60, {}}});
    const struct {
        double f;
        int nearest;
    } cases[] = {{8690, 0}, {8650, 0}, {8640, 1}, {8600, 1}, {8550, 1}, {8510, 2}, {8400, -1}, {8800, -1}};
    for (const auto& c : cases) {
        int nearest = 99;
        SensorThrustNearest(cal, c.f, nearest);
        EXPECT_EQ(c.nearest, nearest) << c.f;
    }
}

TEST(Calibration, SegmentColours)
{
    constexpr std::uint32_t Line = 0xFF000005; // a system colour as the data line colour
    const struct {
        TSegmentFormula high, low;
        double f;
        std::uint32_t colour;
        const char* what;
        std::uint32_t dataLine = Line;
    } cases[] = {
        {formula(TFormulaType::none, {}, Red), formula(TFormulaType::none, {}, Blue), 8600, 0x00800080,
         "red and blue midway: 127.5 rounds to 128"},
        {formula(TFormulaType::none, {}, Red), formula(TFormulaType::none, {}, Blue), 8650, 0x004000BF,
         "a quarter of the way from red"},
        {formula(TFormulaType::none), formula(TFormulaType::none), 8650, 0xFF000005,
         "no colours: the data line colour itself"},
        {formula(TFormulaType::none, {}, Red), formula(TFormulaType::none), 8600, 0x00020280,
         "one missing colour is the data line colour", 0x00040400},
        {formula(TFormulaType::none, {}, Red), formula(TFormulaType::none, {}, Blue), 8700, Red, "exact hit"},
        {formula(TFormulaType::none, {}, Red), formula(TFormulaType::none), 8800, Red, "above the range"},
        {formula(TFormulaType::none, {}, Red), formula(TFormulaType::previos, {}, Blue), 8400, Blue,
         "below: the lowest point's own colour"},
        {formula(TFormulaType::none, {}, Red), formula(TFormulaType::none), 8400, NoColour,
         "below without colour: no colour"},
    };
    for (const auto& c : cases) {
        TCalibration cal = calibration({{8700, 0, c.high}, {8500, 20, c.low}});
        std::uint32_t colour = 0;
        const double thrust = SensorThrustColour(cal, c.f, colour, c.dataLine);
        EXPECT_EQ(c.colour, colour) << c.what;
        expectNear(SensorThrust(cal, c.f), thrust, c.what);
    }
}

TEST(Calibration, PointListOperations)
{
    TCalibration cal = defaultPoints();
    ASSERT_TRUE(PrepareSensorRange(cal));

    // Adding at an existing frequency replaces the whole point and invalidates the cache.
    const TCalibPoint replacement{8700, -5, formula(TFormulaType::linear, {1, 2}, Red)};
    EXPECT_EQ(1, AddCalibPoint(cal, replacement));
    EXPECT_EQ(-1, cal.lowIndex);
    ASSERT_EQ(2u, cal.points.size());
    EXPECT_EQ(replacement, cal.points[1]);
    EXPECT_EQ(2, AddCalibPoint(cal, {8300, 120, {}}));
    expectNear(120, SensorThrust(cal, 8300), "new point takes part after the cache is rebuilt");

    EXPECT_EQ(-1, DeleteCalibPoint(cal, 3));
    EXPECT_EQ(-1, DeleteCalibPoint(cal, -1));
    ASSERT_TRUE(PrepareSensorRange(cal));
    EXPECT_EQ(0, DeleteCalibPoint(cal, 0));
    EXPECT_EQ(-1, cal.lowIndex);
    EXPECT_EQ(-1, cal.highIndex);
    EXPECT_EQ(0, DeleteCalibPoint(cal, 0));
    ASSERT_EQ(1u, cal.points.size());
    // The only point is reset, not removed (whatever index is asked for).
    EXPECT_EQ(4, DeleteCalibPoint(cal, 4));
    ASSERT_EQ(1u, cal.points.size());
    EXPECT_EQ(TCalibPoint{}, cal.points[0]);
    EXPECT_EQ(NoColour, cal.points[0].formula.colour);
}

TEST(Calibration, SortIsDescendingAndKeepsRecords)
{
    const TSegmentFormula a = formula(TFormulaType::linear, {1, 2}, Red);
    const TSegmentFormula b = formula(TFormulaType::powered, {3, 4, 0.5f});
    TCalibration cal = calibration({{8600, 20, a}, {8400, 60, {}}, {8700, 0, b}});
    ASSERT_TRUE(PrepareSensorRange(cal));
    SortCalibPoints(cal);
    EXPECT_EQ(-1, cal.lowIndex);
    const std::vector<TCalibPoint> expected = {{8700, 0, b}, {8600, 20, a}, {8400, 60, {}}};
    EXPECT_EQ(expected, cal.points);

    // Equal frequencies: the last of the equal lowest goes to the end.
    TCalibration eq = calibration({{8400, 1, {}}, {8400, 2, {}}, {8500, 3, {}}});
    SortCalibPoints(eq);
    EXPECT_EQ(3, eq.points[0].thrust);
    EXPECT_EQ(1, eq.points[1].thrust);
    EXPECT_EQ(2, eq.points[2].thrust);
}

std::string joined(const std::vector<FormulaRun>& runs)
{
    // text, with markers: *bold*, _sub_, ^sup^
    std::string s;
    for (const FormulaRun& r : runs) {
        std::string t = r.text;
        if (r.level == RunLevel::subscript)
            t = "_" + t + "_";
        if (r.level == RunLevel::superscript)
            t = "^" + t + "^";
        if (r.bold)
            t = "*" + t + "*";
        s += t;
    }
    return s;
}

TEST(Calibration, FormulaRunsSymbolicAndNumeric)
{
    const struct {
        TSegmentFormula formula;
        bool symbolic;
        char sep;
        const char* expected;
    } cases[] = {
        {formula(TFormulaType::polynom), true, ',',
         "Y = *A**_0_* + *A**_1_* * X^1^ + *A**_2_* * X^2^ + *A**_3_* * X^3^ + *A**_4_* * X^4^ + "
         "*A**_5_* * X^5^"},
        {formula(TFormulaType::none, {1}), false, ',', "Y = "},
        {formula(TFormulaType::previos, {1}), false, ',', "Y = "},
        {formula(TFormulaType::linear, {0.1f, -0.25f}), false, ',', "Y = *0,100000001490116* + *-0,25* * X"},
        {formula(TFormulaType::linear, {80, -0.25f}), false, '.', "Y = *80* + *-0.25* * X"},
        {formula(TFormulaType::polynom, {1, 0, 3, 0, 5, 1e-7f}), false, '.',
         "Y = *1* + *0* * X + *3* * X^2^ + *0* * X^3^ + *5* * X^4^ + *1.0000000116861E-7* * X^5^"},
        {formula(TFormulaType::powered, {1, 2, 1.5f}), false, ',', "Y = *1* + *2* * X*^1,5^*"},
        {formula(TFormulaType::exponential, {1, 2, -0.5f}), false, ',', "Y = *1* + *2* * e*^-0,5 * X^*"},
        {formula(TFormulaType::logariphmic, {1, 2, 3}), false, ',', "Y = *1* + *2* * ln(*3* * X)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, joined(FormulaRuns(c.formula, c.symbolic, c.sep)))
            << FormulaTypeName(c.formula.type) << (c.symbolic ? " symbolic" : " numeric");
}

} // namespace
} // namespace selva
