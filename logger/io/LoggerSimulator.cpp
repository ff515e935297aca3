#include "logger/io/LoggerSimulator.h"

#include "common/Error.h"
#include "logger/LoggerProtocol.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace selva {

LoggerSimulator::LoggerSimulator(ThrustProfile profile, std::function<double(double)> frequencyAt,
                                 LoggerSimulatorOptions options)
    : profile_(std::move(profile)), frequencyAt_(std::move(frequencyAt)), o_(options)
{
    if (!(o_.rate > 0))
        o_.rate = 100;
    if (!(o_.speed > 0))
        o_.speed = 1;
}

LoggerSimulator::~LoggerSimulator()
{
    stop();
}

std::string LoggerSimulator::open()
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw Error(std::string("Cannot create a pseudo-terminal: ") + std::strerror(errno));
    // Raw and without echo from the start, whoever opens the other end: an echo would hand the logger its
    // own lines as commands. The simulator keeps its end of the slave open, so the pair survives a port
    // being closed and opened again.
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    path_ = name;
    return path_;
}

void LoggerSimulator::start()
{
    if (master_ < 0)
        open();
    if (thread_.joinable())
        return;
    stop_ = false;
    thread_ = std::thread([this] { run(); });
}

void LoggerSimulator::stop()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

std::uint64_t LoggerSimulator::readingsSinceFiring() const
{
    return firings_.load() > 0 ? sent_.load() - fireAt_.load() : 0;
}

void LoggerSimulator::send(const std::string& line)
{
    // Nobody may be reading: a full terminal buffer drops the line rather than stopping the logger.
    if (::write(master_, line.data(), line.size()) < 0 && errno != EAGAIN)
        return;
}

void LoggerSimulator::fire(std::uint64_t k)
{
    fireAt_ = k;
    firing_ = true;
    igniterBurnt_ = true;
    firings_.fetch_add(1);
}

void LoggerSimulator::handle(unsigned char command, std::uint64_t k)
{
    commands_[command].fetch_add(1);
    switch (command) {
    case CmdArm:
        armed_ = true;
        break;
    case CmdFire:
        if (armed_.exchange(false))
            fire(k);
        break;
    case CmdStop:
        armed_ = false;
        firing_ = false;
        break;
    case CmdStatus: {
        std::uint8_t flags = 0;
        if (o_.batteryConnected)
            flags |= StatusBatteryConnected;
        if (o_.igniterConnected && !igniterBurnt_)
            flags |= StatusIgniterConnected;
        if (o_.temperatureSensor)
            flags |= StatusTemperatureSensor;
        send(encodeStatusLine(flags));
        break;
    }
    case CmdTemperature:
        if (o_.temperatureSensor)
            send(encodeTemperatureLine(o_.temperature));
        break;
    case CmdBattery:
        send(encodeBatteryLine(o_.battery));
        break;
    default:
        break;
    }
}

void LoggerSimulator::run()
{
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::duration<double>(1.0 / (o_.rate * o_.speed));
    const double restFrequency = frequencyAt_(0.0);
    std::mt19937_64 random(o_.seed);
    std::uniform_real_distribution<double> noise(-o_.noise, o_.noise);
    bool firedBySchedule = false;

    const Clock::time_point t0 = Clock::now();
    std::uint64_t k = 0;
    while (!stop_) {
        const auto due = t0 + std::chrono::duration_cast<Clock::duration>(period * static_cast<double>(k));
        const auto now = Clock::now();
        if (now >= due) {
            if (o_.fireAfter >= 0 && !firedBySchedule && static_cast<double>(k) / o_.rate >= o_.fireAfter) {
                firedBySchedule = true;
                fire(k);
            }
            double thrust = 0;
            if (firing_) {
                const double t = static_cast<double>(k - fireAt_) / o_.rate;
                if (t > profile_.duration())
                    firing_ = false;
                else
                    thrust = profile_.thrustAt(t);
            }
            double f = thrust == 0 ? restFrequency : frequencyAt_(thrust);
            if (o_.noise > 0)
                f += noise(random);
            const std::string line =
                o_.counted ? encodeCountedReading(f, 1.0 / o_.rate) : encodeDirectReading(f);
            last_ = decodeLoggerLine(line).value;
            send(line);
            ++k;
            sent_ = k;
            continue;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(due - now);
        const timespec ts{static_cast<time_t>(wait.count() / 1'000'000'000),
                          static_cast<long>(wait.count() % 1'000'000'000)};
        pollfd p{master_, POLLIN, 0};
        if (::ppoll(&p, 1, &ts, nullptr) > 0 && (p.revents & POLLIN)) {
            unsigned char bytes[64];
            const ssize_t n = ::read(master_, bytes, sizeof bytes);
            for (ssize_t i = 0; i < n; ++i)
                handle(bytes[i], k);
        }
    }
}

} // namespace selva
