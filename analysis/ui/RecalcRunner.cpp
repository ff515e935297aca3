#include "analysis/ui/RecalcRunner.h"

#include "workspace/Workspace.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

#include <exception>
#include <thread>

namespace selva {

RecalcRunner::RecalcRunner(Workspace& workspace) : ws_(workspace) {}

RecalcRunner::~RecalcRunner() = default;

bool RecalcRunner::runsOnWorker(Stages stages) const
{
    return stages.has(Stage::Prepare) && ws_.state.SourceKind == SourceWave;
}

bool RecalcRunner::run(Stages stages)
{
    if (busy_)
        return false;
    busy_ = true;
    ws_.progress.cancel.store(false); // a "Закрыть" pressed between computations cancels none of them
    if (onStarted)
        onStarted();
    struct Finish {
        RecalcRunner* self;
        ~Finish()
        {
            self->busy_ = false;
            if (self->onFinished)
                self->onFinished();
        }
    } finish{this};
    if (runsOnWorker(stages))
        return runOnWorker(stages);
    return ws_.analysis.Recalculate(stages);
}

bool RecalcRunner::runOnWorker(Stages stages)
{
    AnalysisState copy = ws_.state;
    bool finished = false;
    std::exception_ptr error;
    QEventLoop loop;
    QPointer<QEventLoop> loopGuard(&loop);
    std::thread worker([&] {
        try {
            ThrustAnalysis analysis(copy, ws_.sensors, ws_.freq, ws_.wave, ws_.progress);
            if (onWorkerStarted)
                onWorkerStarted();
            finished = analysis.Recalculate(stages);
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    qApp->installEventFilter(this);
    loop.exec();
    qApp->removeEventFilter(this);
    worker.join();
    if (error)
        std::rethrow_exception(error);
    if (finished)
        ws_.state = std::move(copy);
    return finished;
}

// While the worker runs, the user may only use the progress window (to cancel).
bool RecalcRunner::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Close: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || (inputAllowedWindow && widget->window() == inputAllowedWindow))
            return false;
        event->ignore();
        return true;
    }
    default:
        return false;
    }
}

} // namespace selva
