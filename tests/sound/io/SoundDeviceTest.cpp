// Capture, recording and playback against real devices: the private sound server that
// scripts/with-test-services.sh starts (a null sink, its loopback source "loopin" and a pipe source
// "pipein" fed from a FIFO), and the simulated input. Tests that need the server skip without it.
#include "sensors/SensorLibrary.h"
#include "sound/RecordingFiles.h"
#include "sound/SensorSignal.h"
#include "sound/SoundAutoRecord.h"
#include "sound/SoundWindowRules.h"
#include "sound/WaveBytes.h"
#include "sound/WaveFrequency.h"
#include "sound/io/SoundEngine.h"
#include "support/TestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace selva {
namespace {

using Clock = std::chrono::steady_clock;

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
// thread of its own, until stopped or `frames` are written (-1: no end). Constructed a moment before the
// capture starts, for the sound server to take up the feed.
struct PipeFeeder {
    explicit PipeFeeder(std::function<std::int16_t(std::int64_t frame)> sample, std::int64_t frames = -1)
    {
        // What an earlier test wrote and nobody took stays in the FIFO while no capture listens: out with it.
        if (const int drain = ::open(pipePath().c_str(), O_RDONLY | O_NONBLOCK); drain >= 0) {
            char junk[4096];
            while (::read(drain, junk, sizeof junk) > 0) {
            }
            ::close(drain);
        }
        if ((fd = ::open(pipePath().c_str(), O_WRONLY)) < 0)
            return;
        thread = std::jthread([this, sample, frames](std::stop_token stop) {
            const auto start = Clock::now();
            std::vector<std::int16_t> piece;
            for (std::int64_t written = 0; !stop.stop_requested() && (frames < 0 || written < frames);) {
                // A little ahead of the clock, so that the source never runs dry.
                const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
                std::int64_t due = std::int64_t((elapsed + 0.1) * 44100) - written;
                if (frames >= 0)
                    due = std::min(due, frames - written);
                piece.clear();
                for (std::int64_t k = 0; k < due; ++k)
                    piece.push_back(sample(written + k));
                if (!piece.empty() && ::write(fd, piece.data(), piece.size() * 2) < 0)
                    break;
                written += due;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
    }
    ~PipeFeeder() { stop(); }
    void stop()
    {
        thread = {}; // stops and joins the thread
        if (fd >= 0)
            ::close(std::exchange(fd, -1));
    }

    int fd = -1;
    std::jthread thread;
};

struct SoundDeviceTest : ::testing::Test {
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "tests_sound_io", *argv[] = {name, nullptr};
        static auto* app = new QCoreApplication(argc, argv); // one for the program, never destroyed
        (void)app;
        ring.SetAccuracy(0.01);
        ring.SetWindowLength(5.0f);
        engine = std::make_unique<SoundEngine>(ring);
        inputs = engine->Inputs();
    }
    // The input of that id; the pipe source only where its FIFO is found too.
    const AudioInput* input(const std::string& id)
    {
        for (const AudioInput& in : inputs)
            if (in.id == id && (id != "pipein" || !pipePath().empty()))
                return &in;
        return nullptr;
    }

    test::TempDir dir;
    SoundRingState ring;
    std::unique_ptr<SoundEngine> engine;
    std::vector<AudioInput> inputs;
};

// A tone fed through the pipe: its live values while it is captured, and the recording made of it
// measured afterwards.
TEST_F(SoundDeviceTest, CapturesAToneLiveAndRecordsItToAWaveThatTheAnalysisMeasures)
{
    const AudioInput* pipe = input("pipein");
    if (pipe == nullptr)
        GTEST_SKIP() << "no private sound server with a pipe source";
    engine->Transport().Live = true;
    PipeFeeder feeder([](std::int64_t f) { return test::tone(1234, 12000, f); });
    ASSERT_GE(feeder.fd, 0);
    DeviceError error;
    ASSERT_TRUE(engine->StartCapture(*pipe, {1, 44100, 16}, 2.0, error)) << error.Message();
    TWave wave(9, 1);
    const std::string file = dir.file("tone.wav");
    wave.CreateWave(file);
    engine->StartWriting(wave);
    // Two seconds of values: the latest 50 (half a second) are all the tone's frequency.
    ASSERT_TRUE(waitFor(
        [&] { return wave.GetTotalFrames() >= 2 * 44100 && ring.ReadAnalysisMark().values >= 150; }, 10));
    const RecordWriter::Result r = engine->StopWriting();
    engine->StopCapture();
    for (float v : LatestFreqValues(ring, 50))
        EXPECT_NEAR(v, 1234.0, 1.0);
    EXPECT_NEAR(LiveMean(ring, 50), 1234.0, 0.15);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.lostFrames, 0);
    ASSERT_TRUE(wave.Close());

    TWave back;
    ASSERT_TRUE(back.Open(file));
    std::vector<double> freq, err;
    ASSERT_TRUE(CalcWaveFrequency(back, 0.01, 0, 0, freq, err, nullptr));
    ASSERT_GE(freq.size(), 190u);
    for (std::size_t i = 1; i + 1 < freq.size(); ++i)
        EXPECT_NEAR(freq[i], 1234.0, 0.5) << i;
}

TEST_F(SoundDeviceTest, PlaysAWaveThroughTheNullSinkWhileALoopSourceHearsIt)
{
    const AudioInput* loop = input("loopin");
    if (loop == nullptr)
        GTEST_SKIP() << "no private sound server with a loopback source";
    TWave wave;
    test::openSynth(wave, dir.file("play.wav"), {.sampleRate = 48000, .durationSeconds = 1.5},
                    [](double) { return 880.0; });

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
    // The sample library's sensor 1 under the built-in profile.
    SensorLibrary lib;
    ASSERT_TRUE(lib.LoadSensorFile(std::string(SELVA_SAMPLES_DIR) + "/sample.sns", true));
    ASSERT_TRUE(lib.SelectActiveSensor(1));
    const auto signal = std::make_shared<SensorSignal>(ThrustProfile::builtin(), *lib.ActiveCalibration());
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
    if (input("pipein") == nullptr)
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
    PipeFeeder feeder([&](std::int64_t f) { return samples[std::size_t(f)]; }, std::int64_t(samples.size()));
    // The firing begins 5 s after the tool starts listening.
    const std::string log =
        runCli("sound-record --device pipein --out '" + out +
                   "' --auto --rest-time 2 --pre-roll 1.5 --excess 5 --end-band 5 --duration 40",
               code);
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

TEST_F(SoundDeviceTest, DevicesAreNamedAndAMissingOneFailsClearly)
{
    // The simulated input comes after the sound cards and takes every format.
    ASSERT_FALSE(inputs.empty());
    EXPECT_TRUE(inputs.back().simulated);
    EXPECT_EQ(inputs.back().formatFlags, 0xFFFFu);
    int code = -1;
    const std::string list = runCli("sound-devices", code);
    EXPECT_EQ(code, 0);
    EXPECT_NE(list.find("simulator\tИмитатор датчика\n"), std::string::npos) << list;

    // A device that is not there does not open, and nothing runs afterwards.
    DeviceError error;
    AudioInput missing;
    missing.id = "no-such-device";
    EXPECT_FALSE(engine->StartCapture(missing, {1, 44100, 16}, 2.0, error));
    EXPECT_EQ(error.Message(), "Failed to open intput device.\nSpecified device identifier is out of range.");
    EXPECT_FALSE(engine->Capturing());
    EXPECT_FALSE(ring.DeviceOwned.load());
    const std::string nowhere =
        runCli("sound-record --device nowhere --out '" + dir.file("x.wav") + "' --duration 1", code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(nowhere.find("No sound input device matches \"nowhere\""), std::string::npos) << nowhere;
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
