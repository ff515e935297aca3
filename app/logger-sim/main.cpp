// selvarondine-logger-sim: a data logger of its own kind on a pseudo-terminal, for tests and demos. It
// prints the path to connect to on its first line of output and runs until it is interrupted.
#include "analysis/ThrustProfile.h"
#include "common/Error.h"
#include "common/Format.h"
#include "logger/io/LoggerSimulator.h"
#include "sensors/InverseCalibration.h"
#include "sensors/SensorLibrary.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <thread>

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int)
{
    interrupted = 1;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"A simulated data logger on a pseudo-terminal: readings from a thrust profile through a "
                 "sensor's calibration, status, battery and temperature replies, \"R\" arms, \"S\" fires, "
                 "ESC stops"};
    std::string profileName = "builtin", sensorsFile, link;
    std::int32_t sensorNumber = 0;
    selva::LoggerSimulatorOptions o;
    double duration = 0, burnStart = 0, burnTime = 0, peak = 0, exitAfter = 0;
    bool noTemperature = false, noIgniter = false;
    app.add_option("--profile", profileName, "builtin, or a text file of time/thrust pairs");
    auto* dur = app.add_option("--duration", duration, "length of a shaped firing's profile, s")
                    ->check(CLI::PositiveNumber);
    auto* bs = app.add_option("--burn-start", burnStart, "start of the shaped burn in its profile, s")
                   ->check(CLI::NonNegativeNumber);
    auto* bt =
        app.add_option("--burn-time", burnTime, "length of the shaped burn, s")->check(CLI::PositiveNumber);
    auto* pk =
        app.add_option("--peak", peak, "peak thrust of the shaped burn, N")->check(CLI::PositiveNumber);
    for (CLI::Option* opt : {dur, bs, bt, pk})
        for (CLI::Option* other : {dur, bs, bt, pk})
            if (other != opt)
                opt->needs(other);
    app.add_option("--sensors", sensorsFile, "sensor library (.sns); without it the default sensor 0");
    app.add_option("--sensor", sensorNumber, "number of the sensor whose calibration gives the frequencies");
    app.add_option("--rate", o.rate, "readings per second")->check(CLI::Range(1.0, 5000.0));
    app.add_option("--speed", o.speed, "how many times faster than real time the readings go out")
        ->check(CLI::Range(0.01, 100.0));
    app.add_flag("--counted", o.counted,
                 "counted readings (periods against the 18.432 MHz clock) instead of direct");
    app.add_option("--noise", o.noise, "uniform noise on every reading, +- Hz")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--seed", o.seed, "seed of the noise");
    app.add_option("--battery", o.battery, "battery voltage, V")->check(CLI::Range(0.0, 199.0));
    app.add_option("--temperature", o.temperature, "temperature, deg C")->check(CLI::Range(-2000.0, 2000.0));
    app.add_flag("--no-temperature", noTemperature, "the logger has no temperature sensor");
    app.add_flag("--no-igniter", noIgniter, "no igniter is connected");
    app.add_option("--fire-after", o.fireAfter, "fire by itself this many seconds after start (scripts)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--link", link, "also make this path a symbolic link to the terminal");
    app.add_option("--exit-after", exitAfter, "end after this many seconds")->check(CLI::PositiveNumber);
    CLI11_PARSE(app, argc, argv);
    o.temperatureSensor = !noTemperature;
    o.igniterConnected = !noIgniter;

    try {
        selva::SensorLibrary sensors;
        if (!sensorsFile.empty() && !sensors.LoadSensorFile(sensorsFile, true, {}))
            throw selva::Error("Cannot read the sensor library " + sensorsFile);
        bool found = false;
        for (const selva::TSensor& s : sensors.sensors)
            found = found || s.number == sensorNumber;
        if (!found)
            throw selva::Error("No sensor " + std::to_string(sensorNumber));
        sensors.SetActiveSensor(sensorNumber);
        selva::TCalibration* calibration = sensors.ActiveCalibration();
        const selva::InverseCalibration inverse(*calibration);
        const selva::ThrustProfile profile =
            dur->count() > 0           ? selva::ThrustProfile::shaped(duration, burnStart, burnTime, peak)
            : profileName == "builtin" ? selva::ThrustProfile::builtin()
                                       : selva::ThrustProfile::fromFile(profileName);
        // Fail now, not on the engine's thread, when the profile goes beyond the sensor.
        for (const selva::ThrustProfile::Point& p : profile.points())
            inverse.frequencyAt(p.thrust);

        selva::LoggerSimulator sim(
            profile, [&inverse](double thrust) { return inverse.frequencyAt(thrust); }, o);
        const std::string path = sim.open();
        if (!link.empty()) {
            std::error_code ec;
            std::filesystem::remove(link, ec);
            std::filesystem::create_symlink(path, link, ec);
            if (ec)
                throw selva::Error("Cannot create the link " + link + ": " + ec.message());
        }
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        sim.start();
        std::cout << path << std::endl;
        std::cerr << "logger on " << path << ", " << selva::formatShortest(o.rate)
                  << " readings/s, profile impulse " << selva::formatShortest(profile.impulse()) << " N*s\n";

        const auto start = std::chrono::steady_clock::now();
        bool armed = false;
        int firings = 0;
        while (!interrupted) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (sim.armed() != armed) {
                armed = sim.armed();
                std::cerr << (armed ? "armed\n" : "disarmed\n");
            }
            if (sim.firings() != firings) {
                firings = sim.firings();
                std::cerr << "fired\n";
            }
            if (exitAfter > 0 &&
                std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(exitAfter))
                break;
        }
        sim.stop();
        if (!link.empty()) {
            std::error_code ec;
            std::filesystem::remove(link, ec);
        }
        std::cerr << "stopped after " << sim.readingsSent() << " readings\n";
    } catch (const selva::Error& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
