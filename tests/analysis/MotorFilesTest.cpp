#include "analysis/MotorFiles.h"
#include "analysis/CompareTests.h"
#include "analysis/CsvExport.h"
#include "common/Error.h"
#include "common/Format.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace selva;

namespace {

// A firing at a 1 ms step: rest, a fast rise, a ragged regressive burn with a chuff that dips below
// zero, a tail-off, rest; `zero` newtons of rest line.
AnalysisState firing(double zero = 0)
{
    AnalysisState s;
    s.AnalysisStep = 0.001;
    s.PointCount = 3000;
    s.NetThrust = true;
    s.RestThrustNet = zero;
    s.ChargeWeight = 0.05f;
    for (std::uint32_t i = 0; i < s.PointCount; ++i) {
        const double t = i * s.AnalysisStep;
        double f = 0;
        if (t > 0.5 && t < 2.5)
            f = std::min(1.0, (t - 0.5) / 0.03) * (60 - 10 * (t - 0.5)) + 3 * std::sin(90 * t);
        if (t > 1.2 && t < 1.21)
            f = -0.5;
        if (t >= 2.3 && t < 2.5)
            f *= (2.5 - t) / 0.2;
        s.ThrustNet.push_back(f + zero);
        s.FreqData.push_back(8700 - 3 * f);
    }
    s.ThrustData = s.ThrustNet;
    return s;
}

MotorData motor()
{
    MotorData m;
    m.diameterMm = 29;
    m.lengthMm = 124.5;
    m.totalKg = 0.12;
    m.delays = "4-6-8";
    m.manufacturer = "Home";
    return m;
}

} // namespace

TEST(MotorFiles, CurvePointsKeepTheImpulseAndEndAtZero)
{
    const AnalysisState s = firing(12.5);
    const std::vector<CurvePoint> curve = ThrustCurveOf(s);
    const StandardFigures f = ComputeStandardFigures(curve);
    const std::vector<CurvePoint> burn = BurnCurve(curve, f);
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full);
        const std::vector<CurvePoint> p = MotorFilePoints(burn, {full, 32});
        if (full)
            EXPECT_EQ(p.size(), burn.size() - 1); // all but the implied (0, 0)
        else
            EXPECT_LE(p.size(), 32u);
        EXPECT_NEAR(MotorFileImpulse(p), f.totalImpulse, 0.005 * f.totalImpulse);
        ASSERT_GE(p.size(), 2u);
        EXPECT_GT(p.front().time, 0);
        EXPECT_EQ(p.back().thrust, 0);
        for (std::size_t i = 1; i < p.size(); ++i) {
            EXPECT_GT(p[i].time, p[i - 1].time);
            EXPECT_GT(p[i - 1].thrust, 0) << "zero thrust before the end at point " << i - 1;
        }
    }
}

TEST(MotorFiles, EngWrittenReadsBackAndRseFollowsTheImpulse)
{
    const AnalysisState s = firing();
    const MotorExport e = PrepareMotorExport(s, true, motor(), {});
    EXPECT_EQ(e.motor.propellantKg, 0.05); // the charge weight
    EXPECT_EQ(e.motor.code, e.figures.designation);
    const std::string eng = EngText(e, {"C:\\tests\\run 1.frq", 45658.5});
    EXPECT_NE(eng.find("; Test date: 2025-01-01\r\n"), std::string::npos) << eng;
    EXPECT_NE(eng.find("\r\n" + e.figures.designation + " 29 124.5 4-6-8 0.05 0.12 Home\r\n"),
              std::string::npos);

    const std::vector<EngMotor> back = ParseEng(eng, "a.eng");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].motor.code, e.motor.code);
    EXPECT_EQ(back[0].motor.lengthMm, 124.5);
    EXPECT_EQ(back[0].points, e.points);

    // The mass column of the .rse falls with the impulse delivered: half the impulse, half the propellant.
    const std::string rse = RseText(e, {"a & b.frq", 0});
    EXPECT_NE(rse.find("Source: a &amp; b.frq"), std::string::npos);
    EXPECT_NE(rse.find(" delays=\"4,6,8\""), std::string::npos);
    double delivered = 0, halfTime = 0;
    CurvePoint before{0, 0};
    for (const CurvePoint& p : e.points) {
        const double next = delivered + 0.5 * (before.thrust + p.thrust) * (p.time - before.time);
        if (delivered < 0.5 * MotorFileImpulse(e.points) && next >= 0.5 * MotorFileImpulse(e.points))
            halfTime = p.time;
        delivered = next;
        before = p;
    }
    const auto at = rse.find(" t=\"" + formatShortest(halfTime) + "\"");
    ASSERT_NE(at, std::string::npos);
    double mass = 0;
    const auto m = rse.find(" m=\"", at) + 4;
    ASSERT_TRUE(parseDouble(rse.substr(m, rse.find('"', m) - m), mass));
    EXPECT_NEAR(mass, 25, 2);
    EXPECT_NE(rse.find(" t=\"" + formatShortest(e.points.back().time) + "\" f=\"0\" m=\"0\""),
              std::string::npos);
}

