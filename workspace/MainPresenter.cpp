#include "workspace/MainPresenter.h"

#include "analysis/StandardFigures.h"
#include "common/Format.h"
#include "store/Records.h"
#include "workspace/Workspace.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace selva {

namespace {

std::string cut(std::string s, std::size_t n)
{
    // Cut by characters, not bytes: the texts are UTF-8 with Cyrillic letters.
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && chars++ == n)
            return s.substr(0, i);
    return s;
}

std::size_t nearestIndex(double t, double step)
{
    const double x = t / step;
    return x > 0 ? static_cast<std::size_t>(roundHalfEven(x)) : 0;
}

std::size_t truncIndex(double t, double step)
{
    const double x = t / step;
    if (!(x > 0))
        return 0;
    return x >= 9.0e18 ? static_cast<std::size_t>(-1) : static_cast<std::size_t>(x);
}

const Stages kForced = Stage::Prepare | Stage::DetectLevels | Stage::Compensate | Stage::Convert;
const Stages kNewStep = Stage::Prepare | Stage::DetectLevels | Stage::Convert;

} // namespace

std::string StageName(int stage)
{
    static const char* const names[] = {"Ничего", "Расчет частот", "Расчет тяги", "Определение начала/конца тяги",
                                        "Определние нулевой линии", "Расчет параметров двигателя"};
    return stage >= 0 && stage < 6 ? names[stage] : std::string();
}

std::vector<std::string> AnnotationResults(const ResultTexts& r)
{
    return {cut("Iсум = " + r.impSum + " Н·с", 30), cut("Iуд = " + r.impUd + " сек", 30),
            cut("Tтг = " + r.thrustTime + " сек", 30), cut("Fmax = " + r.thrustMax + " Н", 30),
            cut("Favg = " + r.middleThrust + " Н", 30)};
}

std::string MiddleLineText(double value, int roundDigits, char decimalSeparator)
{
    return formatGeneral(RoundToDigits(value, roundDigits), 6, decimalSeparator);
}

MainPresenter::MainPresenter(Workspace& workspace) : ws_(workspace)
{
    viewSpan_ = ws_.state.RecordDuration;
}

bool MainPresenter::run(Stages stages)
{
    const bool done = recalculate ? recalculate(stages) : ws_.analysis.Recalculate(stages);
    if (done && stages.has(Stage::Prepare))
        builtStep_ = ws_.state.AnalysisStep;
    return done;
}

// ------------------------------------------------------------------------------------------ opening

ShowSet MainPresenter::OpenSource(const std::string& name)
{
    const std::string project = changeFileExt(name, ".proj");
    std::error_code ec;
    if (fileExtUpper(name) != ".PROJ" && std::filesystem::is_regular_file(project, ec)) {
        bool ok = false, damaged = false;
        const ShowSet shown = LoadProject(project, ok, &damaged);
        // A project that was read (whether or not its source could be found) is what the user gets; a
        // damaged one gives way to the source itself.
        if (ok || !damaged)
            return shown;
        return shown | OpenSourceOnly(name, true);
    }
    return OpenSourceOnly(name, true);
}

ShowSet MainPresenter::OpenSourceOnly(const std::string& name, bool reset)
{
    if (fileExtUpper(name) == ".PROJ") {
        bool ok = false;
        return LoadProject(name, ok);
    }
    const SourceOpening opening = ws_.OpenSource(name, reset);
    if (!opening.accepted) {
        ws_.prompts().tell(opening.error);
        return Show::Channel | Show::Source; // the previous source stays, its channel choice with it
    }
    AnalysisState& s = ws_.state;
    sourceLabel = name;
    description = opening.description;
    caption = ws_.session.SourceOpened(name);
    viewSpan_ = s.ViewTo;
    if (!run(Stages::All)) {
        // Cancelled while the new source was measured: the series still belong to the source it replaced,
        // and must not be shown under this one's name. It stays open, unmeasured; "Пересчитать" measures it.
        s.PointCount = 0;
        for (auto* series : {&s.FreqData, &s.FreqError, &s.ThrustData, &s.ThrustError, &s.ThrustNet})
            series->clear();
        ws_.analysis.ComputeResults();
    }
    sourceOpened = true;
    invert = InvertForUnits();
    return ShowSet::Everything;
}

