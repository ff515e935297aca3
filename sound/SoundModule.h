#pragma once

#include "sound/RecordingFiles.h"
#include "sound/SoundRing.h"

#include <cstdint>

namespace selva {

// What the sound subsystem keeps while the sound window is closed and opened again: the rings, the
// recording target, the waveform and grid values and the FFT length. One instance for the whole run (the
// sound settings themselves live in the project record). UI thread, except the rings (see SoundRingState).
struct SoundModule {
    SoundRingState ring;
    RecordingTarget target;
    double sigAmp = 1.0;      // waveform multiplier (edtSigAmp)
    double sigDelay = 0;      // waveform delay, ms (edtSigDelay)
    double sigWin = 1.0;      // waveform window, ms (edtSigWin)
    int sigOffset = 0;        // waveform offset (TBSig)
    std::int32_t hPoints = 5; // grid divisions of the frequency graph (edtHPoints, edtVPoints)
    std::int32_t vPoints = 5;
    std::int32_t fftLen = 1024; // spectrum length N (edtSpecFFTLen)
};

} // namespace selva
