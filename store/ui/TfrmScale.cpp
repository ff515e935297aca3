#include "store/ui/TfrmScale.h"

#include "ui_TfrmScale.h"

#include <cmath>

#include <algorithm>

namespace selva {

TfrmScale::TfrmScale(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TfrmScale>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    connect(ui->btnClose, &QPushButton::clicked, this, &TfrmScale::reject);
}

TfrmScale::~TfrmScale() = default;

void TfrmScale::setAction(const QString& text)
{
    ui->lblAction->setText(text);
}

QString TfrmScale::action() const
{
    return ui->lblAction->text();
}

void TfrmScale::setPercent(int percent)
{
    ui->pbrScale->setValue(std::clamp(percent, 0, 100));
}

int TfrmScale::percent() const
{
    return ui->pbrScale->value();
}

void TfrmScale::showOver(QWidget* owner)
{
    adjustSize();
    if (owner) {
        const QRect g = owner->frameGeometry();
        move(g.center() - QPoint(width() / 2, height() / 2));
    }
    setAttribute(Qt::WA_ShowWithoutActivating);
    show();
    raise();
}

void TfrmScale::follow(int stage, double fraction, const QString& stageName, QWidget* owner)
{
    const int percent = static_cast<int>(std::lround(fraction * 100));
    if (isVisible()) {
        if (stage != lastStage_) {
            setAction(stageName);
            lastStage_ = stage;
        }
        setPercent(percent);
    } else if (stage == 1 && fraction < 0.5) {
        setAction(stageName);
        setPercent(percent);
        showOver(owner);
        lastStage_ = 1;
    }
}

void TfrmScale::reject()
{
    emit cancelRequested();
    QDialog::reject();
}

} // namespace selva
