#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace selva::test {

// A fresh folder for one test, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return dir_; }
    // Full name of a file in the folder, as a string for the APIs that take names.
    std::string file(std::string_view name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

// Writes bytes to a file exactly as given (no newline translation).
void writeFile(const std::string& name, std::string_view bytes);
// Reads a whole file as bytes; empty when it cannot be read.
std::string readFile(const std::string& name);

}  // namespace selva::test
