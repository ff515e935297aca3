#pragma once

// Whole files as bytes, for window tests that prepare a file or look at one written.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace selva::test {

// The bytes of a file; empty when it cannot be read.
inline QByteArray readBytes(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeBytes(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace selva::test
