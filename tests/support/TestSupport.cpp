#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <random>
#include <sstream>

namespace selva::test {

TempDir::TempDir()
{
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("selva-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            dir_ = candidate;
            break;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void writeFile(const std::string& name, std::string_view bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

namespace {
// Take the locale from the environment, as the GUI program does once QApplication exists, so that code
// leaning on the C locale (strtod, printf) fails under LC_ALL=ru_RU.UTF-8.
struct LocaleFromEnvironment {
    LocaleFromEnvironment() { std::setlocale(LC_ALL, ""); }
} localeFromEnvironment;
}  // namespace

}  // namespace selva::test
