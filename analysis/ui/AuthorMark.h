#pragma once

#include <QRectF>
#include <QString>

class QPainter;

namespace selva {

// The mark with the data author's name (the settings' author, "Автор данных:" of the image settings):
// "© " and the name, at the bottom left of the chart area, on the line of the time axis's unit caption
// at the bottom right. Drawn with the painter's current font and pen (the chart's annotation font and
// text colour) on a transparent background; an empty or blank name draws nothing.
QString authorMarkText(const QString& author);
void drawAuthorMark(QPainter& painter, const QRectF& chartArea, const QString& author);

} // namespace selva
