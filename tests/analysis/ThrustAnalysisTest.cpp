#include "analysis/ThrustAnalysis.h"
#include "analysis/FreqRecord.h"
#include "common/Error.h"
#include "sensors/SensorLibrary.h"
#include "support/TestSupport.h"
#include "support/TestWorkspace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace selva;
using selva::test::frqText;
using selva::test::TempDir;
using selva::test::writeFile;

namespace {

constexpr double g = GravityConstant;

// An analysis over its own state, a library whose active sensor 1 reads 8460 Hz -> 80 N and
// 8700 Hz -> 0 N (thrust = (8700 - f) / 3, zero thrust at 8700 Hz), and a fresh record and WAV buffer.
struct Rig : Workspace {
    SensorLibrary& library = sensors;
    TempDir dir;

    Rig()
    {
        library.EnsureDefaultPoints(library.AddSensor(1, "Test"));
        library.SetActiveSensor(1);
    }

    // Frequency series set directly, as PrepareFrequency would leave it.
    void setFrequencies(std::vector<double> f, std::vector<double> err = {})
    {
        state.PointCount = static_cast<std::uint32_t>(f.size());
        err.resize(f.size());
        state.FreqData = std::move(f);
        state.FreqError = std::move(err);
        state.ViewFrom = 0;
        state.ViewTo = static_cast<float>(static_cast<double>(state.PointCount) * state.AnalysisStep);
    }

    // The readings as a frequency record at `step`, the source of the next computation.
    void load(const std::vector<double>& readings, double step = 0.01)
    {
        writeFile(dir.file("a.frq"), frqText(step, readings));
        ASSERT_TRUE(freq.LoadFromFile(dir.file("a.frq")));
        state.SourceKind = SourceFreq;
    }
};

// Rest at 8700 Hz (0 N) for 1 s, 8580 Hz (40 N) for 1 s, rest again for 1 s, at 0.01 s.
std::vector<double> firing()
{
    std::vector<double> v(300, 8700.0);
    for (int i = 100; i < 200; ++i)
        v[static_cast<std::size_t>(i)] = 8580.0;
    return v;
}

void expectNear(double actual, double expected, double relative = 1e-9)
{
    EXPECT_NEAR(actual, expected, relative * std::max(1.0, std::fabs(expected)));
}

} // namespace

