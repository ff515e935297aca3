#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace selva {

// Encodes a picture as a baseline (sequential, not progressive) JPEG with 24-bit colour, through libjpeg.
// Returns false with libjpeg's message in `error` when it fails.
bool encodeJpeg(const QImage& image, int quality, QByteArray& out, QString* error = nullptr);

} // namespace selva
