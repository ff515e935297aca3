#include "workspace/ProjectSession.h"

#include "common/Error.h"
#include "common/Format.h"
#include "support/TestSupport.h"
#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace selva {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// A firing of known shape at 0.01 s: rest at 8700 Hz for a second, the frequency falling and rising
// again over two seconds (the sensor's thrust rising to 60 N and back), then a rest a little higher.
std::string firingRecord()
{
    std::string text = "FREQ\r\nstand test\r\n400\r\n   0.010\r\n---------------\r\nSTART\r\n";
    for (int i = 0; i < 400; ++i) {
        const double t = i * 0.01;
        double f = 8700.0 + 0.2 * std::sin(7.0 * t);
        if (t >= 1.0 && t < 3.0)
            f -= 180.0 * std::sin(std::numbers::pi * (t - 1.0) / 2.0);
        else if (t >= 3.0)
            f += 1.0;
        text += formatFixed(f, 3, 8) + "\r\n";
    }
    return text;
}

// One running program: the workspace main creates, its messages collected.
struct Program : Workspace {
    std::vector<std::string> messages;

    Program()
    {
        setPrompts({[this](const std::string& text) { messages.push_back(text); }, {}});
    }

    // What the window's OpenSource does for a frequency record or recording.
    void openSource(const std::string& name)
    {
        ASSERT_TRUE(OpenSource(name, true).accepted);
        session.SourceOpened(name);
        analysis.Recalculate(Stages::All);
    }
};

// A library with the default sensor and sensor 1 (the default points: 8460 Hz -> 80 N, 8700 Hz -> 0 N).
void writeLibrary(const std::string& name)
{
    SensorLibrary lib;
    const int index = lib.AddSensor(1, "Стенд 1");
    lib.EnsureDefaultPoints(index);
    ASSERT_TRUE(lib.SaveSensorFile(name));
}

struct Results {
    float ThrustTime, TotalImpulse, MaxThrust, AverageThrust, SpecificImpulse;
};
Results resultsOf(const AnalysisState& s)
{
    return {s.ThrustTime, s.TotalImpulse, s.MaxThrust, s.AverageThrust, s.SpecificImpulse};
}

class ProjectSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        frq = dir.file("firing.frq");
        sns = dir.file("sensors.sns");
        writeFile(frq, firingRecord());
        writeLibrary(sns);
    }

    // A program with the record open, sensor 1 active, 0.1 kg of charge and hand-set times.
    void prepare(Program& p)
    {
        ASSERT_TRUE(p.sensors.LoadSensorFile(sns, true));
        p.openSource(frq);
        ASSERT_EQ(p.sensors.SetActiveSensor(1), 1);
        p.state.ChargeWeight = 0.1f;
        p.state.IncludeChargeWeight = true;
        p.analysis.Recalculate(Stages::All);
        p.state.StartTime = 1.07; // by hand, away from what detection finds
        p.state.EndTime = 2.93;
        p.analysis.ConvertToThrust(false);
        p.analysis.ComputeResults();
    }

    TempDir dir;
    std::string frq, sns;
};