TEST(ThrustAnalysisHelpers, RoundToDigitsIsSymmetric)
{
    struct Case {
        double x;
        int digits;
        double expected;
    };
    const std::vector<Case> cases = {
        {2.5, 0, 3}, // halves away from zero, either side
        {-2.5, 0, -3},   {-0.125, 2, -0.13},  {0.125, 2, 0.13}, {8582.3529, 2, 8582.35},
        {-1.004, 2, -1}, {-9.8156, 2, -9.82}, {0, 2, 0},        {1234.5, 0, 1235},
        {-0.4, 0, 0},    {1.25, 255, 1.25},   {-7.5, 16, -7.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        expectNear(RoundToDigits(c.x, c.digits), c.expected, 1e-12);
    }
}

TEST(ThrustAnalysisHelpers, TimeToIndex)
{
    struct Case {
        double t, step;
        std::int64_t nearest, truncated;
    };
    const std::vector<Case> cases = {
        {0.57, 0.01, 57, 57}, // 0.57 / 0.01 is 56.99999999999999 in binary
        {2.01, 0.01, 201, 201}, {1.006, 0.01, 101, 100}, {1.009, 0.01, 101, 100},
        {0.025, 0.01, 2, 2}, // 2.5: halves to even
        {0.035, 0.01, 4, 3},    {-0.5, 0.1, -5, -5},     {5, 0, 0, 0},
        {5, -1, 0, 0},          {NAN, 0.01, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t);
        EXPECT_EQ(IndexNearest(c.t, c.step), c.nearest);
        EXPECT_EQ(IndexTruncate(c.t, c.step), c.truncated);
    }
    EXPECT_GT(IndexTruncate(INFINITY, 0.01), std::int64_t{1} << 60);
}

// The step edit's rule; each refusal or change says what is wrong (a step that is not a number is not
// "below the minimum").
TEST(ThrustAnalysisHelpers, StepCommitRule)
{
    struct Case {
        double candidate, minStep, duration;
        bool accepted;
        double value;
        std::string reason; // how it begins
    };
    const std::string small = "Шаг меньше допустимого (", finite = "Шаг должен быть конечным числом";
    const std::vector<Case> cases = {
        {0.02, 0.01, 10, true, 0.02, ""},                                       // stored as typed
        {0.005, 0.01, 10, false, 0, small + "0.01 сек)"},                       // below the smallest step
        {0, 0.0001, 10, false, 0, small + "0.0001 сек)"},                       // 0 is below any positive one
        {5, 0.01, 10, true, 1, "Шаг ограничен десятой частью записи"},          // capped at a tenth
        {1, 0.01, 10, true, 1, ""},                                             // exactly a tenth
        {0, 0, 10, true, 0.001, "Шаг должен быть больше нуля"},                 // accepted 0 becomes 0.001
        {0.5, 0.01, 0, true, 0.5, ""},                                          // no length, no cap
        {NAN, 0.01, 10, false, 0, finite},                                      // not a number
        {INFINITY, 0.01, 10, false, 0, finite},                                 // not finite
        {1e-4, 0, 3600, false, 0, "Слишком много точек анализа (36000000 "},    // 36 million points
        {4e-4, 0, 3600, true, 4e-4, ""},                                        // 9 million
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.candidate);
        const StepCheck r = CheckAnalysisStep(c.candidate, c.minStep, c.duration);
        EXPECT_EQ(r.accepted, c.accepted);
        if (c.accepted) {
            EXPECT_DOUBLE_EQ(r.value, c.value);
        }
        EXPECT_EQ(r.reason.substr(0, c.reason.size()), c.reason);
        EXPECT_EQ(r.reason.empty(), c.reason.empty());
    }
}

// The record's own step copies every reading, also typed as the double nearest 0.01 (10 * 0.01f / 0.01
// is just below 10); coarser steps average the readings they span, a constant record stays constant, and
// a last interval the record does not fill is not a point (10 * 0.01f / 0.02 is just below 5).
TEST(ThrustAnalysisResample, StepsFromTheRecordsUpAverageTheReadings)
{
    struct Case {
        double step;
        std::vector<double> readings, expected;
    };
    const std::vector<double> ramp = {8000, 8010, 8020, 8030, 8040, 8050, 8060, 8070, 8080, 8090};
    std::vector<Case> cases = {
        {0.01, ramp, ramp},
        {static_cast<double>(0.01f), ramp, ramp},
        {0.02, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19}, {2, 6, 10, 14}},
    };
    for (double step : {0.015, 0.02, 0.025, 0.03, 0.07, 0.1}) {
        const auto n = static_cast<std::size_t>(IndexTruncate(100 * static_cast<double>(0.01f), step));
        cases.push_back({step, std::vector<double>(100, 8500.0), std::vector<double>(n, 8500.0)});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.step << " over " << c.readings.size() << " readings");
        Rig r;
        r.load(c.readings);
        r.state.AnalysisStep = c.step;
        r.state.FreqData.assign(1000, 999.0); // values of an earlier computation
        ASSERT_TRUE(r.analysis.PrepareFrequency(false, false));
        ASSERT_EQ(r.state.PointCount, c.expected.size());
        ASSERT_EQ(r.state.FreqData.size(), c.expected.size());
        EXPECT_EQ(r.state.FreqError, std::vector<double>(c.expected.size(), 0.0));
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_NEAR(r.state.FreqData[i], c.expected[i], 1e-3) << i;
    }
}

