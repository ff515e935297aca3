// synth: what the sensor would deliver for a thrust-time profile, as a recording or a frequency record.
#include "app/cli/CliText.h"
#include "app/cli/Commands.h"
#include "app/cli/Session.h"

#include "analysis/ResultsExport.h"
#include "common/Error.h"
#include "common/Format.h"
#include "analysis/ThrustProfile.h"
#include "sensors/Calibration.h"
#include "sensors/InverseCalibration.h"
#include "sound/WaveSynth.h"

#include <algorithm>
#include <cmath>
#include <vector>
#include <iostream>
#include <memory>

namespace selva::cli {

bool loadSensors(Session& s, const std::string& fileName);
bool activateSensor(Session& s, std::int32_t number, const std::string& fileName);

namespace {

struct SynthOptions {
    std::string out;
    std::string profile = "builtin";
    std::string sensorsFile;
    std::int32_t sensor = 0;
    std::uint32_t rate = 44100;
    std::uint16_t bits = 16;
    std::uint16_t channels = 1;
    double noise = 0;
    double step = 0.01;
    std::uint64_t seed = 1;
    // A firing described by its shape instead of a profile file (all four or none).
    double duration = 0, burnStart = 0, burnTime = 0, peak = 0;
    bool shaped = false;
};

bool endsWithNoCase(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && toUpperAscii(s.substr(s.size() - suffix.size())) == toUpperAscii(suffix);
}

int runSynth(const SynthOptions& o)
{
    Session s;
    if (!o.sensorsFile.empty() && !loadSensors(s, o.sensorsFile))
        return kExitFailure;
    if (!activateSensor(s, o.sensor, o.sensorsFile.empty() ? "the built-in library" : o.sensorsFile))
        return kExitFailure;
    try {
        const ThrustProfile profile = o.shaped                 ? ThrustProfile::shaped(o.duration, o.burnStart, o.burnTime, o.peak)
                                      : o.profile == "builtin" ? ThrustProfile::builtin()
                                                               : ThrustProfile::fromFile(o.profile);
        TCalibration* calibration = s.sensors.ActiveCalibration();
        if (calibration == nullptr)
            throw Error("No active sensor");
        const InverseCalibration inverse(*calibration);
        const auto frequency = [&](double t) { return inverse.frequencyAt(profile.thrustAt(t)); };

        if (endsWithNoCase(o.out, ".frq")) {
            if (!(o.step > 0))
                throw Error("The step must be positive");
            const double count = std::floor(profile.duration() / o.step) + 1;
            if (count > 5e7)
                throw Error("Too many readings for one record");
            AnalysisState st;
            st.AnalysisStep = o.step;
            st.PointCount = static_cast<std::uint32_t>(count);
            st.FreqData.resize(st.PointCount);
            for (std::uint32_t i = 0; i < st.PointCount; ++i)
                st.FreqData[i] = frequency(i * o.step);
            std::string error;
            if (!WriteResultsExport(o.out, st, ExportKind::Frequency, "synthesised: " + o.profile, &error,
                                    s.ws.SaveOptionsFor(SaveWhat::Export)))
                throw Error("Невозможно записать файл " + o.out + ": " + error);
        } else {
            double lowest = 0, highest = 0;
            for (const ThrustProfile::Point& p : profile.points()) {
                lowest = std::min(lowest, p.thrust);
                highest = std::max(highest, p.thrust);
            }
            const FrequencyTable table(inverse, lowest, highest);
            WaveSynthOptions w;
            w.sampleRate = o.rate;
            w.bitsPerSample = o.bits;
            w.channels = o.channels;
            w.noiseAmplitude = o.noise;
            w.seed = o.seed;
            w.durationSeconds = profile.duration();
            WriteSynthWave(o.out, w, [&](double t) { return table.frequencyAt(profile.thrustAt(t)); },
                           s.ws.SaveOptionsFor(SaveWhat::Export));
        }
        // The truth the analysis should find again.
        std::cerr << "profile impulse " << formatFigure(profile.impulse()) << " N*s over "
                  << formatFigure(profile.duration()) << " s\n";
    } catch (const Error& e) {
        std::cerr << e.what() << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

void registerSynthCommands(CLI::App& app, CommandList& commands)
{
    auto o = std::make_shared<SynthOptions>();
    CLI::App* sub = app.add_subcommand(
        "synth", "Synthesise what the sensor delivers for a thrust-time profile: a WAV recording of the "
                 "oscillator, or a frequency record when OUT ends in .frq");
    sub->add_option("OUT", o->out, "OUT.wav or OUT.frq")->required();
    sub->add_option("--profile", o->profile,
                    "builtin (a small motor with rest before and after), or a text file of time/thrust pairs");
    sub->add_option("--sensors", o->sensorsFile, "sensor library (.sns)");
    sub->add_option("--sensor", o->sensor, "number of the sensor whose calibration is inverted");
    sub->add_option("--rate", o->rate, "sample rate, Hz")->check(CLI::Range(1000u, 384000u));
    sub->add_option("--bits", o->bits, "bits per sample")->check(CLI::IsMember({8, 16}));
    sub->add_option("--channels", o->channels, "channels")->check(CLI::IsMember({1, 2}));
    sub->add_option("--noise", o->noise, "uniform noise amplitude, sample units")->check(Finite & CLI::NonNegativeNumber);
    sub->add_option("--step", o->step, "step of a frequency record, seconds")->check(Finite & CLI::PositiveNumber);
    sub->add_option("--seed", o->seed, "seed of the noise");
    auto* duration = sub->add_option("--duration", o->duration, "length of a shaped recording, seconds")
                         ->check(Finite & CLI::PositiveNumber);
    auto* burnStart = sub->add_option("--burn-start", o->burnStart, "start of the shaped burn, seconds")
                          ->check(Finite & CLI::NonNegativeNumber);
    auto* burnTime =
        sub->add_option("--burn-time", o->burnTime, "length of the shaped burn, seconds")->check(Finite & CLI::PositiveNumber);
    auto* peak = sub->add_option("--peak", o->peak, "peak thrust of the shaped burn, N")->check(Finite & CLI::PositiveNumber);
    for (CLI::Option* opt : {duration, burnStart, burnTime, peak}) {
        for (CLI::Option* other : {duration, burnStart, burnTime, peak})
            if (other != opt)
                opt->needs(other);
        opt->excludes(sub->get_option("--profile"));
    }
    commands.add(sub, [o, duration]() {
        o->shaped = duration->count() > 0;
        if (o->shaped)
            o->profile = "shaped";
        return runSynth(*o);
    });
}

}  // namespace selva::cli
