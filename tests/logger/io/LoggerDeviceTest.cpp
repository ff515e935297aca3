// The serial reader and the port table against the simulated logger on a pseudo-terminal, and an automatic
// recording through them cut by a logger that goes away. (A whole firing recorded automatically and
// analysed back to its impulse runs through the acquisition window: tests/logger/ui.)
#include "logger/LoggerLink.h"
#include "logger/LoggerRecorder.h"
#include "logger/io/SerialPortTable.h"

#include "common/Error.h"
#include "support/SimulatedLogger.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace selva {
namespace {

using namespace std::chrono_literals;

// Waits up to `limit` for `done`, looking every 10 ms.
bool within(std::chrono::milliseconds limit, const std::function<bool()>& done)
{
    for (const auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (done())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

SerialPortTable noSystemPorts()
{
    return SerialPortTable([] { return std::vector<SerialPortTable::SystemPort>{}; });
}

TEST(SerialReader, DecodesTheLoggerAndSendsItsCommands)
{
    test::SimulatedLogger logger;
    LoggerLink link;
    TLoggerBlock stored;
    SerialPortTable ports = noSystemPorts(); // after the link, which its reader uses
    const int index = ports.AddPortByPath(QString::fromStdString(logger.sim.path()));
    EXPECT_EQ(ports.AddPortByPath(QString::fromStdString(logger.sim.path())), index); // once only
    ports.OpenExclusive(index, stored, link);
    ASSERT_TRUE(ports.readerRunning());

    std::vector<float> readings(16);
    ASSERT_TRUE(within(2s, [&] { return link.readings.available() >= readings.size(); }));
    ASSERT_EQ(link.readings.pop(readings.data(), readings.size()), readings.size());
    for (float f : readings)
        EXPECT_NEAR(f, 8702.5, 0.5); // 0 N is 8702.5 Hz, sent as a whole number

    // Status, temperature, status, battery: the four first steps of the poll.
    for (int i = 0; i < 4; ++i) {
        link.pollCycle();
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(within(1s, [&] { return link.batteryReported.load(); }));
    EXPECT_EQ(link.statusFlags, StatusBatteryConnected | StatusIgniterConnected | StatusTemperatureSensor);
    EXPECT_FLOAT_EQ(link.temperature, 21.5f);
    EXPECT_NEAR(link.batteryVoltage, 9.0, 12.5 / 4096);

    link.placeCommand(CmdArm);
    EXPECT_TRUE(within(1s, [&] { return logger.sim.armed(); }));
    link.placeCommand(CmdStop);
    EXPECT_TRUE(within(1s, [&] { return !logger.sim.armed(); }));

    ports.CloseCurrent();
    EXPECT_FALSE(ports.portOpen());
    EXPECT_EQ(link.state(), LoggerLink::ReaderState::Ended);
}

TEST(SerialPortTable, OpeningErrorsNameThePortAndUnchosenSettingsAdoptThePorts)
{
    LoggerLink link;
    TLoggerBlock stored;
    SerialPortTable ports = noSystemPorts();
    try {
        ports.OpenExclusive(0, stored, link);
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Wrong port index0");
    }
    const int missing = ports.AddPortByPath("/dev/no-such-logger");
    try {
        ports.OpenExclusive(missing, stored, link);
        FAIL();
    } catch (const Error& e) {
        // The reader's own reason follows on a line of its own.
        EXPECT_EQ(std::string(e.what()).rfind("Error opening port /dev/no-such-logger\n", 0), 0u) << e.what();
    }
    EXPECT_FALSE(ports.portOpen());

    // A stored bit rate of 110: the port keeps its own (a pseudo-terminal starts at 38400) and the
    // reader's read-total constant becomes 10 ms.
    test::SimulatedLogger logger;
    const int index = ports.AddPortByPath(QString::fromStdString(logger.sim.path()));
    stored.dcb.BaudRate = 110;
    stored.timeouts.WriteTotalTimeoutConstant = 500;
    ports.OpenExclusive(index, stored, link);
    EXPECT_EQ(stored.dcb.BaudRate, 38400u);
    EXPECT_EQ(stored.timeouts.ReadTotalTimeoutConstant, 10u);
    EXPECT_EQ(stored.timeouts.WriteTotalTimeoutConstant, 0u);
    EXPECT_TRUE(within(2s, [&] { return link.readings.available() > 0; }));
}

// The window's display ticks, here every 30 ms of real time, over the reader's readings.
struct Acquisition {
    explicit Acquisition(test::SimulatedLogger& logger)
        : recorder({}, [this](float* out, std::size_t max) { return link.readings.pop(out, max); })
    {
        recorder.setFolder(dir.path().string());
        recorder.onFinished = [this](const FinishedRecording& f) { finished.push_back(f); };
        ports.OpenExclusive(ports.AddPortByPath(QString::fromStdString(logger.sim.path())), stored, link);
    }
    bool tickUntil(std::chrono::milliseconds limit, const std::function<bool()>& done)
    {
        return within(limit, [&] {
            recorder.tick();
            return done();
        });
    }

    // The reader uses the link until the table stops it: the table is declared after the link.
    test::TempDir dir;
    TLoggerBlock stored;
    LoggerLink link;
    SerialPortTable ports = noSystemPorts();
    LoggerRecorder recorder;
    std::vector<FinishedRecording> finished;
};

TEST(LoggerEndToEnd, ALoggerThatGoesAwayMidBurnLeavesEveryReadingItSent)
{
    LoggerSimulatorOptions o;
    o.speed = 2;
    test::SimulatedLogger logger(o);
    Acquisition a(logger);
    ASSERT_TRUE(a.recorder.pressAuto());
    ASSERT_TRUE(a.tickUntil(10s, [&] { return a.recorder.autoState() == AutoState::WaitStart; }));
    a.link.placeCommand(CmdArm);
    ASSERT_TRUE(within(1s, [&] { return logger.sim.armed(); }));
    a.link.placeCommand(CmdFire);
    // Half a second into the burn (the profile has 2 s of rest before it), the cable is pulled.
    ASSERT_TRUE(a.tickUntil(10s, [&] { return logger.sim.readingsSinceFiring() > 250; }));
    ASSERT_TRUE(a.recorder.recording());
    logger.sim.stop();
    ASSERT_TRUE(within(2s, [&] { return a.link.state() == LoggerLink::ReaderState::Failed; }));
    EXPECT_FALSE(a.ports.readerRunning());
    a.recorder.stopRecording();
    ASSERT_EQ(a.finished.size(), 1u);

    const SavedRecording saved =
        saveRecording(a.finished[0], a.dir.file("cut.frq"), a.dir.path().string(), {});
    ASSERT_TRUE(saved.ok) << saved.error;
    TFreq freq;
    ASSERT_TRUE(freq.LoadFromFile(saved.fileName));
    // Tg before the start (the start is the last reading before the rise, 2 s into the profile), then
    // everything the logger sent from there on, up to its very last reading.
    EXPECT_NEAR(freq.RecordCount, static_cast<double>(logger.sim.readingsSinceFiring()), 3);
    float last = freq.First();
    while (!freq.AtEnd())
        last = freq.Next();
    EXPECT_EQ(last, logger.sim.lastReading());
}

} // namespace
} // namespace selva
