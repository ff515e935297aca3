// The analysis window's rules, without the window: what each handler recomputes, clamps and rolls back,
// what the window shows, opening sources and projects, and unsaved changes.
#include "workspace/MainPresenter.h"

#include "support/TestSupport.h"
#include "support/TestWorkspace.h"
#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

using namespace selva;
using selva::test::TempDir;
using selva::test::writeFile;

namespace {

// A firing seen by sensor 1 below (8700 Hz at rest, 8460 Hz at 80 N): 1 s at rest, 2 s at 80 N, 2 s at
// rest; 500 readings at 0.01 s.
std::string firingRecord()
{
    std::string text = "FREQ\r\ntest\r\n500\r\n0.01\r\n---------------\r\nSTART\r\n";
    for (int i = 0; i < 500; ++i)
        text += (i >= 100 && i < 300 ? "8460.000" : "8700.000") + std::string("\r\n");
    return text;
}

struct Window {
    selva::test::TestWorkspace ws;
    MainPresenter p{ws};
    std::vector<std::string>& messages = ws.messages;
    TempDir dir;
    std::string frq = dir.file("firing.frq");

    Window()
    {
        writeFile(frq, firingRecord());
        ws.sensors.EnsureDefaultPoints(ws.sensors.AddSensor(1, "Stand"));
    }
    void open(const std::string& name = {}) { p.OpenSource(name.empty() ? frq : name); }
    void chooseSensor1() { p.SensorChosen(1); }
};

} // namespace

TEST(MainPresenter, OpeningARecordComputesEverything)
{
    Window w;
    const ShowSet shown = w.p.OpenSource(w.frq);
    EXPECT_EQ(shown, ShowSet::Everything);
    EXPECT_TRUE(w.messages.empty());
    EXPECT_TRUE(w.p.sourceOpened);
    EXPECT_EQ(w.p.sourceLabel, w.frq);
    EXPECT_EQ(w.p.description, "FREQ  Mono 100 Hz 500 records 5.00 Sec");
    EXPECT_EQ(w.ws.state.PointCount, 500u);
    EXPECT_NEAR(w.ws.state.StartTime, 1.0, 0.02);
    EXPECT_NEAR(w.ws.state.EndTime, 3.0, 0.02);
    EXPECT_TRUE(w.p.invert); // the frequency falls during the firing
    // The default sensor gives no thrust; sensor 1 about 80 N for 2 s.
    EXPECT_EQ(w.p.ShowResults('.').impSum, "0");
    w.chooseSensor1();
    EXPECT_TRUE(w.p.newtonsEnabled);
    EXPECT_NEAR(std::stod(w.p.ShowResults('.').impSum), 160, 4);
    EXPECT_EQ(w.p.Results(',').thrustMax, "80");
}

// A project beside the source opens instead of it; a damaged one gives way to the source. (A refused
// source is the workspace's, and the window's end to end.)
TEST(MainPresenter, CompanionProjects)
{
    Window w;
    w.open();
    w.p.flags.start = true;
    w.ws.state.StartTime = 1.25;
    ASSERT_TRUE(w.p.SaveProject(w.dir.file("firing"), {})); // ".proj" added
    w.ws.state.StartTime = 2.5;
    w.p.OpenSource(w.frq);
    EXPECT_EQ(w.ws.state.StartTime, 1.25);
    EXPECT_TRUE(w.p.flags.start);
    EXPECT_TRUE(w.p.takeProjectApplied());

    // A damaged one is said to be damaged and the source itself opens.
    writeFile(w.dir.file("firing.proj"), "SELVARONDINE PROJECT v.1.50 damaged");
    w.messages.clear();
    w.p.OpenSource(w.frq);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_NE(w.messages[0].find("поврежден"), std::string::npos);
    EXPECT_EQ(w.p.sourceLabel, w.frq);
    EXPECT_NEAR(w.ws.state.StartTime, 1.0, 0.02);
}

