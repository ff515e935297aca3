#pragma once

// Driving windows in window tests: modal windows, typed text. A window opened with exec() blocks the
// test's call that opened it, so what is to happen in it is arranged beforehand and runs from a timer
// inside its loop.

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QMessageBox>
#include <QTest>
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

// Runs `action` and returns the text of a message box it showed (closed at once), empty when none.
inline QString messageDuring(const std::function<void()>& action)
{
    auto text = std::make_shared<QString>();
    onModal<QMessageBox>(
        [text](QMessageBox* box) {
            *text = box->text();
            box->reject();
        },
        300);
    action();
    QTest::qWait(400);
    return *text;
}

// Shows a window and waits until it is the active one, as a window the user just opened.
inline bool showActive(QWidget* window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// Types a text key by key, one key event a character (keyClicks cannot send Cyrillic); a line break is
// the Return key.
inline void typeChars(QWidget* w, const QString& text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            QTest::keyClick(w, Qt::Key_Return);
            continue;
        }
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Types a text into a field in place of what it holds, then Enter.
inline void typeInto(QWidget* field, const QString& text)
{
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    typeChars(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

// A number written with a point, as the user types it in the current locale.
inline QString localNumber(const char* number)
{
    return QString::fromLatin1(number).replace(QLatin1Char('.'), QLocale().decimalPoint());
}

} // namespace selva::test
