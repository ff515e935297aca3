// Projects and the settings file against the workspace: what a saved project gives back, what is detected
// again, and what a load refuses or corrects. The files themselves are tests/store; the window's rules
// around projects (companion projects, absolute paths, a missing source) are MainPresenterTest.
#include "workspace/ProjectSession.h"

#include "support/TestSupport.h"
#include "support/TestWorkspace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace selva {
namespace {

using test::readFile;
using test::writeFile;
using Program = test::TestWorkspace;

// A firing of known shape at 0.01 s: rest at 8700 Hz for a second, the frequency falling and rising
// again over two seconds (sensor 1's thrust rising to 60 N and back), then a rest a little higher.
std::vector<double> firing()
{
    std::vector<double> f;
    for (int i = 0; i < 400; ++i) {
        const double t = i * 0.01;
        const double burn = t >= 1.0 && t < 3.0 ? 180.0 * std::sin(std::numbers::pi * (t - 1.0) / 2.0) : 0.0;
        f.push_back(8700.0 + 0.2 * std::sin(7.0 * t) - burn + (t >= 3.0 ? 1.0 : 0.0));
    }
    return f;
}

class ProjectSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeFile(frq, record);
        ASSERT_TRUE(test::writeStandLibrary(sns));
    }

    // A program with the record open, sensor 1 active, 0.1 kg of charge and hand-set times.
    void prepare(Program& p)
    {
        ASSERT_TRUE(p.sensors.LoadSensorFile(sns, true));
        ASSERT_TRUE(p.OpenSource(frq, true).accepted);
        p.session.SourceOpened(frq);
        ASSERT_EQ(p.sensors.SetActiveSensor(1), 1);
        p.state.ChargeWeight = 0.1f;
        p.state.IncludeChargeWeight = true;
        p.analysis.Recalculate(Stages::All);
        p.state.StartTime = 1.07; // by hand, away from what detection finds
        p.state.EndTime = 2.93;
        p.analysis.ConvertToThrust(false);
        p.analysis.ComputeResults();
    }

    // A prepared program changed by `change` saves `proj`; `into` loads it.
    ProjectLoadResult saveAndLoad(Program& into, const std::function<void(Program&)>& change,
                                  const MainWindowView& view = {})
    {
        Program a;
        prepare(a);
        change(a);
        a.session.SaveProject(proj, view);
        return into.session.LoadProject(proj);
    }

    test::TempDir dir;
    const std::string record = test::frqText(0.01, firing());
    const std::string frq = dir.file("firing.frq"), sns = dir.file("sensors.sns"),
                      proj = dir.file("run.proj");
};

