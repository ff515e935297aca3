#pragma once

// The workspace as the programs create it, with what it tells the user collected, and frequency records
// written out as text: the rigs of the analysis and workspace tests.

#include "common/Format.h"
#include "workspace/Workspace.h"

#include <string>
#include <vector>

namespace selva::test {

struct TestWorkspace : Workspace {
    std::vector<std::string> messages;

    // `replaceReadOnly`: the user says yes when asked to replace a read-only file (else nobody is asked).
    explicit TestWorkspace(bool replaceReadOnly = false)
    {
        UserPrompts p;
        p.message = [this](const std::string& text) { messages.push_back(text); };
        if (replaceReadOnly)
            p.confirmReadOnly = [](const std::string&) { return true; };
        setPrompts(p);
    }
};

// The text of a ".frq" record of `readings` at `step` seconds.
inline std::string frqText(double step, const std::vector<double>& readings)
{
    std::string s = "FREQ\r\nsynthetic\r\n" + std::to_string(readings.size()) + "\r\n" +
                    formatGeneral(step, 6) + "\r\n---------------\r\nSTART\r\n";
    for (double r : readings)
        s += formatFixed(r, 3) + "\r\n";
    return s;
}

// A library file with the default sensor and sensor 1 on the default points (8700 Hz -> 0 N, 8460 Hz ->
// 80 N, so thrust = (8700 - f) / 3).
inline bool writeStandLibrary(const std::string& name)
{
    SensorLibrary lib;
    lib.EnsureDefaultPoints(lib.AddSensor(1, "Стенд 1"));
    return lib.SaveSensorFile(name);
}

} // namespace selva::test
