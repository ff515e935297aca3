// The command-line tool run as a user runs it: a real process, real files, exit codes and output.
#include "analysis/MotorFiles.h"
#include "analysis/ThrustProfile.h"
#include "cli/ChildProcess.h"
#include "common/Format.h"
#include "store/StoreFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <algorithm>
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

// The tool with `args` as a shell passes them; `env` goes before the program (variables for this run only).
CliRun cli(const std::string& args, const std::string& env = "")
{
    test::Child run({"/bin/sh", "-c", env + " " + quote(SELVA_CLI_PATH) + " " + args});
    const int code = run.exitCode();
    return {code, run.out, run.err};
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

const std::string kSamples = SELVA_SAMPLES_DIR;
const std::string kSensors = quote(kSamples + "/sample.sns");
const std::string kFrq = quote(kSamples + "/sample.frq");
const std::string kFrq1 = kFrq + " --sensors " + kSensors + " --sensor 1";
const std::string kSampleProject = quote(kSamples + "/sample.proj");

// A settings file of the window naming a library and a sensor (and the author drawn on charts). Without
// one the tool would read the window program's own, whatever a run of the window left there.
std::string settingsFile(const test::TempDir& dir, const std::string& library, int sensor,
                         const std::string& author = "")
{
    TSettingsRecord r;
    r.SensorFileName = library;
    r.ActiveSensorId = sensor;
    r.authorName = author;
    const std::string name = dir.file("window.rsr");
    test::writeFile(name, encodeSettingsFile(r));
    return " --settings " + quote(name);
}

nlohmann::json analyzeJson(const std::string& args)
{
    const CliRun r = cli("analyze " + args + " --json");
    EXPECT_EQ(r.code, 0) << args << "\n" << r.err;
    return r.code == 0 ? nlohmann::json::parse(r.out) : nlohmann::json::object();
}

TEST(Cli, DescribesSourcesAndListsSensors)
{
    test::TempDir dir;
    // Line errors name the file and reading goes on; a file of which nothing can be read is not a library.
    test::writeFile(dir.file("bad.sns"), "START\r\n5\t8600,5\t12\tX\r\n5\t8600\t0\tFive\r\n5\t8500\t10\r\n");
    const struct {
        std::string args;
        int code;
        std::string out, err;
    } cases[] = {
        {"describe " + kFrq, 0, "FREQ  Mono 100 Hz 592 records 5.92 Sec\n", ""},
        {"describe " + quote(dir.file("missing.frq")), 1, "", "Ошибка открытия файла"},
        {"sensors " + kSensors, 0, "0\t<Без калибровки>\t2\t8700\n1\tСтенд 1\t6\t8702.5\n2\tСтенд 2 (старый)\t2\t8695\n",
         ""},
        {"sensors " + quote(dir.file("bad.sns")), 0, "0\t<Без калибровки>\t2\t8700\n5\tFive\t2\t8600\n",
         dir.file("bad.sns") + ": Ошибка в строке 1"},
        {"sensors " + kFrq, 1, "", kSamples + "/sample.frq is not a sensor library"},
        // Figures with the digits they carry: -98.09999999999975 is -98.1.
        {"thrust " + kSensors + " 2 8695 8455 8575 8989.3", 0, "0\n80\n40\n-98.1\n", ""},
        {"thrust " + kSensors + " 9 8600", 1, "", "No sensor number 9"},
    };
    for (const auto& c : cases) {
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << c.args;
        EXPECT_TRUE(contains(r.err, c.err)) << c.args << "\n" << r.err;
    }
}

TEST(Cli, RefusesBadCommandLinesWithExitTwoAndSaysWhy)
{
    test::TempDir dir;
    const struct {
        std::string args;
        std::string err;
    } cases[] = {
        {"", ""},
        {"frobnicate --help", "Unknown command \"frobnicate\""},
        {"thrust x.sns 1 nan", "nan is not a number"},
        {"analyze a.frq --bogus", ""},
        {"analyze a.frq --start nan", "--start: nan is not a number"},
        {"analyze a.frq --step nan", "--step: nan is not a number"},
        {"analyze a.frq --charge inf", "inf is not a finite number"},
        {"synth a.wav --duration nan --burn-start 1 --burn-time 1 --peak 5", "not a number"},
        {"analyze " + kFrq1 + " --start 5 --end 1", "The end of thrust (1 s) is not after its start (5 s)"},
        {"analyze " + kFrq1 + " --end 1", "is not after its start"},
        {"analyze " + kFrq1 + " --start 100", "--start 100 is beyond the end of the record (5.92 s)"},
        {"analyze " + kFrq1 + " --step 0.001", "Step 0.001 s refused: Шаг меньше допустимого (0.01 сек)"},
        {"analyze " + kFrq1 + " --channel left", "one channel"},
        {"analyze " + kSampleProject + " --charge 1", "cannot be given with a project"},
        {"export " + kFrq1 + " " + quote(dir.file("out.xyz")), "by OUT's extension"},
        {"export " + kSampleProject + " --kind eng " + quote(dir.file("x.eng")), "--diameter"},
        {"render " + kFrq1, "Nothing to draw into"},
    };
    for (const auto& c : cases) {
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.code, 2) << c.args << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.err)) << c.args << "\n" << r.err;
    }
    EXPECT_EQ(cli("--help").code, 0);
    EXPECT_EQ(cli("analyze --help").code, 0);
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
        const CliRun synth = cli("synth " + file + " --sensors " + kSensors + " --sensor 1 " + c.synthArgs);
        ASSERT_EQ(synth.code, 0) << synth.err;
        const auto j = analyzeJson(file + " --sensors " + kSensors + " --sensor 1" + c.analyzeArgs);
        ASSERT_TRUE(j.contains("total_impulse"));
        EXPECT_NEAR(j["total_impulse"].get<double>(), kProfileImpulse, 0.005 * kProfileImpulse);
        EXPECT_NEAR(j["max_thrust"].get<double>(), 62.0, 1.5);
        EXPECT_NEAR(j["start_time"].get<double>(), 2.0, 0.08); // smoothing widens the rise
        EXPECT_NEAR(j["end_time"].get<double>(), 3.91, 0.05);
    }

    // A profile from a file; a broken one names its line.
    test::writeFile(dir.file("p.txt"), "# time thrust\n0 0\n1 0\n1.1 10\n2.1 10\n2.2 0\n3.2 0\n");
    const std::string out = quote(dir.file("p.frq"));
    ASSERT_EQ(cli("synth " + out + " --profile " + quote(dir.file("p.txt"))).code, 0);
    EXPECT_NEAR(analyzeJson(out + " --sensors " + kSensors + " --sensor 2")["total_impulse"].get<double>(), 11.0,
                0.055);
    test::writeFile(dir.file("bad.txt"), "0 0\n1 x\n");
    const CliRun r = cli("synth " + out + " --profile " + quote(dir.file("bad.txt")));
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "line 2")) << r.err;
}

