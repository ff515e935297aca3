#pragma once

#include "sensors/SensorEditor.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

namespace Ui {
class TfrmEditSensor;
}

class QColorDialog;

namespace selva {

class SettingsStore;
class TEditFloat;
class TEditPchar;

// "Изменение данных датчика: <name>": edits one sensor of the library in place (its name, points,
// segment colours and formulas) and shows its curve and formulas. The rules are SensorEditor's; the
// window binds its controls to the selected point. Opened modally by the sensor list; works on its own.
class TfrmEditSensor : public QDialog {
    Q_OBJECT
public:
    // `activeSensorChanged` is called after every change the thrust computation sees while the edited
    // sensor is the active one (the library has rebuilt the active table by then). Colours and fonts come
    // from the settings record of `store`.
    TfrmEditSensor(SensorLibrary& library, int sensorIndex, const SettingsStore& store,
                   std::function<void()> activeSensorChanged = {}, QWidget* parent = nullptr);
    ~TfrmEditSensor() override;

    // The selected point (its list index), −1 when there is none.
    int selectedPoint() const { return point_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillGrid();
    void fillGridRow(int p);
    void selectPoint(int p);
    void sgrdDataSelect(int row);
    void showFormulaControls(bool visible);
    void selectPage(TFormulaType type);
    void refreshSwatch();
    void refreshCoefficientFields();
    void redrawCurve();
    void redrawFormula();
    void curveChanged();

    void edtNamePostCommit();
    void edtFreqPostCommit();
    void edtThrustPostCommit();
    void coefficientPostCommit(TEditFloat* sender);
    void cbxFormulTypeChange(int index);
    void pcFormulChange(int page);
    void btnColorClick();
    void sbtnClearColorClick();
    void btnAddClick();
    void btnDelClick();
    void imgCurveClick(QPoint position);
    void imgCurveDblClick();

    std::unique_ptr<Ui::TfrmEditSensor> ui;
    SensorEditor editor_;
    const SettingsStore& store_;
    QColorDialog* dlgColor = nullptr;

    // The selected point's values as the fields edit them; a commit copies them into the point.
    char nameBuffer_[256] = {};
    double frequency_ = 0;
    double thrust_ = 0;
    std::array<float, 6> coefficients_{};
    // Each coefficient field with the coefficient it edits.
    std::vector<std::pair<TEditFloat*, int>> coefficientFields_;

    int point_ = -1;
    bool filling_ = false;     // the grid is being rebuilt: row changes select nothing
    bool settingPage_ = false; // the window switches the formula page itself
};

} // namespace selva
