// The analysis window's handler table: each control and menu item calls its rule of the presenter and
// shows what that changed.
#include "analysis/ui/TfrmMain.h"

#include "ui_TfrmMain.h"

#include "analysis/ui/TfrmCalcSet.h"
#include "analysis/ui/TfrmFilterSet.h"
#include "analysis/ui/TfrmCompare.h"
#include "common/Format.h"
#include "controls/WindowPlacement.h"
#include "store/ui/TfrmAbout.h"
#include "store/ui/TfrmAddHint.h"
#include "workspace/Workspace.h"

#include <QTimer>

namespace selva {

void TfrmMain::toggle(Marker which, QWidget* caption, TEditFloat* edit)
{
    refresh(presenter_.MarkerToggled(which));
    if (edit && edit->isEnabled() && caption->focusPolicy() == Qt::NoFocus)
        edit->setFocus();
}

void TfrmMain::connectControls()
{
    auto* u = ui.get();
    connect(u->btnFile, &QPushButton::clicked, this, [this] {
        const QString name = dialogs_.chooseFile(
            this, QStringLiteral("Источник данных"),
            QStringLiteral("Frequency files (*.frq);;Sound files (*.wav);;All files (*)"), QString(), false);
        if (!name.isEmpty() && !runner_.busy() && confirmDiscardChanges())
            OpenSource(name);
    });
    connect(u->btnDraw, &QPushButton::clicked, this, [this] { refresh(presenter_.RecalculateAll()); });
    connect(u->btnReAccur, &QToolButton::clicked, this, [this] { refresh(presenter_.ForcedRecalculation()); });
    connect(u->btnRedraw, &QToolButton::clicked, this, &TfrmMain::RedrawChart);
    connect(u->btnSee, &QToolButton::clicked, this, [this] { refresh(Show::Axes); });
    for (QRadioButton* rb : {u->rbtnChannelR, u->rbtnChannelL})
        connect(rb, &QRadioButton::clicked, this,
                [this] { refresh(presenter_.ChannelChosen(ui->rbtnChannelL->isChecked())); });
    // The step rule of every way a step comes in (the command-line tool, projects): a refused value is
    // said to be refused and why, and the field shows the step in force again.
    u->edtAccur->OnCommit = [this](TEditFloat*, long double* value, bool& canCommit) {
        const StepCheck check = presenter_.CheckStep(static_cast<double>(*value));
        canCommit = check.accepted;
        if (check.accepted)
            *value = check.value;
        if (!check.reason.empty())
            QTimer::singleShot(0, this, [this, reason = check.reason] { showError(reason); });
    };
    u->edtAccur->PostCommit = [this](TEditFloat*) { refresh(presenter_.StepCommitted()); };
    u->edtStartThrust->PostCommit = [this](TEditFloat*) { refresh(presenter_.StartCommitted()); };
    u->edtEndThrust->PostCommit = [this](TEditFloat*) { refresh(presenter_.EndCommitted()); };
    u->edtBaseLine->PostCommit = [this](TEditFloat*) { refresh(presenter_.RestCommitted()); };
    u->edtBaseLine2->PostCommit = [this](TEditFloat*) { refresh(presenter_.RestCommitted()); };
    connect(u->cbxZero, &QCheckBox::clicked, this, [this](bool on) {
        refresh(presenter_.ZeroCompensationChanged(on));
        ui->edtFreqOffs->setEnabled(on);
    });
    u->edtFreqOffs->PostCommit = [this](TEditFloat*) {
        refresh(presenter_.ZeroCompensationChanged(ui->cbxZero->isChecked()));
    };
    connect(u->lbxSensor, &QComboBox::activated, this, [this](int index) { refresh(presenter_.SensorChosen(index)); });
    connect(u->btnCalc, &QPushButton::clicked, this, [this] { refresh(Show::Results); });
    connect(u->btnCalcSet, &QPushButton::clicked, this, [this] {
        TfrmCalcSet dlg(ws_.state, this);
        refresh(presenter_.CalcSettingsClosed(dialogs_.exec(dlg) == QDialog::Accepted));
    });
    connect(u->sbtnFilerOn, &QToolButton::clicked, this, [this](bool on) { refresh(presenter_.FilterSwitched(on)); });
    connect(u->sbtnFilterSet, &QToolButton::clicked, this, [this] {
        TfrmFilterSet dlg(ws_.state, this);
        dialogs_.exec(dlg);
        refresh(presenter_.RecalculateAll());
    });
    connect(u->cbxN, &QCheckBox::toggled, this, [this](bool on) { refresh(presenter_.UnitsChanged(on)); });
    connect(u->cbxInvert, &QCheckBox::toggled, this, [this](bool on) {
        presenter_.invert = on;
        ui->Chart1->setInverted(on);
    });
    connect(u->cbxDelta, &QCheckBox::clicked, this, [this](bool on) { refresh(presenter_.DeltaChanged(on)); });
    for (QCheckBox* box : {u->cbxResult, u->cbxStandard, u->cbxHintOnGraph, u->cbxDate})
        connect(box, &QCheckBox::clicked, this, &TfrmMain::updateAnnotations);
    connect(u->pkrData, &QDateEdit::dateChanged, this, &TfrmMain::updateAnnotations);
    connect(u->s2, &QPushButton::clicked, this, [this] { toggle(Marker::Start, ui->s2, ui->edtStartThrust); });
    connect(u->s3, &QPushButton::clicked, this, [this] { toggle(Marker::End, ui->s3, ui->edtEndThrust); });
    connect(u->s4, &QPushButton::clicked, this, [this] { toggle(Marker::Rest, ui->s4, ui->edtBaseLine); });
    connect(u->s5, &QPushButton::clicked, this, [this] { toggle(Marker::RestAfter, ui->s5, ui->edtBaseLine2); });
    connect(u->sMiddleLine, &QPushButton::clicked, this, [this] { toggle(Marker::Middle, ui->sMiddleLine, nullptr); });
    connect(u->cbxMouse, &QCheckBox::toggled, u->pnlMouse, &QWidget::setVisible);
    connect(u->btnMouse, &QPushButton::clicked, u->lbxMouse, &QListWidget::clear);
    connect(u->btnGetHint, &QPushButton::clicked, this, [this] {
        TfrmAddHint dlg(ws_.store.notes, ui->lblFileName->text(), this);
        dialogs_.exec(dlg);
        updateAnnotations();
    });
    connect(u->brnExit, &QPushButton::clicked, this, &QWidget::close);

    // The chart's navigation panels, the pointer and the double clicks.
    const std::pair<QToolButton*, TimeNav> hButtons[] = {
        {u->sbHStart, TimeNav::Start},         {u->sbHEnd, TimeNav::End},   {u->sbHIn, TimeNav::In},
        {u->sbHOut, TimeNav::Out},             {u->sbHLeftPage, TimeNav::LeftPage},
        {u->sbHRightPage, TimeNav::RightPage}, {u->sbHLeft, TimeNav::Left}, {u->sbHRight, TimeNav::Right}};
    for (const auto& [button, nav] : hButtons)
        connect(button, &QToolButton::clicked, this, [this, n = nav] { ui->Chart1->navigate(n); });
    const std::pair<QToolButton*, ValueNav> vButtons[] = {
        {u->sbVBottom, ValueNav::Bottom},     {u->sbVTop, ValueNav::Top},       {u->sbVIn, ValueNav::In},
        {u->sbVOut, ValueNav::Out},           {u->sbVDownPage, ValueNav::DownPage},
        {u->sbVUpPage, ValueNav::UpPage},     {u->sbVDown, ValueNav::Down},     {u->sbVUp, ValueNav::Up}};
    for (const auto& [button, nav] : vButtons)
        connect(button, &QToolButton::clicked, this, [this, n = nav] { ui->Chart1->navigate(n); });
    connect(u->sbHSee, &QToolButton::clicked, u->Chart1, &ThrustChart::setTimeAutomatic);
    connect(u->sbVSee, &QToolButton::clicked, u->Chart1, &ThrustChart::setValueAutomatic);
    const auto readOut = [this](double t, double v) {
        const AxisSpan r = ui->Chart1->valueRange();
        const char sep = decimalSeparator();
        return std::make_pair(QString::fromStdString(formatFixed(t, 2, 0, sep)),
                              QString::fromStdString(FormatAxisValue(v, r.max, r.min, sep)));
    };
    connect(u->Chart1, &ThrustChart::pointerMoved, this, [this, readOut](double t, double v) {
        if (!ui->cbxMouse->isChecked())
            return;
        const auto [time, value] = readOut(t, v);
        ui->lblMX->setText(time);
        ui->lblMY->setText(value);
    });
    connect(u->Chart1, &ThrustChart::doubleClicked, this, [this, readOut](double t, double v) {
        const auto [time, value] = readOut(t, v);
        ui->lbxMouse->insertItem(0, (time + QStringLiteral("    ") + value).left(40));
    });
    connect(u->Chart1, &ThrustChart::rightDoubleClicked, this, [this] {
        if (windows_.SeriesOptions())
            ApplyAppearance();
    });
}

void TfrmMain::connectMenu()
{
    auto* u = ui.get();
    connect(u->nSource, &QAction::triggered, u->btnFile, &QPushButton::click);
    connect(u->nLoadProject, &QAction::triggered, this, [this] {
        const QString name =
            dialogs_.chooseFile(this, QStringLiteral("Загразить проект"),
                                QStringLiteral("Selvarondine Projects (*.proj)"), projectDialogInitialName(), false);
        if (!name.isEmpty() && !runner_.busy() && confirmDiscardChanges())
            loadProject(name);
    });
    connect(u->nSaveProjectAs, &QAction::triggered, this, [this] {
        const QString name =
            dialogs_.chooseFile(this, QStringLiteral("Сохранить проект"),
                                QStringLiteral("Selvarondine Projects (*.proj)"), projectDialogInitialName(), true);
        if (!name.isEmpty())
            saveProject(name);
    });
    connect(u->nSaveProject, &QAction::triggered, this, [this] { saveProjectOrAsk(); });
    connect(u->nNewProject, &QAction::triggered, this, &TfrmMain::newProject);
    const ChartPainter draw = [this](QPainter& p, const QRectF& r) { ui->Chart1->paintChart(p, r); };
    connect(u->nExport, &QAction::triggered, this, [this] {
        // The motor's data for ".eng" and ".rse" are remembered beside the settings file.
        const std::string settings = ws_.store.resolveSettingsName(ws_.store.settingsFileName);
        const MotorExportSource motor{ws_.SaveOptionsFor(SaveWhat::Export), ws_.sensors.ActiveSensorIndex != 0,
                                      windowPart().testDate, changeFileExt(settings, ".motor")};
        exportResults(this, ws_.state, ui->cbxN->isChecked(), ui->lblFileName->text(), dialogs_.output, &motor);
    });
    connect(u->nSavePicture, &QAction::triggered, this, [this, draw] {
        savePicture(this, draw, ui->Chart1->size(), ui->lblFileName->text(), dialogs_.output,
                    ws_.SaveOptionsFor(SaveWhat::Export));
    });
    connect(u->nPrint, &QAction::triggered, this,
            [this, draw] { printing_.print(this, draw, ui->lblFileName->text(), dialogs_.output.error); });
    connect(u->nPrinterSetup, &QAction::triggered, this, [this] { printing_.setup(this); });
    connect(u->nCompare, &QAction::triggered, compare_, &CompareController::AddTests);
    connect(u->nImageSet, &QAction::triggered, this, [this] {
        if (windows_.ImageSettings(
                [this](const std::string& name) { applySettingsLoad(ws_.session.LoadSettings(name)); },
                [this](const std::string& name) { ws_.session.SaveSettings(name, capturePlacement(*this)); }))
            ApplyAppearance();
    });
    connect(u->nSensor, &QAction::triggered, this, [this] {
        // Every change of the active sensor or its points reaches the analysis at once.
        windows_.SensorList([this] { refresh(presenter_.SensorsEdited()); });
        refreshSensors();
    });
    const auto open = [this](const QString& recording) { OpenSource(recording); };
    connect(u->nCom, &QAction::triggered, this, [this, open] { windows_.Logger(open); });
    connect(u->nSound, &QAction::triggered, this, [this, open] { windows_.Sound(open); });
    connect(u->nAbout, &QAction::triggered, this, [this] {
        TfrmAbout about(this);
        dialogs_.exec(about);
    });
    connect(u->nExit, &QAction::triggered, this, &QWidget::close);
}

} // namespace selva
