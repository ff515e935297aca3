// Sensor library reader: any bytes load without a crash or hang, and whatever loads saves and loads back
// with the same sensors.
#include "common/UserPrompts.h"
#include "sensors/SensorLibrary.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

std::string tempName(const char* tag)
{
    return "/tmp/fuzz-sensor-" + std::to_string(::getpid()) + "-" + tag + ".sns";
}

void writeBytes(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string input = tempName("in");
    static const std::string copy = tempName("copy");
    writeBytes(input, data, size);

    selva::UserPrompts prompts;
    int messages = 0;
    prompts.message = [&messages](const std::string&) { ++messages; };
    prompts.confirm = [](const std::string&) { return true; };

    selva::SensorLibrary lib;
    if (!lib.LoadSensorFile(input, true, prompts))
        std::abort();
    if (lib.SensorCount() < 1 || lib.sensors[0].number != 0 || lib.ActiveSensorIndex != 0)
        std::abort();
    for (selva::TSensor& sensor : lib.sensors) {
        selva::SensorThrust(sensor.calibration, 8500.0);
        std::uint32_t colour = 0;
        selva::SensorThrustColour(sensor.calibration, 8600.0, colour, 0x00FF0000);
    }

    if (!lib.SaveSensorFile(copy, prompts))
        std::abort();
    selva::SensorLibrary again;
    if (!again.LoadSensorFile(copy, true, prompts) || again.SensorCount() != lib.SensorCount())
        std::abort();
    for (std::size_t i = 0; i < lib.sensors.size(); ++i)
        if (again.sensors[i].number != lib.sensors[i].number)
            std::abort();
    std::remove(input.c_str());
    std::remove(copy.c_str());
    return 0;
}
