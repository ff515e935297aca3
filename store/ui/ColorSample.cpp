#include "store/ui/ColorSample.h"

#include <QMouseEvent>
#include <QPainter>

namespace selva {

ColorSample::ColorSample(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::Box);
    setCursor(Qt::PointingHandCursor);
    setMinimumSize(25, 17);
}

void ColorSample::setColor(const QColor& color)
{
    color_ = color;
    setToolTip(color.name().toUpper());
    update();
}

void ColorSample::paintEvent(QPaintEvent* event)
{
    {
        QPainter p(this);
        p.fillRect(contentsRect(), color_.isValid() ? color_ : QColor(Qt::white));
    }
    QFrame::paintEvent(event);
}

void ColorSample::mouseReleaseEvent(QMouseEvent* event)
{
    QFrame::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit released();
}

} // namespace selva
