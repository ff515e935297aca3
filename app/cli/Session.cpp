#include "app/cli/Session.h"

#include <filesystem>
#include <iostream>
#include <system_error>

namespace selva::cli {

Session::Session()
    : ws({[](const std::string& text) { std::cerr << text << '\n'; }, [](const std::string&) { return true; }})
{
}

MainPresenter& Session::presenterForOpenSource()
{
    MainPresenter& p = presenter.emplace(ws);
    // What the window shows after the opening: a project's units, error band and pressed captions, a
    // source's newtons available with a calibrated sensor.
    p.newtonsEnabled = sensors.ActiveSensorIndex != 0;
    if (projectView) {
        p.newtonsEnabled = projectView->newtonsEnabled;
        p.newtons = projectView->showNewtons && p.newtonsEnabled;
        p.showDelta = projectView->showDelta;
        p.flags.start = projectView->startByHand;
        p.flags.end = projectView->endByHand;
        p.flags.rest = projectView->restByHand;
        p.invert = projectView->invert;
    }
    p.sourceOpened = true;
    p.sourceLabel = sourceName;
    return p;
}

std::string programFolder()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

}  // namespace selva::cli
