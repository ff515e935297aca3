// project-info: what a project file holds.
#include "app/cli/CliText.h"
#include "app/cli/Commands.h"

#include "common/Format.h"
#include "store/SettingsStore.h"

#include <filesystem>
#include <iostream>
#include <memory>

namespace selva::cli {

namespace {

const char* positionName(std::uint8_t p)
{
    return p == 1 ? "nozzle up" : p == 2 ? "nozzle down" : "horizontal";
}

const char* yesNo(bool b)
{
    return b ? "yes" : "no";
}

void printProject(const TProjectRecord& p, const ProjectNotes& notes)
{
    const auto num = [](double v) { return formatFigure(v); };
    const auto single = [](float v) { return formatGeneral(v, 7); };
    const auto axis = [&](double max, double min) {
        return max == min ? std::string("automatic") : num(min) + " .. " + num(max);
    };
    std::cout << "source file\t" << escapeControls(p.sourceFileName) << '\n'
              << "sensor library\t" << escapeControls(p.SensorFileName) << '\n'
              << "sensor number\t" << p.ActiveSensorId << '\n'
              << "channel\t" << (p.channelLeft ? "left" : "right") << '\n'
              << "analysis step\t" << single(p.AnalysisStep) << '\n'
              << "filter window\t" << p.FilterWindow << '\n'
              << "start of thrust\t" << num(p.StartTime) << (p.startByHand ? " (by hand)" : "") << '\n'
              << "end of thrust\t" << num(p.EndTime) << (p.endByHand ? " (by hand)" : "") << '\n'
              << "rest line\t" << single(p.RestFreq) << " Hz, " << single(p.RestThrust) << " N"
              << (p.restByHand ? " (by hand)" : "") << '\n'
              << "rest line after\t" << single(p.RestFreqAfter) << " Hz, " << single(p.RestThrustAfter)
              << " N\n"
              << "zero compensation\t" << yesNo(p.zeroCompensation) << ", offset " << single(p.ZeroOffset)
              << " Hz\n"
              << "charge weight\t" << num(p.calc.ChargeWeight) << " kg, included "
              << yesNo(p.calc.IncludeChargeWeight) << '\n'
              << "rig weight\t" << num(p.calc.RigWeight) << " kg, included " << yesNo(p.calc.IncludeRigWeight)
              << '\n'
              << "motor position\t" << positionName(p.calc.MotorPosition) << '\n'
              << "rigid mount\t" << yesNo(p.calc.RigidMount) << '\n'
              << "net thrust\t" << yesNo(p.calc.NetThrust) << '\n'
              << "hysteresis\t" << yesNo(p.calc.Hysteresis) << '\n'
              << "thrust shown in newtons\t" << yesNo(p.showNewtons) << '\n'
              << "invert\t" << yesNo(p.invert) << '\n'
              << "show errors\t" << yesNo(p.showDelta) << '\n'
              << "thrust axis\t" << axis(p.thrustAxisMax, p.thrustAxisMin) << '\n'
              << "time axis\t" << axis(p.timeAxisMax, p.timeAxisMin) << '\n'
              << "test date\t" << formatTestDate(p.testDate) << (p.showDate ? " (shown)" : "") << '\n'
              << "results on the chart\t" << yesNo(p.showResults) << '\n'
              << "author\t" << escapeControls(p.authorName) << '\n'
              << "notes\t" << notes.size() << " lines\n";
    for (const std::string& line : notes)
        std::cout << "  " << escapeControls(line) << '\n';
}

}  // namespace

void registerProjectCommands(CLI::App& app, CommandList& commands)
{
    auto file = std::make_shared<std::string>();
    CLI::App* sub = app.add_subcommand("project-info", "Print the fields of a project file and its notes");
    sub->add_option("PROJECT", *file, "a .proj file")->required();
    commands.add(sub, [file]() {
        SettingsStore store;
        switch (store.ReadProjectFile(*file)) {
        case StoreLoad::Missing:
            std::cerr << "Ошибка открытия файла " << escapeControls(*file) << '\n';
            return kExitFailure;
        case StoreLoad::Damaged:
            std::cerr << "Ошибка открытия файла " << escapeControls(*file) << ": файл проекта поврежден\n";
            return kExitFailure;
        case StoreLoad::Loaded:
            break;
        }
        printProject(store.project, store.notes);
        return kExitOk;
    });
}

}  // namespace selva::cli