// A project keeps its source and library as absolute paths, so that a source named relative to the
// working folder is found again from anywhere; a path too long for the record refuses the save.
TEST(MainPresenter, ProjectsStoreAbsolutePaths)
{
    Window w;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(w.dir.path());
    w.open("firing.frq");
    std::filesystem::create_directory(w.dir.file("projects"));
    ASSERT_TRUE(w.p.SaveProject(w.dir.file("projects/run"), {}));
    std::filesystem::current_path("/");
    Window other;
    bool ok = false;
    other.p.LoadProject(w.dir.file("projects/run.proj"), ok);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(other.messages.empty());
    EXPECT_EQ(other.ws.store.project.sourceFileName, w.frq);
    EXPECT_EQ(other.ws.state.PointCount, 500u);

    const std::string deep = w.dir.file(std::string(200, 'd'));
    std::filesystem::create_directory(deep);
    writeFile(deep + "/" + std::string(60, 'f') + ".frq", firingRecord());
    w.open(deep + "/" + std::string(60, 'f') + ".frq");
    const auto before = w.ws.store.project;
    EXPECT_FALSE(w.p.SaveProject(w.dir.file("long.proj"), {}));
    ASSERT_FALSE(w.messages.empty());
    EXPECT_NE(w.messages.back().find("длиннее 255 символов"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(w.dir.file("long.proj")));
    EXPECT_EQ(w.ws.store.project, before);
}

TEST(MainPresenter, ProjectWithAMissingSourceLeavesNoSource)
{
    Window w;
    writeFile(w.dir.file("gone.frq"), firingRecord());
    w.open(w.dir.file("gone.frq"));
    ASSERT_TRUE(w.p.SaveProject(w.dir.file("gone.proj"), {}));
    std::filesystem::remove(w.dir.file("gone.frq"));
    w.open();
    bool ok = false;
    EXPECT_EQ(w.p.LoadProject(w.dir.file("gone.proj"), ok), ShowSet::Everything);
    EXPECT_TRUE(ok);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0], "Не найден источник данных проекта: " + w.dir.file("gone.frq"));
    EXPECT_FALSE(w.p.sourceOpened);
    EXPECT_EQ(w.p.sourceLabel, "");
    EXPECT_EQ(w.ws.state.PointCount, 0u);
    EXPECT_TRUE(w.p.StartMarker(0, 1).empty());
    EXPECT_TRUE(w.p.RestLine(0, 1).empty());
    EXPECT_EQ(w.p.ShowResults('.').impSum, "0");
}

// The step of "Точность" goes by the step rule with the record's limits (refused below the record's
// step, capped at a tenth of the record); a commit rebuilds the series only when the step changed, and a
// cancelled rebuild puts the old step back, as a cancelled change of channel does.
TEST(MainPresenter, StepAndChannelRules)
{
    Window w;
    w.open();
    EXPECT_FALSE(w.p.CheckStep(0.001).accepted);
    EXPECT_EQ(w.p.CheckStep(0.001).reason, "Шаг меньше допустимого (0.01 сек)");
    EXPECT_EQ(w.p.CheckStep(3).value, 0.5);
    int runs = 0;
    bool cancel = false;
    w.p.recalculate = [&](Stages s) {
        ++runs;
        return cancel ? false : w.ws.analysis.Recalculate(s);
    };
    EXPECT_TRUE(w.p.StepCommitted().empty()); // the same step: nothing runs
    EXPECT_EQ(runs, 0);
    w.ws.state.AnalysisStep = 0.02;
    EXPECT_TRUE(w.p.StepCommitted().has(Show::Chart));
    EXPECT_EQ(w.ws.state.PointCount, 249u); // 500 x 0.01f / 0.02, truncated
    cancel = true;
    w.ws.state.AnalysisStep = 0.05;
    EXPECT_TRUE(w.p.StepCommitted().has(Show::StepEdit));
    EXPECT_EQ(w.ws.state.AnalysisStep, 0.02);
    EXPECT_EQ(runs, 2);

    Window stereo;
    stereo.ws.state.LeftChannelEnabled = true;
    stereo.p.recalculate = [](Stages) { return false; };
    EXPECT_TRUE(stereo.p.ChannelChosen(true).has(Show::Channel));
    EXPECT_FALSE(stereo.ws.state.UseLeftChannel);
    stereo.p.recalculate = [](Stages) { return true; };
    stereo.p.ChannelChosen(true);
    EXPECT_TRUE(stereo.ws.state.UseLeftChannel);
}

// Start and end edits are clamped to the record; the marker lines show whenever there is a series.
TEST(MainPresenter, TimeEditsAndMarkers)
{
    Window w;
    w.open();
    EXPECT_EQ(w.p.StartMarker(8460, 8700), (ChartLine{{w.ws.state.StartTime, 8460}, {w.ws.state.StartTime, 8700}}));
    EXPECT_EQ(w.p.EndMarker(8460, 8700).size(), 2u);
    EXPECT_EQ(w.p.RestLine(0, 4.99), (ChartLine{{0, 8700}, {4.99, 8700}}));
    EXPECT_TRUE(w.p.MiddleLine().empty()); // only while "Средняя тяга" is pressed
    w.p.MarkerToggled(Marker::Middle);
    EXPECT_EQ(w.p.MiddleLine().size(), 2u);
    struct Case {
        bool start;
        double typed;
        double stored;
    };
    const Case cases[] = {{true, -2, 0},           {true, std::nan(""), 0}, {true, 1.5, 1.5},
                          {false, 99, 5},          {false, HUGE_VAL, 5},    {false, -1, 0},
                          {false, std::nan(""), 0},
                          {false, 4.5, 4.5}};
    for (const Case& c : cases) {
        double& t = c.start ? w.ws.state.StartTime : w.ws.state.EndTime;
        t = c.typed;
        const ShowSet shown = c.start ? w.p.StartCommitted() : w.p.EndCommitted();
        EXPECT_EQ(t, c.stored) << c.typed;
        EXPECT_TRUE(shown.has(Show::TimeEdits) && shown.has(Show::Results));
    }
    w.ws.state.StartTime = 0; // not set: no start line
    EXPECT_TRUE(w.p.StartMarker(0, 1).empty());
    w.ws.state.StartTime = 4;
    w.ws.state.EndTime = 2; // an end before the start: no end line
    EXPECT_TRUE(w.p.EndMarker(0, 1).empty());
}

