// Sensor library reader, from memory: any bytes load without a crash or hang, every sensor evaluates, and
// whatever loads is written and read back with the same sensors, points and formulas.
#include "common/UserPrompts.h"
#include "sensors/SensorFile.h"
#include "sensors/SensorLibrary.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    selva::UserPrompts prompts;
    int messages = 0;
    prompts.message = [&messages](const std::string&) { ++messages; };

    selva::SensorLibrary lib;
    selva::LoadSensorText(lib, bytes, true, prompts);
    // However many lines are bad, the user hears of them once.
    if (messages > 1)
        std::abort();
    if (lib.SensorCount() < 1 || lib.sensors[0].number != 0 || lib.ActiveSensorIndex != 0 ||
        lib.ActiveCalibTable.size() != lib.sensors[0].calibration.points.size())
        std::abort();
    for (selva::TSensor& sensor : lib.sensors) {
        if (sensor.name.empty())
            std::abort();
        selva::SensorThrust(sensor.calibration, 8500.0);
        int nearest = 0;
        selva::SensorThrustNearest(sensor.calibration, 8460.0, nearest);
        std::uint32_t colour = 0;
        selva::SensorThrustColour(sensor.calibration, 8600.0, colour, 0x00FF0000);
    }

    // Written and read back, the sensors come back in the same order with their numbers; points whose
    // frequencies agree in the seven significant digits of the file merge on this first reading, so from
    // the second writing on the text is its own fixed point.
    const std::string text = selva::SensorFileText(lib, {"; fuzz"});
    selva::SensorLibrary again;
    messages = 0;
    selva::LoadSensorText(again, text, true, prompts);
    if (messages != 0 || again.SensorCount() != lib.SensorCount())
        std::abort();
    for (std::size_t i = 0; i < lib.sensors.size(); ++i)
        if (lib.sensors[i].number != again.sensors[i].number || lib.sensors[i].name != again.sensors[i].name)
            std::abort();
    const std::string second = selva::SensorFileText(again, {"; fuzz"});
    selva::SensorLibrary third;
    selva::LoadSensorText(third, second, true, prompts);
    if (messages != 0 || selva::SensorFileText(third, {"; fuzz"}) != second)
        std::abort();
    for (std::size_t i = 0; i < third.sensors.size(); ++i) {
        const auto& a = again.sensors[i].calibration.points;
        const auto& b = third.sensors[i].calibration.points;
        if (a.size() != b.size())
            std::abort();
        for (std::size_t k = 0; k < a.size(); ++k)
            if (a[k].formula != b[k].formula)
                std::abort();
    }
    return 0;
}
