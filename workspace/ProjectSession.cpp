#include "workspace/ProjectSession.h"

#include "workspace/Workspace.h"
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

ProjectSession::ProjectSession(Workspace& workspace) : ws_(workspace) {}

const UserPrompts& ProjectSession::prompts() const
{
    return ws_.prompts();
}

bool ProjectSession::runRecalculate(Stages stages)
{
    if (recalculate)
        return recalculate(stages);
    return ws_.analysis.Recalculate(stages);
}

// ------------------------------------------------------------------------------------------ projects

ProjectLoadResult ProjectSession::LoadProject(const std::string& fileName)
{
    std::string why;
    const StoreLoad status = ws_.store.ReadProjectFile(fileName, &why);
    if (status != StoreLoad::Loaded) {
        // Nothing was taken from the file, so nothing changes: applying the previous project again under
        // the new file's name would make the next save overwrite the damaged file with another project.
        ProjectLoadResult failed;
        failed.damaged = status == StoreLoad::Damaged;
        failed.error = "Ошибка открытия файла " + fileName + ": " + why;
        std::error_code ec;
        if (std::filesystem::exists(fileName, ec))
            prompts().tell(failed.error);
        return failed;
    }

    loadingFile_ = fileName;
    ProjectLoadResult result = applyProject();
    result.caption = ws_.store.SetCaption(fileName);
    ws_.store.projectLoaded = true;
    result.ok = true;
    result.applied = true;
    return result;
}

void ProjectSession::applyCalcSettings(const TProjectRecord& p)
{
    const TCalcSettings& c = p.calc;
    ws_.state.ChargeWeight = static_cast<float>(finiteOr0(c.ChargeWeight));
    ws_.state.IncludeChargeWeight = c.IncludeChargeWeight;
    ws_.state.RigWeight = static_cast<float>(finiteOr0(c.RigWeight));
    ws_.state.IncludeRigWeight = c.IncludeRigWeight;
    ws_.state.RigidMount = c.RigidMount;
    // A position the program does not know is taken as horizontal.
    ws_.state.MotorPosition =
        c.MotorPosition <= MotorNozzleDown ? c.MotorPosition : static_cast<std::uint8_t>(MotorHorizontal);
    ws_.state.Hysteresis = c.Hysteresis;
    ws_.state.NetThrust = c.NetThrust;
}

std::string ProjectSession::activeSensorName() const
{
    const auto i = static_cast<std::size_t>(ws_.sensors.ActiveSensorIndex);
    return i < ws_.sensors.sensors.size() ? ws_.sensors.sensors[i].name : std::string();
}

bool ProjectSession::selectStoredSensor(const std::string& sensorFile, std::int32_t sensorId, bool report)
{
    // Only a project that converts through a calibrated sensor needs its library; one computed with the
    // default sensor (number 0) names a library it never used.
    report = report && sensorId != 0;
    bool found = true;
    if (fileExists(sensorFile)) {
        ws_.sensors.LoadSensorFile(sensorFile, true, prompts());
    } else if (!sensorFile.empty() && report) {
        prompts().tell("Не найдена библиотека датчиков " + sensorFile + "; используется " +
                     (ws_.sensors.SensorFileName.empty() ? std::string("текущая") : ws_.sensors.SensorFileName));
        found = false;
    }
    // No sensor with the stored number: the current one stays active.
    bool known = false;
    for (const TSensor& s : ws_.sensors.sensors) {
        if (s.number == sensorId) {
            ws_.sensors.SetActiveSensor(sensorId);
            known = true;
            break;
        }
    }
    if (!known && report) {
        prompts().tell("В библиотеке датчиков нет датчика номер " + std::to_string(sensorId) +
                     "; используется датчик \"" + activeSensorName() + "\"");
        found = false;
    }
    return found;
}

