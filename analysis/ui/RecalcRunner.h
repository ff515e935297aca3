#pragma once

// Runs the thrust computation for the analysis window. A frequency record is computed at once on the UI
// thread (one fast pass over the record). Measuring a WAV recording's frequency takes seconds, so then
// the stages run on a worker thread over a copy of the analysis state while the window's event loop keeps
// turning: the progress window shows the stage, user input to the other windows is held back, and a
// cancelled computation leaves the previous analysis as it was. The copy replaces the state only when the
// computation finished.
//
// Threads: run() is called on the UI thread and returns there. The worker touches only its copy of the
// state, the sensor library, the record, the WAV buffer and the progress atomics; the UI thread touches
// none of them until the worker has finished (input is held back meanwhile).

#include "analysis/ThrustAnalysis.h"

#include <QObject>

#include <functional>
#include <string>

class QWidget;

namespace selva {

class Workspace;

class RecalcRunner : public QObject {
    Q_OBJECT
public:
    explicit RecalcRunner(Workspace& workspace);
    ~RecalcRunner() override;

    // Recalculate these stages. False when it was cancelled (the state is then unchanged for a worker
    // run). selva::Error and other exceptions of the computation are rethrown here, on the UI thread.
    bool run(Stages stages);

    bool busy() const { return busy_; }
    // Whether the next run of these stages would go to the worker thread.
    bool runsOnWorker(Stages stages) const;

    // Tests: called on the worker just before the computation starts, so a test can hold it there (and
    // cancel it) at a known point instead of racing a fast machine.
    std::function<void()> onWorkerStarted;

    // Called at the start and at the end of every run (the window starts and stops its progress timer
    // and hides the progress window).
    std::function<void()> onStarted;
    std::function<void()> onFinished;
    // Input events to widgets of these windows pass while a worker runs (the progress window).
    QWidget* inputAllowedWindow = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool runOnWorker(Stages stages);

    Workspace& ws_;
    bool busy_ = false;
};

} // namespace selva
