// The command-line tool run as a user runs it: a real process, real files, exit codes and output.
#include "analysis/MotorFiles.h"
#include "analysis/ThrustProfile.h"
#include "common/Format.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace selva {
namespace {

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

CliRun cli(const test::TempDir& dir, const std::string& args)
{
    const std::string errFile = dir.file("stderr.txt");
    const std::string cmd = quote(SELVA_CLI_PATH) + " " + args + " 2>" + quote(errFile);
    CliRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = test::readFile(errFile);
    return r;
}

const std::string kSamples = SELVA_SAMPLES_DIR;
const std::string kSensors = quote(kSamples + "/sample.sns");

TEST(Cli, DescribesSourcesAndReportsFailures)
{
    test::TempDir dir;
    CliRun r = cli(dir, "describe " + quote(kSamples + "/sample.frq"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "FREQ  Mono 100 Hz 592 records 5.92 Sec\n");

    r = cli(dir, "describe " + quote(kSamples + "/sample-sound.wav"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("WAV  ", 0), 0u) << r.out;

    r = cli(dir, "describe " + quote(dir.file("missing.frq")));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Ошибка открытия файла"), std::string::npos) << r.err;

    test::writeFile(dir.file("junk.wav"), "RIFF\x04\0\0\0WAVEjunk");
    r = cli(dir, "describe " + quote(dir.file("junk.wav")));
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.empty());
}

TEST(Cli, ListsSensorsAndEvaluatesThrust)
{
    test::TempDir dir;
    CliRun r = cli(dir, "sensors " + kSensors);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "0\t<Без калибровки>\t2\t8700\n1\tСтенд 1\t6\t8702.5\n2\tСтенд 2 (старый)\t2\t8695\n");

    r = cli(dir, "thrust " + kSensors + " 2 8695 8455 8575");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "0\n80\n40\n");

    // Line errors are reported and reading goes on.
    test::writeFile(dir.file("bad.sns"), "START\r\n5\t8600,5\t12\tX\r\n5\t8600\t0\tFive\r\n5\t8500\t10\r\n");
    r = cli(dir, "sensors " + quote(dir.file("bad.sns")));
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("Ошибка в строке 1"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("5\tFive\t2\t8600"), std::string::npos) << r.out;

    r = cli(dir, "thrust " + kSensors + " 9 8600");
    EXPECT_EQ(r.code, 1);
}

TEST(Cli, RejectsBadCommandLinesWithExitTwo)
{
    test::TempDir dir;
    for (const std::string args : {"", "frobnicate", "thrust x.sns one 8600", "thrust x.sns 1 eighty",
                                   "analyze a.frq --bogus", "analyze a.frq --position sideways",
                                   "synth a.wav --bits 12"}) {
        const CliRun r = cli(dir, args);
        EXPECT_EQ(r.code, 2) << args << "\n" << r.err;
    }
    EXPECT_EQ(cli(dir, "--help").code, 0);
    EXPECT_EQ(cli(dir, "analyze --help").code, 0);
}

nlohmann::json analyzeJson(const test::TempDir& dir, const std::string& args)
{
    const CliRun r = cli(dir, "analyze " + args + " --json");
    EXPECT_EQ(r.code, 0) << r.err;
    return r.code == 0 ? nlohmann::json::parse(r.out) : nlohmann::json::object();
}

// The truth of the built-in profile, from its corner points (trapezoids).
constexpr double kProfileImpulse = 92.27;

