#include "workspace/Comparison.h"

#include "analysis/MotorFiles.h"
#include "common/Error.h"
#include "common/Format.h"
#include "workspace/Workspace.h"

#include <memory>

namespace selva {

namespace {

constexpr double kMotorFileStep = 0.001;

std::string baseName(const std::string& name)
{
    const auto slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

ComparedTest AnalyseForComparison(const std::string& fileName, const Workspace& main)
{
    if (fileExtUpper(fileName) == ".ENG") {
        const std::vector<EngMotor> motors = ReadEngFile(fileName);
        return CompareEntry(fileName, EngAnalysisState(motors.front(), kMotorFileStep), true);
    }
    std::string said;
    UserPrompts prompts;
    prompts.message = [&said](const std::string& text) { said += (said.empty() ? "" : "\n") + text; };
    auto ws = std::make_unique<Workspace>(prompts);
    ws->sensors = main.sensors;
    ws->sensors.onFillSensorCombo = nullptr; // the main window's list is not this library's
    ws->store.settings = main.store.settings;
    const SourceOpening opening = ws->OpenSource(fileName, true);
    if (!opening.accepted)
        throw Error(said.empty() ? opening.error : said);
    if (!opening.project) {
        AnalysisState& s = ws->state;
        const AnalysisState& m = main.state;
        s.MotorPosition = m.MotorPosition;
        s.ChargeWeight = m.ChargeWeight;
        s.RigWeight = m.RigWeight;
        s.IncludeChargeWeight = m.IncludeChargeWeight;
        s.IncludeRigWeight = m.IncludeRigWeight;
        s.RigidMount = m.RigidMount;
        s.NetThrust = m.NetThrust;
        s.FilterOn = m.FilterOn;
        s.FilterWindow = m.FilterWindow;
        s.NoiseLsb = m.NoiseLsb;
        s.ZeroCompensation = m.ZeroCompensation;
        s.UseLeftChannel = m.UseLeftChannel && s.LeftChannelEnabled;
        ws->analysis.Recalculate(Stages::All);
    }
    if (ws->state.PointCount == 0)
        throw Error("Нет точек анализа: " + fileName + (said.empty() ? "" : "\n" + said));
    return CompareEntry(fileName, ws->state, ws->sensors.ActiveSensorIndex != 0);
}

ComparisonTable BuildComparisonTable(const std::vector<ComparedTest>& tests, char sep)
{
    ComparisonTable t;
    const auto& columns = CompareColumns();
    t.columns.push_back("Испытание");
    t.columns.push_back("Обозначение");
    for (const CompareColumn& c : columns)
        t.columns.push_back(c.title);
    std::vector<std::vector<double>> values;
    for (const ComparedTest& test : tests) {
        values.push_back(CompareValues(test));
        std::vector<std::string> row{baseName(test.source),
                                     test.standard.designation.empty() ? "—" : test.standard.designation};
        for (double v : values.back())
            row.push_back(formatGeneral(v, 5, sep));
        t.rows.push_back(std::move(row));
    }
    if (tests.size() < 2)
        return t;
    std::vector<std::string> mean{"Среднее", ""}, spread{"Ст. отклонение", ""};
    for (std::size_t c = 0; c < columns.size(); ++c) {
        std::vector<double> column;
        for (const std::vector<double>& v : values)
            column.push_back(v[c]);
        const MeanStd m = MeanAndStd(column);
        mean.push_back(formatGeneral(m.mean, 5, sep));
        spread.push_back(formatGeneral(m.std, 5, sep));
    }
    t.rows.push_back(std::move(mean));
    t.rows.push_back(std::move(spread));
    return t;
}

} // namespace selva
