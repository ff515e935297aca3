#include "sensors/ui/TfrmSensorCurve.h"

#include "sensors/SensorLibrary.h"
#include "sensors/ui/DrawSensor.h"
#include "sensors/ui/SensorImage.h"
#include "store/SettingsStore.h"

#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace selva {

TfrmSensorCurve::TfrmSensorCurve(TSensor& sensor, int selected, const SettingsStore& store, QWidget* parent)
    : QDialog(parent), sensor_(sensor), selected_(selected), store_(store)
{
    setObjectName(QStringLiteral("TfrmSensorCurve"));
    setWindowTitle(QStringLiteral("Датчик: ") + QString::fromStdString(sensor.name));
    applySettingsLook(this, store.settings);
    imgCurve = new SensorImage(this);
    imgCurve->setObjectName(QStringLiteral("imgCurve"));
    imgCurve->setMinimumSize(40, 30);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(imgCurve);
    resize(600, 450);
}

void TfrmSensorCurve::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The layout has given the picture the client area by now.
    imgCurve->resizeImage(imgCurve->width(), imgCurve->height());
    SharedCurveCache().Invalidate();
    redraw();
}

void TfrmSensorCurve::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    accept();
}

void TfrmSensorCurve::redraw()
{
    QImage& image = imgCurve->image();
    const CurveLook look = CurveLook::from(store_.settings.chart);
    image.fill(look.background);
    QPainter painter(&image);
    painter.setFont(font());
    DrawSensorCurve(painter, image.width(), image.height(), sensor_.calibration, true, selected_, look);
    painter.end();
    imgCurve->update();
}

} // namespace selva