TEST(ThrustAnalysisResample, PointsThePassDoesNotReachRepeatItsLastValue)
{
    // A finer step than the record's: the pass takes one reading a point and meets the end of the record
    // before the last point.
    Rig r;
    r.load({10, 20, 30, 40, 50, 60, 70, 80, 90, 100});
    r.state.AnalysisStep = 0.005;
    r.state.FreqData.assign(100, 999.0);
    ASSERT_TRUE(r.analysis.PrepareFrequency(false, false));
    ASSERT_EQ(r.state.PointCount, 19u);
    const auto& f = r.state.FreqData;
    // One reading a point: points 0 to 8 are computed, then the record is at its end.
    EXPECT_EQ(f[0], 5);
    EXPECT_EQ(f[1], 10);
    for (std::size_t i = 9; i < f.size(); ++i)
        EXPECT_EQ(f[i], f[8]) << i;
    for (double v : f)
        EXPECT_NE(v, 999.0);
}

TEST(ThrustAnalysisResample, NoSourceGivesAnEmptySeries)
{
    Rig r;
    r.state.FreqData.assign(5, 1.0);
    r.state.PointCount = 5;
    r.state.SourceKind = SourceNone;
    EXPECT_FALSE(r.analysis.PrepareFrequency(true, true));
    EXPECT_EQ(r.state.PointCount, 0u);
    EXPECT_TRUE(r.state.FreqData.empty());
    r.state.SourceKind = SourceFreq; // kind set but no record loaded
    r.state.FreqData.assign(5, 1.0);
    EXPECT_TRUE(r.analysis.PrepareFrequency(true, true));
    EXPECT_EQ(r.state.PointCount, 0u);
    EXPECT_TRUE(r.state.FreqData.empty());
}

TEST(ThrustAnalysisResample, AbsurdPointCountIsRefused)
{
    Rig r;
    r.load({1, 2, 3}, 3600); // three hours at 0.0001 s
    r.state.AnalysisStep = 0.0001;
    try {
        r.analysis.PrepareFrequency(false, false);
        ADD_FAILURE() << "computed";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Слишком много точек анализа", 0), 0u) << e.what();
    }
}

