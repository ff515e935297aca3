#pragma once

#include <QObject>
#include <QString>

namespace selva::test {

// The control of a window by its objectName, as the tests drive windows; a missing one ends the test
// program with its name (every later check would fail on a null pointer anyway).
template <class T> T* control(const QObject* window, const char* name)
{
    T* w = window->findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

} // namespace selva::test
