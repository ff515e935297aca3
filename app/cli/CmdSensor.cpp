// sensors, thrust: the sensor library and its calibrations.
#include "app/cli/CliText.h"
#include "app/cli/Commands.h"
#include "app/cli/Session.h"

#include "common/Format.h"
#include "sensors/Calibration.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

namespace selva::cli {

bool loadSensors(Session& s, const std::string& fileName)
{
    // A missing file is reported (with reportErrors set); line errors go to stderr and reading goes on.
    return s.sensors.LoadSensorFile(fileName, true, s.prompts());
}

bool activateSensor(Session& s, std::int32_t number, const std::string& fileName)
{
    for (std::size_t i = 0; i < s.sensors.sensors.size(); ++i) {
        if (s.sensors.sensors[i].number == number) {
            if (s.sensors.SelectActiveSensor(static_cast<int>(i)))
                return true;
            break;
        }
    }
    std::cerr << "No sensor number " << number << " in " << fileName << '\n';
    return false;
}

namespace {

// Whether the file has the line after which a library's sensors begin; without it, nothing is read.
bool hasStartLine(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (toUpperAscii(line) == "START")
            return true;
    }
    return false;
}

} // namespace

void registerSensorCommands(CLI::App& app, CommandList& commands)
{
    {
        auto file = std::make_shared<std::string>();
        CLI::App* sub = app.add_subcommand("sensors", "List the sensors of a library: number, name, point count, "
                                                      "zero-thrust frequency (TAB separated)");
        sub->add_option("LIBRARY", *file, "a .sns sensor library")->required();
        commands.add(sub, [file]() {
            Session s;
            // The file's line errors are told with its name; a file of which no sensor could be read is
            // not a library.
            bool lineErrors = false;
            const UserPrompts named{[&](const std::string& text) {
                                        const bool hasName = text.find(*file) != std::string::npos;
                                        lineErrors = lineErrors || !hasName;
                                        std::cerr << (hasName ? "" : escapeControls(*file) + ": ") << text << '\n';
                                    },
                                    s.prompts().confirm};
            if (!s.sensors.LoadSensorFile(*file, true, named))
                return kExitFailure;
            if (s.sensors.sensors.size() <= 1 && (lineErrors || !hasStartLine(*file))) {
                std::cerr << escapeControls(*file) << " is not a sensor library: no sensor could be read from it\n";
                return kExitFailure;
            }
            for (std::size_t i = 0; i < s.sensors.sensors.size(); ++i) {
                const TSensor& sensor = s.sensors.sensors[i];
                s.sensors.SelectActiveSensor(static_cast<int>(i));
                std::cout << sensor.number << '\t' << escapeControls(sensor.name) << '\t'
                          << sensor.calibration.points.size() << '\t' << formatFigure(s.sensors.ZeroThrustFrequency)
                          << '\n';
            }
            return kExitOk;
        });
    }
    {
        struct Args {
            std::string file;
            std::int32_t number = 0;
            std::vector<double> frequencies;
        };
        auto args = std::make_shared<Args>();
        CLI::App* sub = app.add_subcommand("thrust", "The thrust of one sensor at each frequency, one per line");
        sub->add_option("LIBRARY", args->file, "a .sns sensor library")->required();
        sub->add_option("NUMBER", args->number, "the sensor's number")->required();
        sub->add_option("FREQ", args->frequencies, "frequencies in Hz")->required()->check(NotNaN);
        commands.add(sub, [args]() {
            Session s;
            if (!loadSensors(s, args->file) || !activateSensor(s, args->number, args->file))
                return kExitFailure;
            TCalibration* calibration = s.sensors.ActiveCalibration();
            for (double f : args->frequencies)
                std::cout << formatFigure(calibration != nullptr ? SensorThrust(*calibration, f) : 0.0) << '\n';
            return kExitOk;
        });
    }
}

}  // namespace selva::cli
