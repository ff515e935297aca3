#pragma once

#include "analysis/AnalysisState.h"
#include "analysis/FreqRecord.h"
#include "analysis/ThrustAnalysis.h"
#include "common/Progress.h"
#include "common/UserPrompts.h"
#include "sensors/SensorLibrary.h"
#include "sound/Wave.h"
#include "store/ProjectSession.h"
#include "store/SettingsStore.h"

#include <string>

namespace selva::cli {

// What the window program creates in main, for one command: the analysis state, the sensor library,
// the shared frequency record and WAV buffer, the computation over them, and the records and project
// loading of the store. Messages go to stderr and
// questions are answered yes (a script has no one to ask).
struct Session {
    Session();

    AnalysisState state;
    SensorLibrary sensors;
    TFreq freq;
    TWave wave;
    Progress progress;
    ThrustAnalysis analysis{state, sensors, freq, wave, progress};
    SettingsStore store;
    ProjectSession project{store, state, sensors, analysis};
    UserPrompts prompts;
    std::string sourceName; // the source as named on the command line (the window's lblFileName)
};

}  // namespace selva::cli