// The edits' rules themselves are the presenter's; here they are reached through the options.
TEST(Cli, HandSetTimesAndStepsFollowTheWindowsRules)
{
    const auto detected = analyzeJson(kFrq1);
    const auto narrowed = analyzeJson(kFrq1 + " --start 2.5 --end 3.5");
    EXPECT_EQ(narrowed["start_time"].get<double>(), 2.5);
    EXPECT_EQ(narrowed["end_time"].get<double>(), 3.5);
    EXPECT_FLOAT_EQ(narrowed["thrust_time"].get<float>(), 1.0f);
    EXPECT_LT(narrowed["total_impulse"].get<double>(), detected["total_impulse"].get<double>());

    // An end beyond the record is the record's end; a start below 0 is 0 (not set).
    const auto clipped = analyzeJson(kFrq1 + " --start -1 --end inf");
    EXPECT_EQ(clipped["start_time"].get<double>(), 0.0);
    EXPECT_DOUBLE_EQ(clipped["end_time"].get<double>(), 5.92);
    EXPECT_EQ(clipped["total_impulse"].get<double>(), 0.0);

    // A step above a tenth of the record becomes a tenth, and says so; the panel's times carry no noise.
    const CliRun r = cli("analyze " + kFrq1 + " --step 5");
    EXPECT_TRUE(contains(r.err, "taken as 0.592 s: Шаг ограничен десятой частью записи")) << r.err;
    EXPECT_TRUE(contains(r.out, "Конец тяги (сек): 3.552\n")) << r.out;
    EXPECT_EQ(cli("analyze " + kFrq + " --sensors " + kSensors + " --sensor 7").code, 1);
}

