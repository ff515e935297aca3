// The repair of a recording left by a crash, on arbitrary bytes: whatever the header says, it writes only
// the two size fields inside the file, and a repaired file opens (or fails with a selva::Error). Nothing
// may crash or hang.

#include "common/Error.h"
#include "sound/RecordingFiles.h"
#include "sound/Wave.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

struct ScratchFile {
    std::string name = "/tmp/selva-fuzz-leftover-" + std::to_string(::getpid()) + ".wav";
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
