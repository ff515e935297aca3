#include "analysis/ui/AuthorMark.h"

#include <QFontMetricsF>
#include <QPainter>

namespace selva {

QString authorMarkText(const QString& author)
{
    const QString name = author.trimmed();
    return name.isEmpty() ? QString() : QStringLiteral("© ") + name;
}

void drawAuthorMark(QPainter& painter, const QRectF& chartArea, const QString& author)
{
    const QString text = authorMarkText(author);
    if (text.isEmpty())
        return;
    const QFontMetricsF fm(painter.font(), painter.device());
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    // Top of the text h + 2 above the bottom, as the time unit caption opposite.
    painter.drawText(QPointF(chartArea.left() + 3, chartArea.bottom() - fm.height() - 2 + fm.ascent()), text);
    painter.restore();
}

} // namespace selva
