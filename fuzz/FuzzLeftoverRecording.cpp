// The repair of a recording left by a crash, on arbitrary bytes: whatever the header says, it writes only
// the two size fields inside the file, and a repaired file opens (or fails with a selva::Error). Nothing
// may crash or hang.

#include "ScratchFile.h"
#include "common/Error.h"
#include "sound/RecordingFiles.h"
#include "sound/Wave.h"

#include <cstdint>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string* scratch = fuzz::writeScratchFile("leftover", data, size);
    if (!scratch)
        return 0;
    const std::string& name = *scratch;
    selva::LeftoverWave info;
    std::string error;
    const bool repaired = selva::RepairRecordingSizes(name, info, error);
    if (std::filesystem::file_size(name) != size)
        __builtin_trap(); // the repair never changes the file's length
    if (repaired && info.dataBytes > 0) {
        selva::TWave wave;
        try {
            wave.Open(name);
        } catch (const selva::Error&) {
        }
    }
    return 0;
}
