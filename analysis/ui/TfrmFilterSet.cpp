#include "analysis/ui/TfrmFilterSet.h"

#include "ui_TfrmFilterSet.h"

#include "analysis/AnalysisState.h"
#include "controls/WindowLook.h"

namespace selva {

TfrmFilterSet::TfrmFilterSet(AnalysisState& state, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmFilterSet>()), state_(state),
      initialWindow_(state.FilterWindow)
{
    ui->setupUi(this);
    takeLookFrom(this, parent);

    ui->cbxFilterType->setCurrentIndex(0); // the only filter there is
    ui->edtFrameLen->setInputLimit(3);
    ui->edtFrameLen->Value(&state_.FilterWindow);
    ui->edtFrameLen->PostCommit = [this](TEditInt* sender) { edtFrameLenPostCommit(sender); };

    connect(ui->btnExit, &QPushButton::clicked, this, &TfrmFilterSet::btnExitClick);
}

TfrmFilterSet::~TfrmFilterSet() = default;

bool TfrmFilterSet::filterWindowChanged() const
{
    return state_.FilterWindow != initialWindow_;
}

void TfrmFilterSet::edtFrameLenPostCommit(TEditInt*)
{
    emit filterWindowStored();
}

void TfrmFilterSet::btnExitClick()
{
    // A width typed and not yet committed (the button reached from the keyboard) is taken too; a text that
    // is not a number keeps the window open with the error shown.
    if (ui->edtFrameLen->isModified() && !ui->edtFrameLen->Commit())
        return;
    accept();
}

} // namespace selva
