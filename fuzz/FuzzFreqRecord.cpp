// Frequency record reader: any bytes either load or are refused (false or selva::Error), without a crash
// or a hang; a loaded record serves exactly RecordCount readings, the same ones on a second pass, and the
// resampling over it stays inside its series.
#include "analysis/FreqRecord.h"
#include "analysis/ThrustAnalysis.h"
#include "common/Error.h"
#include "sensors/SensorLibrary.h"
#include "sound/Wave.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string tempName()
{
    static const std::string name = "/tmp/fuzz-freq-" + std::to_string(::getpid()) + ".frq";
    return name;
}

std::vector<float> walk(selva::TFreq& f)
{
    std::vector<float> v{f.First()};
    while (!f.AtEnd())
        v.push_back(f.Next());
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string name = tempName();
    std::FILE* out = std::fopen(name.c_str(), "wb");
    if (!out)
        return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);
    struct Remove {
        const std::string& name;
        ~Remove() { std::remove(name.c_str()); }
    } remove{name};

    selva::TFreq freq;
    try {
        if (!freq.LoadFromFile(name))
            return 0;
    } catch (const selva::Error&) {
        return 0;
    }
    const std::vector<float> first = walk(freq);
    if (static_cast<std::int64_t>(first.size()) != freq.RecordCount || freq.RecordCount < 1)
        std::abort();
    if (walk(freq) != first)
        std::abort();

    // Resample at the record's own step and at a coarser one.
    selva::AnalysisState state;
    selva::SensorLibrary library;
    selva::TWave wave;
    selva::Progress progress;
    selva::ThrustAnalysis analysis(state, library, freq, wave, progress);
    state.SourceKind = selva::SourceFreq;
    for (double factor : {1.0, 2.5}) {
        state.AnalysisStep = static_cast<double>(freq.SampleStep) * factor;
        try {
            analysis.Recalculate(selva::Stages::All);
        } catch (const selva::Error&) {
            continue; // too many points for the step
        }
        if (state.FreqData.size() != state.PointCount || state.ThrustNet.size() != state.PointCount)
            std::abort();
    }
    return 0;
}
