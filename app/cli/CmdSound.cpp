// sound-devices, sound-record: the sound window's capture and automatic recording, for test stands run
// from scripts.
#include "app/cli/Commands.h"
#include "app/cli/Session.h"

#include "analysis/ThrustProfile.h"
#include "common/Error.h"
#include "common/Format.h"
#include "sound/RecordingFiles.h"
#include "sound/SensorSignal.h"
#include "sound/SoundAutoRecord.h"
#include "sound/SoundRing.h"
#include "sound/Wave.h"
#include "sound/io/SoundEngine.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

namespace selva::cli {

bool loadSensors(Session& s, const std::string& fileName);
bool activateSensor(Session& s, std::int32_t number, const std::string& fileName);

namespace {

// Qt Multimedia needs an application object; the command's own is enough.
struct QtApp {
    int argc = 1;
    char name[17] = "selvarondine-cli";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
};

std::string lowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

// The device named by its id, its description, or a part of either that only one device has.
const AudioInput* findDevice(const std::vector<AudioInput>& inputs, const std::string& name,
                             std::string& error)
{
    for (const AudioInput& in : inputs)
        if (in.id == name)
            return &in;
    for (const AudioInput& in : inputs)
        if (in.description == name)
            return &in;
    const AudioInput* match = nullptr;
    int matches = 0;
    const std::string want = lowerAscii(name);
    for (const AudioInput& in : inputs) {
        if (lowerAscii(in.id).find(want) != std::string::npos ||
            lowerAscii(in.description).find(want) != std::string::npos) {
            match = &in;
            ++matches;
        }
    }
    if (matches == 1)
        return match;
    error = matches == 0 ? "No sound input device matches \"" + name + "\" (see sound-devices)"
                         : "More than one sound input device matches \"" + name + "\"; name it by its id";
    return nullptr;
}

struct RecordOptions {
    std::string device;
    std::string out;
    std::uint32_t rate = 44100;
    std::uint16_t bits = 16;
    std::uint16_t channels = 1;
    double accuracy = 0.01;
    bool automatic = false;
    double restTime = 0, preRoll = 0, duration = 0, fireAfter = 0;
    std::int32_t excess = 0, endBand = 0;
    std::string settings;
    // The simulated input's firing.
    std::string profile = "builtin";
    std::string sensorsFile;
    std::int32_t sensor = 0;
    CLI::Option *restTimeOpt = nullptr, *preRollOpt = nullptr, *excessOpt = nullptr, *endBandOpt = nullptr,
                *durationOpt = nullptr, *fireAfterOpt = nullptr;
};

std::string seconds(double s)
{
    return formatFixed(s, 2) + " s";
}

int runRecord(const RecordOptions& o)
{
    if (!o.automatic && o.durationOpt->count() == 0) {
        std::cerr << "A recording by hand needs --duration\n";
        return kExitUsage;
    }
    Session s;
    TAutoRecordBlock thresholds;
    if (!o.settings.empty()) {
        const StoreLoad load = s.store.ReadSettingsFile(o.settings);
        if (load != StoreLoad::Loaded) {
            std::cerr << (load == StoreLoad::Missing ? "Unable to read the settings file "
                                                     : "Damaged settings file ")
                      << o.settings << '\n';
            return kExitFailure;
        }
        thresholds = s.store.settings.autoRecord;
    }
    if (o.restTimeOpt->count())
        thresholds.deadTime = static_cast<float>(o.restTime);
    if (o.preRollOpt->count())
        thresholds.bufLen = static_cast<float>(o.preRoll);
    if (o.excessOpt->count())
        thresholds.freqUp = o.excess;
    if (o.endBandOpt->count())
        thresholds.freqEnd = o.endBand;

    QtApp qt;
    SoundRingState ring;
    // The ring holds the pre-roll and the second of values the detection looks back over, with room to
    // spare; the live values cover the rest time.
    const double waveLen =
        std::clamp(std::ceil((widenSingle(thresholds.bufLen) + 2.0) / 0.2) * 0.2, 2.0, MaxWaveLen);
    ring.SetAccuracy(o.accuracy);
    ring.SetWindowLength(static_cast<float>(std::max(5.0, widenSingle(thresholds.deadTime) + 2.0)));
    SoundEngine engine(ring);

    const std::vector<AudioInput> inputs = engine.Inputs();
    std::string error;
    const AudioInput* device = findDevice(inputs, o.device, error);
    if (device == nullptr) {
        std::cerr << error << '\n';
        return kExitFailure;
    }
    if (device->simulated) {
        if (!o.sensorsFile.empty() && !loadSensors(s, o.sensorsFile))
            return kExitFailure;
        if (!activateSensor(s, o.sensor, o.sensorsFile.empty() ? "the built-in library" : o.sensorsFile))
            return kExitFailure;
        try {
            const TCalibration* calibration = s.sensors.ActiveCalibration();
            if (calibration == nullptr)
                throw Error("No active sensor");
            engine.Simulator().SetSignal(std::make_shared<SensorSignal>(
                o.profile == "builtin" ? ThrustProfile::builtin() : ThrustProfile::fromFile(o.profile),
                *calibration));
        } catch (const Error& e) {
            std::cerr << e.what() << '\n';
            return kExitFailure;
        }
    }

    // A target that cannot take the recording is refused before anything is recorded.
    if (const std::string refusal = RecordingTargetRefusal(o.out, false); !refusal.empty()) {
        std::cerr << refusal << '\n';
        return kExitFailure;
    }
    const std::string folder = std::filesystem::absolute(std::filesystem::path(o.out)).parent_path().string();
    const std::string temp = GetTempWaveName(folder);
    TWave wave;
    try {
        wave.SetFormat(o.channels, o.rate, o.bits);
        SaveOptions inPlace; // written where it stands: a recording in progress survives a crash
        inPlace.newFileInPlace = true;
        wave.CreateWave(temp, inPlace);
    } catch (const Error& e) {
        std::cerr << e.what() << '\n';
        return kExitFailure;
    }
    const auto dropTemp = [&] {
        wave.Close();
        std::error_code ec;
        std::filesystem::remove(temp, ec);
    };

    engine.Transport().AutoActive = o.automatic;
    DeviceError deviceError;
    if (!engine.StartCapture(*device, {o.channels, o.rate, o.bits}, waveLen, deviceError)) {
        std::cerr << deviceError.Message() << '\n';
        dropTemp();
        return kExitFailure;
    }
    std::cerr << "capturing from " << device->description << " (" << device->id << "): " << o.rate << " Hz, "
              << o.bits << " bits, " << o.channels << (o.channels == 1 ? " channel" : " channels") << '\n';
    if (device->simulated && o.fireAfterOpt->count())
        engine.Simulator().Fire(o.fireAfter);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    const bool limited = o.durationOpt->count() > 0;
    SoundAutoRecord rec;
    bool writing = false;
    if (o.automatic) {
        rec.Start();
    } else {
        engine.StartWriting(wave);
        writing = true;
    }
    double nextTick = 0;
    while (!limited || elapsed() < o.duration) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!o.automatic || elapsed() < nextTick)
            continue;
        nextTick += 1.0;
        const SoundAutoRecord::Event e = rec.Tick(elapsed(), ring, thresholds);
        if (e.kind == SoundAutoRecord::Event::RestLineMeasured) {
            std::cerr << "rest line " << formatFixed(e.restLine, 1) << " Hz, measured over "
                      << seconds(thresholds.deadTime) << '\n';
        } else if (e.kind == SoundAutoRecord::Event::StartOfThrust) {
            engine.StartWriting(wave, e.writeFrame);
            writing = true;
            std::cerr << "start of thrust at " << seconds(double(e.startFrame) / o.rate)
                      << " of the capture, recording from " << seconds(double(e.writeFrame) / o.rate)
                      << " (pre-roll " << seconds(double(e.startFrame - e.writeFrame) / o.rate) << ")\n";
        } else if (e.kind == SoundAutoRecord::Event::EndOfThrust) {
            std::cerr << "end of thrust at " << seconds(double(ring.ArrivedFrames.load()) / o.rate)
                      << " of the capture\n";
            break;
        }
    }
    rec.Stop();
    const RecordWriter::Result written = engine.StopWriting();
    engine.StopCapture();
    if (!writing) {
        std::cerr << "No start of thrust within " << seconds(o.duration) << "; nothing recorded\n";
        dropTemp();
        return kExitFailure;
    }
    if (written.lostFrames > 0)
        std::cerr << "warning: " << written.lostFrames
                  << " frames could not be written in time (silence in their place)\n";
    const std::uint32_t frames = wave.GetTotalFrames();
    if (!wave.Close() || !written.ok) {
        std::cerr << "Error writing " << temp << "; the recording stays there\n";
        return kExitFailure;
    }
    std::string resolved;
    if (const std::string refusal = RecordingTargetRefusal(o.out, false, &resolved); !refusal.empty()) {
        std::cerr << refusal << "; the recording stays in " << temp << '\n';
        return kExitFailure;
    }
    if (!MoveFileReplacing(temp, resolved, error)) {
        std::cerr << "Unable to move the recording to " << o.out << " (" << error << "); it stays in " << temp
                  << '\n';
        return kExitFailure;
    }
    std::cerr << "written " << o.out << ": " << seconds(double(frames) / o.rate) << '\n';
    return kExitOk;
}

} // namespace

