#pragma once

#include <QImage>
#include <QWidget>

namespace selva {

// A picture the sensor windows draw into (a curve, a formula line): the widget shows its image at the
// top left and reports clicks and double clicks in image coordinates.
class SensorImage : public QWidget {
    Q_OBJECT
public:
    explicit SensorImage(QWidget* parent = nullptr);

    QImage& image() { return image_; }
    const QImage& image() const { return image_; }
    // A fixed picture size: the widget takes exactly that size.
    void setFixedImageSize(int width, int height);
    // A new size for the picture; what it showed stays at the top left.
    void resizeImage(int width, int height);

signals:
    void clicked(QPoint position);
    void doubleClicked(QPoint position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage image_;
};

} // namespace selva
