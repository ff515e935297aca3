// Speed of the thrust computation on a long frequency record: the whole recalculation (reading the
// record included) and the single stages an edit in the analysis window runs.
#include "analysis/FreqRecord.h"
#include "analysis/ThrustAnalysis.h"
#include "workspace/Workspace.h"
#include "common/Format.h"
#include "sensors/Calibration.h"
#include "sensors/SensorLibrary.h"
#include "sound/Wave.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr int kReadings = 400001;

// A 400 001-reading record at 1 ms: rest at 8700 Hz, a 2 s firing with a rounded thrust curve, noise.
const std::string& recordFile()
{
    static const std::string name = [] {
        const auto path = std::filesystem::temp_directory_path() / "selva-bench-recalculate.frq";
        std::string text =
            "FREQ\r\nbench\r\n" + std::to_string(kReadings) + "\r\n   0.001\r\n---------------\r\nSTART\r\n";
        text.reserve(static_cast<std::size_t>(kReadings) * 10 + 100);
        std::uint32_t noise = 12345;
        for (int i = 0; i < kReadings; ++i) {
            const double t = i * 0.001;
            double f = 8700;
            if (t > 100 && t < 102)
                f -= 200 * std::sin((t - 100) / 2 * 3.14159265358979);
            noise = noise * 1664525u + 1013904223u;
            f += static_cast<double>(noise >> 24) / 256.0 - 0.5;
            text += selva::formatFixed(f, 3, 8);
            text += "\r\n";
        }
        std::FILE* out = std::fopen(path.string().c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
        return path.string();
    }();
    return name;
}

struct Setup : selva::Workspace {
    Setup()
    {
        sensors.AddSensor(1, "Bench");
        selva::SensorLibrary::AppendDefaultPoints(sensors.sensors[1].calibration);
        sensors.SetActiveSensor(1);
        if (!OpenSource(recordFile(), true).accepted)
            std::abort();
        state.MotorPosition = selva::MotorNozzleUp;
        state.ChargeWeight = 0.1f;
        state.IncludeChargeWeight = true;
        analysis.Recalculate(selva::Stages::All);
    }
};

void BM_Recalculate(benchmark::State& bench)
{
    Setup s;
    for (auto _ : bench)
        s.analysis.Recalculate(selva::Stages::All);
    bench.counters["points"] = s.state.PointCount;
}
BENCHMARK(BM_Recalculate)->Unit(benchmark::kMillisecond);

void BM_RecalculateFiltered(benchmark::State& bench)
{
    Setup s;
    s.state.FilterOn = true;
    s.state.FilterWindow = 7;
    for (auto _ : bench)
        s.analysis.Recalculate(selva::Stages::All);
}
BENCHMARK(BM_RecalculateFiltered)->Unit(benchmark::kMillisecond);

void BM_PrepareFrequency(benchmark::State& bench)
{
    Setup s;
    for (auto _ : bench)
        s.analysis.PrepareFrequency(true, true);
}
BENCHMARK(BM_PrepareFrequency)->Unit(benchmark::kMillisecond);

void BM_ReadRecord(benchmark::State& bench)
{
    Setup s;
    for (auto _ : bench) {
        float sum = s.freq.First();
        while (!s.freq.AtEnd())
            sum += s.freq.Next();
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_ReadRecord)->Unit(benchmark::kMillisecond);

void BM_SensorThrust(benchmark::State& bench)
{
    Setup s;
    selva::TCalibration& cal = *s.sensors.ActiveCalibration();
    for (auto _ : bench) {
        double sum = 0;
        for (double f : s.state.FreqData)
            sum += selva::SensorThrust(cal, f);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_SensorThrust)->Unit(benchmark::kMillisecond);

void BM_ConvertToThrust(benchmark::State& bench)
{
    Setup s;
    for (auto _ : bench)
        s.analysis.ConvertToThrust(false);
}
BENCHMARK(BM_ConvertToThrust)->Unit(benchmark::kMillisecond);

void BM_ComputeResults(benchmark::State& bench)
{
    Setup s;
    for (auto _ : bench)
        s.analysis.ComputeResults();
}
BENCHMARK(BM_ComputeResults)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
