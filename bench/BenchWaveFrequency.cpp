// Frequency estimation over a 10-minute 44100 Hz 16-bit stereo recording (written once into a temporary
// folder), with a warm page cache. Reports frames per second.

#include "sound/Wave.h"
#include "sound/WaveFrequency.h"
#include "sound/WaveSynth.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

namespace {

struct Recording {
    std::filesystem::path dir;
    std::string file;
    std::string sensorFile;
    Recording()
    {
        std::random_device rd;
        dir = std::filesystem::temp_directory_path() / ("selva-bench-" + std::to_string(rd()));
        std::filesystem::create_directories(dir);
        file = (dir / "ten-minutes.wav").string();
        selva::WaveSynthOptions o;
        o.sampleRate = 44100;
        o.channels = 2;
        o.bitsPerSample = 16;
        o.noiseAmplitude = 300;
        o.durationSeconds = 600;
        // An oscillator drifting between 800 and 1400 Hz, as a firing would move it.
        selva::WriteSynthWave(file, o, [](double t) { return 1100.0 + 300.0 * std::sin(t / 20.0); });
        // The same length at the frequencies our sensors run at (8400 to 8700 Hz): seven times the
        // crossings, and each crossing costs more than the samples around it.
        sensorFile = (dir / "ten-minutes-sensor.wav").string();
        selva::WriteSynthWave(sensorFile, o, [](double t) { return 8550.0 + 150.0 * std::sin(t / 20.0); });
    }
    ~Recording()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

const Recording& recording()
{
    static const Recording r;
    return r;
}

void run(benchmark::State& state, int simd, std::int32_t noise, bool sensorRange = false)
{
    selva::TWave wave;
    wave.Open(sensorRange ? recording().sensorFile : recording().file);
    selva::WaveFrequencyTuning tuning;
    tuning.simdLevel = simd;
    std::vector<double> f, e;
    for (auto _ : state) {
        selva::CalcWaveFrequencyTuned(wave, 0.01, 0, noise, f, e, nullptr, tuning);
        benchmark::DoNotOptimize(f.data());
    }
    state.counters["frames/s"] = benchmark::Counter(
        double(wave.GetTotalFrames()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CalcWaveFrequency(benchmark::State& state)
{
    run(state, -1, 0);
}
void BM_CalcWaveFrequencySensorRange(benchmark::State& state)
{
    run(state, -1, 0, true);
}
void BM_CalcWaveFrequencyNoise(benchmark::State& state)
{
    run(state, -1, 1000);
}
void BM_CalcWaveFrequencySse2(benchmark::State& state)
{
    run(state, 1, 0);
}
void BM_CalcWaveFrequencyPlainCode(benchmark::State& state)
{
    run(state, 0, 0);
}

void BM_ChannelMean(benchmark::State& state)
{
    selva::TWave wave;
    wave.Open(recording().file);
    for (auto _ : state)
        benchmark::DoNotOptimize(wave.GetChannelMean(1));
    state.counters["frames/s"] = benchmark::Counter(
        double(wave.GetTotalFrames()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ReadWholeFile(benchmark::State& state)
{
    // What reading the bytes alone costs, for comparison.
    selva::TWave wave;
    wave.Open(recording().file);
    std::vector<unsigned char> buffer(std::size_t{1} << 20);
    for (auto _ : state) {
        std::uint64_t at = 0;
        while (std::size_t got = wave.ReadDataAt(at, buffer.data(), buffer.size()))
            at += got;
        benchmark::DoNotOptimize(at);
    }
    state.counters["frames/s"] = benchmark::Counter(
        double(wave.GetTotalFrames()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_CalcWaveFrequency)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcWaveFrequencySensorRange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcWaveFrequencyNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcWaveFrequencySse2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CalcWaveFrequencyPlainCode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelMean)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWholeFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