ProjectLoadResult ProjectSession::applyProject()
{
    ProjectLoadResult result;
    const TProjectRecord p = ws_.store.project; // a copy: nothing below may change what is applied
    MainWindowView& view = result.view;

    applyCalcSettings(p);
    ws_.store.CopyProjectToSettings();

    ws_.state.UseLeftChannel = p.channelLeft;
    ws_.state.AnalysisStep = usableStep(widenSingle(p.AnalysisStep));
    ws_.state.FilterWindow = p.FilterWindow;
    ws_.state.FilterOn = p.filterOn;
    view.showNewtons = p.showNewtons;
    view.invert = p.invert;

    result.sensorFound =
        selectStoredSensor(besideProject(p.SensorFileName, loadingFile_), p.ActiveSensorId, true);
    view.newtonsEnabled = ws_.sensors.ActiveSensorIndex != 0;
    if (!view.newtonsEnabled)
        view.showNewtons = false;

    view.thrustAxis = {p.thrustAxisMax == p.thrustAxisMin, p.thrustAxisMax, p.thrustAxisMin};
    view.timeAxis = {p.timeAxisMax == p.timeAxisMin, p.timeAxisMax, p.timeAxisMin};

    ws_.state.StartTime = finiteOr0(p.StartTime);
    ws_.state.EndTime = finiteOr0(p.EndTime);
    ws_.state.RestThrust = finiteOr0(widenSingle(p.RestThrust));
    ws_.state.RestThrustAfter = finiteOr0(widenSingle(p.RestThrustAfter));
    ws_.state.RestFreq = finiteOr0(widenSingle(p.RestFreq));
    ws_.state.RestFreqAfter = finiteOr0(widenSingle(p.RestFreqAfter));
    view.startByHand = p.startByHand;
    view.endByHand = p.endByHand;
    view.restByHand = p.restByHand;

    ws_.state.ZeroOffset = finiteOr0(widenSingle(p.ZeroOffset));
    ws_.state.ZeroCompensation = p.zeroCompensation;
    view.showDelta = p.showDelta;
    view.testDate = finiteOr0(p.testDate);
    view.showDate = p.showDate;
    view.showResults = p.showResults;
    view.placement = p.mainPlacement; // not applied on load; kept for the caller's information

    if (p.sourceFileName.empty())
        ws_.ClearSource();
    else
        openProjectSource(result);
    return result;
}

