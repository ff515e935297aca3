#include "logger/ui/TfrmAutoRecSet.h"

#include "ui_TfrmAutoRecSet.h"

#include "controls/WindowLook.h"
#include "store/SettingsStore.h"

namespace selva {

TfrmAutoRecSet::TfrmAutoRecSet(SettingsStore& store, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmAutoRecSet>()), store_(store),
      working_(store.settings.autoRecord)
{
    ui->setupUi(this);
    takeLookFrom(this, parent);

    // Thresholds and durations below zero make no sense; such a value is refused and the field shows the
    // kept one again.
    for (TEditInt* edit : {ui->edtFreqUp, ui->edtFreqEnd}) {
        edit->OnCommit = [](TEditInt*, std::int32_t* value, bool& canCommit) { canCommit = *value >= 0; };
        edit->setFixedWidth(80);
    }
    for (TEditFloat* edit : {ui->edtDeadTime, ui->edtEndTime, ui->edtBufLen}) {
        edit->setPrecision(6);
        edit->setDigits(3);
        edit->OnCommit = [](TEditFloat*, long double* value, bool& canCommit) { canCommit = *value >= 0; };
        edit->setFixedWidth(80);
    }
    ui->edtFreqUp->Value(&working_.freqUp);
    ui->edtFreqEnd->Value(&working_.freqEnd);
    ui->edtDeadTime->Value(&working_.deadTime);
    ui->edtEndTime->Value(&working_.endTime);
    ui->edtBufLen->Value(&working_.bufLen);

    connect(ui->btnOk, &QPushButton::clicked, this, &TfrmAutoRecSet::btnOkClick);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmAutoRecSet::~TfrmAutoRecSet() = default;

void TfrmAutoRecSet::btnOkClick()
{
    // A value typed and not yet committed counts too; one that cannot be taken keeps the window open.
    for (TEditInt* edit : {ui->edtFreqUp, ui->edtFreqEnd})
        if (edit->isModified() && !edit->Commit())
            return;
    for (TEditFloat* edit : {ui->edtDeadTime, ui->edtEndTime, ui->edtBufLen})
        if (edit->isModified() && !edit->Commit())
            return;
    store_.settings.autoRecord = working_;
    accept();
}

} // namespace selva
