#include "analysis/ui/TfrmCalcSet.h"

#include "ui_TfrmCalcSet.h"

#include "analysis/AnalysisState.h"
#include "controls/WindowLook.h"

namespace selva {

TfrmCalcSet::TfrmCalcSet(AnalysisState& state, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmCalcSet>()), state_(state)
{
    ui->setupUi(this);
    takeLookFrom(this, parent);

    wChargeWeight_ = state_.ChargeWeight;
    wRigWeight_ = state_.RigWeight;
    for (TEditFloat* edit : {ui->edtWeight, ui->edtDeadWeight}) {
        edit->setPrecision(4);
        edit->setDigits(4);
        edit->OnCommit = [this](TEditFloat* sender, long double* value, bool& canCommit) {
            edtWeightCommit(sender, value, canCommit);
        };
    }
    ui->edtWeight->Value(&wChargeWeight_);
    ui->edtDeadWeight->Value(&wRigWeight_);
    ui->edtWeight->PostCommit = [this](TEditFloat* sender) { edtWeightPostCommit(sender); };
    ui->edtDeadWeight->PostCommit = [this](TEditFloat* sender) { edtDeadWeightPostCommit(sender); };

    ui->cbxGrainWeight->setChecked(state_.IncludeChargeWeight);
    ui->cbxDeadWeight->setChecked(state_.IncludeRigWeight);
    ui->cbxSoed->setChecked(state_.RigidMount);
    ui->cbxHist->setChecked(state_.Hysteresis);
    // Hysteresis is kept with the settings and stored back, but the option is not offered.
    ui->cbxHist->setVisible(false);
    ui->cbxClearThrust->setChecked(state_.NetThrust);
    // A position other than 1 or 2 (a damaged project) shows as horizontal and is stored as 0 on confirm.
    switch (state_.MotorPosition) {
    case MotorNozzleUp:
        ui->rbUp->setChecked(true);
        break;
    case MotorNozzleDown:
        ui->rbDown->setChecked(true);
        break;
    default:
        ui->rbHoriz->setChecked(true);
        break;
    }
    UpdateEnabling();

    connect(ui->rbHoriz, &QRadioButton::clicked, this, &TfrmCalcSet::rbPositionClick);
    connect(ui->rbUp, &QRadioButton::clicked, this, &TfrmCalcSet::rbPositionClick);
    connect(ui->rbDown, &QRadioButton::clicked, this, &TfrmCalcSet::rbPositionClick);
    connect(ui->btnSet, &QPushButton::clicked, this, &TfrmCalcSet::btnSetClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmCalcSet::~TfrmCalcSet() = default;

int TfrmCalcSet::checkedPosition() const
{
    if (ui->rbUp->isChecked())
        return MotorNozzleUp;
    if (ui->rbDown->isChecked())
        return MotorNozzleDown;
    return MotorHorizontal;
}

// One rule for every moment, when the window opens and after every click or commit: a horizontal motor
// has no rig weight and neither weight option; a vertical one accounts for each weight that is not 0; the
// rig can be rigidly joined to the sensor only with the nozzle down and a rig weight.
void TfrmCalcSet::UpdateEnabling()
{
    const bool vertical = checkedPosition() != MotorHorizontal;
    ui->s2->setEnabled(vertical);
    ui->edtDeadWeight->setEnabled(vertical);
    ui->cbxGrainWeight->setEnabled(vertical && wChargeWeight_ != 0);
    ui->cbxDeadWeight->setEnabled(vertical && wRigWeight_ != 0);
    ui->cbxSoed->setEnabled(checkedPosition() == MotorNozzleDown && wRigWeight_ != 0);
}

void TfrmCalcSet::rbPositionClick()
{
    UpdateEnabling();
}

// A weight below zero can only be a slip of the hand: it is refused and the field shows the kept value.
void TfrmCalcSet::edtWeightCommit(TEditFloat*, long double* value, bool& canCommit)
{
    if (*value < 0)
        canCommit = false;
}

void TfrmCalcSet::edtWeightPostCommit(TEditFloat*)
{
    UpdateEnabling();
}

void TfrmCalcSet::edtDeadWeightPostCommit(TEditFloat*)
{
    UpdateEnabling();
}

void TfrmCalcSet::btnSetClick()
{
    // A weight typed and not yet committed (the button reached from the keyboard) counts too; if it cannot
    // be taken the window stays open with the error shown.
    for (TEditFloat* edit : {ui->edtWeight, ui->edtDeadWeight})
        if (edit->isModified() && !edit->Commit())
            return;

    state_.ChargeWeight = wChargeWeight_;
    state_.RigWeight = wRigWeight_;
    state_.IncludeChargeWeight = ui->cbxGrainWeight->isChecked();
    state_.IncludeRigWeight = ui->cbxDeadWeight->isChecked();
    state_.RigidMount = ui->cbxSoed->isChecked();
    state_.Hysteresis = ui->cbxHist->isChecked();
    state_.NetThrust = ui->cbxClearThrust->isChecked();
    state_.MotorPosition = static_cast<std::uint8_t>(checkedPosition());
    emit settingsStored();
    accept();
}

} // namespace selva