TEST(Cli, UsesTheSensorLibraryTheWindowWould)
{
    test::TempDir dir, other;
    // The record with its library beside it, and another library elsewhere.
    for (const char* f : {"sample.frq", "sample.sns"})
        test::writeFile(dir.file(f), test::readFile(kSamples + "/" + f));
    test::writeFile(other.file("lib.sns"), "START\r\n0\t8460\t80\tdefault\r\n0\t8700\t0\r\n\r\n"
                                           "4\t8695\t0\tFour\r\n4\t8455\t80\r\n");
    const std::string frq = quote(dir.file("sample.frq"));
    const struct {
        std::string library; // named in the settings
        int sensor;
        std::string used;
        bool calibrated;
    } cases[] = {
        {"", 1, dir.file("sample.sns") + "; sensor 1 \"Стенд 1\"", true},
        {"", 0, dir.file("sample.sns") + "; sensor 0 \"<Без калибровки>\", the default sensor without calibration: "
                                         "the results in newtons are not computed",
         false},
        {other.file("lib.sns"), 4, other.file("lib.sns") + "; sensor 4 \"Four\"", true},
    };
    for (const auto& c : cases) {
        const std::string args = frq + settingsFile(dir, c.library, c.sensor);
        const CliRun r = cli("analyze " + args + " --json");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(contains(r.err, "Sensor library: " + c.used + "\n")) << r.err;
        EXPECT_EQ(nlohmann::json::parse(r.out)["total_impulse"].get<double>() > 50, c.calibrated) << c.used;
    }
    // --sensor picks from the window's library; a settings file named on purpose must be there.
    EXPECT_GT(analyzeJson(frq + settingsFile(dir, "", 0) + " --sensor 1")["total_impulse"].get<double>(), 90);
    const CliRun missing = cli("analyze " + frq + " --settings " + quote(dir.file("none.rsr")));
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(contains(missing.err, "Cannot read the settings file")) << missing.err;
}

// The layouts are the core's; here the kind of an export comes from its name as from --kind.
TEST(Cli, ExportsOfTheKindTheNameSays)
{
    test::TempDir dir;
    const struct {
        std::string source;
        const char* ext;
        const char* begins;
    } cases[] = {{kFrq1, "trt", "Thrust\r\n"}, {kFrq1, "frq", "FREQ\r\n"}, {kSampleProject, "trt", "Thrust\r\n"},
                 {kSampleProject, "csv", "\"time (s)\""}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source + " " + c.ext);
        const std::string named = dir.file(std::to_string(++n) + "." + c.ext), kind = dir.file(std::to_string(n));
        ASSERT_EQ(cli("export " + c.source + " " + quote(named)).code, 0);
        ASSERT_EQ(cli("export " + c.source + " --kind " + c.ext + " " + quote(kind)).code, 0);
        EXPECT_EQ(test::readFile(named), test::readFile(kind));
        EXPECT_EQ(test::readFile(named).rfind(c.begins, 0), 0u);
    }
}

TEST(CliProject, AProjectGivesBackTheAnalysisItWasSavedFrom)
{
    test::TempDir dir;
    // (No --filter: a project keeps the filter's window but not whether the filter is on.)
    const std::string settings = " --charge 0.05 --position up --rig 0.2 --start 2.03 --end 3.8";
    const std::string proj = quote(dir.file("run.proj"));
    const auto direct = analyzeJson(kFrq1 + settings + " --save-project " + proj);
    const auto loaded = analyzeJson(proj);
    ASSERT_TRUE(loaded.contains("total_impulse"));
    for (const char* key : {"point_count", "start_time", "end_time", "rest_freq", "rest_thrust", "mean_thrust_net",
                            "total_impulse", "specific_impulse", "max_thrust", "average_thrust"})
        EXPECT_EQ(loaded[key], direct[key]) << key;
    EXPECT_EQ(loaded["start_time"].get<double>(), 2.03);

    // Hand-set times given after the project are edits on top of it.
    const auto edited = analyzeJson(proj + " --end 3.5");
    EXPECT_EQ(edited["end_time"].get<double>(), 3.5);
    EXPECT_EQ(edited["start_time"].get<double>(), 2.03);

    EXPECT_TRUE(contains(cli("project-info " + proj).out, "start of thrust\t2.03 (by hand)\n"));

    // Damaged, it fails every command that reads it with the program's message, and is left as it is.
    const std::string file = dir.file("run.proj");
    std::string bytes = test::readFile(file);
    bytes[31 + 900] ^= 0x01;
    test::writeFile(file, bytes);
    for (const std::string command : {"analyze ", "project-info ", "describe "}) {
        const CliRun r = cli(command + proj);
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_TRUE(contains(r.err, "Ошибка открытия файла " + file)) << command << r.err;
    }
    EXPECT_EQ(test::readFile(file), bytes);
}