// Units, sensors and the rest line: newtons need a calibrated sensor; the rest line is edited in hertz
// only; the net level after the firing moves with the one before it.
TEST(MainPresenter, UnitsSensorsAndRestLine)
{
    Window w;
    w.open();
    w.p.UnitsChanged(true);
    EXPECT_FALSE(w.p.newtons); // the default sensor cannot give newtons
    w.chooseSensor1();
    w.p.MarkerToggled(Marker::Rest);
    EXPECT_TRUE(w.p.RestEditable());
    const ShowSet shown = w.p.UnitsChanged(true);
    EXPECT_TRUE(shown.has(Show::Units) && shown.has(Show::Chart));
    EXPECT_TRUE(w.p.newtons);
    EXPECT_FALSE(w.p.invert); // thrust rises
    EXPECT_FALSE(w.p.RestEditable());
    EXPECT_TRUE(w.p.RestCommitted().empty());
    EXPECT_NEAR(*std::max_element(w.p.shownValues().begin(), w.p.shownValues().end()), 80, 1e-6);
    w.ws.state.RestThrust = 2;
    w.ws.state.RestThrustNet = 1.5;
    w.ws.state.RestThrustAfter = 3;
    const RestPair pair = w.p.RestLevels();
    EXPECT_EQ(*pair.before, 1.5);
    EXPECT_EQ(*pair.after, 2.5);
    w.p.SensorChosen(0); // back to the default sensor: newtons off
    EXPECT_FALSE(w.p.newtons || w.p.newtonsEnabled);
    EXPECT_TRUE(w.p.invert);
}

// "±" (cbxDelta) adds the errors to the results and the error band to the series shown.
TEST(MainPresenter, ResultTextsErrorsAndChartLines)
{
    Window w;
    w.open();
    w.chooseSensor1();
    w.ws.state.TotalImpulseError = 1.25f;
    ResultTexts r = w.p.Results(',');
    EXPECT_EQ(r.impSum.find("+/-"), std::string::npos);
    ShownSeries s = w.p.BuildShownSeries();
    EXPECT_EQ(s.first, 0u);
    EXPECT_EQ(s.values.size(), 500u);
    EXPECT_TRUE(s.up.empty());
    w.p.DeltaChanged(true);
    r = w.p.Results(',');
    EXPECT_NE(r.impSum.find("+/-1,2"), std::string::npos); // fixed, one decimal, the user's separator
    EXPECT_EQ(r.thrustTime.find("+/-"), std::string::npos);
    s = w.p.BuildShownSeries();
    ASSERT_EQ(s.up.size(), 500u);
    EXPECT_EQ(s.up[0], s.values[0] + w.ws.state.FreqError[0]);

    r.impSum = "123456789012345678901234567890";
    const std::vector<std::string> lines = AnnotationResults(r);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Iсум = 12345678901234567890123"); // 30 characters, Cyrillic counted as one
    EXPECT_EQ(lines[1].substr(0, 8), "Iуд = ");             // "у" and "д" take two bytes each
    EXPECT_EQ(MiddleLineText(8558.0789, 2, ','), "8558,08");
}

// Unsaved changes: nothing to ask after opening or saving; an edit or a note is a change; a zoom is not.
TEST(MainPresenter, ModifiedNewProjectAndFilterInProjects)
{
    Window w;
    MainWindowView view;
    EXPECT_FALSE(w.p.Modified(view));
    w.open();
    w.p.MarkSaved(view);
    EXPECT_FALSE(w.p.Modified(view));
    view.timeAxis = {false, 3, 1};
    EXPECT_FALSE(w.p.Modified(view));
    w.ws.state.StartTime = 1.5;
    EXPECT_TRUE(w.p.Modified(view));
    w.ws.state.StartTime = w.ws.state.StartTime; // as saved below
    w.p.FilterSwitched(true);
    ASSERT_TRUE(w.p.SaveProject(w.dir.file("f.proj"), view));
    EXPECT_FALSE(w.p.Modified(view));
    w.ws.store.notes = {"заметка"};
    EXPECT_TRUE(w.p.Modified(view));

    // The filter state comes back with the project, so its results do too.
    const float impulse = w.ws.state.TotalImpulse;
    w.p.FilterSwitched(false);
    bool ok = false;
    w.p.LoadProject(w.dir.file("f.proj"), ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(w.ws.state.FilterOn);
    EXPECT_EQ(w.ws.state.TotalImpulse, impulse);

    const ShowSet shown = w.p.NewProject();
    EXPECT_EQ(shown, ShowSet::Everything);
    EXPECT_FALSE(w.p.sourceOpened);
    EXPECT_EQ(w.ws.state.PointCount, 0u);
    EXPECT_TRUE(w.ws.store.notes.empty());
    EXPECT_TRUE(w.ws.store.projectFileName.empty());
    EXPECT_EQ(w.ws.sensors.SensorCount(), 2); // the library stays
}