void ProjectSession::openProjectSource(ProjectLoadResult& result)
{
    const std::string name = besideProject(ws_.store.project.sourceFileName, loadingFile_);
    // The stored rest lines; opening without reset keeps them in the state.
    const double rest = ws_.state.RestFreq, restAfter = ws_.state.RestFreqAfter;

    std::error_code ec;
    SourceOpening opening;
    if (!std::filesystem::exists(name, ec))
        opening.error = "Не найден источник данных проекта: " + name;
    else
        opening = ws_.OpenDataSource(name, false);
    if (!opening.accepted) {
        prompts().tell(opening.error);
        // The previous source's curve and results do not belong to this project.
        ws_.ClearSource();
        return;
    }
    const std::string description = opening.description;
    // A frequency record is analysed at its own step, which the analysis takes as the exact single the
    // record gives (and the project stores): no decimal widening then, so that indices and sums come out
    // exactly as they did before the save.
    if (ws_.state.SourceKind == SourceFreq)
        ws_.state.AnalysisStep = usableStep(widenSingle(ws_.store.project.AnalysisStep));
    ws_.store.project.sourceFileName = name; // where it was found: the window shows it and saves store it
    // The stored step goes through the step edit's rule: a step finer than the source allows (or one
    // that would make more points than a computation can hold) is not computed into nonsense.
    const StepCheck step = CheckAnalysisStep(ws_.state.AnalysisStep, ws_.state.MinStep, ws_.state.RecordDuration);
    if (!step.accepted || step.value != ws_.state.AnalysisStep) {
        const double taken = step.accepted ? step.value : ws_.state.MinStep;
        prompts().tell("Шаг проекта " + formatShortest(ws_.state.AnalysisStep) + " сек не подходит для источника (" +
                     (step.reason.empty() ? std::string("вне допустимых пределов") : step.reason) +
                     "); взят шаг " + formatShortest(taken) + " сек");
        ws_.state.AnalysisStep = taken;
    }
    result.sourceDescription = description;

    // The stored times by the edits' rules, now that the record's length is known: a time the record
    // cannot have is detected again (or, for an end past the record, is its end) rather than computed into
    // zero results.
    const ThrustTimes times =
        CheckThrustTimes(ws_.store.project.StartTime, ws_.store.project.EndTime, ws_.state.RecordDuration);
    if (!times.note.empty())
        prompts().tell("Время тяги в проекте " + loadingFile_ + " исправлено: " + times.note);
    const double start = times.start, end = times.end;
    ws_.state.StartTime = start;
    ws_.state.EndTime = end;

    // Only what the project holds as 0 is detected again; a stored value is a result the user saw (and
    // may have set by hand) and must come back unchanged.
    const bool needTimes = start == 0 || end == 0;
    const bool needLevels = rest == 0 || restAfter == 0;
    try {
        bool ok = true;
        if (start == 0 && end == 0 && rest == 0 && restAfter == 0) {
            // Nothing stored: the whole analysis as for any newly opened source.
            ok = runRecalculate(Stages::All);
        } else {
            if (needTimes || needLevels) {
                Stages stages = Stage::Prepare;
                if (needTimes)
                    stages = stages | Stage::DetectTimes;
                if (needLevels)
                    stages = stages | Stage::DetectLevels;
                ok = runRecalculate(stages);
                if (start != 0)
                    ws_.state.StartTime = start;
                if (end != 0)
                    ws_.state.EndTime = end;
                if (rest != 0)
                    ws_.state.RestFreq = rest;
                if (restAfter != 0)
                    ws_.state.RestFreqAfter = restAfter;
            }
            // The stored rest thrusts stay unless their rest line was detected afresh.
            if (ok)
                ok = runRecalculate(Stage::Prepare | Stage::Compensate | Stage::Convert);
            if (ok && rest == 0) {
                ws_.analysis.ConvertToThrust(true);
                ws_.analysis.ComputeResults();
            } else if (ok && restAfter == 0 && ws_.state.RestFreq > 0) {
                ws_.state.RestThrustAfter =
                    RoundToDigits(ws_.analysis.ThrustAt(ws_.state.RestFreqAfter), ws_.state.RoundDigits);
            }
        }
        result.cancelled = !ok;
        result.sourceOpened = true;
    } catch (const std::exception& e) {
        // Errors of the source (a malformed record, a step too small for memory) end the computation.
        prompts().tell(e.what());
        ws_.ClearSource();
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
    const TProjectRecord previous = ws_.store.project;
    ws_.store.project = p;
    try {
        ws_.store.WriteProjectFile(fileName, ws_.SaveOptionsFor(SaveWhat::Project));
    } catch (...) {
        ws_.store.project = previous;
        throw;
    }
    ws_.store.CopyProjectToSettings();
    return ws_.store.SetCaption(fileName);
}

TProjectRecord ProjectSession::CaptureProject(const MainWindowView& view) const
{
    TProjectRecord p = ws_.store.project;
    p.calc.ChargeWeight = widenSingle(ws_.state.ChargeWeight);
    p.calc.IncludeChargeWeight = ws_.state.IncludeChargeWeight;
    p.calc.RigWeight = widenSingle(ws_.state.RigWeight);
    p.calc.IncludeRigWeight = ws_.state.IncludeRigWeight;
    p.calc.RigidMount = ws_.state.RigidMount;
    p.calc.MotorPosition = ws_.state.MotorPosition;
    p.calc.Hysteresis = ws_.state.Hysteresis;
    p.calc.NetThrust = ws_.state.NetThrust;

    p.ActiveSensorId = ws_.sensors.ActiveSensorId;
    p.channelLeft = ws_.state.UseLeftChannel;
    p.AnalysisStep = narrowToSingle(ws_.state.AnalysisStep);
    p.FilterWindow = ws_.state.FilterWindow;
    p.invert = view.invert;
    // An automatically scaled axis is stored with its maximum equal to its minimum.
    p.thrustAxisMin = view.thrustAxis.min;
    p.thrustAxisMax = view.thrustAxis.automatic ? view.thrustAxis.min : view.thrustAxis.max;
    p.timeAxisMin = view.timeAxis.min;
    p.timeAxisMax = view.timeAxis.automatic ? view.timeAxis.min : view.timeAxis.max;
    p.StartTime = ws_.state.StartTime;
    p.startByHand = view.startByHand;
    p.EndTime = ws_.state.EndTime;
    p.endByHand = view.endByHand;
    p.RestThrust = narrowToSingle(ws_.state.RestThrust);
    p.RestThrustAfter = narrowToSingle(ws_.state.RestThrustAfter);
    p.RestFreq = narrowToSingle(ws_.state.RestFreq);
    p.RestFreqAfter = narrowToSingle(ws_.state.RestFreqAfter);
    p.restByHand = view.restByHand;
    p.zeroCompensation = ws_.state.ZeroCompensation;
    p.ZeroOffset = narrowToSingle(ws_.state.ZeroOffset);
    p.showDelta = view.showDelta;
    p.showNewtons = view.showNewtons;
    p.testDate = view.testDate;
    p.showDate = view.showDate;
    p.showResults = view.showResults;
    p.SensorFileName = ws_.sensors.SensorFileName;
    p.mainPlacement = view.placement;
    p.filterOn = ws_.state.FilterOn;
    return p;
}

std::string ProjectSession::SourceOpened(const std::string& fileName)
{
    ws_.store.project.sourceFileName = fileName;
    return ws_.store.SetCaption(fileName);
}

// ------------------------------------------------------------------------------------------ settings

SettingsLoadResult ProjectSession::LoadSettings(const std::string& fileName)
{
    SettingsLoadResult result;
    result.status = ws_.store.ReadSettingsFile(fileName);
    if (result.status == StoreLoad::Missing)
        return result;

    const TSettingsRecord s = ws_.store.settings;
    ws_.store.CopySettingsToProject();
    ws_.store.settingsFileName = ws_.store.resolveSettingsName(fileName);
    ws_.state.AnalysisStep = usableStep(widenSingle(s.AnalysisStep));
    ws_.state.FilterWindow = s.FilterWindow;
    selectStoredSensor(s.SensorFileName, s.ActiveSensorId, false);
    result.newtonsEnabled = ws_.sensors.ActiveSensorIndex != 0;
    // The left channel only where the current source has one.
    ws_.state.UseLeftChannel = s.channelLeft && ws_.state.LeftChannelEnabled;
    result.applied = true;
    return result;
}

bool ProjectSession::SaveSettings(const std::string& fileName, const TWindowPlacement& mainPlacement)
{
    if (ws_.store.projectLoaded)
        ws_.store.CopyProjectToSettings();
    TSettingsRecord& s = ws_.store.settings;
    s.AnalysisStep = narrowToSingle(ws_.state.AnalysisStep);
    s.FilterWindow = ws_.state.FilterWindow;
    s.SensorFileName = ws_.sensors.SensorFileName; // cut to 255 characters when written
    s.ActiveSensorId = ws_.sensors.ActiveSensorId;
    s.channelLeft = ws_.state.UseLeftChannel;
    s.mainPlacement = mainPlacement;
    // Saved without a word when the window closes: a read-only settings file was made so on purpose.
    SaveOptions options = ws_.SaveOptionsFor(SaveWhat::Settings);
    options.confirmReadOnly = nullptr;
    return ws_.store.WriteSettingsFile(fileName, options);
}

} // namespace selva