TEST(CliProject, ProjectInfoShowsDatesAndEscapesWhatTheFileHolds)
{
    test::TempDir dir;
    TProjectRecord p;
    p.sourceFileName = "run\x1b[2J.frq";
    p.authorName = "Иванов\tИ.";
    p.testDate = 45000.5;
    test::writeFile(dir.file("p.proj"), encodeProjectFile(p, {"bell\x07here"}));
    const CliRun r = cli("project-info " + quote(dir.file("p.proj")));
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* line : {"source file\trun\\x1B[2J.frq\n", "author\tИванов\\tИ.\n", "test date\t2023-03-15 12:00:00",
                             "  bell\\x07here\n"})
        EXPECT_TRUE(contains(r.out, line)) << line << "\n" << r.out;
}

// A project names its files by absolute paths and looks beside itself for files moved with it; a library
// or sensor it cannot find fails the command unless --sensors supplies one.
TEST(CliProject, AProjectFindsItsFilesOrSaysWhatIsMissing)
{
    test::TempDir made, moved;
    for (const char* f : {"sample.frq", "sample.sns"})
        test::writeFile(made.file(f), test::readFile(kSamples + "/" + f));
    const auto saved = analyzeJson(quote(made.file("sample.frq")) + " --sensors " +
                                             quote(made.file("sample.sns")) + " --sensor 1 --save-project " +
                                             quote(made.file("sample.proj")));
    for (const char* f : {"sample.frq", "sample.sns", "sample.proj"}) {
        test::writeFile(moved.file(f), test::readFile(made.file(f)));
        std::filesystem::remove(made.file(f));
    }
    const std::string proj = quote(moved.file("sample.proj"));
    EXPECT_EQ(analyzeJson(proj)["total_impulse"], saved["total_impulse"]);

    const std::string onlyTwo = "START\r\n2\t8695\t0\tTwo\r\n2\t8455\t80\r\n";
    test::writeFile(made.file("two.sns"), onlyTwo);
    for (const bool libraryGone : {true, false}) {
        SCOPED_TRACE(libraryGone ? "library missing" : "sensor missing");
        if (libraryGone)
            std::filesystem::remove(moved.file("sample.sns"));
        else
            test::writeFile(moved.file("sample.sns"), onlyTwo);
        const CliRun r = cli("analyze " + proj + " --json");
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(contains(r.err, "give a library with --sensors")) << r.err;
        // Supplied, the project's sensor gives the project's analysis; another needs its number.
        const auto supplied = analyzeJson(proj + " --sensors " + kSensors);
        EXPECT_NEAR(supplied.value("total_impulse", 0.0), saved["total_impulse"].get<double>(), 0.1);
        EXPECT_EQ(cli("analyze " + proj + " --sensors " + quote(made.file("two.sns"))).code, 1);
        const auto other = analyzeJson(proj + " --sensors " + quote(made.file("two.sns")) + " --sensor 2");
        EXPECT_GT(other.value("total_impulse", 0.0), 50);
    }
}

