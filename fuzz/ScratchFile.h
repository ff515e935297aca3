#pragma once

// The targets whose code under test reads a file by name get each input through one scratch file of the
// run, named by the target and the process (parallel fuzzers do not share it), removed when the fuzzer
// exits.

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace fuzz {

// Writes the input into the run's scratch file; nullptr when it cannot be written.
inline const std::string* writeScratchFile(const char* target, const std::uint8_t* data, std::size_t size)
{
    struct ScratchFile {
        std::string name;
        ~ScratchFile() { std::remove(name.c_str()); }
    };
    static const ScratchFile file{"/tmp/selva-fuzz-" + std::string(target) + "-" +
                                  std::to_string(::getpid()) + ".wav"};
    std::FILE* f = std::fopen(file.name.c_str(), "wb");
    if (!f)
        return nullptr;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return &file.name;
}

} // namespace fuzz