TEST_F(ProjectSessionTest, SavedAndReloadedProjectGivesTheSameResultsAndBytes)
{
    Program a;
    prepare(a);
    // Opening the source named its companion project, so "Сохранить проект" never writes over the record.
    EXPECT_EQ(a.store.project.sourceFileName, frq);
    EXPECT_EQ(a.store.projectFileName, dir.file("firing.proj"));
    ASSERT_GT(a.state.TotalImpulse, 50.0f);
    ASSERT_FLOAT_EQ(a.state.ThrustTime, static_cast<float>(2.93 - 1.07));
    a.store.notes = {"Заряд 100 г", "второй запуск"};
    MainWindowView view;
    view.startByHand = view.showNewtons = view.showDate = true;
    view.testDate = 45123.5;
    view.thrustAxis = {false, 90, -5};
    view.timeAxis = {true, 4, 1}; // automatic: stored with its maximum equal to its minimum
    a.session.SaveProject(proj, view);
    EXPECT_EQ(a.store.projectFileName, proj);
    EXPECT_EQ(a.store.project.timeAxisMax, a.store.project.timeAxisMin);

    Program b; // a fresh run: default sensor only, nothing open
    const ProjectLoadResult r = b.session.LoadProject(proj);
    ASSERT_TRUE(r.ok && r.applied && r.sourceOpened);
    EXPECT_TRUE(b.messages.empty()) << b.messages.front();
    EXPECT_TRUE(b.store.projectLoaded);
    EXPECT_EQ(b.sensors.ActiveSensorId, 1);
    EXPECT_EQ(b.sensors.SensorFileName, sns);
    EXPECT_TRUE(r.view.newtonsEnabled);
    EXPECT_TRUE(r.view.timeAxis.automatic);
    // The hand-set times and the levels come back as they were, not as detection would put them, and the
    // record is analysed at its own step, exactly: so the results are the same.
    EXPECT_EQ(b.state.StartTime, 1.07);
    EXPECT_EQ(b.state.EndTime, 2.93);
    EXPECT_EQ(b.state.RestFreq, a.state.RestFreq);
    EXPECT_EQ(b.state.RestThrust, a.state.RestThrust);
    EXPECT_EQ(b.state.AnalysisStep, a.state.AnalysisStep);
    for (float AnalysisState::*result :
         {&AnalysisState::ThrustTime, &AnalysisState::TotalImpulse, &AnalysisState::MaxThrust,
          &AnalysisState::AverageThrust, &AnalysisState::SpecificImpulse})
        EXPECT_FLOAT_EQ(b.state.*result, a.state.*result);
    // Opening the source empties the notes; the project's own notes survive that.
    EXPECT_EQ(b.store.notes, a.store.notes);
    // Everything else the project holds (calculation settings, the window's flags and date) went into the
    // state and the view and comes out of them again: saving the loaded project writes the same bytes.
    b.session.SaveProject(dir.file("again.proj"), r.view);
    EXPECT_EQ(readFile(dir.file("again.proj")), readFile(proj));

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
        SCOPED_TRACE(testing::Message() << c.start << " " << c.end << " " << c.rest << " " << c.restAfter);
        Program b;
        ASSERT_TRUE(saveAndLoad(b, [&](Program& a) {
                        a.state.StartTime = c.start;
                        a.state.EndTime = c.end;
                        a.state.RestFreq = c.rest;
                        a.state.RestFreqAfter = c.restAfter;
                    }).ok);
        EXPECT_EQ(b.state.StartTime, c.expStart);
        EXPECT_EQ(b.state.EndTime, c.expEnd);
        EXPECT_EQ(b.state.RestFreq, c.expRest);
        EXPECT_EQ(b.state.RestFreqAfter, c.expRestAfter);
        if (c.rest == 0) {
            EXPECT_DOUBLE_EQ(b.state.RestThrust, detected.state.RestThrust)
                << "follows the detected rest line";
        }
        EXPECT_GT(b.state.TotalImpulse, 0.0f);
    }
}

TEST_F(ProjectSessionTest, AProjectThatCannotBeLoadedChangesNothing)
{
    Program a;
    prepare(a);
    const std::string good = dir.file("good.proj"), bad = dir.file("bad.proj");
    a.store.notes = {"хорошая"};
    a.session.SaveProject(good, {});
    std::string bytes = readFile(good);
    bytes[31 + 768] ^= 0x10; // the stored start of thrust
    writeFile(bad, bytes);

    const AnalysisState stateBefore = a.state;
    const ProjectLoadResult r = a.session.LoadProject(bad);
    EXPECT_FALSE(r.ok || r.applied);
    EXPECT_TRUE(r.damaged);
    EXPECT_EQ(a.messages,
              std::vector<std::string>{"Ошибка открытия файла " + bad +
                                       ": контрольная сумма не совпадает: файл проекта поврежден"});
    EXPECT_EQ(a.store.projectFileName, good); // the next save still goes to the good project
    EXPECT_EQ(a.store.notes, ProjectNotes{"хорошая"});
    EXPECT_EQ(a.state.StartTime, stateBefore.StartTime);
    EXPECT_EQ(a.state.FreqData, stateBefore.FreqData);
    EXPECT_EQ(a.state.TotalImpulse, stateBefore.TotalImpulse);

    // Through the source opener: refused the same way, said once.
    const SourceOpening opening = a.OpenSource(bad, true);
    EXPECT_FALSE(opening.accepted);
    EXPECT_TRUE(opening.load.damaged);
    EXPECT_EQ(a.messages.size(), 2u);

    // A missing project: no message (the caller knows what it asked for), nothing changes.
    const ProjectLoadResult none = a.session.LoadProject(dir.file("none.proj"));
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(a.messages.size(), 2u);
    EXPECT_FALSE(a.store.projectLoaded);
    EXPECT_EQ(a.store.projectFileName, good);
}

