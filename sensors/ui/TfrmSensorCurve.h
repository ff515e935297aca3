#pragma once

#include <QDialog>

namespace selva {

class SensorImage;
class SettingsStore;
struct TSensor;

// "Датчик: <name>": one sensor's calibration curve filling the window, redrawn at every size, with the
// points shown and one of them selected. Any key closes it.
class TfrmSensorCurve : public QDialog {
    Q_OBJECT
public:
    // `selected` is the point to circle, −1 for none.
    TfrmSensorCurve(TSensor& sensor, int selected, const SettingsStore& store, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void redraw();

    TSensor& sensor_;
    int selected_;
    const SettingsStore& store_;
    SensorImage* imgCurve = nullptr;
};

} // namespace selva