TEST_F(ProjectSessionTest, SavedAndReloadedProjectGivesTheSameResults)
{
    Program a;
    prepare(a);
    const Results before = resultsOf(a.state);
    ASSERT_GT(before.TotalImpulse, 50.0f);
    ASSERT_FLOAT_EQ(before.ThrustTime, static_cast<float>(2.93 - 1.07));
    a.store.notes = {"Заряд 100 г", "второй запуск"};
    MainWindowView view;
    view.startByHand = view.endByHand = true;
    view.showNewtons = true;
    view.testDate = 45123.5;
    view.thrustAxis = {false, 90, -5};
    const std::string proj = dir.file("firing.proj");
    EXPECT_EQ(a.session.SaveProject(proj, view), std::string(SettingsStore::CaptionPrefix) + "firing.proj");
    EXPECT_EQ(a.store.projectFileName, proj);

    Program b; // a fresh run: default sensor only, nothing open
    const ProjectLoadResult r = b.session.LoadProject(proj);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.applied);
    EXPECT_TRUE(r.sourceOpened);
    EXPECT_TRUE(b.messages.empty()) << b.messages.front();
    EXPECT_EQ(r.caption, std::string(SettingsStore::CaptionPrefix) + "firing.proj");
    EXPECT_EQ(r.sourceDescription.substr(0, 6), "FREQ  ");
    EXPECT_TRUE(b.store.projectLoaded);
    EXPECT_EQ(b.sensors.ActiveSensorId, 1);
    EXPECT_EQ(b.sensors.SensorFileName, sns);

    // The hand-set times come back as they were, not as detection would put them.
    EXPECT_EQ(b.state.StartTime, 1.07);
    EXPECT_EQ(b.state.EndTime, 2.93);
    EXPECT_EQ(b.state.RestFreq, a.state.RestFreq);
    EXPECT_EQ(b.state.RestThrust, a.state.RestThrust);
    const Results after = resultsOf(b.state);
    EXPECT_FLOAT_EQ(after.ThrustTime, before.ThrustTime);
    EXPECT_FLOAT_EQ(after.TotalImpulse, before.TotalImpulse);
    EXPECT_FLOAT_EQ(after.MaxThrust, before.MaxThrust);
    EXPECT_FLOAT_EQ(after.AverageThrust, before.AverageThrust);
    EXPECT_FLOAT_EQ(after.SpecificImpulse, before.SpecificImpulse);

    // Opening the source empties the notes; the project's own notes survive that.
    EXPECT_EQ(b.store.notes, a.store.notes);
    EXPECT_TRUE(r.view.startByHand);
    EXPECT_TRUE(r.view.endByHand);
    EXPECT_TRUE(r.view.showNewtons);
    EXPECT_TRUE(r.view.newtonsEnabled);
    EXPECT_EQ(r.view.testDate, 45123.5);
    EXPECT_EQ(r.view.thrustAxis, (AxisRange{false, 90, -5}));
    EXPECT_TRUE(r.view.timeAxis.automatic);
    EXPECT_FLOAT_EQ(b.state.ChargeWeight, 0.1f);
    EXPECT_EQ(b.state.AnalysisStep, a.state.AnalysisStep); // the record's own step, exactly

    // Saving the loaded project again writes the same bytes.
    const std::string again = dir.file("again.proj");
    b.session.SaveProject(again, r.view);
    EXPECT_EQ(readFile(again), readFile(proj));
}

TEST_F(ProjectSessionTest, OnlyTheValuesStoredAsZeroAreDetectedAgain)
{
    Program detected; // what detection finds on this record
    prepare(detected);
    detected.analysis.Recalculate(Stages::All);
    const double detStart = detected.state.StartTime, detEnd = detected.state.EndTime;
    const double detRest = detected.state.RestFreq, detRestAfter = detected.state.RestFreqAfter;
    ASSERT_GT(detStart, 0.9);
    ASSERT_NE(detStart, 1.07);

    struct Case {
        double start, end, rest, restAfter;
        double expStart, expEnd, expRest, expRestAfter;
    };
    const Case cases[] = {
        {1.07, 0, 8700.5, 8701.5, 1.07, detEnd, 8700.5, 8701.5},
        {0, 2.93, 8700.5, 0, detStart, 2.93, 8700.5, detRestAfter},
        {1.07, 2.93, 0, 0, 1.07, 2.93, detRest, detRestAfter},
        {0, 0, 0, 0, detStart, detEnd, detRest, detRestAfter},
    };
    for (const Case& c : cases) {
        Program a;
        prepare(a);
        a.state.StartTime = c.start;
        a.state.EndTime = c.end;
        a.state.RestFreq = c.rest;
        a.state.RestFreqAfter = c.restAfter;
        const std::string proj = dir.file("p.proj");
        a.session.SaveProject(proj, {});

        Program b;
        ASSERT_TRUE(b.session.LoadProject(proj).ok);
        EXPECT_EQ(b.state.StartTime, c.expStart) << c.start << " " << c.end;
        EXPECT_EQ(b.state.EndTime, c.expEnd) << c.start << " " << c.end;
        EXPECT_EQ(b.state.RestFreq, c.expRest) << c.rest;
        EXPECT_EQ(b.state.RestFreqAfter, c.expRestAfter) << c.restAfter;
        if (c.rest == 0) {
            EXPECT_DOUBLE_EQ(b.state.RestThrust, detected.state.RestThrust)
                << "follows the detected rest line";
        }
        EXPECT_GT(b.state.TotalImpulse, 0.0f);
    }
}