void registerSoundCommands(CLI::App& app, CommandList& commands)
{
    {
        CLI::App* sub =
            app.add_subcommand("sound-devices", "List the sound input devices the sound window offers: "
                                                "id, TAB, description");
        commands.add(sub, []() {
            QtApp qt;
            SoundRingState ring;
            SoundEngine engine(ring);
            for (const AudioInput& in : engine.Inputs())
                std::cout << in.id << '\t' << in.description << '\n';
            return kExitOk;
        });
    }
    auto o = std::make_shared<RecordOptions>();
    CLI::App* sub = app.add_subcommand(
        "sound-record",
        "Record from a sound input device: by hand for --duration seconds, or with --auto the firing "
        "the automatic recording detects (rest line, start, end of thrust)");
    sub->add_option("--device", o->device, "the device: its id, its description or a part of either")
        ->required();
    sub->add_option("--out", o->out, "the WAV file to write")->required();
    sub->add_option("--rate", o->rate, "sample rate, Hz")->check(CLI::Range(1000u, 384000u));
    sub->add_option("--bits", o->bits, "bits per sample")->check(CLI::IsMember({8, 16}));
    sub->add_option("--channels", o->channels, "channels")->check(CLI::IsMember({1, 2}));
    sub->add_option("--accuracy", o->accuracy, "seconds per live frequency value")
        ->check(CLI::Range(0.001, 1.0));
    sub->add_flag("--auto", o->automatic, "record the firing the automatic recording detects");
    o->restTimeOpt = sub->add_option("--rest-time", o->restTime, "rest measurement time, s")
                         ->check(CLI::Range(0.01, 600.0));
    o->excessOpt =
        sub->add_option("--excess", o->excess, "fall below the rest line that marks the start, Hz");
    o->endBandOpt =
        sub->add_option("--end-band", o->endBand, "distance from the rest line that marks the end, Hz");
    o->preRollOpt = sub->add_option("--pre-roll", o->preRoll, "most sound kept before the start, s")
                        ->check(CLI::Range(0.0, 45.0));
    o->durationOpt =
        sub->add_option("--duration", o->duration, "seconds to record (by hand) or to wait at most (--auto)")
            ->check(CLI::PositiveNumber);
    sub->add_option("--settings", o->settings,
                    "settings file (.rsr) whose automatic-recording thresholds apply");
    o->fireAfterOpt = sub->add_option("--fire-after", o->fireAfter,
                                      "simulated input: fire this many seconds after the start")
                          ->check(CLI::NonNegativeNumber);
    sub->add_option("--profile", o->profile, "simulated input: builtin, or a text file of time/thrust pairs");
    sub->add_option("--sensors", o->sensorsFile, "simulated input: sensor library (.sns)");
    sub->add_option("--sensor", o->sensor,
                    "simulated input: number of the sensor whose calibration is inverted");
    commands.add(sub, [o]() { return runRecord(*o); });
}

} // namespace selva::cli
