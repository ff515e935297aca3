// synth: what the sensor would deliver for a thrust-time profile, as a recording or a frequency record.
#include "app/cli/Commands.h"
#include "app/cli/Session.h"
#include "app/cli/ThrustProfile.h"

#include "analysis/ResultsExport.h"
#include "common/Error.h"
#include "common/Format.h"
#include "sensors/Calibration.h"
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
};

// The frequency at which the calibration gives `thrust`: the inverse of the sensor's evaluation, found
// by bisection so that formulas and extrapolation are inverted exactly as the analysis evaluates them.
// Frequency falls as load rises on these sensors, but the bracket works for either direction as long
// as the curve is monotonic between the bracket's ends.
class InverseCalibration {
public:
    explicit InverseCalibration(TCalibration& c) : c_(c)
    {
        if (!PrepareSensorRange(c_))
            throw Error("The sensor's calibration has no range: it needs two points of different frequency");
        lo_ = c_.lowFrequency;
        hi_ = c_.highFrequency;
        // Widen the bracket well beyond the calibrated range; extrapolation is linear there.
        const double span = std::max(hi_ - lo_, 1.0);
        lo_ = std::max(1.0, lo_ - 4 * span);
        hi_ = hi_ + 4 * span;
    }

    double frequencyAt(double thrust) const
    {
        double a = lo_, b = hi_;
        double ta = SensorThrust(c_, a) - thrust;
        const double tb = SensorThrust(c_, b) - thrust;
        if (ta == 0)
            return a;
        if (tb == 0)
            return b;
        if ((ta > 0) == (tb > 0))
            throw Error("Thrust " + formatShortest(thrust) + " N lies outside what the sensor can deliver");
        for (int i = 0; i < 200 && b - a > 1e-9 * std::max(1.0, std::fabs(a)); ++i) {
            const double m = 0.5 * (a + b);
            const double tm = SensorThrust(c_, m) - thrust;
            if ((tm > 0) == (ta > 0)) {
                a = m;
                ta = tm;
            } else {
                b = m;
            }
        }
        return 0.5 * (a + b);
    }

private:
    TCalibration& c_;
    double lo_ = 0, hi_ = 0;
};

// The inverse tabulated over the thrusts a profile reaches, linear in between: a recording of an hour
// has 10^8 samples, and bisecting each one costs minutes. With 2^16 levels the table's error is far
// below what any recording resolves.
class FrequencyTable {
public:
    FrequencyTable(const InverseCalibration& inverse, const ThrustProfile& profile)
    {
        lo_ = hi_ = 0;
        for (const ThrustProfile::Point& p : profile.points()) {
            lo_ = std::min(lo_, p.thrust);
            hi_ = std::max(hi_, p.thrust);
        }
        const std::size_t n = hi_ > lo_ ? kLevels : 1;
        table_.resize(n + 1);
        for (std::size_t i = 0; i <= n; ++i)
            table_[i] = inverse.frequencyAt(n == 1 ? lo_ : lo_ + (hi_ - lo_) * double(i) / double(n));
    }

    double frequencyAt(double thrust) const
    {
        if (table_.size() <= 2 || hi_ <= lo_)
            return table_.front();
        const double x = std::clamp((thrust - lo_) / (hi_ - lo_), 0.0, 1.0) * double(table_.size() - 1);
        const std::size_t i = std::min(static_cast<std::size_t>(x), table_.size() - 2);
        const double f = x - double(i);
        return table_[i] + (table_[i + 1] - table_[i]) * f;
    }

private:
    static constexpr std::size_t kLevels = 1 << 16;
    double lo_, hi_;
    std::vector<double> table_;
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
        const ThrustProfile profile =
            o.profile == "builtin" ? ThrustProfile::builtin() : ThrustProfile::fromFile(o.profile);
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
            if (!WriteResultsExport(o.out, st, ExportKind::Frequency, "synthesised: " + o.profile, &error))
                throw Error("Невозможно записать файл " + o.out + ": " + error);
        } else {
            const FrequencyTable table(inverse, profile);
            WaveSynthOptions w;
            w.sampleRate = o.rate;
            w.bitsPerSample = o.bits;
            w.channels = o.channels;
            w.noiseAmplitude = o.noise;
            w.seed = o.seed;
            w.durationSeconds = profile.duration();
            WriteSynthWave(o.out, w, [&](double t) { return table.frequencyAt(profile.thrustAt(t)); });
        }
        // The truth the analysis should find again.
        std::cerr << "profile impulse " << formatShortest(profile.impulse()) << " N*s over "
                  << formatShortest(profile.duration()) << " s\n";
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
    sub->add_option("--noise", o->noise, "uniform noise amplitude, sample units")->check(CLI::NonNegativeNumber);
    sub->add_option("--step", o->step, "step of a frequency record, seconds")->check(CLI::PositiveNumber);
    sub->add_option("--seed", o->seed, "seed of the noise");
    commands.add(sub, [o]() { return runSynth(*o); });
}

}  // namespace selva::cli
