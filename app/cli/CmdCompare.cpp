// compare: several tests side by side, with the mean and spread of each figure.
#include "app/cli/AnalysisOptions.h"
#include "app/cli/Commands.h"
#include "app/cli/Session.h"

#include "analysis/CompareTests.h"
#include "analysis/MotorFiles.h"
#include "common/Error.h"
#include "common/Format.h"

#include <algorithm>
#include <iostream>
#include <memory>

namespace selva::cli {

namespace {

// A motor file's curve is sampled this finely unless --step says otherwise.
constexpr double kMotorFileStep = 0.001;

struct CompareOptions {
    std::vector<std::string> sources;
    AnalysisOptions analysis;
    bool json = false;
};

struct Compared {
    nlohmann::ordered_json json;
    ComparedTest test;
};

// One source analysed: a motor file as a thrust series, a project with its own settings, anything else
// with the options of the command line.
int analyseOne(const std::string& name, const CompareOptions& o, Compared& out)
{
    AnalysisState motorState;
    const AnalysisState* state = &motorState;
    bool calibrated = true;
    Session s;
    if (fileExtUpper(name) == ".ENG") {
        try {
            const std::vector<EngMotor> motors = ReadEngFile(name);
            if (motors.size() > 1)
                std::cerr << name << " holds " << motors.size() << " motors; the first, "
                          << motors.front().motor.code << ", is compared\n";
            motorState = EngAnalysisState(motors.front(), o.analysis.step.value_or(kMotorFileStep));
        } catch (const Error& e) {
            std::cerr << e.what() << '\n';
            return kExitFailure;
        }
    } else {
        AnalysisOptions one;
        if (!isProjectFile(name))
            one = o.analysis;
        one.source = name;
        if (const int code = runAnalysis(s, one); code != kExitOk)
            return code;
        state = &s.state;
        calibrated = s.sensors.ActiveSensorIndex != 0;
    }
    out.json = nlohmann::ordered_json::object();
    out.json["source"] = name;
    const nlohmann::ordered_json results = analysisJson(*state, calibrated);
    for (const auto& [key, value] : results.items())
        out.json[key] = value;
    out.test = CompareEntry(name, *state, calibrated);
    return kExitOk;
}

void printJson(const std::vector<Compared>& tests)
{
    nlohmann::ordered_json all;
    all["tests"] = nlohmann::ordered_json::array();
    for (const Compared& t : tests)
        all["tests"].push_back(t.json);
    nlohmann::ordered_json mean = nlohmann::ordered_json::object(), spread = nlohmann::ordered_json::object();
    for (const auto& [key, value] : tests.front().json.items()) {
        if (!value.is_number())
            continue;
        std::vector<double> values;
        for (const Compared& t : tests)
            values.push_back(t.json[key].get<double>());
        const MeanStd m = MeanAndStd(values);
        mean[key] = m.mean;
        spread[key] = m.std;
    }
    all["mean"] = mean;
    all["std"] = spread;
    std::cout << all.dump(2) << '\n';
}

std::size_t textWidth(const std::string& s)
{
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// One row a figure, one column a test, then the mean and the standard deviation.
void printTable(const std::vector<Compared>& tests)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> head{""};
    for (const Compared& t : tests) {
        const auto slash = t.test.source.find_last_of("/\\");
        head.push_back(slash == std::string::npos ? t.test.source : t.test.source.substr(slash + 1));
    }
    head.push_back("Среднее");
    head.push_back("Ст. отклонение");
    rows.push_back(head);
    std::vector<std::string> designation{"Обозначение"};
    for (const Compared& t : tests)
        designation.push_back(t.test.standard.designation.empty() ? "—" : t.test.standard.designation);
    rows.push_back(designation);
    const auto& columns = CompareColumns();
    std::vector<std::vector<double>> values;
    for (const Compared& t : tests)
        values.push_back(CompareValues(t.test));
    for (std::size_t c = 0; c < columns.size(); ++c) {
        std::vector<std::string> row{columns[c].title};
        std::vector<double> figure;
        for (const auto& v : values) {
            row.push_back(formatGeneral(v[c], 5));
            figure.push_back(v[c]);
        }
        const MeanStd m = MeanAndStd(figure);
        row.push_back(formatGeneral(m.mean, 5));
        row.push_back(formatGeneral(m.std, 5));
        rows.push_back(row);
    }
    std::vector<std::size_t> widths(head.size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], textWidth(row[i]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - textWidth(row[i]), ' ');
            line += i == 0 ? row[i] + pad : "  " + pad + row[i]; // names left, numbers right
        }
        std::cout << line << '\n';
    }
}

} // namespace

void registerCompareCommands(CLI::App& app, CommandList& commands)
{
    auto o = std::make_shared<CompareOptions>();
    CLI::App* sub = app.add_subcommand(
        "compare",
        "Analyse several tests and print each one's results with the mean and standard deviation of "
        "each figure");
    sub->add_option(
           "SOURCE", o->sources,
           "frequency records, WAV recordings, projects (.proj, with their own settings) or motor files "
           "(.eng, the curve sampled at --step, default 0.001 s)")
        ->required();
    addAnalysisSettings(sub, o->analysis);
    sub->add_flag("--json", o->json, "one JSON object: tests (one object a source), mean and std");
    commands.add(sub, [o, sub]() {
        collectGiven(sub, o->analysis);
        std::vector<Compared> tests(o->sources.size());
        for (std::size_t i = 0; i < o->sources.size(); ++i)
            if (const int code = analyseOne(o->sources[i], *o, tests[i]); code != kExitOk)
                return code;
        if (o->json)
            printJson(tests);
        else
            printTable(tests);
        return kExitOk;
    });
}

} // namespace selva::cli