TEST_F(ProjectSessionTest, DamagedProjectChangesNothing)
{
    Program a;
    prepare(a);
    const std::string good = dir.file("good.proj");
    a.store.notes = {"хорошая"};
    a.session.SaveProject(good, {});

    std::string bytes = readFile(good);
    bytes[31 + 768] ^= 0x10; // the stored start of thrust
    const std::string bad = dir.file("bad.proj");
    writeFile(bad, bytes);

    const AnalysisState stateBefore = a.state;
    const TProjectRecord recordBefore = a.store.project;
    const Results resultsBefore = resultsOf(a.state);
    const ProjectLoadResult r = a.session.LoadProject(bad);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.applied);
    ASSERT_EQ(a.messages.size(), 1u);
    EXPECT_EQ(a.messages[0],
              "Ошибка открытия файла " + bad + ": контрольная сумма не совпадает: файл проекта поврежден");
    EXPECT_EQ(a.store.projectFileName, good); // the next save still goes to the good project
    EXPECT_EQ(a.store.project, recordBefore);
    EXPECT_EQ(a.store.notes, ProjectNotes{"хорошая"});
    EXPECT_EQ(a.state.StartTime, stateBefore.StartTime);
    EXPECT_EQ(a.state.FreqData, stateBefore.FreqData);
    EXPECT_FLOAT_EQ(a.state.TotalImpulse, resultsBefore.TotalImpulse);

    // Through the source opener: refused the same way, said once.
    const SourceOpening opening = a.OpenSource(bad, true);
    EXPECT_FALSE(opening.accepted);
    EXPECT_TRUE(opening.load.damaged);
    EXPECT_EQ(a.messages.size(), 2u);
    EXPECT_EQ(a.store.projectFileName, good);

    // A missing project: false, no message (the caller knows what it asked for), nothing changes.
    const ProjectLoadResult none = a.session.LoadProject(dir.file("none.proj"));
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.error, "Ошибка открытия файла " + dir.file("none.proj") + ": файл не найден");
    EXPECT_EQ(a.messages.size(), 2u);
    EXPECT_FALSE(a.store.projectLoaded);

    // An empty project, and a pipe named as one, are said to be what they are.
    writeFile(dir.file("empty.proj"), "");
    ASSERT_EQ(::mkfifo(dir.file("pipe.proj").c_str(), 0600), 0);
    EXPECT_FALSE(a.session.LoadProject(dir.file("empty.proj")).ok);
    EXPECT_FALSE(a.OpenSource(dir.file("pipe.proj"), true).accepted);
    ASSERT_EQ(a.messages.size(), 4u);
    EXPECT_EQ(a.messages[2], "Ошибка открытия файла " + dir.file("empty.proj") + ": файл пуст");
    EXPECT_EQ(a.messages[3], "Ошибка открытия файла " + dir.file("pipe.proj") + ": это не обычный файл");
    EXPECT_EQ(a.store.projectFileName, good);
}