TEST(ThrustAnalysisFilter, CentredMovingAverage)
{
    struct Case {
        int window;
        std::vector<double> in;
        std::vector<double> out;
    };
    const double p = 9.0 / 7;
    std::vector<Case> cases = {
        {3, {0, 0, 0, 9, 0, 0, 0}, {0, 0, 3, 3, 3, 0, 0}},
        {5, {7, 0, 0, 0, 0, 0}, {4.2, 2.8, 1.4, 0, 0, 0}}, // ends repeat the first and last points
        {5, {0, 0, 0, 0, 0, 7}, {0, 0, 0, 1.4, 2.8, 4.2}},
        {7, {0, 0, 0, 0, 9, 0, 0, 0, 0}, {0, p, p, p, p, p, p, p, 0}},
        {4, {0, 0, 0, 8, 0, 0, 0}, {0, 2, 2, 2, 2, 0, 0}}, // even window: k - 1 ... k + 2
    };
    for (int window : {1, 0, -3, 4, 9}) // no window, or one as long as the series or longer: unchanged
        cases.push_back({window, {1, 2, 3, 4}, {1, 2, 3, 4}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        Rig r;
        r.state.FilterWindow = c.window;
        r.setFrequencies(c.in);
        std::vector<double> s = c.in;
        r.analysis.MovingAverage(s);
        ASSERT_EQ(s.size(), c.out.size());
        for (std::size_t i = 0; i < s.size(); ++i)
            EXPECT_NEAR(s[i], c.out[i], 1e-12) << i;
    }
}

TEST(ThrustAnalysisFilter, SmoothingKeepsTheDetectedStart)
{
    Rig r;
    r.setFrequencies(firing());
    r.state.SourceKind = SourceNone;
    const ThrustDetection raw = r.analysis.DetectThrust(r.state.FreqData);
    r.state.FilterWindow = 7;
    r.analysis.MovingAverage(r.state.FreqData);
    const ThrustDetection smooth = r.analysis.DetectThrust(r.state.FreqData);
    // The edges spread evenly to both sides: 0.99 .. 2.00 becomes 0.96 .. 2.03.
    EXPECT_NEAR(raw.start, 0.99, 1e-12);
    EXPECT_NEAR(raw.end, 2.00, 1e-12);
    EXPECT_NEAR(smooth.start, 0.96, 1e-12);
    EXPECT_NEAR(smooth.end, 2.03, 1e-12);
}

TEST(ThrustAnalysisDetect, MinMaxOverTheViewWindow)
{
    Rig r;
    r.state.AnalysisStep = 0.1;
    r.setFrequencies({5, 1, 7, 3, 9, 2});
    struct Case {
        float from, to;
        double max, min;
    };
    const std::vector<Case> cases = {
        {0, 0.5f, 9, 1},      {0.1f, 0.3f, 7, 1}, {0.2f, 100, 9, 2},  {-4, 0.04f, 5, 5},
        {0.35f, 0.35f, 3, 3}, {0.4f, 0.4f, 9, 9}, {0.6f, 0.2f, 0, 0}, // empty window
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        r.state.ViewFrom = c.from;
        r.state.ViewTo = c.to;
        const SeriesExtremes e = r.analysis.SeriesMinMax(r.state.FreqData);
        EXPECT_EQ(e.max, c.max);
        EXPECT_EQ(e.min, c.min);
    }
    r.state.PointCount = 0;
    EXPECT_EQ(r.analysis.SeriesMinMax(r.state.FreqData).max, 0);
    EXPECT_TRUE(r.analysis.StartsBelowMean(r.state.FreqData));
}

TEST(ThrustAnalysisDetect, CleanSyntheticFiring)
{
    // Rest 1 s, thrust 1 s, then a rest line after that drifts slowly away from the rest before.
    struct Case {
        const char* name;
        double rest, burn, after, drift;
        bool rising;
    };
    const std::vector<Case> cases = {
        {"frequency falls under load", 8700, 8460, 8690, -0.01, false},
        {"frequency rises under load", 8460, 8700, 8470, 0.01, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> v(300, c.rest);
        for (int i = 100; i < 200; ++i)
            v[static_cast<std::size_t>(i)] = c.burn;
        for (int i = 200; i < 300; ++i)
            v[static_cast<std::size_t>(i)] = c.after + c.drift * (i - 200);
        Rig r;
        r.setFrequencies(v);
        const ThrustDetection d = r.analysis.DetectThrust(r.state.FreqData);
        ASSERT_TRUE(d.found);
        EXPECT_EQ(d.rising, c.rising);
        EXPECT_DOUBLE_EQ(d.level, c.rest);
        EXPECT_DOUBLE_EQ(d.levelAfter, c.after);
        EXPECT_DOUBLE_EQ(d.start, 99 * 0.01); // the last rest point before the rise
        EXPECT_DOUBLE_EQ(d.end, 200 * 0.01);  // the first point back near the rest line
    }
}

TEST(ThrustAnalysisDetect, PrepareStoresTimesAndRoundedLevels)
{
    Rig r;
    std::vector<double> v = firing();
    for (std::size_t i = 0; i < 100; ++i)
        v[i] = 8700.004;
    for (std::size_t i = 200; i < 300; ++i)
        v[i] = 8690.006 - 0.01 * static_cast<double>(i - 200);
    r.load(v);
    r.state.AnalysisStep = 0.01;
    r.state.ViewTo = 3;
    r.state.StartTime = 0.5;
    r.state.EndTime = 2.5;
    ASSERT_TRUE(r.analysis.PrepareFrequency(false, true)); // levels only: hand-set times stay
    EXPECT_EQ(r.state.StartTime, 0.5);
    EXPECT_EQ(r.state.EndTime, 2.5);
    EXPECT_DOUBLE_EQ(r.state.RestFreq, 8700.0);
    EXPECT_DOUBLE_EQ(r.state.RestFreqAfter, 8690.01);
    EXPECT_FALSE(r.state.DetectRising);
    ASSERT_TRUE(r.analysis.PrepareFrequency(true, false));
    EXPECT_NEAR(r.state.StartTime, 0.99, 1e-12);
    EXPECT_NEAR(r.state.EndTime, 2.0, 1e-12);
    EXPECT_DOUBLE_EQ(r.state.FreqMax, 8700.004f); // readings are single precision
    EXPECT_DOUBLE_EQ(r.state.FreqMin, 8580.0);
}

TEST(ThrustAnalysisDetect, MeanFrequencyCountsThePointsSummed)
{
    struct Case {
        double start, end;
        double mean;
    };
    const std::vector<Case> cases = {
        {0.99, 2.0, 8582.35}, // (2 * 8700 + 100 * 8580) / 102
        {1.0, 1.99, 8580},    // 100 points of 8580
        {1.006, 1.009, 0},    // end index before the start index
        {0, 2.0, 0},          // start not set
        {1.0, 3.5, 0},        // end beyond the end of the record
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        Rig r;
        r.load(firing());
        r.state.StartTime = c.start;
        r.state.EndTime = c.end;
        ASSERT_TRUE(r.analysis.PrepareFrequency(false, false));
        EXPECT_DOUBLE_EQ(r.state.MeanFreq, c.mean);
    }
}

TEST(ThrustAnalysisSensor, FrequencyAtInvertsTheCalibration)
{
    Rig r;
    struct Case {
        double thrust, frequency;
    };
    for (const Case& c : std::vector<Case>{{40, 8580}, {0, 8700}, {80, 8460}, {100, 8400}, {-20, 8760}}) {
        SCOPED_TRACE(c.thrust);
        expectNear(r.analysis.FrequencyAt(c.thrust), c.frequency, 1e-6);
    }
    // Three points: between the nearest entry (30 N) and the nearest on the other side (100 N).
    TCalibration& cal = r.library.sensors[1].calibration;
    cal.points.clear();
    for (auto [f, t] : std::vector<std::pair<double, double>>{{8700, 0}, {8600, 30}, {8400, 100}})
        AddCalibPoint(cal, TCalibPoint{f, t, {}});
    r.library.SetActiveSensor(1);
    expectNear(r.analysis.FrequencyAt(50), 8600 - 20.0 * 200 / 70, 1e-9);
    expectNear(r.analysis.FrequencyAt(30), 8600, 1e-12);
    // No range: 0.
    cal.points.resize(1);
    cal.invalidate();
    r.library.SetActiveSensor(1);
    EXPECT_EQ(r.analysis.FrequencyAt(50), 0);
}

namespace {

// Ten points at 0.01 s: rest (0 N), four points of 40 N (indices 2 to 5), rest.
void setBurn(Rig& r)
{
    r.setFrequencies({8700, 8700, 8580, 8580, 8580, 8580, 8700, 8700, 8700, 8700});
    r.state.StartTime = 0.02;
    r.state.EndTime = 0.05;
    r.state.RestFreq = 8700;
    r.state.RestFreqAfter = 8700;
}

} // namespace

// The net series and the zero offset by mounting, with 1 kg of charge: the burn is 1.6 N s, so where the
// charge burns with the impulse each 40 N point burns a quarter of it. Nozzle up the weight of rig and
// charge is taken off throughout; nozzle down in a rigid mount the sensor reads it as negative thrust at
// rest and the net series adds it back; free, the weight counts into the impulse over the burn time only.
// Without impulse the charge does not burn. Only a weight the sensor carries at rest moves its zero.
TEST(ThrustAnalysisThrust, NetThrustAndZeroByMounting)
{
    const std::vector<double> burn = {0, 0, 40, 40, 40, 40, 0, 0, 0, 0}, none(10, 0.0);
    const std::vector<double> quarters = {1, 1, 0.75, 0.5, 0.25, 0, 0, 0, 0, 0};
    const double q = 0.4 / (1.6 + g * 1.5 * 0.03); // a 40 N point's share of the free nozzle-down impulse
    const auto scaled = [](double k, double add, const std::vector<double>& v) {
        std::vector<double> out;
        for (double x : v)
            out.push_back(k * (add + x));
        return out;
    };
    struct Case {
        const char* what;
        std::uint8_t position;
        bool rigid;
        float rig;
        const std::vector<double>& thrust;
        std::vector<double> netMinusData;
        double restNet;
        double zeroOffset; // at a rest line of 8690 Hz, 3 Hz a newton
    };
    const std::vector<Case> cases = {
        {"horizontal", MotorHorizontal, false, 2, burn, none, 0, 10},
        {"nozzle up", MotorNozzleUp, false, 0.5f, burn, scaled(-g, 0.5, quarters), -g * 1.5,
         10 - 3 * g * 1.5},
        {"nozzle up without impulse", MotorNozzleUp, false, 0, none, std::vector<double>(10, -g), -g,
         10 - 3 * g},
        {"nozzle down, rigid", MotorNozzleDown, true, 0.5f, burn, scaled(g, 0.5, quarters), g * 1.5,
         10 + 3 * g * 1.5},
        {"nozzle down, free",
         MotorNozzleDown,
         false,
         0.5f,
         burn,
         {0, 0, g * (1.5 - q), g * (1.5 - 2 * q), g * (1.5 - 3 * q), g * (1.5 - 4 * q), 0, 0, 0, 0},
         0,
         10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r;
        setBurn(r);
        if (c.thrust == none)
            r.setFrequencies(std::vector<double>(10, 8700));
        r.state.MotorPosition = c.position;
        r.state.RigidMount = c.rigid;
        r.state.RigWeight = c.rig;
        r.state.ChargeWeight = 1;
        r.state.ThrustNet.assign(10, 777.0); // values of an earlier computation
        r.analysis.ConvertToThrust(true);
        double meanNet = 0;
        for (std::size_t i = 0; i < 10; ++i) {
            EXPECT_NEAR(r.state.ThrustData[i], c.thrust[i], 1e-12) << i;
            EXPECT_NEAR(r.state.ThrustNet[i] - r.state.ThrustData[i], c.netMinusData[i], 1e-9) << i;
            if (i >= 2 && i <= 5)
                meanNet += (c.thrust[i] + c.netMinusData[i]) / 4;
        }
        EXPECT_EQ(r.state.RestThrust, 0);
        expectNear(r.state.RestThrustNet, c.restNet);
        expectNear(r.state.MeanThrust, c.thrust[2]); // four points summed, divided by four
        expectNear(r.state.MeanThrustNet, meanNet);
        EXPECT_DOUBLE_EQ(r.state.ThrustMax, c.thrust[2]);
        EXPECT_EQ(r.state.ThrustRising, c.thrust[2] > 0);
        r.state.RestFreq = 8690;
        r.analysis.CompensateZero();
        expectNear(r.state.ZeroOffset, c.zeroOffset);
    }
}

TEST(ThrustAnalysisThrust, SensorWithoutRangeGivesZeroThrust)
{
    Rig r;
    setBurn(r);
    r.state.ThrustNet.assign(10, 5.0);
    r.library.sensors[1].calibration.points.resize(1);
    r.library.sensors[1].calibration.invalidate();
    r.analysis.ConvertToThrust(true);
    EXPECT_EQ(r.state.ThrustData, std::vector<double>(10, 0.0));
    EXPECT_EQ(r.state.ThrustError, std::vector<double>(10, 0.0));
    EXPECT_EQ(r.state.ThrustNet, std::vector<double>(10, 0.0));
    EXPECT_EQ(r.state.MeanThrust, 0);
}

TEST(ThrustAnalysisThrust, ZeroCompensationBoxAndErrors)
{
    Rig r;
    setBurn(r);
    r.state.FreqError = {0, 0, 3, 0, 0, 0, 0, 0, 0, 6};
    r.state.ZeroOffset = -30; // reads 30 Hz lower: 10 N more
    r.state.ZeroCompensation = false;
    r.analysis.ConvertToThrust(false);
    expectNear(r.state.ThrustData[2], 40);
    expectNear(r.state.ThrustError[2], 1);
    expectNear(r.state.ThrustError[9], 2);
    EXPECT_EQ(r.state.ThrustError[3], 0);
    r.state.ZeroCompensation = true;
    r.analysis.ConvertToThrust(true);
    expectNear(r.state.ThrustData[2], 50);
    expectNear(r.state.ThrustData[0], 10);
    expectNear(r.state.RestThrust, 10); // the rest line is always converted with the offset
}

TEST(ThrustAnalysisResults, Table)
{
    struct Case {
        const char* name;
        double start, end;
        float charge;
        int sensorIndex;
        float impulse, specific, time, average;
        std::uint8_t position = MotorHorizontal;
    };
    const float up = 0.01f * static_cast<float>(160 + g * 2.5); // 1.6 N s and the weight burnt off
    const std::vector<Case> cases = {
        // Points 2 to 5 (40 N each) against a rest line of 0 N.
        {"whole burn", 0.02, 0.05, 0, 1, 1.6f, 0, 0.03f, 1.6f / 0.03f},
        {"with charge", 0.02, 0.05, 2, 1, 1.6f, 1.6f / static_cast<float>(2 * g), 0.03f, 1.6f / 0.03f},
        {"start at the first point", 0, 0.05, 0, 1, 0, 0, 0, 0},
        {"end before start", 0.05, 0.02, 0, 1, 0, 0, 0, 0},
        {"default sensor", 0.02, 0.05, 0, 0, 0, 0, 0.03f, 0},
        {"times beyond the series", 0.5, 9, 0, 1, 0, 0, 8.5f, 0},
        {"end beyond the series", 0.03, 9, 0, 1, 1.2f, 0, 8.97f, 1.2f / 8.97f},
        // The net series against the net rest line.
        {"nozzle up", 0.02, 0.05, 1, 1, up, up / static_cast<float>(g), 0.03f, up / 0.03f, MotorNozzleUp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        setBurn(r);
        r.state.StartTime = c.start;
        r.state.EndTime = c.end;
        r.state.ChargeWeight = c.charge;
        r.state.MotorPosition = c.position;
        r.analysis.ConvertToThrust(true);
        if (c.sensorIndex == 0)
            r.library.SelectActiveSensor(0);
        r.analysis.ComputeResults();
        EXPECT_NEAR(r.state.TotalImpulse, c.impulse, 1e-5);
        EXPECT_NEAR(r.state.SpecificImpulse, c.specific, 1e-5);
        EXPECT_NEAR(r.state.ThrustTime, c.time, 1e-5);
        EXPECT_NEAR(r.state.AverageThrust, c.average, 1e-4);
        EXPECT_EQ(r.state.TotalImpulseError, 0);
        EXPECT_NEAR(r.state.MaxThrust, c.impulse > 0 ? 40 : 0, 1e-5); // within the times only
    }
}

TEST(ThrustAnalysisResults, EqualMaximaTakeTheErrorOfTheEarliest)
{
    Rig r;
    setBurn(r);
    r.state.FreqError = {0, 0, 0, 3, 6, 0, 0, 0, 0, 0};
    r.analysis.ConvertToThrust(true);
    r.analysis.ComputeResults();
    EXPECT_NEAR(r.state.MaxThrust, 40, 1e-5);
    EXPECT_NEAR(r.state.MaxThrustError, 0, 1e-9); // index 2, before the points with errors
    EXPECT_NEAR(r.state.TotalImpulseError, 0.03, 1e-7);
    r.state.FreqError = {0, 0, 3, 0, 6, 0, 0, 0, 0, 0};
    r.analysis.ConvertToThrust(true);
    r.analysis.ComputeResults();
    EXPECT_NEAR(r.state.MaxThrustError, 1, 1e-6);
}

TEST(ThrustAnalysisResults, MeansOfAnEmptyWindowAreZero)
{
    Rig r;
    setBurn(r);
    r.state.StartTime = 0.026; // index 3 (nearest)
    r.state.EndTime = 0.029;   // index 2 (truncated)
    r.analysis.ConvertToThrust(true);
    EXPECT_EQ(r.state.MeanThrust, 0);
    EXPECT_EQ(r.state.MeanThrustNet, 0);
}

TEST(ThrustAnalysisResults, SeriesShorterThanThePointCountAreNotOverrun)
{
    Rig r;
    setBurn(r);
    r.state.PointCount = 40; // more than the frequency series holds
    r.state.ViewFrom = -100;
    r.state.ViewTo = 1e30f;
    r.state.EndTime = 1e300;
    r.analysis.ConvertToThrust(true);
    ASSERT_EQ(r.state.ThrustData.size(), 40u);
    EXPECT_EQ(r.state.ThrustData[39], 0);
    r.state.ThrustNet.resize(3);
    r.analysis.ComputeResults();
    EXPECT_TRUE(std::isfinite(r.state.TotalImpulse));
    r.analysis.DetectThrust(r.state.FreqData);
    r.analysis.MovingAverage(r.state.FreqData);
}

TEST(ThrustAnalysisRecalculate, FrequencyRecordEndToEnd)
{
    Rig r;
    writeFile(r.dir.file("run.frq"), frqText(0.01, firing()));
    ASSERT_TRUE(r.OpenSource(r.dir.file("run.frq"), true).accepted);
    EXPECT_NEAR(r.state.RecordDuration, 3.0, 1e-6);
    ASSERT_TRUE(r.analysis.Recalculate(Stages::All));

    EXPECT_EQ(r.state.PointCount, 300u);
    EXPECT_NEAR(r.state.StartTime, 0.99, 1e-6);
    EXPECT_NEAR(r.state.EndTime, 2.0, 1e-6);
    EXPECT_EQ(r.state.RestFreq, 8700);
    EXPECT_DOUBLE_EQ(r.state.MeanFreq, 8582.35);
    EXPECT_NEAR(r.state.ZeroOffset, 0, 1e-9);
    EXPECT_NEAR(r.state.RestThrust, 0, 1e-12);
    // 100 points of 40 N at 0.01 s.
    EXPECT_NEAR(r.state.TotalImpulse, 40, 1e-4);
    EXPECT_NEAR(r.state.MaxThrust, 40, 1e-4);
    EXPECT_NEAR(r.state.ThrustTime, 1.01, 1e-5);
    EXPECT_NEAR(r.state.AverageThrust, 40 / 1.01, 1e-3);
    EXPECT_EQ(r.progress.ProgressStage.load(), 0);
    EXPECT_FALSE(r.progress.cancel.load());

    // Hand-moved times survive a forced recalculation and a step change.
    r.state.StartTime = 1.2;
    ASSERT_TRUE(
        r.analysis.Recalculate(Stage::Prepare | Stage::DetectLevels | Stage::Compensate | Stage::Convert));
    EXPECT_EQ(r.state.StartTime, 1.2);
    EXPECT_NEAR(r.state.TotalImpulse, 0.01 * 40 * 80, 1e-4); // points 120 to 199
    r.state.AnalysisStep = 0.02;
    ASSERT_TRUE(r.analysis.Recalculate(Stage::Prepare | Stage::DetectLevels | Stage::Convert));
    EXPECT_EQ(r.state.PointCount, 149u);
    EXPECT_EQ(r.state.StartTime, 1.2);
    EXPECT_NEAR(r.state.TotalImpulse, 0.02 * 40 * 40, 0.1);
}

TEST(ThrustAnalysisRecalculate, CancelStopsAStage)
{
    Rig r;
    setBurn(r);
    r.progress.cancel = true;
    r.analysis.ConvertToThrust(true);
    EXPECT_TRUE(r.analysis.cancelled());
    // A cancel still set when a computation starts cancels it; the flag is cleared at its end.
    EXPECT_FALSE(r.analysis.Recalculate(Stage::Convert));
    EXPECT_FALSE(r.progress.cancel.load());
    EXPECT_TRUE(r.analysis.Recalculate(Stage::Convert));
    EXPECT_FALSE(r.analysis.cancelled());
}