ShowSet MainPresenter::LoadProject(const std::string& name, bool& ok, bool* damaged)
{
    const ProjectLoadResult r = ws_.session.LoadProject(name);
    ok = r.ok;
    if (damaged)
        *damaged = r.damaged;
    return applyProjectLoad(r);
}

ShowSet MainPresenter::applyProjectLoad(const ProjectLoadResult& r)
{
    if (!r.applied)
        return {};
    loadedView_ = r.view;
    projectApplied_ = true;
    caption = r.caption;
    newtonsEnabled = r.view.newtonsEnabled;
    newtons = r.view.showNewtons && newtonsEnabled;
    showDelta = r.view.showDelta;
    flags.start = r.view.startByHand;
    flags.end = r.view.endByHand;
    flags.rest = r.view.restByHand;
    if (!r.sourceOpened) {
        // The source could not be found or read (the messages said which): the project's settings are in
        // force, the source is cleared.
        const ShowSet shown = showNoSource();
        MarkSaved(r.view);
        return shown;
    }
    sourceLabel = ws_.store.project.sourceFileName;
    description = r.sourceDescription;
    viewSpan_ = ws_.state.ViewTo;
    builtStep_ = ws_.state.AnalysisStep;
    sourceOpened = true;
    invert = r.view.invert;
    MarkSaved(r.view);
    return ShowSet::Everything;
}

ShowSet MainPresenter::showNoSource()
{
    ws_.ClearSource();
    sourceOpened = false;
    sourceLabel.clear();
    description.clear();
    return ShowSet::Everything;
}

bool MainPresenter::SaveProject(const std::string& name, const MainWindowView& windowPart)
{
    // "test" is saved as "test.proj": a project under another name would later be taken for a recording.
    const std::string fileName = fileExtUpper(name).empty() ? name + ".proj" : name;
    MainWindowView v = windowPart;
    v.invert = invert;
    v.showNewtons = newtons;
    v.newtonsEnabled = newtonsEnabled;
    v.showDelta = showDelta;
    v.startByHand = flags.start;
    v.endByHand = flags.end;
    v.restByHand = flags.rest;
    try {
        caption = ws_.session.SaveProject(fileName, v);
    } catch (const std::exception& e) {
        ws_.prompts().tell(e.what());
        return false;
    }
    MarkSaved(windowPart);
    return true;
}

ShowSet MainPresenter::NewProject()
{
    AnalysisState& s = ws_.state;
    s.StartTime = s.EndTime = 0;
    s.RestFreq = s.RestFreqAfter = s.RestThrust = s.RestThrustAfter = 0;
    s.ZeroOffset = 0;
    s.LeftChannelEnabled = true;
    s.UseLeftChannel = false;
    // Both records at their defaults, no notes, no project name; the program's own settings stay.
    SettingsStore& store = ws_.store;
    const TSettingsRecord settings = store.settings;
    const std::string settingsFile = store.settingsFileName;
    const bool projectLoaded = store.projectLoaded;
    store.Initialise();
    store.settings = settings;
    store.settingsFileName = settingsFile;
    store.projectLoaded = projectLoaded;
    store.CopySettingsToProject();
    caption = "Расчет параметров тяги по данным частотного датчика";
    flags = {};
    return showNoSource();
}