// Start and end times a project stores that its record cannot have are corrected as the window's edits
// correct them, said, and never computed into zero results.
TEST_F(ProjectSessionTest, StoredTimesAreCheckedAgainstTheRecord)
{
    struct Case {
        const char* what;
        double start, end;
        double wantStart, wantEnd; // 0: detected again (about 1 s and 3 s)
        bool told;
    };
    const Case cases[] = {
        {"times that fit", 1.07, 2.93, 1.07, 2.93, false},
        {"a start that is not a number", std::nan(""), 2.93, 0, 2.93, true},
        {"an end past the record", 1.07, 500, 1.07, 4.0, true},
        {"an infinite end", 1.07, HUGE_VAL, 1.07, 4.0, true},
        {"a start past the record", 9, 2.93, 0, 2.93, true},
        {"an end before the start", 2.5, 1.5, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Program a;
        prepare(a);
        a.state.StartTime = c.start;
        a.state.EndTime = c.end;
        const std::string proj = dir.file("times.proj");
        a.session.SaveProject(proj, {});

        Program b;
        const ProjectLoadResult r = b.session.LoadProject(proj);
        ASSERT_TRUE(r.ok && r.sourceOpened);
        EXPECT_NEAR(b.state.StartTime, c.wantStart == 0 ? 1.0 : c.wantStart, 0.05);
        EXPECT_NEAR(b.state.EndTime, c.wantEnd == 0 ? 3.0 : c.wantEnd, 0.05);
        EXPECT_GT(b.state.ThrustTime, 0.5f);
        EXPECT_GT(b.state.TotalImpulse, 30.0f);
        EXPECT_EQ(b.messages.size(), c.told ? 1u : 0u);
        if (c.told) {
            EXPECT_EQ(b.messages[0].rfind("Время тяги в проекте " + proj + " исправлено: ", 0), 0u)
                << b.messages[0];
        }
    }
}

TEST_F(ProjectSessionTest, ProjectOpenedAsASourceKeepsItsNotes)
{
    Program a;
    prepare(a);
    a.store.notes = {"строка 1", "строка 2"};
    const std::string proj = dir.file("src.proj");
    a.session.SaveProject(proj, {});

    Program b;
    const SourceOpening opening = b.OpenSource(proj, true);
    ASSERT_TRUE(opening.accepted && opening.project);
    EXPECT_TRUE(opening.load.sourceOpened);
    EXPECT_EQ(b.store.notes, a.store.notes);
    EXPECT_EQ(b.state.SourceKind, SourceFreq);
    EXPECT_FLOAT_EQ(b.state.TotalImpulse, a.state.TotalImpulse);
}

TEST_F(ProjectSessionTest, ProjectsWithoutSourceOrWithMissingFiles)
{
    Program a;
    prepare(a);
    const std::string proj = dir.file("p.proj");

    // No source: the series are emptied and the results are 0.
    a.store.project.sourceFileName.clear();
    a.session.SaveProject(proj, {});
    {
        Program b;
        prepare(b);
        const ProjectLoadResult r = b.session.LoadProject(proj);
        EXPECT_TRUE(r.ok);
        EXPECT_FALSE(r.sourceOpened);
        EXPECT_EQ(b.state.PointCount, 0u);
        EXPECT_TRUE(b.state.FreqData.empty() && b.state.ThrustData.empty() && b.state.ThrustNet.empty());
        EXPECT_EQ(b.state.TotalImpulse, 0.0f);
        EXPECT_EQ(b.state.SourceKind, SourceNone);
        EXPECT_TRUE(b.messages.empty());
    }

    // A source that is gone: reported, and the previous curve is not shown under the project's name.
    a.store.project.sourceFileName = dir.file("gone.frq");
    a.session.SaveProject(proj, {});
    {
        Program b;
        prepare(b);
        const ProjectLoadResult r = b.session.LoadProject(proj);
        EXPECT_TRUE(r.ok);
        EXPECT_FALSE(r.sourceOpened);
        ASSERT_EQ(b.messages.size(), 1u);
        EXPECT_EQ(b.messages[0], "Не найден источник данных проекта: " + dir.file("gone.frq"));
        EXPECT_EQ(b.state.PointCount, 0u);
    }

    // A sensor library that no longer exists: the current library and selection stay.
    a.store.project.sourceFileName = frq;
    a.session.SaveProject(proj, {});
    std::filesystem::rename(sns, dir.file("moved.sns"));
    {
        Program b;
        ASSERT_TRUE(b.sensors.LoadSensorFile(dir.file("moved.sns"), true));
        b.sensors.EnsureDefaultPoints(b.sensors.AddSensor(7, "другой"));
        ASSERT_EQ(b.sensors.SetActiveSensor(7), 2);
        const ProjectLoadResult r = b.session.LoadProject(proj);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(b.sensors.SensorCount(), 3);
        EXPECT_EQ(b.sensors.ActiveSensorId, 1); // the stored number exists in the current library
        EXPECT_EQ(b.sensors.SensorFileName, dir.file("moved.sns"));
    }
    {
        Program b; // only the default sensor: the stored number 1 is not there, the default stays
        const ProjectLoadResult r = b.session.LoadProject(proj);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(b.sensors.ActiveSensorIndex, 0);
        EXPECT_FALSE(r.view.newtonsEnabled);
        EXPECT_FALSE(r.view.showNewtons);
    }
}

TEST_F(ProjectSessionTest, ProjectNamingAProjectAsItsSourceDoesNotRecurse)
{
    Program a;
    const std::string proj = dir.file("self.proj");
    a.store.project.sourceFileName = proj;
    a.session.SaveProject(proj, {});

    Program b;
    const ProjectLoadResult r = b.session.LoadProject(proj);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.sourceOpened);
    ASSERT_EQ(b.messages.size(), 1u);
    EXPECT_EQ(b.messages[0], "Ошибка открытия файла " + proj);
    // The session is usable afterwards.
    EXPECT_TRUE(b.session.LoadProject(proj).ok);
}

