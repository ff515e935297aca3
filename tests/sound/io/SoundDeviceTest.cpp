// Capture, recording and playback against real devices: the private sound server that
// scripts/with-test-services.sh starts (a null sink, its loopback source "loopin" and a pipe source
// "pipein" fed from a FIFO), and the simulated input. Tests that need the server skip without it.
#include "sensors/SensorLibrary.h"
#include "sound/RecordingFiles.h"
#include "sound/SensorSignal.h"
#include "sound/SoundAutoRecord.h"
#include "sound/SoundRing.h"
#include "sound/SoundWindowRules.h"
#include "sound/Wave.h"
#include "sound/WaveFrequency.h"
#include "sound/WaveSynth.h"
#include "sound/io/SoundEngine.h"
#include "support/TestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <numbers>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace selva {
namespace {

using Clock = std::chrono::steady_clock;

void ensureApp()
{
    static int argc = 1;
    static char name[] = "tests_sound_io";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

// Waits, letting Qt deliver what it has, until `done` or the time is up.
bool waitFor(const std::function<bool()>& done, double seconds)
{
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (Clock::now() > until)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

const AudioInput* findInput(const std::vector<AudioInput>& inputs, const std::string& id)
{
    for (const AudioInput& in : inputs)
        if (in.id == id)
            return &in;
    return nullptr;
}

std::string pipePath()
{
    for (const char* var : {"SELVA_PA_DIR", "XDG_RUNTIME_DIR"})
        if (const char* dir = std::getenv(var)) {
            const std::string p = std::string(dir) + "/pipein.fifo";
            if (std::filesystem::exists(p))
                return p;
        }
    return {};
}

// Writes 44100 Hz 16-bit mono samples into the pipe source's FIFO as fast as they would play, from a
// thread of its own, until told to stop or the samples run out.
class PipeFeeder {
public:
    explicit PipeFeeder(std::function<std::int16_t(std::int64_t frame)> sample, std::int64_t frames = -1)
        : sample_(std::move(sample)), frames_(frames)
    {
        // What an earlier test wrote and nobody took stays in the FIFO while no capture listens: out with it.
        const int drain = ::open(pipePath().c_str(), O_RDONLY | O_NONBLOCK);
        if (drain >= 0) {
            char junk[4096];
            while (::read(drain, junk, sizeof junk) > 0) {
            }
            ::close(drain);
        }
        fd_ = ::open(pipePath().c_str(), O_WRONLY);
        if (fd_ >= 0)
            thread_ = std::thread([this] { run(); });
    }
    ~PipeFeeder() { stop(); }
    bool ok() const { return fd_ >= 0; }
    void stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool finished() const { return finished_; }

private:
    void run()
    {
        const auto start = Clock::now();
        std::int64_t written = 0;
        std::vector<std::int16_t> piece;
        while (!stop_ && (frames_ < 0 || written < frames_)) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            // A little ahead of the clock, so that the source never runs dry.
            std::int64_t due = std::int64_t((elapsed + 0.1) * 44100) - written;
            if (frames_ >= 0)
                due = std::min(due, frames_ - written);
            piece.clear();
            for (std::int64_t k = 0; k < due; ++k)
                piece.push_back(sample_(written + k));
            if (!piece.empty() && ::write(fd_, piece.data(), piece.size() * 2) < 0)
                break;
            written += due;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        finished_ = true;
    }

    std::function<std::int16_t(std::int64_t)> sample_;
    std::int64_t frames_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// A moment for the sound server to take up the feed before a capture starts.
void letThePipeSettle()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
}

std::int16_t tone(double hz, std::int64_t frame)
{
    return static_cast<std::int16_t>(
        std::lround(12000 * std::sin(2 * std::numbers::pi * hz * double(frame) / 44100)));
}

struct SoundDeviceTest : ::testing::Test {
    void SetUp() override
    {
        ensureApp();
        ring.SetAccuracy(0.01);
        ring.SetWindowLength(5.0f);
        engine = std::make_unique<SoundEngine>(ring);
        inputs = engine->Inputs();
    }
    const AudioInput* pipeInput()
    {
        const AudioInput* in = findInput(inputs, "pipein");
        return in != nullptr && !pipePath().empty() ? in : nullptr;
    }

    test::TempDir dir;
    SoundRingState ring;
    std::unique_ptr<SoundEngine> engine;
    std::vector<AudioInput> inputs;
};

TEST_F(SoundDeviceTest, TheSimulatedInputComesAfterTheSoundCardsInEveryFormat)
{
    ASSERT_FALSE(inputs.empty());
    const AudioInput& last = inputs.back();
    EXPECT_EQ(last.description, "Имитатор датчика");
    EXPECT_TRUE(last.simulated);
    EXPECT_EQ(last.formatFlags, 0xFFFFu);
    for (std::size_t i = 0; i + 1 < inputs.size(); ++i)
        EXPECT_FALSE(inputs[i].simulated);

    // A device that is not there does not open, and nothing runs afterwards.
    DeviceError error;
    AudioInput missing;
    missing.id = "no-such-device";
    EXPECT_FALSE(engine->StartCapture(missing, {1, 44100, 16}, 2.0, error));
    EXPECT_EQ(error.Message(), "Failed to open intput device.\nSpecified device identifier is out of range.");
    EXPECT_FALSE(engine->Capturing());
    EXPECT_FALSE(ring.DeviceOwned.load());
}

TEST_F(SoundDeviceTest, CapturesAToneFromThePipeAndReadsItsFrequencyLive)
{
    const AudioInput* pipe = pipeInput();
    if (pipe == nullptr)
        GTEST_SKIP() << "no private sound server with a pipe source";
    engine->Transport().Live = true;
    PipeFeeder feeder([](std::int64_t f) { return tone(1234, f); });
    ASSERT_TRUE(feeder.ok());
    letThePipeSettle();
    DeviceError error;
    ASSERT_TRUE(engine->StartCapture(*pipe, {1, 44100, 16}, 2.0, error)) << error.Message();
    // A second and a half of values: the latest 50 (half a second) are all the tone's frequency.
    ASSERT_TRUE(waitFor([&] { return ring.ReadAnalysisMark().values >= 150; }, 10));
    engine->StopCapture();
    for (float v : LatestFreqValues(ring, 50))
        EXPECT_NEAR(v, 1234.0, 1.0);
    EXPECT_NEAR(LiveMean(ring, 50), 1234.0, 0.15);
}

TEST_F(SoundDeviceTest, RecordsTheToneToAWaveThatTheAnalysisMeasures)
{
    const AudioInput* pipe = pipeInput();
    if (pipe == nullptr)
        GTEST_SKIP() << "no private sound server with a pipe source";
    PipeFeeder feeder([](std::int64_t f) { return tone(777, f); });
    ASSERT_TRUE(feeder.ok());
    letThePipeSettle();
    DeviceError error;
    ASSERT_TRUE(engine->StartCapture(*pipe, {1, 44100, 16}, 2.0, error)) << error.Message();
    TWave wave(9, 1);
    const std::string file = dir.file("tone.wav");
    wave.CreateWave(file);
    engine->StartWriting(wave);
    ASSERT_TRUE(waitFor([&] { return wave.GetTotalFrames() >= 2 * 44100; }, 10));
    const RecordWriter::Result r = engine->StopWriting();
    engine->StopCapture();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.lostFrames, 0);
    ASSERT_TRUE(wave.Close());

    TWave back;
    ASSERT_TRUE(back.Open(file));
    std::vector<double> freq, err;
    ASSERT_TRUE(CalcWaveFrequency(back, 0.01, 0, 0, freq, err, nullptr));
    ASSERT_GE(freq.size(), 190u);
    for (std::size_t i = 1; i + 1 < freq.size(); ++i)
        EXPECT_NEAR(freq[i], 777.0, 0.5) << i;
}

TEST_F(SoundDeviceTest, PlaysAWaveThroughTheNullSinkWhileALoopSourceHearsIt)
{
    const AudioInput* loop = findInput(inputs, "loopin");
    if (loop == nullptr)
        GTEST_SKIP() << "no private sound server with a loopback source";
    const std::string file = dir.file("play.wav");
    WaveSynthOptions o;
    o.sampleRate = 48000;
    o.durationSeconds = 1.5;
    WriteSynthWave(file, o, [](double) { return 880.0; });
    TWave wave;
    wave.Open(file);

    SoundRingState heard;
    heard.SetAccuracy(0.01);
    heard.SetWindowLength(5.0f);
    SoundEngine listener(heard);
    listener.Transport().Live = true;
    DeviceError error;
    ASSERT_TRUE(listener.StartCapture(*loop, {1, 48000, 16}, 2.0, error)) << error.Message();

    engine->Transport().Live = true;
    ASSERT_TRUE(engine->StartPlayback(wave, 2.0, error)) << error.Message();
    // Paused, the device takes nothing more; resumed, it goes on.
    waitFor([&] { return ring.ArrivedFrames.load() > 0; }, 3);
    ASSERT_TRUE(engine->PausePlayback());
    const std::int64_t paused = engine->Transport().PlayedBytes();
    waitFor([] { return false; }, 0.4);
    EXPECT_EQ(engine->Transport().PlayedBytes(), paused);
    ASSERT_TRUE(engine->ResumePlayback());
    double best = 0;
    const bool ended = waitFor(
        [&] {
            if (std::fabs(LiveMean(heard, 20) - 880.0) < std::fabs(best - 880.0))
                best = LiveMean(heard, 20);
            return engine->TakeEndOfPlayback();
        },
        10);
    EXPECT_TRUE(ended);
    engine->StopPlayback();
    listener.StopCapture();
    EXPECT_NEAR(best, 880.0, 1.0);
    // The played buffers passed through the ring: every frame of the file, and the live analysis of them.
    EXPECT_EQ(ring.ArrivedFrames.load(), std::int64_t(wave.GetTotalFrames()));
    EXPECT_NEAR(LatestFreqValues(ring, 30)[10], 880.0, 1.0);
}

// The firing the tests record: the sample library's sensor 1 under the built-in profile.
std::shared_ptr<SensorSignal> sampleSignal()
{
    SensorLibrary lib;
    EXPECT_TRUE(lib.LoadSensorFile(std::string(SELVA_SAMPLES_DIR) + "/sample.sns", true));
    EXPECT_TRUE(lib.SelectActiveSensor(1));
    return std::make_shared<SensorSignal>(ThrustProfile::builtin(), *lib.ActiveCalibration());
}

std::string runCli(const std::string& args, int& code)
{
    std::string out;
    FILE* p = popen((std::string(SELVA_CLI_PATH) + " " + args + " 2>&1").c_str(), "r");
    if (p == nullptr)
        return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int status = pclose(p);
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

double analysedImpulse(const std::string& file)
{
    int code = -1;
    const std::string out = runCli(
        "analyze '" + file + "' --sensors '" + SELVA_SAMPLES_DIR + "/sample.sns' --sensor 1 --json", code);
    EXPECT_EQ(code, 0) << out;
    const auto at = out.find("\"total_impulse\":");
    return at == std::string::npos ? -1 : std::atof(out.c_str() + at + 16);
}

TEST_F(SoundDeviceTest, AutomaticRecordingOfASimulatedFiringKeepsItsImpulse)
{
    const auto signal = sampleSignal();
    engine->Simulator().SetSignal(signal);
    const AudioInput& sim = inputs.back();
    engine->Transport().AutoActive = true;
    DeviceError error;
    ASSERT_TRUE(engine->StartCapture(sim, {1, 44100, 16}, 4.0, error)) << error.Message();
    // At rest the live values are the sensor's zero-thrust frequency.
    TWave wave(9, 1);
    const std::string temp = GetTempWaveName(dir.path().string());
    wave.CreateWave(temp);

    TAutoRecordBlock thresholds; // the defaults: 5 Hz, 2 s of rest, 2 s of pre-roll
    SoundAutoRecord rec;
    rec.Start();
    const auto start = Clock::now();
    const auto now = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    double next = 0;
    bool started = false, ended = false;
    while (!ended && now() < 20) {
        waitFor([&] { return now() >= next; }, 2);
        next += 1.0;
        const auto e = rec.Tick(now(), ring, thresholds);
        if (e.kind == SoundAutoRecord::Event::RestLineMeasured) {
            EXPECT_NEAR(e.restLine, signal->FrequencyAt(0), 0.2);
            engine->Simulator().Fire(0.5);
        } else if (e.kind == SoundAutoRecord::Event::StartOfThrust) {
            engine->StartWriting(wave, e.writeFrame);
            started = true;
            EXPECT_GE(e.startFrame - e.writeFrame, 44100); // at least a second of what came before
        } else if (e.kind == SoundAutoRecord::Event::EndOfThrust) {
            ended = true;
        }
    }
    ASSERT_TRUE(started);
    ASSERT_TRUE(ended);
    const RecordWriter::Result r = engine->StopWriting();
    engine->StopCapture();
    EXPECT_EQ(r.lostFrames, 0);
    ASSERT_TRUE(wave.Close());
    EXPECT_NEAR(analysedImpulse(temp), ThrustProfile::builtin().impulse(),
                0.01 * ThrustProfile::builtin().impulse());
}

TEST_F(SoundDeviceTest, CommandLineRecordsAFiringFedThroughThePipe)
{
    if (pipeInput() == nullptr)
        GTEST_SKIP() << "no private sound server with a pipe source";
    // A firing with a long rest before and after it, at the pipe's format.
    const std::string synth = dir.file("firing.wav");
    int code = -1;
    const std::string made = runCli("synth '" + synth +
                                        "' --duration 16 --burn-start 6 --burn-time 2 --peak 62 "
                                        "--sensors '" +
                                        SELVA_SAMPLES_DIR + "/sample.sns' --sensor 1",
                                    code);
    ASSERT_EQ(code, 0) << made;
    const double truth = std::atof(made.c_str() + made.find("profile impulse ") + 16);
    TWave source;
    source.Open(synth);
    std::vector<std::int16_t> samples(source.GetTotalFrames());
    source.ReadDataAt(0, samples.data(), samples.size() * 2);

    const std::string out = dir.file("caught.wav");
    std::string log;
    PipeFeeder feeder(
        [&](std::int64_t f) {
            return f < std::int64_t(samples.size()) ? samples[std::size_t(f)] : samples.back();
        },
        std::int64_t(samples.size()));
    letThePipeSettle(); // the firing begins 5 s after the tool starts listening
    std::thread cli([&] {
        log = runCli("sound-record --device pipein --out '" + out +
                         "' --auto --rest-time 2 --pre-roll 1.5 --excess 5 --end-band 5 --duration 40",
                     code);
    });
    cli.join();
    feeder.stop();
    ASSERT_EQ(code, 0) << log;
    EXPECT_NE(log.find("rest line"), std::string::npos) << log;
    EXPECT_NE(log.find("start of thrust"), std::string::npos) << log;
    EXPECT_NE(log.find("end of thrust"), std::string::npos) << log;
    TWave caught;
    ASSERT_TRUE(caught.Open(out));
    EXPECT_LT(caught.GetDuration(), 10.0); // the firing, not the whole feed
    EXPECT_NEAR(analysedImpulse(out), truth, 0.01 * truth);
}

TEST_F(SoundDeviceTest, CommandLineNamesDevicesAndFailsClearly)
{
    int code = -1;
    const std::string list = runCli("sound-devices", code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(list.find("simulator\tИмитатор датчика\n"), std::string::npos) << list;

    const std::string missing =
        runCli("sound-record --device nowhere --out '" + dir.file("x.wav") + "' --duration 1", code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(missing.find("No sound input device matches \"nowhere\""), std::string::npos) << missing;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.wav")));

    // By hand from the simulated input, named by a part of its description.
    const std::string made = runCli(
        "sound-record --device Имитатор --out '" + dir.file("sim.wav") + "' --duration 1 --bits 8", code);
    EXPECT_EQ(code, 0) << made;
    TWave sim;
    ASSERT_TRUE(sim.Open(dir.file("sim.wav")));
    EXPECT_EQ(sim.GetBitsPerSample(), 8);
    EXPECT_NEAR(sim.GetDuration(), 1.0, 0.1);
    // Nothing else is left in the folder.
    EXPECT_EQ(FindLeftoverRecordings(dir.path().string()).size(), 0u);
}

} // namespace
} // namespace selva