// What a save would write, less what is not the analysis: the window's placement and the axes the user
// zoomed (kept in the file, but a zoom is not a change worth a question).
std::string MainPresenter::snapshot(const MainWindowView& windowPart) const
{
    MainWindowView v = windowPart;
    v.invert = invert;
    v.showNewtons = newtons;
    v.newtonsEnabled = newtonsEnabled;
    v.showDelta = showDelta;
    v.startByHand = flags.start;
    v.endByHand = flags.end;
    v.restByHand = flags.rest;
    v.thrustAxis = v.timeAxis = {};
    v.placement = {};
    const ProjectBytes bytes = encodeProjectRecord(ws_.session.CaptureProject(v));
    std::string out(bytes.begin(), bytes.end());
    for (const std::string& line : ws_.store.notes)
        out += line + '\n';
    return out;
}

bool MainPresenter::Modified(const MainWindowView& windowPart) const
{
    return (sourceOpened || !ws_.store.notes.empty()) && snapshot(windowPart) != saved_;
}

void MainPresenter::MarkSaved(const MainWindowView& windowPart)
{
    saved_ = snapshot(windowPart);
}

// ------------------------------------------------------------------------------------------ handlers

ShowSet MainPresenter::RecalculateAll()
{
    run(Stages::All);
    return Show::Results | Show::Chart;
}

ShowSet MainPresenter::ForcedRecalculation()
{
    run(kForced);
    return Show::Results | Show::Chart;
}

ShowSet MainPresenter::ChannelChosen(bool left)
{
    AnalysisState& s = ws_.state;
    const bool previous = s.UseLeftChannel;
    s.UseLeftChannel = left && s.LeftChannelEnabled;
    if (!run(Stages::All))
        s.UseLeftChannel = previous; // cancelled: the series are still those of the other channel
    return Show::Channel | Show::Results | Show::Chart;
}

ShowSet MainPresenter::FilterSwitched(bool on)
{
    ws_.state.FilterOn = on;
    return RecalculateAll() | Show::Filter;
}

StepCheck MainPresenter::CheckStep(double candidate) const
{
    return CheckAnalysisStep(candidate, ws_.state.MinStep, ws_.state.RecordDuration);
}

// Leaving the field commits it every time; the series are rebuilt only when the step really changed, so
// that tabbing through does not re-detect (and lose) rest lines set by hand.
ShowSet MainPresenter::StepCommitted()
{
    AnalysisState& s = ws_.state;
    if (s.AnalysisStep == builtStep_)
        return {};
    const double previous = builtStep_;
    if (!run(kNewStep) && previous > 0)
        s.AnalysisStep = previous; // cancelled: the series still have the old step, and so must the field
    return Show::StepEdit | Show::Results | Show::Chart;
}

ShowSet MainPresenter::afterTimeEdit(bool start)
{
    AnalysisState& s = ws_.state;
    ShowSet shown = Show::TimeEdits | Show::Results | (start ? Show::StartMarker : Show::EndMarker);
    const bool vertical = s.MotorPosition != MotorHorizontal;
    if (vertical && s.RigWeight + s.ChargeWeight != 0)
        ws_.analysis.ConvertToThrust(false);
    if (vertical && newtons)
        shown |= Show::Chart;
    return shown;
}

// A start before the record is 0 (not set); an end past it is the record's end. A time that is not a
// number is not set.
ShowSet MainPresenter::StartCommitted()
{
    double& t = ws_.state.StartTime;
    if (!(t >= 0))
        t = 0;
    return afterTimeEdit(true);
}

ShowSet MainPresenter::EndCommitted()
{
    AnalysisState& s = ws_.state;
    if (std::isnan(s.EndTime) || s.EndTime < 0)
        s.EndTime = 0;
    if (s.EndTime > s.RecordDuration)
        s.EndTime = s.RecordDuration;
    return afterTimeEdit(false);
}

ShowSet MainPresenter::RestCommitted()
{
    if (newtons)
        return {};
    ws_.analysis.CompensateZero();
    ws_.analysis.ConvertToThrust(false);
    return Show::OffsetEdit | Show::Results | Show::RestLine;
}

ShowSet MainPresenter::ZeroCompensationChanged(bool on)
{
    ws_.state.ZeroCompensation = on;
    ws_.analysis.ConvertToThrust(true);
    return Show::Results | Show::Chart | Show::RestLine;
}

