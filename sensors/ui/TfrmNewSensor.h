#pragma once

#include "common/UserPrompts.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class TfrmNewSensor;
}

class QFileDialog;

namespace selva {

class SensorLibrary;
class SettingsStore;

// "Работа с датчиками": the sensor library as a list with a preview of the selected sensor's curve; adds,
// edits (TfrmEditSensor), activates and removes sensors, loads and saves library files. It works on the
// library directly, so a change of the active sensor is live for the analysis: `activeSensorChanged` is
// called whenever the active sensor or its points changed (set active, edited, removed, a library loaded),
// for the main window to recompute. The main window's sensor list follows through
// SensorLibrary::onFillSensorCombo.
class TfrmNewSensor : public QDialog {
    Q_OBJECT
public:
    TfrmNewSensor(SensorLibrary& library, SettingsStore& store,
                  std::function<void()> activeSensorChanged = {}, QWidget* parent = nullptr);
    ~TfrmNewSensor() override;

    // Closing ("Выход", Esc, the window's close button) asks to save a modified library first.
    void reject() override;

private:
    void FillGrid();
    void selectRow(int row);
    void sgrdSensorsSelect(int row);
    void drawCurve(int row);
    int currentRow() const;
    void activeChanged();
    // The save question of a modified library; true when the window may go on (saved or not wanted).
    bool askToSave();

    void btnLoadSensorFileClick();
    bool btnSaveSensorFileClick();
    void btnAddClick();
    void btnEditClick();
    void btnSetActiveClick();
    void btnDelClick();
    void imgCurveDblClick();

    std::unique_ptr<Ui::TfrmNewSensor> ui;
    SensorLibrary& library_;
    SettingsStore& store_;
    std::function<void()> activeSensorChanged_;
    UserPrompts prompts_;
    QFileDialog* dlgOpenFile = nullptr;
    QFileDialog* dlgSaveFile = nullptr;
    bool filling_ = false;
};

} // namespace selva