// The chart drawn as the window draws it, without a display.
TEST(CliRender, DrawsTheChartIntoEveryFormatWithoutADisplay)
{
    test::TempDir dir;
    const std::string settings = settingsFile(dir, "", 0, "Иванов");
    // The display variables of a desktop, with no display behind them.
    const std::string noDisplay = "env -u WAYLAND_DISPLAY DISPLAY=:99 QT_QPA_PLATFORM=xcb";
    const struct {
        const char* name;
        std::string magic;
        std::size_t at;
    } cases[] = {
        {"c.png", "\x89PNG", 0},           {"c.jpeg", "\xFF\xD8\xFF", 0}, {"c.bmp", "BM", 0},
        {"c.svg", "<svg", std::string::npos}, {"c.pdf", "%PDF", 0},      {"c.wmf", "\xD7\xCD\xC6\x9A", 0},
        {"c.emf", " EMF", 40},
    };
    for (const auto& c : cases) {
        const CliRun r = cli("render " + kSampleProject + " " + quote(dir.file(c.name)) + settings, noDisplay);
        ASSERT_EQ(r.code, 0) << c.name << "\n" << r.err;
        const std::string bytes = test::readFile(dir.file(c.name));
        if (c.at == std::string::npos)
            EXPECT_TRUE(contains(bytes, c.magic)) << c.name;
        else
            EXPECT_EQ(bytes.substr(c.at, c.magic.size()), c.magic) << c.name;
    }

    // The series (yellow), the start, end and rest lines (red), the results, the author's mark and the
    // unit caption are drawn.
    const std::string svg = test::readFile(dir.file("c.svg"));
    for (const char* text : {"stroke=\"#ffff00\"", "stroke=\"#ff0000\"", "сум = 92", "Иванов", "f(Hz)"})
        EXPECT_TRUE(contains(svg, text)) << text; // (Qt writes a text in runs of one script each)
    // In newtons without results, and the printed page with its footer at the same time.
    const std::string page = dir.file("page.pdf");
    ASSERT_EQ(cli("render " + kSampleProject + " " + quote(dir.file("n.svg")) + " --newtons --no-results" +
                           settings + " --print-pdf " + quote(page))
                  .code,
              0);
    EXPECT_EQ(test::readFile(page).substr(0, 4), "%PDF");
    if (std::system(("pdftotext " + quote(page) + " " + quote(dir.file("page.txt")) + " 2>/dev/null").c_str()) == 0) {
        EXPECT_TRUE(contains(test::readFile(dir.file("page.txt")), "Файл: " + kSamples + "/sample.frq"));
    }
    const std::string newtons = test::readFile(dir.file("n.svg"));
    EXPECT_TRUE(contains(newtons, "F(N)"));
    EXPECT_FALSE(contains(newtons, "сум = "));
    const CliRun uncalibrated = cli("render " + kFrq + settings + " --newtons " + quote(dir.file("u.png")));
    EXPECT_EQ(uncalibrated.code, 1);
    EXPECT_TRUE(contains(uncalibrated.err, "no calibration")) << uncalibrated.err;
}

// The field's conventions: motor files and comparisons of tests (their formats and the standard figures
// are the core's and tested there).
TEST(CliConventions, MotorFilesAndComparisonsCarryTheAnalysis)
{
    test::TempDir dir;
    const double impulse = analyzeJson(kSampleProject)["standard_total_impulse"].get<double>();
    EXPECT_NEAR(impulse, kProfileImpulse, 0.005 * kProfileImpulse);
    const std::string eng = quote(dir.file("s.eng")), csv = dir.file("s.csv");
    ASSERT_EQ(cli("export " + kSampleProject + " " + eng + " --diameter 29 --length 124 --total-mass 0.15").code, 0);
    const std::vector<EngMotor> back = ReadEngFile(dir.file("s.eng"));
    EXPECT_NEAR(MotorFileImpulse(back.at(0).points), impulse, 0.005 * impulse);
    ASSERT_EQ(cli("export " + kSampleProject + " " + quote(csv) + " --decimal-comma").code, 0);
    EXPECT_TRUE(contains(test::readFile(csv), "\n2,99;"));

    // Two firings of known impulse side by side (and the motor file as a test of its own).
    std::string sources;
    std::vector<double> truth;
    for (const double burn : {1.0, 2.0}) {
        const std::string out = quote(dir.file(formatShortest(burn) + ".frq"));
        const std::string shape = " --duration 6 --burn-start 2 --burn-time " + formatShortest(burn) + " --peak 50";
        ASSERT_EQ(cli("synth " + out + shape + " --sensors " + kSensors + " --sensor 1").code, 0);
        truth.push_back(ThrustProfile::shaped(6, 2, burn, 50).impulse());
        sources += " " + out;
    }
    const CliRun r = cli("compare" + sources + " " + eng + " --sensors " + kSensors + " --sensor 1 --json");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["tests"].size(), 3u);
    for (int i = 0; i < 2; ++i)
        EXPECT_NEAR(j["tests"][i]["total_impulse"].get<double>(), truth[i], 0.005 * truth[i]);
    EXPECT_NEAR(j["tests"][2]["standard_total_impulse"].get<double>(), impulse, 0.005 * impulse);
    EXPECT_NEAR(j["mean"]["total_impulse"].get<double>(), (truth[0] + truth[1] + impulse) / 3, 0.01 * impulse);
    EXPECT_TRUE(contains(cli("compare" + sources + " --sensors " + kSensors + " --sensor 1").out, "Ст. отклонение"));
}

} // namespace
} // namespace selva