ShowSet MainPresenter::afterSensorChange()
{
    ShowSet shown = Show::Sensors | Show::OffsetEdit | Show::Results | Show::RestLine;
    newtonsEnabled = ws_.sensors.ActiveSensorIndex != 0;
    if (!newtonsEnabled && newtons)
        shown |= UnitsChanged(false);
    ws_.analysis.CompensateZero();
    ws_.analysis.ConvertToThrust(true);
    if (newtons) {
        invert = !ws_.state.ThrustRising;
        shown |= Show::Units | Show::Chart;
    }
    return shown;
}

ShowSet MainPresenter::SensorChosen(int index)
{
    ws_.sensors.SelectActiveSensor(index); // when it fails, the list shows the active sensor again
    return afterSensorChange();
}

ShowSet MainPresenter::SensorsEdited()
{
    return afterSensorChange();
}

ShowSet MainPresenter::CalcSettingsClosed(bool accepted)
{
    ShowSet shown = Show::Results | Show::Chart | Show::Flags;
    if (accepted) {
        ws_.analysis.CompensateZero();
        ws_.analysis.ConvertToThrust(true);
        shown |= Show::OffsetEdit;
    }
    return shown;
}

ShowSet MainPresenter::UnitsChanged(bool inNewtons)
{
    newtons = inNewtons && newtonsEnabled;
    invert = InvertForUnits();
    return Show::Units | Show::Flags | Show::Results | Show::Chart;
}

ShowSet MainPresenter::DeltaChanged(bool shown)
{
    showDelta = shown;
    return Show::Results | Show::Chart;
}

ShowSet MainPresenter::MarkerToggled(Marker which)
{
    switch (which) {
    case Marker::Start:
        flags.start = !flags.start;
        return Show::Flags | Show::StartMarker;
    case Marker::End:
        flags.end = !flags.end;
        return Show::Flags | Show::EndMarker;
    case Marker::Rest:
        flags.rest = !flags.rest;
        return Show::Flags | Show::RestLine;
    case Marker::RestAfter:
        flags.restAfter = !flags.restAfter;
        return Show::Flags | Show::RestLine;
    case Marker::Middle:
        flags.middle = !flags.middle;
        return Show::Flags | Show::MiddleLine;
    }
    return {};
}

// ------------------------------------------------------------------------------------------ shown

const std::vector<double>& MainPresenter::shownValues() const
{
    const AnalysisState& a = ws_.state;
    if (!newtons)
        return a.FreqData;
    return a.NetThrust ? a.ThrustNet : a.ThrustData;
}

