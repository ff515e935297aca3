#include "store/ProjectSession.h"

#include "analysis/AnalysisState.h"
#include "analysis/ThrustAnalysis.h"
#include "sensors/SensorLibrary.h"
#include "common/Cp1251.h"
#include "common/Error.h"

#include <charconv>
#include <cmath>
#include <exception>
#include <filesystem>
#include <system_error>

namespace selva {

float narrowToSingle(double v)
{
    return static_cast<float>(v);
}

namespace {

bool fileExists(const std::string& name)
{
    std::error_code ec;
    return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

// A project names its source and sensor library by absolute paths (older projects and projects written
// by hand may hold relative ones, which mean "beside the project"). When a name leads nowhere from here,
// the file is sought beside the project: under the same relative path, then by its bare file name (a
// name saved on another machine, with either kind of folder separator). So a project copied together
// with its data to another folder or machine still opens. Returns the name as stored when nothing is
// found.
std::string besideProject(const std::string& name, const std::string& projectFile)
{
    if (name.empty())
        return name;
    const std::filesystem::path dir = std::filesystem::path(projectFile).parent_path();
    const std::filesystem::path path(name);
    if (path.is_absolute()) {
        if (fileExists(name))
            return name;
    } else if (fileExists((dir / path).string())) {
        return (dir / path).string();
    }
    const auto cut = name.find_last_of("/\\");
    const std::string bare = cut == std::string::npos ? name : name.substr(cut + 1);
    if (!bare.empty() && fileExists((dir / bare).string()))
        return (dir / bare).string();
    return name;
}

// The name a project stores for a file: its absolute path, so that the project opens from wherever it
// is saved. Throws selva::Error when the path does not fit the record's 255-byte field (cutting it would
// store the name of another file, or of none).
std::string storedPath(const std::string& name, const char* what)
{
    // A name that leads to no file (the default library never saved) stays as it is.
    if (!fileExists(name))
        return name;
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(name, ec);
    const std::string absolute = ec ? name : path.lexically_normal().string();
    if (utf8ToCp1251(absolute).size() > 255)
        throw Error(std::string("Путь ") + what + " длиннее 255 символов и не помещается в проект: " + absolute);
    return absolute;
}

// Values read from a file that the computation cannot use are replaced: a time, level or weight that is
// not a number becomes 0 (not set), and a step that is not a positive number the default step.
double finiteOr0(double v)
{
    return std::isfinite(v) ? v : 0.0;
}

double usableStep(double step)
{
    return std::isfinite(step) && step > 0 ? step : 0.01;
}

} // namespace

ProjectSession::ProjectSession(SettingsStore& store, AnalysisState& state, SensorLibrary& sensors,
                               ThrustAnalysis& analysis)
    : store_(store), state_(state), sensors_(sensors), analysis_(analysis)
{
}

void ProjectSession::connectAnalysis()
{
    analysis_.ProjectNotes = &store_.notes;
    analysis_.OpenProject = [this](const std::string& fileName) { return LoadProjectFromSource(fileName); };
}

bool ProjectSession::runRecalculate(bool prepare, bool detectTimes, bool detectLevels, bool compensate,
                                    bool convert)
{
    if (recalculate)
        return recalculate(prepare, detectTimes, detectLevels, compensate, convert);
    return analysis_.Recalculate(prepare, detectTimes, detectLevels, compensate, convert);
}

// ------------------------------------------------------------------------------------------ projects

ProjectLoadResult ProjectSession::LoadProject(const std::string& fileName)
{
    return load(fileName, true);
}

bool ProjectSession::LoadProjectFromSource(const std::string& fileName)
{
    return load(fileName, false).ok;
}

ProjectLoadResult ProjectSession::load(const std::string& fileName, bool reportDamage)
{
    // A project whose source names a project (itself, or one naming it back) would open projects
    // without end; the inner one is refused like any source that cannot be opened.
    if (loading_)
        return {};
    switch (store_.ReadProjectFile(fileName)) {
    case StoreLoad::Missing:
        return {};
    case StoreLoad::Damaged: {
        // Nothing was taken from the file, so nothing changes: applying the previous project again under
        // the new file's name would make the next save overwrite the damaged file with another project.
        if (reportDamage)
            prompts.tell("Ошибка открытия файла " + fileName + ": файл проекта поврежден");
        ProjectLoadResult damaged;
        damaged.damaged = true;
        return damaged;
    }
    case StoreLoad::Loaded:
        break;
    }

    loading_ = true;
    loadingFile_ = fileName;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{loading_};

    ProjectLoadResult result = applyProject();
    result.caption = store_.SetCaption(fileName);
    store_.projectLoaded = true;
    result.ok = true;
    result.applied = true;
    last_ = result;
    if (onProjectLoaded)
        onProjectLoaded(last_);
    return result;
}

void ProjectSession::applyCalcSettings(const TProjectRecord& p)
{
    const TCalcSettings& c = p.calc;
    state_.ChargeWeight = static_cast<float>(finiteOr0(c.ChargeWeight));
    state_.IncludeChargeWeight = c.IncludeChargeWeight;
    state_.RigWeight = static_cast<float>(finiteOr0(c.RigWeight));
    state_.IncludeRigWeight = c.IncludeRigWeight;
    state_.RigidMount = c.RigidMount;
    // A position the program does not know is taken as horizontal.
    state_.MotorPosition =
        c.MotorPosition <= MotorNozzleDown ? c.MotorPosition : static_cast<std::uint8_t>(MotorHorizontal);
    state_.Hysteresis = c.Hysteresis;
    state_.NetThrust = c.NetThrust;
}

std::string ProjectSession::activeSensorName() const
{
    const auto i = static_cast<std::size_t>(sensors_.ActiveSensorIndex);
    return i < sensors_.sensors.size() ? sensors_.sensors[i].name : std::string();
}

bool ProjectSession::selectStoredSensor(const std::string& sensorFile, std::int32_t sensorId, bool report)
{
    // Only a project that converts through a calibrated sensor needs its library; one computed with the
    // default sensor (number 0) names a library it never used.
    report = report && sensorId != 0;
    bool found = true;
    if (fileExists(sensorFile)) {
        sensors_.LoadSensorFile(sensorFile, true, prompts);
    } else if (!sensorFile.empty() && report) {
        prompts.tell("Не найдена библиотека датчиков " + sensorFile + "; используется " +
                     (sensors_.SensorFileName.empty() ? std::string("текущая") : sensors_.SensorFileName));
        found = false;
    }
    // No sensor with the stored number: the current one stays active.
    bool known = false;
    for (const TSensor& s : sensors_.sensors) {
        if (s.number == sensorId) {
            sensors_.SetActiveSensor(sensorId);
            known = true;
            break;
        }
    }
    if (!known && report) {
        prompts.tell("В библиотеке датчиков нет датчика номер " + std::to_string(sensorId) +
                     "; используется датчик \"" + activeSensorName() + "\"");
        found = false;
    }
    return found;
}

ProjectLoadResult ProjectSession::applyProject()
{
    ProjectLoadResult result;
    const TProjectRecord p = store_.project; // a copy: nothing below may change what is applied
    MainWindowView& view = result.view;

    applyCalcSettings(p);
    store_.CopyProjectToSettings();

    state_.UseLeftChannel = p.channelLeft;
    state_.AnalysisStep = usableStep(widenSingle(p.AnalysisStep));
    state_.FilterWindow = p.FilterWindow;
    state_.FilterOn = p.filterOn;
    view.showNewtons = p.showNewtons;
    view.invert = p.invert;

    result.sensorFound =
        selectStoredSensor(besideProject(p.SensorFileName, loadingFile_), p.ActiveSensorId, true);
    view.newtonsEnabled = sensors_.ActiveSensorIndex != 0;
    if (!view.newtonsEnabled)
        view.showNewtons = false;

    view.thrustAxis = {p.thrustAxisMax == p.thrustAxisMin, p.thrustAxisMax, p.thrustAxisMin};
    view.timeAxis = {p.timeAxisMax == p.timeAxisMin, p.timeAxisMax, p.timeAxisMin};

    state_.StartTime = finiteOr0(p.StartTime);
    state_.EndTime = finiteOr0(p.EndTime);
    state_.RestThrust = finiteOr0(widenSingle(p.RestThrust));
    state_.RestThrustAfter = finiteOr0(widenSingle(p.RestThrustAfter));
    state_.RestFreq = finiteOr0(widenSingle(p.RestFreq));
    state_.RestFreqAfter = finiteOr0(widenSingle(p.RestFreqAfter));
    view.startByHand = p.startByHand;
    view.endByHand = p.endByHand;
    view.restByHand = p.restByHand;

    state_.ZeroOffset = finiteOr0(widenSingle(p.ZeroOffset));
    state_.ZeroCompensation = p.zeroCompensation;
    view.showDelta = p.showDelta;
    view.testDate = finiteOr0(p.testDate);
    view.showDate = p.showDate;
    view.showResults = p.showResults;
    view.placement = p.mainPlacement; // not applied on load; kept for the caller's information

    if (p.sourceFileName.empty())
        clearSource();
    else
        openProjectSource(result);
    return result;
}

void ProjectSession::clearSource()
{
    state_.SourceKind = SourceNone;
    state_.PointCount = 0;
    state_.FreqData.clear();
    state_.FreqError.clear();
    state_.ThrustData.clear();
    state_.ThrustError.clear();
    state_.ThrustNet.clear();
    analysis_.ComputeResults(); // no points: every result 0
}

void ProjectSession::openProjectSource(ProjectLoadResult& result)
{
    const std::string name = besideProject(store_.project.sourceFileName, loadingFile_);
    // Opening a source empties the notes; these are the notes of the project being opened.
    const ProjectNotes notes = store_.notes;
    // The stored start, end and rest lines; opening without reset keeps them in the state.
    const double start = state_.StartTime, end = state_.EndTime;
    const double rest = state_.RestFreq, restAfter = state_.RestFreqAfter;

    bool opened = false;
    std::string description;
    try {
        // Only regular files: a name from a file must not make the program read a device or a pipe.
        if (!fileExists(name))
            prompts.tell("Не найден источник данных проекта: " + name);
        else if (!(opened = analysis_.OpenSourceFile(name, false, state_.SourceKind, description)))
            prompts.tell("Ошибка открытия файла " + name);
    } catch (const std::exception& e) {
        prompts.tell(e.what());
    }
    store_.notes = notes;
    if (!opened) {
        // The previous source's curve and results do not belong to this project.
        clearSource();
        return;
    }
    // A frequency record is analysed at its own step, which the analysis takes as the exact single the
    // record gives (and the project stores): no decimal widening then, so that indices and sums come out
    // exactly as they did before the save.
    if (state_.SourceKind == SourceFreq)
        state_.AnalysisStep = usableStep(widenSingle(store_.project.AnalysisStep));
    store_.project.sourceFileName = name; // where it was found: the window shows it and saves store it
    analysis_.ResetViewToSource();
    // The stored step goes through the step edit's rule: a step finer than the source allows (or one
    // that would make more points than a computation can hold) is not computed into nonsense.
    const StepCheck step = CheckAnalysisStep(state_.AnalysisStep, state_.MinStep, state_.RecordDuration);
    if (!step.accepted || step.value != state_.AnalysisStep) {
        const double taken = step.accepted ? step.value : state_.MinStep;
        prompts.tell("Шаг проекта " + formatShortest(state_.AnalysisStep) + " сек не подходит для источника (" +
                     (step.reason.empty() ? std::string("вне допустимых пределов") : step.reason) +
                     "); взят шаг " + formatShortest(taken) + " сек");
        state_.AnalysisStep = taken;
    }
    result.sourceDescription = description;

    // Only what the project holds as 0 is detected again; a stored value is a result the user saw (and
    // may have set by hand) and must come back unchanged.
    const bool needTimes = start == 0 || end == 0;
    const bool needLevels = rest == 0 || restAfter == 0;
    try {
        bool ok = true;
        if (start == 0 && end == 0 && rest == 0 && restAfter == 0) {
            // Nothing stored: the whole analysis as for any newly opened source.
            ok = runRecalculate(true, true, true, true, true);
        } else {
            if (needTimes || needLevels) {
                ok = runRecalculate(true, needTimes, needLevels, false, false);
                if (start != 0)
                    state_.StartTime = start;
                if (end != 0)
                    state_.EndTime = end;
                if (rest != 0)
                    state_.RestFreq = rest;
                if (restAfter != 0)
                    state_.RestFreqAfter = restAfter;
            }
            // The stored rest thrusts stay unless their rest line was detected afresh.
            if (ok)
                ok = runRecalculate(true, false, false, true, true);
            if (ok && rest == 0) {
                analysis_.ConvertToThrust(true);
                analysis_.ComputeResults();
            } else if (ok && restAfter == 0 && state_.RestFreq > 0) {
                state_.RestThrustAfter =
                    RoundToDigits(analysis_.ThrustAt(state_.RestFreqAfter), state_.RoundDigits);
            }
        }
        result.cancelled = !ok;
        result.sourceOpened = true;
    } catch (const std::exception& e) {
        // Errors of the source (a malformed record, a step too small for memory) end the computation.
        prompts.tell(e.what());
        clearSource();
    }
}

std::string ProjectSession::SaveProject(const std::string& fileName, const MainWindowView& view)
{
    if (fileName.empty())
        return {};
    // Everything that can refuse the save does so before the project in memory changes.
    TProjectRecord p = CaptureProject(view);
    p.sourceFileName = storedPath(p.sourceFileName, "к источнику данных");
    p.SensorFileName = storedPath(p.SensorFileName, "к библиотеке датчиков");
    const TProjectRecord previous = store_.project;
    store_.project = p;
    try {
        store_.WriteProjectFile(fileName);
    } catch (...) {
        store_.project = previous;
        throw;
    }
    store_.CopyProjectToSettings();
    return store_.SetCaption(fileName);
}

TProjectRecord ProjectSession::CaptureProject(const MainWindowView& view) const
{
    TProjectRecord p = store_.project;
    p.calc.ChargeWeight = widenSingle(state_.ChargeWeight);
    p.calc.IncludeChargeWeight = state_.IncludeChargeWeight;
    p.calc.RigWeight = widenSingle(state_.RigWeight);
    p.calc.IncludeRigWeight = state_.IncludeRigWeight;
    p.calc.RigidMount = state_.RigidMount;
    p.calc.MotorPosition = state_.MotorPosition;
    p.calc.Hysteresis = state_.Hysteresis;
    p.calc.NetThrust = state_.NetThrust;

    p.ActiveSensorId = sensors_.ActiveSensorId;
    p.channelLeft = state_.UseLeftChannel;
    p.AnalysisStep = narrowToSingle(state_.AnalysisStep);
    p.FilterWindow = state_.FilterWindow;
    p.invert = view.invert;
    // An automatically scaled axis is stored with its maximum equal to its minimum.
    p.thrustAxisMin = view.thrustAxis.min;
    p.thrustAxisMax = view.thrustAxis.automatic ? view.thrustAxis.min : view.thrustAxis.max;
    p.timeAxisMin = view.timeAxis.min;
    p.timeAxisMax = view.timeAxis.automatic ? view.timeAxis.min : view.timeAxis.max;
    p.StartTime = state_.StartTime;
    p.startByHand = view.startByHand;
    p.EndTime = state_.EndTime;
    p.endByHand = view.endByHand;
    p.RestThrust = narrowToSingle(state_.RestThrust);
    p.RestThrustAfter = narrowToSingle(state_.RestThrustAfter);
    p.RestFreq = narrowToSingle(state_.RestFreq);
    p.RestFreqAfter = narrowToSingle(state_.RestFreqAfter);
    p.restByHand = view.restByHand;
    p.zeroCompensation = state_.ZeroCompensation;
    p.ZeroOffset = narrowToSingle(state_.ZeroOffset);
    p.showDelta = view.showDelta;
    p.showNewtons = view.showNewtons;
    p.testDate = view.testDate;
    p.showDate = view.showDate;
    p.showResults = view.showResults;
    p.SensorFileName = sensors_.SensorFileName;
    p.mainPlacement = view.placement;
    p.filterOn = state_.FilterOn;
    return p;
}

std::string ProjectSession::SourceOpened(const std::string& fileName)
{
    store_.project.sourceFileName = fileName;
    return store_.SetCaption(fileName);
}

// ------------------------------------------------------------------------------------------ settings

SettingsLoadResult ProjectSession::LoadSettings(const std::string& fileName)
{
    SettingsLoadResult result;
    result.status = store_.ReadSettingsFile(fileName);
    if (result.status == StoreLoad::Missing)
        return result;

    const TSettingsRecord s = store_.settings;
    store_.CopySettingsToProject();
    store_.settingsFileName = store_.resolveSettingsName(fileName);
    state_.AnalysisStep = usableStep(widenSingle(s.AnalysisStep));
    state_.FilterWindow = s.FilterWindow;
    selectStoredSensor(s.SensorFileName, s.ActiveSensorId, false);
    result.newtonsEnabled = sensors_.ActiveSensorIndex != 0;
    // The left channel only where the current source has one.
    state_.UseLeftChannel = s.channelLeft && state_.LeftChannelEnabled;
    result.applied = true;
    return result;
}

bool ProjectSession::SaveSettings(const std::string& fileName, const TWindowPlacement& mainPlacement)
{
    if (store_.projectLoaded)
        store_.CopyProjectToSettings();
    TSettingsRecord& s = store_.settings;
    s.AnalysisStep = narrowToSingle(state_.AnalysisStep);
    s.FilterWindow = state_.FilterWindow;
    s.SensorFileName = sensors_.SensorFileName; // cut to 255 characters when written
    s.ActiveSensorId = sensors_.ActiveSensorId;
    s.channelLeft = state_.UseLeftChannel;
    s.mainPlacement = mainPlacement;
    return store_.WriteSettingsFile(fileName);
}

} // namespace selva