TEST_F(ProjectSessionTest, ValuesTheProgramCannotUseAreReplacedOnLoad)
{
    struct Case {
        const char* what;
        float step;
        std::string source;
        bool sourceOpens;
        bool told; // a message says what was not used (besides the times, below)
    };
    const Case cases[] = {
        {"a step finer than the record (and too small for memory)", 1e-30f, frq, true, true},
        {"a step that is not a number", std::nanf(""), frq, true, false},
        {"a negative step", -1.0f, frq, true, false},
        {"a folder as the source", 0.01f, dir.path().string(), false, true},
        {"a device as the source", 0.01f, "/dev/zero", false, true},
    };
    for (const Case& c : cases) {
        SettingsStore writer;
        writer.project.AnalysisStep = c.step;
        writer.project.sourceFileName = c.source;
        writer.project.StartTime = std::nan("");
        writer.project.EndTime = HUGE_VAL;
        writer.project.calc.ChargeWeight = -HUGE_VAL;
        writer.project.calc.MotorPosition = 9;
        writer.project.SensorFileName = sns;
        writer.project.ActiveSensorId = 1;
        const std::string proj = dir.file("crafted.proj");
        writer.WriteProjectFile(proj);

        Program b;
        const ProjectLoadResult r = b.session.LoadProject(proj);
        EXPECT_TRUE(r.ok) << c.what;
        EXPECT_EQ(r.sourceOpened, c.sourceOpens) << c.what;
        // The times (not a number, infinite) are said to be replaced whenever there is a record to place
        // them in.
        EXPECT_EQ(b.messages.size(), (c.told ? 1u : 0u) + (c.sourceOpens ? 1u : 0u)) << c.what;
        if (c.sourceOpens) {
            EXPECT_EQ(b.messages.back().rfind("Время тяги в проекте", 0), 0u) << c.what;
        }
        EXPECT_TRUE(std::isfinite(b.state.StartTime) && std::isfinite(b.state.EndTime)) << c.what;
        EXPECT_EQ(b.state.ChargeWeight, 0.0f) << c.what;
        EXPECT_EQ(b.state.MotorPosition, MotorHorizontal) << c.what;
        EXPECT_GT(b.state.AnalysisStep, 0.0) << c.what;
        if (!c.sourceOpens) {
            EXPECT_EQ(b.state.PointCount, 0u) << c.what;
        }
    }
}

TEST_F(ProjectSessionTest, AutomaticAxesAreStoredWithEqualLimits)
{
    Program a;
    MainWindowView view;
    view.thrustAxis = {true, 120, 3};
    view.timeAxis = {false, 4, 1};
    const std::string proj = dir.file("axes.proj");
    a.session.SaveProject(proj, view);
    EXPECT_EQ(a.store.project.thrustAxisMax, a.store.project.thrustAxisMin);
    Program b;
    const ProjectLoadResult r = b.session.LoadProject(proj);
    EXPECT_TRUE(r.view.thrustAxis.automatic);
    EXPECT_EQ(r.view.timeAxis, (AxisRange{false, 4, 1}));
}

