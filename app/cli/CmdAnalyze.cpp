// analyze, export: what a user does in the analysis window, from a shell.
#include "app/cli/AnalysisOptions.h"
#include "app/cli/CliConventions.h"
#include "app/cli/CliText.h"
#include "app/cli/Commands.h"
#include "app/cli/Session.h"

#include "analysis/ResultsExport.h"
#include "common/Error.h"
#include "common/Format.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>
#include <memory>

namespace selva::cli {

bool openSource(Session& s, const std::string& name, std::string& description);
bool loadSensors(Session& s, const std::string& fileName);
bool activateSensor(Session& s, std::int32_t number, const std::string& fileName);

bool isProjectFile(const std::string& name)
{
    return fileExtUpper(name) == ".PROJ";
}

void addAnalysisOptions(CLI::App* sub, AnalysisOptions& o)
{
    sub->add_option("SOURCE", o.source, "a .frq frequency record, a WAV recording or a .proj project")->required();
    addAnalysisSettings(sub, o);
    sub->add_option("--save-project", o.saveProject,
                    "save the analysis as a project (.proj), as \"Сохранить проект как ...\" does");
}

// The help shows the settings under a heading of their own, and the heading tells collectGiven which
// options are settings (a command's own options, such as export's --kind, are not).
constexpr const char* kSettingsGroup = "Analysis settings";

void addAnalysisSettings(CLI::App* sub, AnalysisOptions& o)
{
    const std::size_t first = sub->get_options().size();
    sub->add_option("--sensors", o.sensorsFile,
                    "sensor library (.sns); line errors are reported on stderr (default: the library the "
                    "window would load: <source>.sns beside the source, then the one in the settings)");
    sub->add_option("--sensor", o.sensor,
                    "number of the sensor to convert with (default: with --sensors the default sensor, "
                    "otherwise the one in the settings)");
    sub->add_option("--settings", o.settingsFile,
                    "the window's settings file (.rsr) to take the sensor library, sensor and chart look "
                    "from (default: the window program's own)");
    sub->add_option("--step", o.step, "analysis step in seconds (\"Точность\")")->check(NotNaN);
    sub->add_option("--filter", o.filter, "smooth the frequency with a moving average of N points")
        ->check(CLI::Range(1, 1000000));
    sub->add_option("--channel", o.channel, "WAV channel")->check(CLI::IsMember({"right", "left"}));
    sub->add_option("--noise", o.noise, "noise threshold of the WAV frequency measurement, sample units")
        ->check(CLI::NonNegativeNumber);
    sub->add_option("--position", o.position, "motor position")
        ->check(CLI::IsMember({"horizontal", "up", "down"}));
    sub->add_option("--charge", o.charge, "propellant charge weight, kg")
        ->check(Finite & CLI::NonNegativeNumber);
    sub->add_option("--rig", o.rig, "rig weight, kg")->check(Finite & CLI::NonNegativeNumber);
    sub->add_flag("--no-charge-weight", o.noChargeWeight, "do not account for the charge weight");
    sub->add_flag("--no-rig-weight", o.noRigWeight, "do not account for the rig weight");
    sub->add_flag("--rigid", o.rigid, "the rig is rigidly joined to the sensor");
    sub->add_flag("--gross", o.gross, "results from the thrust without the weight correction");
    sub->add_option("--start", o.start,
                    "start of thrust in seconds, set by hand after the detection (below 0: not set)")
        ->check(NotNaN);
    sub->add_option("--end", o.end,
                    "end of thrust in seconds, set by hand after the detection (beyond the record: its end)")
        ->check(NotNaN);
    const std::vector<CLI::Option*> options = sub->get_options();
    for (std::size_t i = first; i < options.size(); ++i)
        options[i]->group(kSettingsGroup);
}

void collectGiven(const CLI::App* sub, AnalysisOptions& o)
{
    o.given.clear();
    for (const CLI::Option* opt : sub->get_options())
        if (opt->count() > 0 && !opt->get_lnames().empty() && opt->get_group() == kSettingsGroup)
            o.given.push_back("--" + opt->get_lnames().front());
}

namespace {

bool given(const AnalysisOptions& o, const char* option)
{
    return std::find(o.given.begin(), o.given.end(), option) != o.given.end();
}

// The times typed into the start and end edits, committed one after the other under the window's rules
// (a start below 0 is 0, not set; an end beyond the record is its end). A start beyond the record or an
// end before the start would be computed into zeros: they are refused.
int applyTimeEdits(Session& s, const AnalysisOptions& o)
{
    AnalysisState& st = s.state;
    MainPresenter& p = *s.presenter;
    if (o.start) {
        if (*o.start > st.RecordDuration) {
            std::cerr << "--start " << formatFigure(*o.start) << " is beyond the end of the record ("
                      << formatFigure(st.RecordDuration) << " s)\n";
            return kExitUsage;
        }
        st.StartTime = *o.start;
        p.flags.start = true;
        p.StartCommitted();
        s.analysis.ComputeResults();
    }
    if (o.end) {
        st.EndTime = *o.end;
        p.flags.end = true;
        p.EndCommitted();
        s.analysis.ComputeResults();
    }
    if ((o.start || o.end) && st.StartTime > 0 && st.EndTime > 0 && !(st.EndTime > st.StartTime)) {
        std::cerr << "The end of thrust (" << formatFigure(st.EndTime) << " s) is not after its start ("
                  << formatFigure(st.StartTime) << " s)\n";
        return kExitUsage;
    }
    return kExitOk;
}

// A project whose sensor library or sensor was not found was computed with another sensor: a library
// given with --sensors (loaded before the project, so a missing library falls back on it) supplies it,
// with the project's sensor number or --sensor. The sensor is then chosen as in the window's list.
int supplyProjectSensor(Session& s, const AnalysisOptions& o, const ProjectLoadResult& r)
{
    if (r.sensorFound) {
        if (!o.sensorsFile.empty())
            std::cerr << "The project's own sensor library is used; --sensors was not needed\n";
        reportSensor(s, s.sensors.SensorFileName);
        return kExitOk;
    }
    if (o.sensorsFile.empty()) {
        std::cerr << "The project's sensor library or sensor is missing: give a library with --sensors (and "
                     "the sensor's number with --sensor)\n";
        return kExitFailure;
    }
    const std::int32_t wanted = given(o, "--sensor") ? o.sensor : s.store.project.ActiveSensorId;
    if (s.sensors.ActiveSensorId != wanted) {
        if (!loadSensors(s, o.sensorsFile) || !activateSensor(s, wanted, o.sensorsFile))
            return kExitFailure;
        s.presenter->SensorsEdited();
        s.analysis.ComputeResults();
    }
    reportSensor(s, s.sensors.SensorFileName);
    return kExitOk;
}

// A project carries the sensor, step, filter, weights, mounting, times and rest lines of its analysis:
// it is opened as the window opens it, and only the start and end edits (and a sensor library when its
// own is missing) may follow.
int runProject(Session& s, const AnalysisOptions& o)
{
    for (const std::string& name : o.given) {
        if (name != "--start" && name != "--end" && name != "--sensors" && name != "--sensor" &&
            name != "--settings") {
            std::cerr << "A project carries its own settings: " << name
                      << " cannot be given with a project (only --start, --end, --sensors, --sensor, "
                         "--settings, --save-project)\n";
            return kExitUsage;
        }
    }
    if (given(o, "--sensor") && o.sensorsFile.empty()) {
        std::cerr << "--sensor with a project needs --sensors\n";
        return kExitUsage;
    }
    std::string settingsFile;
    bool haveSettings = false;
    if (const int code = readWindowSettings(s, o, settingsFile, haveSettings); code != kExitOk)
        return code;
    if (!o.sensorsFile.empty() && !loadSensors(s, o.sensorsFile))
        return kExitFailure;
    try {
        const SourceOpening opening = s.ws.OpenSource(o.source, true);
        if (!opening.accepted) {
            // A damaged file was reported by the load itself.
            if (!opening.load.damaged)
                std::cerr << opening.error << '\n';
            return kExitFailure;
        }
        if (!opening.load.sourceOpened) {
            std::cerr << "The project's source could not be opened\n";
            return kExitFailure;
        }
        s.sourceName = s.store.project.sourceFileName;
        s.projectView = opening.load.view;
        s.presenterForOpenSource();
        if (const int code = supplyProjectSensor(s, o, opening.load); code != kExitOk)
            return code;
        return applyTimeEdits(s, o);
    } catch (const Error& e) {
        std::cerr << e.what() << '\n';
        return kExitFailure;
    }
}

}  // namespace

int runAnalysis(Session& s, const AnalysisOptions& o)
{
    if (isProjectFile(o.source))
        return runProject(s, o);
    if (const int code = chooseSensor(s, o); code != kExitOk)
        return code;

    std::string description;
    if (!openSource(s, o.source, description))
        return kExitFailure;
    MainPresenter& p = s.presenterForOpenSource();

    AnalysisState& st = s.state;
    st.MotorPosition = o.position == "up" ? MotorNozzleUp : o.position == "down" ? MotorNozzleDown : MotorHorizontal;
    st.ChargeWeight = o.charge;
    st.RigWeight = o.rig;
    st.IncludeChargeWeight = !o.noChargeWeight;
    st.IncludeRigWeight = !o.noRigWeight;
    st.RigidMount = o.rigid;
    st.NetThrust = !o.gross;
    st.ZeroCompensation = true;
    st.FilterOn = o.filter.has_value();
    if (o.filter)
        st.FilterWindow = *o.filter;
    if (o.channel == "left" && !st.LeftChannelEnabled) {
        std::cerr << "The source has one channel: there is no left channel\n";
        return kExitUsage;
    }
    st.UseLeftChannel = o.channel == "left";
    st.NoiseLsb = o.noise;
    if (o.step) {
        // The step edit's rule.
        const StepCheck check = p.CheckStep(*o.step);
        if (!check.accepted) {
            std::cerr << "Step " << formatFigure(*o.step) << " s refused: " << check.reason << '\n';
            return kExitUsage;
        }
        if (!check.reason.empty())
            std::cerr << "Step " << formatFigure(*o.step) << " s taken as " << formatFigure(check.value)
                      << " s: " << check.reason << '\n';
        st.AnalysisStep = check.value;
    }

    try {
        // "Пересчитать"
        p.RecalculateAll();
        s.analysis.ComputeResults();
        return applyTimeEdits(s, o);
    } catch (const Error& e) {
        std::cerr << e.what() << '\n';
        return kExitFailure;
    }
}

nlohmann::ordered_json analysisJson(const AnalysisState& st, bool calibrated)
{
    nlohmann::ordered_json j;
    j["point_count"] = st.PointCount;
    j["analysis_step"] = st.AnalysisStep;
    j["start_time"] = st.StartTime;
    j["end_time"] = st.EndTime;
    j["rest_freq"] = st.RestFreq;
    j["rest_freq_after"] = st.RestFreqAfter;
    j["mean_freq"] = st.MeanFreq;
    j["zero_offset"] = st.ZeroOffset;
    j["rest_thrust"] = st.RestThrust;
    j["rest_thrust_after"] = st.RestThrustAfter;
    j["rest_thrust_net"] = st.RestThrustNet;
    j["mean_thrust"] = st.MeanThrust;
    j["mean_thrust_net"] = st.MeanThrustNet;
    j["thrust_time"] = widenSingle(st.ThrustTime);
    j["total_impulse"] = widenSingle(st.TotalImpulse);
    j["total_impulse_error"] = widenSingle(st.TotalImpulseError);
    j["specific_impulse"] = widenSingle(st.SpecificImpulse);
    j["specific_impulse_error"] = widenSingle(st.SpecificImpulseError);
    j["max_thrust"] = widenSingle(st.MaxThrust);
    j["max_thrust_error"] = widenSingle(st.MaxThrustError);
    j["average_thrust"] = widenSingle(st.AverageThrust);
    addStandardFiguresJson(j, st, calibrated);
    return j;
}

namespace {

// The results panel in the window's words; numbers in the general format with 5 significant digits,
// the uncertainties after "+/-" with one decimal, as "Показать ошибку" shows them.
void printPanel(const Session& s)
{
    const AnalysisState& st = s.state;
    const auto g = [](double v) { return formatGeneral(v, 5); };
    const auto err = [](double v) { return "+/-" + formatFixed(v, 1); };
    std::cout << "Источник: " << escapeControls(s.sourceName) << '\n'
              << "Начало тяги (сек): " << formatFigure(st.StartTime) << '\n'
              << "Конец тяги (сек): " << formatFigure(st.EndTime) << '\n'
              << "Линия покоя (Hz): " << formatFigure(st.RestFreq) << '\n'
              << "Линия покоя (N): " << formatFigure(st.RestThrust) << '\n'
              << "Импульс суммарный (сек): " << g(st.TotalImpulse) << err(st.TotalImpulseError) << '\n'
              << "Импульс удельный (Н/сек): " << g(st.SpecificImpulse) << err(st.SpecificImpulseError) << '\n'
              << "Время тяги (сек): " << g(st.ThrustTime) << '\n'
              << "Макс. тяга (Н): " << g(st.MaxThrust) << err(st.MaxThrustError) << '\n'
              << "Средняя тяга (Н): " << g(st.AverageThrust) << '\n'
              << "Вес заряда (кг): " << g(st.ChargeWeight) << '\n';
    printStandardFigures(std::cout, st, s.sensors.ActiveSensorIndex != 0);
}

}  // namespace

namespace {

const std::vector<std::string> kExportKinds{"frq", "trt", "eng", "rse", "csv"};

std::string toLowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

void registerAnalysisCommands(CLI::App& app, CommandList& commands)
{
    {
        auto o = std::make_shared<AnalysisOptions>();
        auto json = std::make_shared<bool>(false);
        CLI::App* sub = app.add_subcommand("analyze", "Analyse a source as \"Пересчитать\" does and print the "
                                                      "results");
        addAnalysisOptions(sub, *o);
        sub->add_flag("--json", *json, "one JSON object with every result");
        commands.add(sub, [o, json, sub]() {
            collectGiven(sub, *o);
            Session s;
            const int code = runAnalysis(s, *o);
            if (code != kExitOk)
                return code;
            if (!o->saveProject.empty()) {
                // What the window saves: a project keeps what it showed; a source is dated today.
                MainWindowView view = s.projectView.value_or(MainWindowView{});
                if (!s.projectView)
                    view.testDate = todayAsTestDate();
                if (!s.presenter->SaveProject(o->saveProject, view))
                    return kExitFailure;
            }
            if (*json)
                std::cout << analysisJson(s.state, s.sensors.ActiveSensorIndex != 0).dump(2) << '\n';
            else
                printPanel(s);
            return kExitOk;
        });
    }
    {
        auto o = std::make_shared<AnalysisOptions>();
        auto kind = std::make_shared<std::string>();
        auto out = std::make_shared<std::string>();
        auto motor = std::make_shared<MotorExportOptions>();
        CLI::App* sub = app.add_subcommand("export", "Analyse a source and write its frequency (.frq) or thrust "
                                                     "(.trt) series as \"Экспорт результатов\" does, or a motor "
                                                     "file (.eng, .rse) or a table (.csv)");
        addAnalysisOptions(sub, *o);
        sub->add_option("OUT", *out, "the file to write (replaced if it exists)")->required();
        sub->add_option("--kind", *kind, "frq: frequency series, trt: thrust series, eng: RASP motor file, "
                                         "rse: RockSim motor file, csv: table of time, thrust and frequency "
                                         "(default: OUT's extension)")
            ->check(CLI::IsMember(kExportKinds));
        addMotorExportOptions(sub, *motor);
        commands.add(sub, [o, kind, out, sub, motor]() {
            collectGiven(sub, *o);
            if (kind->empty()) {
                *kind = toLowerAscii(fileExtUpper(*out));
                if (!kind->empty())
                    kind->erase(0, 1);
                if (std::find(kExportKinds.begin(), kExportKinds.end(), *kind) == kExportKinds.end()) {
                    std::cerr << "Which file to write is told by OUT's extension (.frq, .trt, .eng, .rse or "
                                 ".csv) or by --kind; "
                              << escapeControls(*out) << " has neither\n";
                    return kExitUsage;
                }
            }
            if (const int usage = checkMotorExportOptions(*kind, *motor); usage != kExitOk)
                return usage;
            Session s;
            const int code = runAnalysis(s, *o);
            if (code != kExitOk)
                return code;
            if (isMotorExportKind(*kind))
                return runMotorExport(s, *kind, *out, *motor);
            if (s.state.PointCount == 0) {
                std::cerr << "The analysis has no points: nothing to export\n";
                return kExitFailure;
            }
            std::string error;
            const ExportKind k = *kind == "trt" ? ExportKind::Thrust : ExportKind::Frequency;
            if (!WriteResultsExport(*out, s.state, k, s.sourceName, &error, s.ws.SaveOptionsFor(SaveWhat::Export))) {
                std::cerr << "Невозможно записать файл " << *out << ": " << error << '\n';
                return kExitFailure;
            }
            return kExitOk;
        });
    }
}

}  // namespace selva::cli
