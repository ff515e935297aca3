// Speed of reading and listing a sensor library as it grows, up to 65 536 sensors: the time per sensor
// must stay flat (the fitted complexity is reported as O(N)). Listing activates every sensor in turn, as
// the `sensors` command does. (Beyond some 100 000 sensors the library no longer fits the processor's
// caches and the time per sensor grows, though not with the count.)
#include "common/UserPrompts.h"
#include "sensors/SensorFile.h"
#include "sensors/SensorLibrary.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

// A library of `count` sensors of six points each, every other point with a coloured linear formula.
std::string libraryText(int count)
{
    std::string text = "; bench library\r\nSTART\r\n";
    text.reserve(static_cast<std::size_t>(count) * 200);
    for (int n = 1; n <= count; ++n) {
        const std::string number = std::to_string(n);
        text += number + "\t8700\t0\tSensor " + number + "\r\n";
        for (int k = 1; k < 6; ++k) {
            text += number + '\t' + std::to_string(8700 - 50 * k) + '\t' + std::to_string(20 * k) + '\t';
            if (k % 2 == 0)
                text += "2\t000000FF\t" + std::to_string(20 * k) + "\t-0.4";
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

void BM_LoadLibrary(benchmark::State& state)
{
    const std::string text = libraryText(static_cast<int>(state.range(0)));
    selva::SensorLibrary library;
    for (auto _ : state) {
        selva::LoadSensorText(library, text, true, selva::UserPrompts{});
        benchmark::DoNotOptimize(library.sensors.data());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadLibrary)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_ListLibrary(benchmark::State& state)
{
    selva::SensorLibrary library;
    selva::LoadSensorText(library, libraryText(static_cast<int>(state.range(0))), true, selva::UserPrompts{});
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < library.SensorCount(); ++i) {
            library.SelectActiveSensor(i);
            sum += library.ZeroThrustFrequency;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ListLibrary)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 16)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
