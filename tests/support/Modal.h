#pragma once

// Scripting of modal windows in window tests: a window opened with exec() blocks the test's call that
// opened it, so what is to happen in it is arranged beforehand and runs from a timer inside its loop.

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace selva::test {

// Runs `act` on the next modal window of type T once it is the active modal window. Gives up after
// `timeoutMs` (the test then fails on what the window did not do, instead of hanging).
template <class T> void onModal(std::function<void(T*)> act, int timeoutMs = 5000)
{
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, act, timeoutMs] {
        if (T* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(w);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// Answers the next message box with `button` and keeps its text in `text` (when given).
inline void answerMessage(QMessageBox::StandardButton button, QString* text = nullptr)
{
    onModal<QMessageBox>([button, text](QMessageBox* box) {
        if (text)
            *text = box->text();
        if (QAbstractButton* b = box->button(button))
            b->click();
        else
            box->reject();
    });
}

} // namespace selva::test
