// The analysis window's handler table: what each control and menu item runs, in order.
#include "analysis/ui/TfrmMain.h"

#include "ui_TfrmMain.h"

#include "analysis/ui/TfrmCalcSet.h"
#include "analysis/ui/TfrmFilterSet.h"
#include "common/Format.h"
#include "sensors/SensorLibrary.h"
#include "store/SettingsStore.h"
#include "store/ui/TfrmAbout.h"
#include "logger/io/SerialPortTable.h"
#include "logger/ui/TfrmData.h"
#include "sensors/ui/TfrmNewSensor.h"
#include "store/ui/TfrmAddHint.h"
#include "store/ui/TfrmImageSet.h"
#include "store/ui/TfrmSeriesOpt.h"
#include "store/ui/TfrmScale.h"

#include <QFileInfo>
#include <QTimer>

namespace selva {

namespace {

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

void TfrmMain::connectControls()
{
    auto* u = ui.get();
    connect(u->btnFile, &QPushButton::clicked, this, [this] {
        const QString name = dialogs_.chooseFile(
            this, QStringLiteral("Источник данных"),
            QStringLiteral("Frequency files (*.frq);;Sound files (*.wav);;All files (*)"), QString(), false);
        if (name.isEmpty() || runner_.busy() || !confirmDiscardChanges())
            return;
        // A source that cannot be opened leaves the previous one in place, and named.
        openWithCompanion(name);
    });
    connect(u->btnDraw, &QPushButton::clicked, this, &TfrmMain::fullRecalculation);
    connect(u->btnReAccur, &QToolButton::clicked, this, [this] {
        recalculate(true, false, true, true, true);
        RedrawChart();
    });
    connect(u->btnRedraw, &QToolButton::clicked, this, &TfrmMain::RedrawChart);
    connect(u->btnSee, &QToolButton::clicked, this, [this] {
        ui->Chart1->setTimeAutomatic();
        ui->Chart1->setValueAutomatic();
    });
    for (QRadioButton* rb : {u->rbtnChannelR, u->rbtnChannelL})
        connect(rb, &QRadioButton::clicked, this, [this] {
            const bool previous = state_.UseLeftChannel;
            state_.UseLeftChannel = ui->rbtnChannelL->isChecked();
            if (!recalculate(true, true, true, true, true)) {
                state_.UseLeftChannel = previous; // cancelled: the series are still those of this channel
                (previous ? ui->rbtnChannelL : ui->rbtnChannelR)->setChecked(true);
            }
            RedrawChart();
        });
    // The step rule of every way a step comes in (the command-line tool, projects): a refused value is
    // said to be refused and why, and the field shows the step in force again.
    u->edtAccur->OnCommit = [this](TEditFloat*, long double* value, bool& canCommit) {
        const StepCheck check =
            CheckAnalysisStep(static_cast<double>(*value), state_.MinStep, state_.RecordDuration);
        canCommit = check.accepted;
        if (check.accepted)
            *value = check.value;
        if (!check.reason.empty()) {
            const QString reason = qs(check.reason);
            QTimer::singleShot(0, this, [this, reason] { showError(reason); });
        }
    };
    // Leaving the field commits it every time; the series are rebuilt only when the step really changed,
    // so that tabbing through does not re-detect (and lose) rest lines set by hand.
    u->edtAccur->PostCommit = [this](TEditFloat*) {
        if (state_.AnalysisStep == builtStep_)
            return;
        recalculate(true, false, true, false, true);
        if (state_.AnalysisStep != builtStep_ && builtStep_ > 0) {
            // Cancelled: the series still have the old step, and so must the field.
            state_.AnalysisStep = builtStep_;
            ui->edtAccur->Refresh();
        }
        ShowResults();
        RedrawChart();
    };
    auto markerMoved = [this](bool start) {
        if (start && state_.StartTime < 0) {
            state_.StartTime = 0;
            ui->edtStartThrust->Refresh();
        }
        if (!start && state_.EndTime > state_.RecordDuration) {
            state_.EndTime = state_.RecordDuration;
            ui->edtEndThrust->Refresh();
        }
        start ? drawStartMarker() : drawEndMarker();
        const bool vertical = state_.MotorPosition != MotorHorizontal;
        if (vertical && state_.RigWeight + state_.ChargeWeight != 0)
            analysis_.ConvertToThrust(false);
        ShowResults();
        if (vertical && ui->cbxN->isChecked())
            RedrawChart();
    };
    u->edtStartThrust->PostCommit = [markerMoved](TEditFloat*) { markerMoved(true); };
    u->edtEndThrust->PostCommit = [markerMoved](TEditFloat*) { markerMoved(false); };
    auto restMoved = [this](TEditFloat*) {
        if (ui->cbxN->isChecked())
            return;
        analysis_.CompensateZero();
        ui->edtFreqOffs->Refresh();
        analysis_.ConvertToThrust(false);
        ShowResults();
        drawRestLine();
    };
    u->edtBaseLine->PostCommit = restMoved;
    u->edtBaseLine2->PostCommit = restMoved;
    auto zeroChanged = [this] {
        ui->edtFreqOffs->setEnabled(ui->cbxZero->isChecked());
        state_.ZeroCompensation = ui->cbxZero->isChecked();
        analysis_.ConvertToThrust(true);
        ShowResults();
        RedrawChart();
        drawRestLine();
    };
    connect(u->cbxZero, &QCheckBox::clicked, this, zeroChanged);
    u->edtFreqOffs->PostCommit = [zeroChanged](TEditFloat*) { zeroChanged(); };
    connect(u->lbxSensor, &QComboBox::activated, this, [this](int index) {
        if (!sensors_.SelectActiveSensor(index))
            ui->lbxSensor->setCurrentIndex(sensors_.ActiveSensorIndex);
        afterSensorChange();
    });
    connect(u->btnCalc, &QPushButton::clicked, this, &TfrmMain::ShowResults);
    connect(u->btnCalcSet, &QPushButton::clicked, this, [this] {
        TfrmCalcSet dlg(state_, this);
        if (dialogs_.exec(dlg) == QDialog::Accepted) {
            analysis_.CompensateZero();
            ui->edtFreqOffs->Refresh();
            analysis_.ConvertToThrust(true);
            ShowResults();
        }
        ui->lblWeight->setText(resultTexts(state_, false, locale()).weight);
        ui->pnlHist->setVisible(state_.Hysteresis);
        RedrawChart();
    });
    connect(u->sbtnFilerOn, &QToolButton::clicked, this, [this](bool on) {
        state_.FilterOn = on;
        fullRecalculation();
    });
    connect(u->sbtnFilterSet, &QToolButton::clicked, this, [this] {
        TfrmFilterSet dlg(state_, this);
        dialogs_.exec(dlg);
        fullRecalculation();
    });
    connect(u->cbxN, &QCheckBox::toggled, this, &TfrmMain::applyUnits);
    connect(u->cbxInvert, &QCheckBox::toggled, u->Chart1, &ThrustChart::setInverted);
    connect(u->cbxDelta, &QCheckBox::clicked, this, [this] {
        ShowResults(); // the "+/-" parts follow the box
        RedrawChart();
    });
    for (QCheckBox* box : {u->cbxResult, u->cbxHintOnGraph, u->cbxDate})
        connect(box, &QCheckBox::clicked, this, &TfrmMain::updateAnnotations);
    connect(u->pkrData, &QDateEdit::dateChanged, this, &TfrmMain::updateAnnotations);
    connect(u->s2, &QPushButton::clicked, this, [this] {
        toggleMarker(flags_.start, ui->s2, ui->edtStartThrust, true);
        drawStartMarker();
    });
    connect(u->s3, &QPushButton::clicked, this, [this] {
        toggleMarker(flags_.end, ui->s3, ui->edtEndThrust, true);
        drawEndMarker();
    });
    connect(u->s5, &QPushButton::clicked, this, [this] {
        toggleMarker(flags_.restAfter, ui->s5, ui->edtBaseLine2, true);
        drawRestLine();
    });
    connect(u->s4, &QPushButton::clicked, this, [this] {
        toggleMarker(flags_.rest, ui->s4, ui->edtBaseLine, !ui->cbxN->isChecked());
        drawRestLine();
    });
    connect(u->sMiddleLine, &QPushButton::clicked, this, [this] {
        flags_.middle = !flags_.middle;
        ui->sMiddleLine->setChecked(flags_.middle);
        if (!ui->cbxN->isChecked())
            ui->edtBaseLine->setEnabled(flags_.rest);
        drawMiddleLine();
    });
    connect(u->cbxMouse, &QCheckBox::toggled, u->pnlMouse, &QWidget::setVisible);
    connect(u->btnMouse, &QPushButton::clicked, u->lbxMouse, &QListWidget::clear);
    connect(u->btnGetHint, &QPushButton::clicked, this, [this] {
        TfrmAddHint dlg(store_.notes, ui->lblFileName->text(), this);
        dialogs_.exec(dlg);
        updateAnnotations();
    });
    connect(u->brnExit, &QPushButton::clicked, this, &QWidget::close);

    // The chart's navigation panels, the pointer and the double click.
    const std::pair<QToolButton*, TimeNav> hButtons[] = {{u->sbHStart, TimeNav::Start},
                                                         {u->sbHEnd, TimeNav::End},
                                                         {u->sbHIn, TimeNav::In},
                                                         {u->sbHOut, TimeNav::Out},
                                                         {u->sbHLeftPage, TimeNav::LeftPage},
                                                         {u->sbHRightPage, TimeNav::RightPage},
                                                         {u->sbHLeft, TimeNav::Left},
                                                         {u->sbHRight, TimeNav::Right}};
    for (const auto& [button, nav] : hButtons)
        connect(button, &QToolButton::clicked, this, [this, n = nav] { ui->Chart1->navigate(n); });
    const std::pair<QToolButton*, ValueNav> vButtons[] = {{u->sbVBottom, ValueNav::Bottom},
                                                          {u->sbVTop, ValueNav::Top},
                                                          {u->sbVIn, ValueNav::In},
                                                          {u->sbVOut, ValueNav::Out},
                                                          {u->sbVDownPage, ValueNav::DownPage},
                                                          {u->sbVUpPage, ValueNav::UpPage},
                                                          {u->sbVDown, ValueNav::Down},
                                                          {u->sbVUp, ValueNav::Up}};
    for (const auto& [button, nav] : vButtons)
        connect(button, &QToolButton::clicked, this, [this, n = nav] { ui->Chart1->navigate(n); });
    connect(u->sbHSee, &QToolButton::clicked, u->Chart1, &ThrustChart::setTimeAutomatic);
    connect(u->sbVSee, &QToolButton::clicked, u->Chart1, &ThrustChart::setValueAutomatic);
    connect(u->Chart1, &ThrustChart::pointerMoved, this, [this](double t, double v) {
        if (!ui->cbxMouse->isChecked())
            return;
        const AxisSpan r = ui->Chart1->valueRange();
        ui->lblMX->setText(
            QString::fromStdString(formatFixed(t, 2, 0, locale().decimalPoint().at(0).toLatin1())));
        ui->lblMY->setText(FormatAxisValue(v, r.max, r.min, locale().decimalPoint().at(0)));
    });
    connect(u->Chart1, &ThrustChart::doubleClicked, this, [this](double t, double v) {
        const AxisSpan r = ui->Chart1->valueRange();
        const QChar sep = locale().decimalPoint().at(0);
        const QString line = QString::fromStdString(formatFixed(t, 2, 0, sep.toLatin1())) +
                             QStringLiteral("    ") + FormatAxisValue(v, r.max, r.min, sep);
        ui->lbxMouse->insertItem(0, line.left(40));
    });
    connect(u->Chart1, &ThrustChart::rightDoubleClicked, this, &TfrmMain::openSeriesOptions);
}

void TfrmMain::openImageSettings()
{
    TfrmImageSet w(store_, this);
    w.loadScheme = [this](const std::string& name) { applySettingsLoad(session_.LoadSettings(name)); };
    w.saveScheme = [this](const std::string& name) { session_.SaveSettings(name, currentPlacement()); };
    if (dialogs_.exec(w) == QDialog::Accepted || w.chartOptionsStored())
        ApplyAppearance();
}

void TfrmMain::openSeriesOptions()
{
    TfrmSeriesOpt w(store_, this);
    if (dialogs_.exec(w) == QDialog::Accepted)
        ApplyAppearance();
}

void TfrmMain::openSensorList()
{
    // Every change of the active sensor or its points reaches the analysis at once.
    TfrmNewSensor w(sensors_, store_, [this] { afterSensorChange(); }, this);
    dialogs_.exec(w);
    fillSensorCombo();
}

void TfrmMain::openLogger()
{
    if (!ports_)
        ports_ = std::make_unique<SerialPortTable>();
    TfrmData w(store_, *ports_, [this](const QString& frq) { OpenSource(frq, true); }, this);
    dialogs_.exec(w);
}

void TfrmMain::connectMenu()
{
    auto* u = ui.get();
    connect(u->nSource, &QAction::triggered, u->btnFile, &QPushButton::click);
    connect(u->nLoadProject, &QAction::triggered, this, [this] {
        const QString name = dialogs_.chooseFile(this, QStringLiteral("Загразить проект"),
                                                 QStringLiteral("Selvarondine Projects (*.proj)"),
                                                 projectDialogInitialName(), false);
        if (!name.isEmpty() && !runner_.busy() && confirmDiscardChanges())
            loadProject(name);
    });
    auto saveAs = [this] {
        const QString name = dialogs_.chooseFile(this, QStringLiteral("Сохранить проект"),
                                                 QStringLiteral("Selvarondine Projects (*.proj)"),
                                                 projectDialogInitialName(), true);
        if (!name.isEmpty())
            saveProject(name);
    };
    connect(u->nSaveProjectAs, &QAction::triggered, this, saveAs);
    connect(u->nSaveProject, &QAction::triggered, this, [this] { saveProjectOrAsk(); });
    connect(u->nNewProject, &QAction::triggered, this, &TfrmMain::newProject);
    const ChartPainter draw = [this](QPainter& p, const QRectF& r) { ui->Chart1->paintChart(p, r); };
    connect(u->nExport, &QAction::triggered, this, [this] {
        exportResults(this, state_, ui->cbxN->isChecked(), ui->lblFileName->text(), dialogs_.output);
    });
    connect(u->nSavePicture, &QAction::triggered, this, [this, draw] {
        savePicture(this, draw, ui->Chart1->size(), ui->lblFileName->text(), dialogs_.output);
    });
    connect(u->nPrint, &QAction::triggered, this,
            [this, draw] { printing_.print(this, draw, ui->lblFileName->text(), dialogs_.output.error); });
    connect(u->nPrinterSetup, &QAction::triggered, this, [this] { printing_.setup(this); });
    connect(u->nImageSet, &QAction::triggered, this, &TfrmMain::openImageSettings);
    connect(u->nSensor, &QAction::triggered, this, &TfrmMain::openSensorList);
    connect(u->nCom, &QAction::triggered, this, &TfrmMain::openLogger);
    connect(u->nSound, &QAction::triggered, this, &TfrmMain::notAvailable);
    connect(u->nAbout, &QAction::triggered, this, [this] {
        TfrmAbout about(this);
        dialogs_.exec(about);
    });
    connect(u->nExit, &QAction::triggered, this, &QWidget::close);
}

} // namespace selva
