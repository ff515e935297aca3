#include "sensors/ui/SensorImage.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace selva {

SensorImage::SensorImage(QWidget* parent) : QWidget(parent)
{
    image_ = QImage(1, 1, QImage::Format_RGB32);
    image_.fill(palette().color(QPalette::Window));
}

void SensorImage::setFixedImageSize(int width, int height)
{
    resizeImage(width, height);
    setFixedSize(width, height);
}

void SensorImage::resizeImage(int width, int height)
{
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (image_.width() == width && image_.height() == height)
        return;
    QImage next(width, height, QImage::Format_RGB32);
    next.fill(palette().color(QPalette::Window));
    QPainter p(&next);
    p.drawImage(0, 0, image_);
    p.end();
    image_ = next;
    update();
}

void SensorImage::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void SensorImage::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(event->position().toPoint());
    QWidget::mousePressEvent(event);
}

void SensorImage::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClicked(event->position().toPoint());
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace selva
