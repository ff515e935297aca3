// The WAV reader on arbitrary bytes: open, walk every block, take both channel means, describe. Any
// failure must be a selva::Error; nothing may crash, leak or hang.

#include "ScratchFile.h"
#include "common/Error.h"
#include "sound/Wave.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string* scratch = fuzz::writeScratchFile("wave", data, size);
    if (!scratch)
        return 0;
    const std::string& name = *scratch;
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
