#include "analysis/ResultsExport.h"
#include "analysis/FreqRecord.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace selva;
using selva::test::readFile;
using selva::test::TempDir;

namespace {

AnalysisState threePoints()
{
    AnalysisState s;
    s.PointCount = 3;
    s.AnalysisStep = 0.01;
    s.FreqData = {8460, 8461.25, 8700};
    s.ThrustData = {80, 0, -1.5};
    s.ThrustNet = {70.25, -0.0, 12345.6789};
    return s;
}

const std::string kHeader = "\r\nC:\\test\\run1.wav\r\n3\r\n0.01\r\n---------------\r\nSTART\r\n";

} // namespace

TEST(ResultsExport, ExactLayout)
{
    struct Case {
        const char* name;
        ExportKind kind;
        bool net;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"frequency", ExportKind::Frequency, true, "FREQ" + kHeader + "8460.000\r\n8461.250\r\n8700.000\r\n"},
        {"thrust", ExportKind::Thrust, false, "Thrust" + kHeader + "  80.000\r\n   0.000\r\n  -1.500\r\n"},
        {"net thrust", ExportKind::Thrust, true,
         "Thrust" + kHeader + "  70.250\r\n   0.000\r\n12345.679\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AnalysisState s = threePoints();
        s.NetThrust = c.net;
        EXPECT_EQ(ExportText(s, c.kind, "C:\\test\\run1.wav"), c.text);
    }
}

TEST(ResultsExport, StepAndNameFormats)
{
    AnalysisState s = threePoints();
    struct Case {
        double step;
        const char* line4;
    };
    for (const Case& c : std::vector<Case>{{0.004, "0.004"},
                                           {0.0001, "0.0001"},
                                           {0.123456, "0.12346"},
                                           {static_cast<double>(0.01f), "0.01"},
                                           {2, "2"}}) {
        SCOPED_TRACE(c.line4);
        s.AnalysisStep = c.step;
        const std::string text = ExportText(s, ExportKind::Frequency, "a");
        EXPECT_EQ(text.substr(0, text.find("\r\n---")), std::string("FREQ\r\na\r\n3\r\n") + c.line4);
    }
    // A Cyrillic source name is written in code page 1251.
    const std::string text = ExportText(s, ExportKind::Frequency, "Тест.wav");
    EXPECT_EQ(text.substr(6, 8), "\xD2\xE5\xF1\xF2.wav");
}

TEST(ResultsExport, ProposedFileName)
{
    EXPECT_EQ(ExportFileName("C:\\test\\run1.wav", ExportKind::Frequency), "run1.frq");
    EXPECT_EQ(ExportFileName("C:\\test\\run1.wav", ExportKind::Thrust), "run1.trt");
    EXPECT_EQ(ExportFileName("/home/u/a.b/rec", ExportKind::Thrust), "rec.trt");
    EXPECT_EQ(ExportFileName("/home/u/x.y.frq", ExportKind::Frequency), "x.y.frq");
    // A name chosen without an extension gets the kind's; one with any extension is kept.
    EXPECT_EQ(ExportTargetName("/tmp/a.b/out", ExportKind::Thrust), "/tmp/a.b/out.trt");
    EXPECT_EQ(ExportTargetName("C:\\x.y\\out", ExportKind::Frequency), "C:\\x.y\\out.frq");
    EXPECT_EQ(ExportTargetName("/tmp/out.frq", ExportKind::Thrust), "/tmp/out.frq");
}

TEST(ResultsExport, FrequencyExportOpensAgainThrustExportDoesNot)
{
    TempDir dir;
    AnalysisState s = threePoints();
    s.AnalysisStep = 0.004;
    ASSERT_TRUE(WriteResultsExport(dir.file("out.frq"), s, ExportKind::Frequency, "src.wav"));
    ASSERT_TRUE(WriteResultsExport(dir.file("out.trt"), s, ExportKind::Thrust, "src.wav"));

    TFreq f;
    ASSERT_TRUE(f.LoadFromFile(dir.file("out.frq")));
    EXPECT_EQ(f.RecordCount, 3);
    EXPECT_EQ(f.SampleRate, 250);
    EXPECT_FLOAT_EQ(f.SampleStep, 0.004f);
    EXPECT_EQ(f.First(), 8460.0f);
    EXPECT_EQ(f.Next(), 8461.25f);
    EXPECT_EQ(f.Next(), 8700.0f);
    EXPECT_TRUE(f.AtEnd());

    TFreq t;
    EXPECT_FALSE(t.LoadFromFile(dir.file("out.trt")));
    EXPECT_EQ(readFile(dir.file("out.trt")), ExportText(s, ExportKind::Thrust, "src.wav"));
}

TEST(ResultsExport, NothingToExportAndWriteFailures)
{
    TempDir dir;
    AnalysisState s = threePoints();
    s.PointCount = 0;
    EXPECT_TRUE(WriteResultsExport(dir.file("empty.frq"), s, ExportKind::Frequency, "x"));
    EXPECT_TRUE(readFile(dir.file("empty.frq")).empty());

    s = threePoints();
    std::string error;
    EXPECT_FALSE(WriteResultsExport(dir.file("no/such/folder/a.frq"), s, ExportKind::Frequency, "x", &error));
    EXPECT_FALSE(error.empty());

    // A series shorter than the point count writes what there is, and says so in the count.
    s.PointCount = 10;
    const std::string text = ExportText(s, ExportKind::Frequency, "x");
    EXPECT_NE(text.find("\r\n3\r\n"), std::string::npos);
}
