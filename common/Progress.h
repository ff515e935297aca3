#pragma once

#include <atomic>

namespace selva {

// Progress of a long computation, written by the thread that computes and read by the window's timer.
// Stages: 0 idle, 1 WAV frequency estimation, 2 thrust conversion, 5 results. Setting `cancel` asks the
// computation to stop at its next check; it then reports that it did not finish.
//
// Every value here is a single word that nothing else is published through: the timer only shows the
// latest stage and fraction (a pair seen one tick apart is harmless), and a cancel only has to be seen
// at some later check, not in order with other memory. Relaxed loads and stores are enough; the
// computation's results reach the UI thread through the worker's join, not through these.
struct Progress {
    std::atomic<int> ProgressStage{0};
    std::atomic<double> ProgressFraction{0.0};
    std::atomic<bool> cancel{false};

    void set(int stage, double fraction)
    {
        ProgressStage.store(stage, std::memory_order_relaxed);
        ProgressFraction.store(fraction, std::memory_order_relaxed);
    }
    bool cancelled() const { return cancel.load(std::memory_order_relaxed); }
};

}  // namespace selva