TEST_F(ProjectSessionTest, SourceOpenedRemembersTheSourceAndItsCompanionProject)
{
    Program a;
    a.openSource(frq);
    EXPECT_EQ(a.store.project.sourceFileName, frq);
    EXPECT_EQ(a.store.projectFileName, dir.file("firing.proj"));
    // "Сохранить проект" now writes the companion project, never over the record.
    a.session.SaveProject(a.store.projectFileName, {});
    EXPECT_EQ(readFile(frq), firingRecord());
    EXPECT_EQ(readFile(dir.file("firing.proj")).size(), 1151u);
}

TEST_F(ProjectSessionTest, SettingsFileAppliedAndSaved)
{
    const std::string rsr = dir.file("selvarondine.rsr");
    {
        Program a;
        ASSERT_TRUE(a.sensors.LoadSensorFile(sns, true));
        a.sensors.SetActiveSensor(1);
        a.state.AnalysisStep = 0.02;
        a.state.FilterWindow = 5;
        a.store.settings.authorName = "Петров";
        ASSERT_TRUE(a.session.SaveSettings(rsr, {10, 20, 700, 500}));
        EXPECT_EQ(readFile(rsr).size(), 601u);
    }
    Program b;
    b.store.defaultSettingsFileName = rsr;
    const SettingsLoadResult r = b.session.LoadSettings("");
    EXPECT_EQ(r.status, StoreLoad::Loaded);
    EXPECT_TRUE(r.applied);
    EXPECT_TRUE(r.newtonsEnabled);
    EXPECT_EQ(b.store.settingsFileName, rsr);
    EXPECT_EQ(b.state.AnalysisStep, 0.02);
    EXPECT_EQ(b.state.FilterWindow, 5);
    EXPECT_EQ(b.sensors.ActiveSensorId, 1);
    EXPECT_EQ(b.store.settings.mainPlacement, (TWindowPlacement{10, 20, 700, 500}));
    EXPECT_EQ(b.store.project.authorName, "Петров"); // copied into the project
    EXPECT_EQ(b.store.project.AnalysisStep, 0.02f);

    // A missing file changes nothing.
    Program c;
    c.state.FilterWindow = 9;
    EXPECT_EQ(c.session.LoadSettings(dir.file("none.rsr")).status, StoreLoad::Missing);
    EXPECT_EQ(c.state.FilterWindow, 9);

    // A damaged file: moved aside, the settings in memory applied as they are.
    std::string bytes = readFile(rsr);
    bytes[100] ^= 1;
    writeFile(rsr, bytes);
    Program d;
    const SettingsLoadResult dr = d.session.LoadSettings(rsr);
    EXPECT_EQ(dr.status, StoreLoad::Damaged);
    EXPECT_TRUE(dr.applied);
    EXPECT_EQ(d.state.FilterWindow, 7);
    EXPECT_FALSE(std::filesystem::exists(rsr));
    EXPECT_TRUE(std::filesystem::exists(rsr + ".bad"));
}

TEST_F(ProjectSessionTest, SettingsSaveTakesTheLoadedProjectFirst)
{
    Program a;
    prepare(a);
    a.store.project.chart.gridColor = 0x00123456;
    const std::string proj = dir.file("p.proj");
    a.session.SaveProject(proj, {});

    Program b;
    ASSERT_TRUE(b.session.LoadProject(proj).ok);
    b.store.settings.chart.gridColor = 0; // changed in the settings after the load
    const std::string rsr = dir.file("s.rsr");
    ASSERT_TRUE(b.session.SaveSettings(rsr, {}));
    Program c;
    c.session.LoadSettings(rsr);
    EXPECT_EQ(c.store.settings.chart.gridColor, 0x00123456u);
}

} // namespace
} // namespace selva
