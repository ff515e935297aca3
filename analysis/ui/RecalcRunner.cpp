#include "analysis/ui/RecalcRunner.h"

#include "analysis/ThrustAnalysis.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>

#include <exception>
#include <thread>

namespace selva {

RecalcRunner::RecalcRunner(AnalysisState& state, ThrustAnalysis& analysis, SensorLibrary& sensors,
                           TFreq& freq, TWave& wave, Progress& progress)
    : state_(state), analysis_(analysis), sensors_(sensors), freq_(freq), wave_(wave), progress_(progress)
{
}

RecalcRunner::~RecalcRunner() = default;

bool RecalcRunner::runsOnWorker(bool prepare) const
{
    return prepare && state_.SourceKind == SourceWave;
}

bool RecalcRunner::run(bool prepare, bool detectTimes, bool detectLevels, bool compensate, bool convert)
{
    if (busy_)
        return false;
    busy_ = true;
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
    if (runsOnWorker(prepare))
        return runOnWorker(prepare, detectTimes, detectLevels, compensate, convert);
    return analysis_.Recalculate(prepare, detectTimes, detectLevels, compensate, convert);
}

bool RecalcRunner::runOnWorker(bool prepare, bool detectTimes, bool detectLevels, bool compensate,
                               bool convert)
{
    AnalysisState copy = state_;
    bool finished = false;
    std::exception_ptr error;
    QEventLoop loop;
    QPointer<QEventLoop> loopGuard(&loop);
    std::thread worker([&] {
        try {
            ThrustAnalysis analysis(copy, sensors_, freq_, wave_, progress_);
            finished = analysis.Recalculate(prepare, detectTimes, detectLevels, compensate, convert);
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
        state_ = std::move(copy);
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