TEST_F(ProjectSessionTest, ProjectsWithoutSourceOrWithAMissingLibrary)
{
    {
        // No source: the previous series are emptied and the results are 0.
        Program b;
        prepare(b);
        const ProjectLoadResult r =
            saveAndLoad(b, [](Program& a) { a.store.project.sourceFileName.clear(); });
        EXPECT_TRUE(r.ok);
        EXPECT_FALSE(r.sourceOpened);
        EXPECT_EQ(b.state.PointCount, 0u);
        EXPECT_TRUE(b.state.FreqData.empty() && b.state.ThrustData.empty() && b.state.ThrustNet.empty());
        EXPECT_EQ(b.state.TotalImpulse, 0.0f);
        EXPECT_EQ(b.state.SourceKind, SourceNone);
        EXPECT_TRUE(b.messages.empty());
    }

    // A sensor library that no longer exists: the current library and selection stay.
    MainWindowView newtons;
    newtons.showNewtons = true;
    Program a;
    prepare(a);
    a.session.SaveProject(proj, newtons);
    std::filesystem::rename(sns, dir.file("moved.sns"));
    {
        Program b;
        ASSERT_TRUE(b.sensors.LoadSensorFile(dir.file("moved.sns"), true));
        b.sensors.EnsureDefaultPoints(b.sensors.AddSensor(7, "другой"));
        ASSERT_EQ(b.sensors.SetActiveSensor(7), 2);
        const ProjectLoadResult r = b.session.LoadProject(proj);
        EXPECT_TRUE(r.ok);
        EXPECT_FALSE(r.sensorFound);
        EXPECT_EQ(b.sensors.SensorCount(), 3);
        EXPECT_EQ(b.sensors.ActiveSensorId, 1); // the stored number exists in the current library
        EXPECT_EQ(b.sensors.SensorFileName, dir.file("moved.sns"));
        EXPECT_TRUE(r.view.showNewtons);
    }
    {
        Program b; // only the default sensor: the stored number 1 is not there, the default stays
        const ProjectLoadResult r = b.session.LoadProject(proj);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(b.sensors.ActiveSensorIndex, 0);
        EXPECT_FALSE(r.view.newtonsEnabled || r.view.showNewtons);
        EXPECT_EQ(b.messages.size(), 2u) << "the library and the sensor that are not there are said";
    }
}

TEST_F(ProjectSessionTest, ProjectNamingAProjectAsItsSourceDoesNotRecurse)
{
    Program a;
    a.store.project.sourceFileName = proj;
    a.session.SaveProject(proj, {});

    Program b;
    const ProjectLoadResult r = b.session.LoadProject(proj);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.sourceOpened);
    EXPECT_EQ(b.messages, std::vector<std::string>{"Ошибка открытия файла " + proj});
    EXPECT_TRUE(b.session.LoadProject(proj).ok); // the session is usable afterwards
}