TEST(Cli, SynthesisedFiringsComeBackWithTheirImpulse)
{
    test::TempDir dir;
    const struct {
        const char* name;
        const char* synthArgs;
        const char* analyzeArgs;
    } cases[] = {
        {"a.frq", "", ""},
        {"b.frq", "--step 0.002", " --step 0.01"},
        {"c.wav", "--rate 44100", ""},
        {"d.wav", "--rate 44100 --bits 8 --channels 2 --noise 2", " --channel left --noise 4"},
        {"e.wav", "--rate 48000 --noise 300", " --noise 600 --filter 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = quote(dir.file(c.name));
        const CliRun synth = cli(dir, "synth " + file + " --sensors " + kSensors + " --sensor 1 " + c.synthArgs);
        ASSERT_EQ(synth.code, 0) << synth.err;
        const auto j = analyzeJson(dir, file + " --sensors " + kSensors + " --sensor 1" + c.analyzeArgs);
        ASSERT_TRUE(j.contains("total_impulse"));
        EXPECT_NEAR(j["total_impulse"].get<double>(), kProfileImpulse, 0.005 * kProfileImpulse);
        EXPECT_NEAR(j["max_thrust"].get<double>(), 62.0, 1.5);
        EXPECT_NEAR(j["start_time"].get<double>(), 2.0, 0.08); // smoothing widens the rise
        EXPECT_NEAR(j["end_time"].get<double>(), 3.91, 0.05);
    }
}

TEST(Cli, HandSetTimesAndMountingChangeTheResults)
{
    test::TempDir dir;
    const std::string frq = quote(kSamples + "/sample.frq") + " --sensors " + kSensors + " --sensor 1";
    const auto detected = analyzeJson(dir, frq);
    const auto narrowed = analyzeJson(dir, frq + " --start 2.5 --end 3.5");
    EXPECT_EQ(narrowed["start_time"].get<double>(), 2.5);
    EXPECT_EQ(narrowed["end_time"].get<double>(), 3.5);
    EXPECT_FLOAT_EQ(narrowed["thrust_time"].get<float>(), 1.0f);
    EXPECT_LT(narrowed["total_impulse"].get<double>(), detected["total_impulse"].get<double>());

    // An end beyond the record is held at the record's end; a negative start is 0 (not set: no results).
    const auto clipped = analyzeJson(dir, frq + " --start -1 --end 100");
    EXPECT_EQ(clipped["start_time"].get<double>(), 0.0);
    EXPECT_EQ(clipped["total_impulse"].get<double>(), 0.0);

    // With a charge the specific impulse is the impulse per weight of propellant.
    const auto charged = analyzeJson(dir, frq + " --charge 0.05");
    EXPECT_NEAR(charged["specific_impulse"].get<double>(),
                charged["total_impulse"].get<double>() / (9.8156 * 0.05), 0.01);
}

TEST(Cli, RefusesStepsAndChannelsTheSourceCannotHave)
{
    test::TempDir dir;
    const std::string frq = quote(kSamples + "/sample.frq") + " --sensors " + kSensors + " --sensor 1";
    CliRun r = cli(dir, "analyze " + frq + " --step 0.001");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    r = cli(dir, "analyze " + frq + " --channel left");
    EXPECT_EQ(r.code, 2);
    r = cli(dir, "analyze " + quote(kSamples + "/sample.frq") + " --sensors " + kSensors + " --sensor 7");
    EXPECT_EQ(r.code, 1);
    // A step above a tenth of the record becomes a tenth.
    const auto j = analyzeJson(dir, frq + " --step 5");
    EXPECT_NEAR(j["analysis_step"].get<double>(), 0.592, 1e-6);
}

TEST(Cli, ExportsSeriesThatReadBack)
{
    test::TempDir dir;
    const std::string frq = quote(kSamples + "/sample.frq") + " --sensors " + kSensors + " --sensor 1";
    ASSERT_EQ(cli(dir, "export " + frq + " --kind trt " + quote(dir.file("out.trt"))).code, 0);
    const std::string trt = test::readFile(dir.file("out.trt"));
    EXPECT_EQ(trt.rfind("Thrust\r\n", 0), 0u);
    EXPECT_NE(trt.find("\r\n592\r\n0.01\r\n---------------\r\nSTART\r\n   0.000\r\n"), std::string::npos) << trt.substr(0, 80);

    ASSERT_EQ(cli(dir, "export " + frq + " --kind frq " + quote(dir.file("out.frq"))).code, 0);
    const CliRun again = cli(dir, "describe " + quote(dir.file("out.frq")));
    EXPECT_EQ(again.out, "FREQ  Mono 100 Hz 592 records 5.92 Sec\n");
    // The exported frequency series analyses to the same impulse.
    const auto a = analyzeJson(dir, frq);
    const auto b = analyzeJson(dir, quote(dir.file("out.frq")) + " --sensors " + kSensors + " --sensor 1");
    EXPECT_NEAR(b["total_impulse"].get<double>(), a["total_impulse"].get<double>(), 0.01);
}

TEST(Cli, ReadsProfilesFromFilesAndRejectsBrokenOnes)
{
    test::TempDir dir;
    test::writeFile(dir.file("p.txt"), "# time thrust\n0 0\n1 0\n1.1 10\n2.1 10\n2.2 0\n3.2 0\n");
    const std::string out = quote(dir.file("p.frq"));
    ASSERT_EQ(cli(dir, "synth " + out + " --profile " + quote(dir.file("p.txt"))).code, 0);
    const auto j = analyzeJson(dir, out + " --sensors " + kSensors + " --sensor 2");
    EXPECT_NEAR(j["total_impulse"].get<double>(), 11.0, 0.055);

    test::writeFile(dir.file("bad.txt"), "0 0\n1 x\n");
    const CliRun r = cli(dir, "synth " + out + " --profile " + quote(dir.file("bad.txt")));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace selva

namespace selva {
namespace {

TEST(CliProject, AProjectGivesBackTheAnalysisItWasSavedFrom)
{
    test::TempDir dir;
    const std::string frq = quote(kSamples + "/sample.frq") + " --sensors " + kSensors + " --sensor 1";
    // (No --filter: a project keeps the filter's window but not whether the filter is on.)
    const std::string settings = " --charge 0.05 --position up --rig 0.2 --start 2.03 --end 3.8";
    const std::string proj = quote(dir.file("run.proj"));
    const auto direct = analyzeJson(dir, frq + settings + " --save-project " + proj);
    const auto loaded = analyzeJson(dir, proj);
    ASSERT_TRUE(loaded.contains("total_impulse"));
    for (const char* key : {"point_count", "start_time", "end_time", "rest_freq", "rest_thrust", "mean_thrust_net",
                            "total_impulse", "specific_impulse", "max_thrust", "average_thrust"})
        EXPECT_EQ(loaded[key], direct[key]) << key;
    EXPECT_EQ(loaded["start_time"].get<double>(), 2.03);

    // Hand-set times given after the project are edits on top of it.
    const auto edited = analyzeJson(dir, proj + " --end 3.5");
    EXPECT_EQ(edited["end_time"].get<double>(), 3.5);
    EXPECT_EQ(edited["start_time"].get<double>(), 2.03);

    // The project carries its settings: giving others is a usage error.
    EXPECT_EQ(cli(dir, "analyze " + proj + " --charge 1").code, 2);

    const CliRun info = cli(dir, "project-info " + proj);
    EXPECT_EQ(info.code, 0);
    EXPECT_NE(info.out.find("sensor number\t1\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("start of thrust\t2.03 (by hand)\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("motor position\tnozzle up\n"), std::string::npos) << info.out;
}

TEST(CliProject, ADamagedProjectFailsWithTheProgramsMessage)
{
    test::TempDir dir;
    const std::string proj = dir.file("run.proj");
    ASSERT_EQ(cli(dir, "analyze " + quote(kSamples + "/sample.frq") + " --save-project " + quote(proj)).code, 0);
    std::string bytes = test::readFile(proj);
    ASSERT_EQ(bytes.size(), 1151u);
    bytes[31 + 900] ^= 0x01;
    test::writeFile(proj, bytes);
    for (const std::string command : {"analyze ", "project-info ", "describe "}) {
        const CliRun r = cli(dir, command + quote(proj));
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_NE(r.err.find("Ошибка открытия файла " + proj), std::string::npos) << command << r.err;
    }
    EXPECT_EQ(test::readFile(proj), bytes) << "a failed load must not touch the file";
}

TEST(CliProject, AProjectMovedWithItsDataStillOpens)
{
    test::TempDir made, moved;
    // Saved with the data beside it, under absolute names of the first folder.
    for (const char* f : {"sample.frq", "sample.sns"})
        test::writeFile(made.file(f), test::readFile(kSamples + "/" + f));
    const std::string args = quote(made.file("sample.frq")) + " --sensors " + quote(made.file("sample.sns")) +
                             " --sensor 1 --save-project " + quote(made.file("sample.proj"));
    const auto before = analyzeJson(made, args);
    for (const char* f : {"sample.frq", "sample.sns", "sample.proj"})
        test::writeFile(moved.file(f), test::readFile(made.file(f)));
    for (const char* f : {"sample.frq", "sample.sns", "sample.proj"})
        std::filesystem::remove(made.file(f));
    const auto after = analyzeJson(moved, quote(moved.file("sample.proj")));
    EXPECT_EQ(after["total_impulse"], before["total_impulse"]);
    EXPECT_GT(after["total_impulse"].get<double>(), 90.0) << "sensor 1 must come from the moved library";
}

}  // namespace
}  // namespace selva

// The field's conventions: standard figures, motor files and tables, comparisons.
namespace selva {
namespace {

const std::string kSampleProject = quote(kSamples + "/sample.proj");
const std::string kMotor = " --diameter 29 --length 124 --total-mass 0.15 --delays 4-6";

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.empty() || line.back() != '\r' ? line : line.substr(0, line.size() - 1));
    return lines;
}

// The value of an XML attribute in a text (the first one of that name after `from`).
double attribute(const std::string& xml, const std::string& name)
{
    const auto at = xml.find(" " + name + "=\"");
    const auto from = at + name.size() + 3;
    double v = std::nan("");
    if (at != std::string::npos)
        parseDouble(xml.substr(from, xml.find('"', from) - from), v);
    return v;
}

TEST(CliConventions, TheSampleAsMotorFilesAndTable)
{
    test::TempDir dir;
    const auto results = analyzeJson(dir, kSampleProject);
    const double impulse = results["standard_total_impulse"].get<double>();
    EXPECT_NEAR(impulse, kProfileImpulse, 0.005 * kProfileImpulse);
    EXPECT_EQ(results["impulse_class"], "G");
    EXPECT_EQ(results["designation"],
              "G" + std::to_string(std::lround(results["standard_average_thrust"].get<double>())));
    EXPECT_NEAR(results["class_percent"].get<double>(), (impulse - 80) / 80 * 100, 1e-9);

    // .eng: seven header fields, at most 32 points ending at zero thrust, the impulse within 0.5 %.
    ASSERT_EQ(cli(dir, "export " + kSampleProject + " --kind eng " + quote(dir.file("s.eng")) + kMotor).code,
              0);
    std::vector<std::string> data;
    std::string header;
    for (const std::string& line : linesOf(test::readFile(dir.file("s.eng"))))
        if (!line.empty() && line[0] != ';')
            (header.empty() ? header : data.emplace_back()) = line;
    std::istringstream fields(header);
    std::vector<std::string> words{std::istream_iterator<std::string>(fields), {}};
    EXPECT_EQ(words, (std::vector<std::string>{results["designation"], "29", "124", "4-6", "0.07", "0.15",
                                               "Custom"}));
    EXPECT_LE(data.size(), 32u);
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.back().substr(data.back().rfind(' ')), " 0");
    const std::vector<EngMotor> back = ReadEngFile(dir.file("s.eng"));
    EXPECT_NEAR(MotorFileImpulse(back.at(0).points), impulse, 0.005 * impulse);

    // A motor file compares as a test of its own.
    const CliRun compared = cli(dir, "compare " + quote(dir.file("s.eng")) + " --json");
    ASSERT_EQ(compared.code, 0) << compared.err;
    const auto c = nlohmann::json::parse(compared.out);
    EXPECT_NEAR(c["tests"][0]["standard_total_impulse"].get<double>(), impulse, 0.005 * impulse);

    // .rse: well-formed XML whose attributes are the results.
    ASSERT_EQ(cli(dir, "export " + kSampleProject + " --kind rse " + quote(dir.file("s.rse")) + kMotor).code,
              0);
    const std::string rse = test::readFile(dir.file("s.rse"));
    if (std::system("xmllint --version >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("xmllint --noout " + quote(dir.file("s.rse"))).c_str()), 0);
    }
    EXPECT_NE(rse.find(" code=\"" + results["designation"].get<std::string>() + "\""), std::string::npos);
    EXPECT_NEAR(attribute(rse, "Itot"), impulse, 1e-3);
    EXPECT_NEAR(attribute(rse, "avgThrust"), results["standard_average_thrust"].get<double>(), 1e-3);
    EXPECT_NEAR(attribute(rse, "burn-time"), results["standard_burn_time"].get<double>(), 1e-4);
    EXPECT_NEAR(attribute(rse, "propWt"), 70, 1e-3);
    EXPECT_NEAR(attribute(rse, "Isp"), impulse / (9.8156 * 0.07), 0.01);

    // CSV in both conventions: three fields a row, every point.
    for (const bool comma : {false, true}) {
        const std::string out = dir.file(comma ? "c.csv" : "p.csv");
        ASSERT_EQ(cli(dir, "export " + kSampleProject + " --kind csv " + quote(out) +
                               (comma ? " --decimal-comma" : ""))
                      .code,
                  0);
        const std::vector<std::string> rows = linesOf(test::readFile(out));
        ASSERT_EQ(rows.size(), 593u);
        EXPECT_EQ(rows[0], comma ? "\"time (s)\";\"thrust (N)\";\"frequency (Hz)\""
                                 : "\"time (s)\",\"thrust (N)\",\"frequency (Hz)\"");
        EXPECT_EQ(rows[300].substr(0, 5), comma ? "2,99;" : "2.99,");
    }

    // A motor file needs its sizes; motor data do not fit a table.
    EXPECT_EQ(cli(dir, "export " + kSampleProject + " --kind eng " + quote(dir.file("x.eng"))).code, 2);
    EXPECT_EQ(
        cli(dir, "export " + kSampleProject + " --kind csv --diameter 29 " + quote(dir.file("x.csv"))).code,
        2);
}

TEST(CliConventions, CompareGivesTheMeanAndSpreadOfTests)
{
    test::TempDir dir;
    const double burn[] = {1.0, 1.5, 2.0}, peak[] = {40, 50, 60};
    std::string sources;
    std::vector<double> truth;
    for (int i = 0; i < 3; ++i) {
        const std::string out = quote(dir.file("t" + std::to_string(i) + ".frq"));
        const std::string shape = " --duration 6 --burn-start 2 --burn-time " + formatShortest(burn[i]) +
                                  " --peak " + formatShortest(peak[i]);
        ASSERT_EQ(cli(dir, "synth " + out + shape + " --sensors " + kSensors + " --sensor 1").code, 0);
        truth.push_back(ThrustProfile::shaped(6, 2, burn[i], peak[i]).impulse());
        sources += " " + out;
    }
    const double mean = (truth[0] + truth[1] + truth[2]) / 3;
    double squares = 0;
    for (double t : truth)
        squares += (t - mean) * (t - mean);
    const double spread = std::sqrt(squares / 2);

    const CliRun r = cli(dir, "compare" + sources + " --sensors " + kSensors + " --sensor 1 --json");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["tests"].size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(j["tests"][i]["standard_total_impulse"].get<double>(), truth[i], 0.005 * truth[i]);
        EXPECT_NEAR(j["tests"][i]["total_impulse"].get<double>(), truth[i], 0.005 * truth[i]);
    }
    for (const char* key : {"standard_total_impulse", "total_impulse"}) {
        EXPECT_NEAR(j["mean"][key].get<double>(), mean, 0.005 * mean) << key;
        EXPECT_NEAR(j["std"][key].get<double>(), spread, 0.01 * spread) << key;
    }
    EXPECT_FALSE(j["mean"].contains("designation"));

    const CliRun table = cli(dir, "compare" + sources + " --sensors " + kSensors + " --sensor 1");
    EXPECT_EQ(table.code, 0);
    EXPECT_NE(table.out.find("Ст. отклонение"), std::string::npos) << table.out;
    EXPECT_EQ(cli(dir, "compare " + quote(dir.file("missing.frq"))).code, 1);
}

} // namespace
} // namespace selva
