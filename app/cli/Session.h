#pragma once

#include "common/UserPrompts.h"
#include "workspace/Workspace.h"

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
};

}  // namespace selva::cli