// Values a project stores that the program cannot use are replaced and said, never computed into nonsense
// or zero results: times the record cannot have are corrected as the window's edits correct them, a step
// by the step edit's rule, a weight or mounting the program does not know by its defaults.
TEST_F(ProjectSessionTest, ValuesTheProgramCannotUseAreReplacedOnLoad)
{
    const double nan = std::nan("");
    struct Case {
        const char* what;
        double start, end;
        float step;
        std::string source;
        double wantStart, wantEnd; // 0: detected again (about 1 s and 3 s)
        std::size_t told;          // messages: the times, the step, the source
    };
    const Case cases[] = {
        {"times that fit", 1.07, 2.93, 0.01f, frq, 1.07, 2.93, 0},
        {"a start that is not a number", nan, 2.93, 0.01f, frq, 0, 2.93, 1},
        {"an end past the record", 1.07, 500, 0.01f, frq, 1.07, 4.0, 1},
        {"a start past the record", 9, 2.93, 0.01f, frq, 0, 2.93, 1},
        {"an end before the start", 2.5, 1.5, 0.01f, frq, 0, 0, 1},
        {"an infinite end and a negative step", 1.07, HUGE_VAL, -1.0f, frq, 1.07, 4.0, 1},
        {"a step that is not a number", nan, HUGE_VAL, std::nanf(""), frq, 0, 4.0, 1},
        {"a step finer than the record (and too small for memory)", nan, HUGE_VAL, 1e-30f, frq, 0, 4.0, 2},
        {"a folder as the source", nan, HUGE_VAL, 0.01f, dir.path().string(), 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsStore writer;
        writer.project.AnalysisStep = c.step;
        writer.project.sourceFileName = c.source;
        writer.project.StartTime = c.start;
        writer.project.EndTime = c.end;
        writer.project.RestFreq = 8700.2f;
        writer.project.RestFreqAfter = 8701.2f;
        writer.project.calc.ChargeWeight = -HUGE_VAL;
        writer.project.calc.MotorPosition = 9;
        writer.project.SensorFileName = sns;
        writer.project.ActiveSensorId = 1;
        writer.WriteProjectFile(proj);

        Program b;
        const ProjectLoadResult r = b.session.LoadProject(proj);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.sourceOpened, c.source == frq);
        ASSERT_EQ(b.messages.size(), c.told);
        if (c.source == frq && c.told > 0) {
            EXPECT_EQ(b.messages.back().rfind("Время тяги в проекте " + proj + " исправлено: ", 0), 0u)
                << b.messages.back();
        }
        EXPECT_EQ(b.state.ChargeWeight, 0.0f);
        EXPECT_EQ(b.state.MotorPosition, MotorHorizontal);
        EXPECT_GT(b.state.AnalysisStep, 0.0);
        if (c.source != frq) {
            EXPECT_EQ(b.state.PointCount, 0u);
            continue;
        }
        EXPECT_NEAR(b.state.StartTime, c.wantStart == 0 ? 1.0 : c.wantStart, 0.05);
        EXPECT_NEAR(b.state.EndTime, c.wantEnd == 0 ? 3.0 : c.wantEnd, 0.05);
        EXPECT_GT(b.state.ThrustTime, 0.5f);
        EXPECT_GT(b.state.TotalImpulse, 30.0f);
    }
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
    }
    Program b;
    b.store.defaultSettingsFileName = rsr;
    const SettingsLoadResult r = b.session.LoadSettings("");
    EXPECT_EQ(r.status, StoreLoad::Loaded);
    EXPECT_TRUE(r.applied && r.newtonsEnabled);
    EXPECT_EQ(b.store.settingsFileName, rsr);
    EXPECT_EQ(b.state.AnalysisStep, 0.02);
    EXPECT_EQ(b.state.FilterWindow, 5);
    EXPECT_EQ(b.sensors.ActiveSensorId, 1);
    EXPECT_EQ(b.store.settings.mainPlacement, (TWindowPlacement{10, 20, 700, 500}));

    // A missing file changes nothing; a damaged one (moved aside by the store) leaves the settings in
    // memory, which are applied as they are.
    Program c;
    c.state.FilterWindow = 9;
    EXPECT_EQ(c.session.LoadSettings(dir.file("none.rsr")).status, StoreLoad::Missing);
    EXPECT_EQ(c.state.FilterWindow, 9);
    std::string bytes = readFile(rsr);
    bytes[100] ^= 1;
    writeFile(rsr, bytes);
    const SettingsLoadResult damaged = c.session.LoadSettings(rsr);
    EXPECT_EQ(damaged.status, StoreLoad::Damaged);
    EXPECT_TRUE(damaged.applied);
    EXPECT_EQ(c.state.FilterWindow, 7);
}

TEST_F(ProjectSessionTest, SettingsSaveTakesTheLoadedProjectFirst)
{
    Program b;
    ASSERT_TRUE(saveAndLoad(b, [](Program& a) { a.store.project.chart.gridColor = 0x00123456; }).ok);
    b.store.settings.chart.gridColor = 0; // changed in the settings after the load
    const std::string rsr = dir.file("s.rsr");
    ASSERT_TRUE(b.session.SaveSettings(rsr, {}));
    Program c;
    c.session.LoadSettings(rsr);
    EXPECT_EQ(c.store.settings.chart.gridColor, 0x00123456u);
}

} // namespace
} // namespace selva
