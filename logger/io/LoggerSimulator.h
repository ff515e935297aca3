#pragma once

#include "analysis/ThrustProfile.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace selva {

struct LoggerSimulatorOptions {
    double rate = 100;    // readings per second of the firing's time
    double speed = 1;     // how many times faster than real time the readings go out
    bool counted = false; // counted readings (N periods against the reference clock) instead of direct
    double noise = 0;     // uniform noise, +- Hz, on every reading
    std::uint64_t seed = 1;
    double battery = 9.0;      // V
    double temperature = 21.5; // deg C
    bool temperatureSensor = true;
    bool batteryConnected = true;
    bool igniterConnected = true;
    // Fires by itself this many seconds (of the firing's time) after start, armed or not; negative: only
    // on "S" after "R".
    double fireAfter = -1;
};

// A data logger of its own kind, on a pseudo-terminal: it sends a reading line at its rate, the sensor's
// frequency for the thrust of the profile while a firing runs and for zero thrust otherwise, and answers
// the status ("A"), temperature ("T") and battery ("B") requests. "R" arms it, "S" fires an armed logger
// (the profile starts; the igniter burns through and reports disconnected from then on), ESC disarms it
// and ends a firing. Tests and demos connect a serial port to path().
//
// Threads: the owner calls open, start, stop and the destructor; the engine runs on a thread of its own;
// the observers (armed, firings, ...) may be called from any thread.
class LoggerSimulator {
public:
    // `frequencyAt` gives the sensor's frequency (Hz) for a thrust (N).
    LoggerSimulator(ThrustProfile profile, std::function<double(double)> frequencyAt,
                    LoggerSimulatorOptions options = {});
    ~LoggerSimulator();
    LoggerSimulator(const LoggerSimulator&) = delete;
    LoggerSimulator& operator=(const LoggerSimulator&) = delete;

    // Creates the pseudo-terminal pair and returns the path of the end a port opens. Throws selva::Error.
    std::string open();
    const std::string& path() const { return path_; }
    void start();
    // Ends the engine and closes the pseudo-terminal: a port still open on it sees the device go away, as
    // when a logger is unplugged.
    void stop();

    bool armed() const { return armed_.load(); }
    bool firing() const { return firing_.load(); }
    int firings() const { return firings_.load(); } // firings started
    std::uint64_t readingsSent() const { return sent_.load(); }
    // Readings sent since the last firing started.
    std::uint64_t readingsSinceFiring() const;
    // The last reading sent, as the program decodes it.
    float lastReading() const { return last_.load(); }
    // How many times each command byte arrived.
    int received(unsigned char command) const { return commands_[command].load(); }
    // The thrust profile's total impulse, the truth a recording should give back.
    double profileImpulse() const { return profile_.impulse(); }

private:
    void run();
    void handle(unsigned char command, std::uint64_t k);
    void fire(std::uint64_t k);
    void send(const std::string& line);

    ThrustProfile profile_;
    std::function<double(double)> frequencyAt_;
    LoggerSimulatorOptions o_;
    std::string path_;
    int master_ = -1;
    int slave_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> armed_{false};
    std::atomic<bool> firing_{false};
    std::atomic<bool> igniterBurnt_{false};
    std::atomic<int> firings_{0};
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> fireAt_{0};
    std::atomic<float> last_{0};
    std::atomic<int> commands_[256] = {};
};

} // namespace selva
