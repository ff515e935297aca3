#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TfrmCalcSet;
}

namespace selva {

struct AnalysisState;
class TEditFloat;

// "Параметры расчета": how the motor is mounted and what the charge and the rig weigh. The window edits
// working copies and stores them into the analysis state only on "Установить"; "Отказ", Esc and closing the
// window store nothing. It computes nothing itself: exec() returns QDialog::Accepted (and settingsStored is
// emitted) when the settings were stored, and the caller then recomputes.
class TfrmCalcSet : public QDialog {
    Q_OBJECT
public:
    // Takes its background colour and font from `parent` (the analysis window) when one is given.
    explicit TfrmCalcSet(AnalysisState& state, QWidget* parent = nullptr);
    ~TfrmCalcSet() override;

    // The working copies, as the window's fields hold them.
    float workingChargeWeight() const { return wChargeWeight_; }
    float workingRigWeight() const { return wRigWeight_; }

signals:
    void settingsStored();

private:
    void rbPositionClick();
    void edtWeightCommit(TEditFloat* sender, long double* value, bool& canCommit);
    void edtWeightPostCommit(TEditFloat* sender);
    void edtDeadWeightPostCommit(TEditFloat* sender);
    void btnSetClick();
    void UpdateEnabling();
    int checkedPosition() const;

    std::unique_ptr<Ui::TfrmCalcSet> ui;
    AnalysisState& state_;
    float wChargeWeight_ = 0;
    float wRigWeight_ = 0;
};

} // namespace selva