TEST(MotorFiles, ExportRefusesWhatOtherProgramsCannotRead)
{
    const AnalysisState s = firing();
    const auto refusal = [&](MotorData m, bool calibrated = true) {
        try {
            PrepareMotorExport(s, calibrated, m, {});
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    MotorData blank = motor();
    blank.manufacturer = "Home Lab";
    EXPECT_NE(refusal(blank), "");
    MotorData heavy = motor();
    heavy.totalKg = 0.04; // less than the propellant
    EXPECT_NE(refusal(heavy), "");
    EXPECT_NE(refusal(motor(), false), "");
    EXPECT_EQ(refusal(motor()), "");
}

TEST(MotorFiles, EngReaderTakesWhatCommonReadersTake)
{
    const std::string text = "; made by hand\r\n\r\nX1 18 70 3-5 0.01 0.02 Two Words\r\n"
                             "  0 1.5 ; a first point at zero\r\n\t0.1\t10\r\n0.5 0\r\n"
                             "Y2 24 95 0 .02 .04 Other\n0.2 5\n1 0\n";
    const std::vector<EngMotor> m = ParseEng(text, "m.eng");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].motor.manufacturer, "Two Words");
    EXPECT_EQ(m[0].points, (std::vector<CurvePoint>{{0, 1.5}, {0.1, 10}, {0.5, 0}}));
    EXPECT_EQ(EngCurve(m[1]).front(), (CurvePoint{0, 0}));
    EXPECT_EQ(m[1].motor.propellantKg, 0.02);

    const std::string head = "X 18 70 0 0.01 0.02 M\n";
    struct Bad {
        const char* text;
        const char* line;
    };
    for (const Bad& b : {Bad{"0.1 5\n0.1 6\n0.2 0\n", "строке 3"}, Bad{"0.2 5\n0.1 6\n0.3 0\n", "строке 3"},
                         Bad{"0.1 5\n0.2 0\n0.3 4\n0.4 0\n", "строке 3"},
                         Bad{"0.1 5\n0.2 4\n", "не кончается"}, Bad{"0.1 -5\n0.2 0\n", "строке 2"},
                         Bad{"0.1 5 7\n0.2 0\n", "строке 2"}, Bad{"0.1 nan\n0.2 0\n", "строке 2"}}) {
        SCOPED_TRACE(b.text);
        try {
            ParseEng(head + b.text, "m.eng");
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(b.line), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(ParseEng("X 18 70 0 0.01 M\n0.1 5\n0.2 0\n", "m.eng"), Error); // six fields
    EXPECT_THROW(ParseEng("; nothing\n", "m.eng"), Error);
}

TEST(MotorFiles, CsvUsesTheChosenSeparators)
{
    AnalysisState s;
    s.AnalysisStep = 0.0025;
    s.PointCount = 2;
    s.ThrustNet = {0, -1.5};
    s.FreqData = {8700, 8704.5};
    EXPECT_EQ(CsvText(s, CsvFormatFor(false)), "\"time (s)\",\"thrust (N)\",\"frequency (Hz)\"\r\n"
                                               "0.0000,0.000,8700.000\r\n0.0025,-1.500,8704.500\r\n");
    EXPECT_EQ(CsvText(s, CsvFormatFor(true)), "\"time (s)\";\"thrust (N)\";\"frequency (Hz)\"\r\n"
                                              "0,0000;0,000;8700,000\r\n0,0025;-1,500;8704,500\r\n");
}

TEST(MotorFiles, TheDialogRemembersTheMotor)
{
    test::TempDir dir;
    MotorData m = motor();
    m.code = "K-1";
    m.propellantKg = 0.5;
    ASSERT_TRUE(SaveMotorData(dir.file("motor.ini"), m));
    m.propellantKg = 0; // not kept: it is the analysis's
    EXPECT_EQ(LoadMotorData(dir.file("motor.ini")), m);
    EXPECT_EQ(LoadMotorData(dir.file("missing.ini")), MotorData{});
}

TEST(CompareTests, AMotorFileAnalysesAsItsCurve)
{
    EngMotor e;
    e.motor.propellantKg = 0.01;
    e.points = {{0.1, 10}, {0.9, 10}, {1.0, 0}}; // 9 N·s
    const AnalysisState s = EngAnalysisState(e, 0.01);
    EXPECT_EQ(s.PointCount, 101u);
    EXPECT_EQ(s.EndTime, 1.0);
    EXPECT_NEAR(s.TotalImpulse, 9, 1e-5);
    EXPECT_NEAR(s.SpecificImpulse, 9 / (GravityConstant * 0.01), 1e-3);
    const ComparedTest t = CompareEntry("m.eng", s, true);
    EXPECT_NEAR(t.standard.totalImpulse, 9, 1e-9);
    EXPECT_EQ(t.standard.designation, "C9");
    EXPECT_EQ(t.alignTime, 0);

    const MeanStd m = MeanAndStd({10, 20, 30});
    EXPECT_DOUBLE_EQ(m.mean, 20);
    EXPECT_DOUBLE_EQ(m.std, 10);
    EXPECT_EQ(MeanAndStd({7}).std, 0);
}
