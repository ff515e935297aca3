// The WAV reader on arbitrary bytes: open, walk every block, take both channel means, describe. Any
// failure must be a selva::Error; nothing may crash, leak or hang.

#include "common/Error.h"
#include "sound/Wave.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// One scratch file for the whole run, removed when the fuzzer exits.
struct ScratchFile {
    std::string name = "/tmp/selva-fuzz-wave-" + std::to_string(::getpid()) + ".wav";
    ~ScratchFile() { std::remove(name.c_str()); }
};

const std::string& scratchFile()
{
    static const ScratchFile file;
    return file.name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& name = scratchFile();
    if (std::FILE* f = std::fopen(name.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    selva::TWave wave;
    try {
        wave.Open(name);
    } catch (const selva::Error&) {
        return 0;
    }
    std::uint64_t frames = 0;
    if (wave.ReadFirst()) {
        do
            frames += wave.GetFramesInBuffer();
        while (wave.ReadNext());
    }
    if (frames != wave.ServedFrames() || wave.GetDataBytes() > size)
        __builtin_trap();
    (void)wave.GetChannelMean(0);
    (void)wave.GetChannelMean(1);
    (void)wave.GetDescription();
    return 0;
}
