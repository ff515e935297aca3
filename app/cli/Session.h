#pragma once

#include "common/UserPrompts.h"
#include "workspace/MainPresenter.h"
#include "workspace/Workspace.h"

#include <optional>
#include <string>

namespace selva::cli {

// One command's workspace, made as the window program makes its own, with messages on stderr and
// questions answered yes (a script has no one to ask), and the names by which the members are used here.
struct Session {
    Session();

    Workspace ws;
    AnalysisState& state = ws.state;
    SensorLibrary& sensors = ws.sensors;
    TFreq& freq = ws.freq;
    TWave& wave = ws.wave;
    Progress& progress = ws.progress;
    ThrustAnalysis& analysis = ws.analysis;
    SettingsStore& store = ws.store;
    ProjectSession& project = ws.session;
    const UserPrompts& prompts() const { return ws.prompts(); }
    std::string sourceName; // the source as named on the command line (the window's lblFileName)

    // The analysis window's rules over this workspace, made once the source is open (the presenter takes
    // its view of the record from the opened source, as the window's does when it opens one).
    std::optional<MainPresenter> presenter;
    MainPresenter& presenterForOpenSource();
    // What a loaded project shows in the window (units, error band, date, results, axes); none for a
    // source.
    std::optional<MainWindowView> projectView;
};

// The folder of the running program (from /proc/self/exe), where the window program keeps its settings;
// empty when it cannot be found.
std::string programFolder();

}  // namespace selva::cli