ShownSeries MainPresenter::BuildShownSeries() const
{
    const AnalysisState& a = ws_.state;
    ShownSeries s;
    s.step = a.AnalysisStep;
    const std::vector<double>& v = shownValues();
    const std::size_t n = std::min<std::size_t>(a.PointCount, v.size());
    if (n == 0 || !(a.AnalysisStep > 0))
        return s;
    const std::size_t first = nearestIndex(a.ViewFrom, a.AnalysisStep);
    const std::size_t last = std::min(truncIndex(viewSpan_, a.AnalysisStep), n - 1);
    if (first > last)
        return s;
    s.first = first;
    s.values.assign(v.begin() + static_cast<std::ptrdiff_t>(first), v.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    const std::vector<double>& e = newtons ? a.ThrustError : a.FreqError;
    if (showDelta && e.size() > last) {
        s.up.resize(s.values.size());
        s.down.resize(s.values.size());
        for (std::size_t k = 0; k < s.values.size(); ++k) {
            s.up[k] = s.values[k] + e[first + k];
            s.down[k] = s.values[k] - e[first + k];
        }
    }
    return s;
}

double MainPresenter::MiddleLineValue() const
{
    const AnalysisState& a = ws_.state;
    if (!newtons)
        return a.MeanFreq;
    return a.NetThrust ? a.MeanThrustNet : a.MeanThrust;
}

// The value axis is inverted when the shown quantity falls during the firing.
bool MainPresenter::InvertForUnits() const
{
    return newtons ? !ws_.state.ThrustRising : !ws_.state.DetectRising;
}

// In newtons with the net thrust, the level after the firing is the "after" thrust moved by the same
// weight correction as the level before it (RestThrust - RestThrustNet); no computation produces it, and
// without it the hysteresis rest line of the net series would drop to 0 after the end of thrust.
RestPair MainPresenter::RestLevels()
{
    AnalysisState& a = ws_.state;
    if (!newtons)
        return {&a.RestFreq, &a.RestFreqAfter};
    if (a.NetThrust) {
        restNetAfter_ = a.RestThrustAfter - (a.RestThrust - a.RestThrustNet);
        return {&a.RestThrustNet, &restNetAfter_};
    }
    return {&a.RestThrust, &a.RestThrustAfter};
}

ChartLine MainPresenter::StartMarker(double lowest, double highest) const
{
    const AnalysisState& a = ws_.state;
    if (shownValues().empty() || a.PointCount == 0 || !(a.StartTime > 0) || a.ViewFrom > a.StartTime ||
        a.StartTime > a.ViewTo)
        return {};
    return {{a.StartTime, lowest}, {a.StartTime, highest}};
}

ChartLine MainPresenter::EndMarker(double lowest, double highest) const
{
    const AnalysisState& a = ws_.state;
    if (shownValues().empty() || a.PointCount == 0 || !(a.EndTime > 0) || !(a.EndTime > a.StartTime) ||
        a.ViewFrom > a.EndTime || a.EndTime > a.ViewTo)
        return {};
    return {{a.EndTime, lowest}, {a.EndTime, highest}};
}

ChartLine MainPresenter::RestLine(double firstTime, double lastTime)
{
    const AnalysisState& a = ws_.state;
    const RestPair pair = RestLevels();
    if (shownValues().empty() || a.PointCount == 0)
        return {};
    // The levels are drawn at single precision, as they are kept in projects.
    const double b = static_cast<float>(*pair.before);
    const double f = static_cast<float>(*pair.after);
    if (a.Hysteresis && flags.restAfter && a.StartTime > 0 && a.EndTime > 0 && a.EndTime > a.StartTime)
        return {{firstTime, b}, {a.StartTime, b}, {a.EndTime, f}, {lastTime, f}};
    return {{firstTime, b}, {lastTime, b}};
}

ChartLine MainPresenter::MiddleLine() const
{
    const AnalysisState& a = ws_.state;
    const double value = MiddleLineValue();
    if (!flags.middle || value == 0 || a.PointCount == 0)
        return {};
    return {{a.StartTime, value}, {a.EndTime, value}};
}

std::vector<std::pair<std::string, std::string>> MainPresenter::StandardFigureTexts(char sep) const
{
    return StandardFiguresLines(ComputeStandardFigures(ws_.state, ws_.sensors.ActiveSensorIndex != 0), sep);
}

ResultTexts MainPresenter::ShowResults(char sep)
{
    ws_.analysis.ComputeResults();
    return Results(sep);
}

ResultTexts MainPresenter::Results(char sep) const
{
    const AnalysisState& a = ws_.state;
    const auto withError = [&](float value, float error) {
        std::string s = formatGeneral(value, 5, sep);
        if (showDelta)
            s += "+/-" + formatFixed(error, 1, 0, sep);
        return s;
    };
    ResultTexts r;
    r.impSum = withError(a.TotalImpulse, a.TotalImpulseError);
    r.impUd = withError(a.SpecificImpulse, a.SpecificImpulseError);
    r.thrustMax = withError(a.MaxThrust, a.MaxThrustError);
    r.thrustTime = formatGeneral(a.ThrustTime, 5, sep);
    r.weight = formatGeneral(a.ChargeWeight, 5, sep);
    r.middleThrust = formatGeneral(a.AverageThrust, 5, sep);
    return r;
}

} // namespace selva
