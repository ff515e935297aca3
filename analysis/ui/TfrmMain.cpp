#include "analysis/ui/TfrmMain.h"

#include "ui_TfrmMain.h"

#include "analysis/ui/StoredLook.h"
#include "analysis/ui/TfrmCompare.h"
#include "analysis/ui/WindowMessages.h"
#include "common/Format.h"
#include "controls/WindowPlacement.h"
#include "store/ui/TfrmScale.h"
#include "workspace/Workspace.h"

#include <QCloseEvent>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

namespace selva {

namespace {

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

QList<QPointF> points(const ChartLine& line)
{
    QList<QPointF> out;
    for (const ChartPoint& p : line)
        out.append(QPointF(p.x, p.y));
    return out;
}

// Days since 30 December 1899 (the stored test date) and back.
const QDate kDateBase(1899, 12, 30);
QDate dateOfDays(double days)
{
    return std::isfinite(days) && std::fabs(days) < 3.0e6 ? kDateBase.addDays(static_cast<qint64>(std::floor(days)))
                                                          : QDate::currentDate();
}

} // namespace

TfrmMain::TfrmMain(Workspace& workspace, const std::string& sensorFile, MainDialogs dialogs, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfrmMain>()), ws_(workspace), dialogs_(std::move(dialogs)),
      presenter_(workspace), runner_(workspace), windows_(workspace, *this, dialogs_)
{
    ui->setupUi(this);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
    connect(Timer1, &QTimer::timeout, this, &TfrmMain::timer1Timer);
    runner_.onStarted = [this] { Timer1->start(); };
    runner_.onFinished = [this] {
        Timer1->stop();
        if (scale_)
            scale_->hide();
    };
    // Every computation runs through the runner; an error of the source ends it with its message.
    const auto recalc = [this](Stages stages) {
        try {
            return runner_.run(stages);
        } catch (const std::exception& e) {
            showError(e.what());
            return false;
        }
    };
    presenter_.recalculate = recalc;
    ws_.session.recalculate = recalc;
    UserPrompts prompts{[this](const std::string& text) { showError(text); },
                        [this](const std::string& text) { return dialogs_.question(this, qs(text)); }};
    // A read-only file is replaced only when the user says so, as any overwrite.
    prompts.confirmReadOnly = prompts.confirm;
    ws_.setPrompts(prompts);
    ws_.sensors.onFillSensorCombo = [this] { refreshSensors(); };

    // Window creation: the whole record in view, a step of 0.01, today's date.
    ws_.state.AnalysisStep = 0.01;
    ws_.state.ViewFrom = 0;
    ws_.state.ViewTo = static_cast<float>(ws_.state.RecordDuration);
    ui->pkrData->setDate(QDate::currentDate());
    // Long names and descriptions are cut at the panel's edge (the whole text is the tool tip), never
    // wrapped over the controls below them or widening the window.
    for (QLabel* label : {ui->lblFileName, ui->lblInfo}) {
        label->setWordWrap(false);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    // The value fields: decimals shown, and the variables they edit.
    const std::pair<TEditFloat*, double*> edits[] = {{ui->edtStartThrust, &ws_.state.StartTime},
                                                     {ui->edtEndThrust, &ws_.state.EndTime},
                                                     {ui->edtAccur, &ws_.state.AnalysisStep},
                                                     {ui->edtFreqOffs, &ws_.state.ZeroOffset}};
    for (const auto& [edit, variable] : edits) {
        edit->setPrecision(10);
        edit->setDigits(edit == ui->edtAccur ? 5 : 2);
        edit->Value(variable);
        edit->installEventFilter(this); // leaving the field commits it
    }
    for (TEditFloat* e : {ui->edtBaseLine, ui->edtBaseLine2}) {
        e->setPrecision(10);
        e->setDigits(ws_.state.RoundDigits);
    }
    ui->edtBaseLine->installEventFilter(this);
    ui->edtNoise->Value(&ws_.state.NoiseLsb);

    compare_ = new CompareController(ws_, presenter_, *ui->Chart1, dialogs_, *this);
    connectControls();
    connectMenu();

    // The sensor library, silently, then the settings.
    ws_.sensors.ResetSensorLibrary();
    ws_.sensors.LoadSensorFile(sensorFile, false, ws_.prompts());
    applySettingsLoad(ws_.session.LoadSettings(ws_.store.settingsFileName));
    refreshFlags();
    refreshUnits();
    // The chart is not animated: see ThrustPlot.
    presenter_.MarkSaved(windowPart());
}

TfrmMain::~TfrmMain()
{
    delete compare_; // its window draws on the chart
    ws_.sensors.onFillSensorCombo = nullptr;
    ws_.setPrompts({});
    ws_.session.recalculate = nullptr;
}

void TfrmMain::setProgressWindow(TfrmScale* scale)
{
    scale_ = scale;
    runner_.inputAllowedWindow = scale;
    if (scale)
        connect(scale, &TfrmScale::cancelRequested, this, [this] { ws_.progress.cancel = true; });
}

char TfrmMain::decimalSeparator() const
{
    const QString s = locale().decimalPoint();
    return s.isEmpty() ? '.' : s.at(0).toLatin1();
}

// ------------------------------------------------------------------------------------------ showing

void TfrmMain::refresh(ShowSet what)
{
    if (what.has(Show::Source))
        refreshSource();
    if (what.has(Show::Channel))
        refreshChannel();
    if (what.has(Show::Sensors))
        refreshSensors();
    if (what.has(Show::Units))
        refreshUnits();
    if (what.has(Show::Flags))
        refreshFlags();
    if (what.has(Show::Filter))
        ui->sbtnFilerOn->setChecked(ws_.state.FilterOn);
    if (what.has(Show::StepEdit))
        ui->edtAccur->Refresh();
    if (what.has(Show::OffsetEdit))
        ui->edtFreqOffs->Refresh();
    if (what.has(Show::TimeEdits)) {
        ui->edtStartThrust->Refresh();
        ui->edtEndThrust->Refresh();
    }
    if (what.has(Show::Results))
        showResults();
    if (what.has(Show::Axes)) {
        ui->Chart1->setTimeAutomatic();
        ui->Chart1->setValueAutomatic();
    }
    if (what.has(Show::Chart)) {
        RedrawChart();
        return;
    }
    if (what.has(Show::StartMarker) || what.has(Show::EndMarker))
        drawTimeMarkers();
    if (what.has(Show::RestLine))
        drawRestLine();
    if (what.has(Show::MiddleLine))
        drawMiddleLine();
}

void TfrmMain::refreshSource()
{
    const QString name = qs(presenter_.sourceLabel), info = qs(presenter_.description);
    ui->lblFileName->setText(name);
    ui->lblFileName->setToolTip(name);
    ui->lblInfo->setText(info);
    ui->lblInfo->setToolTip(info);
    if (!presenter_.caption.empty())
        setWindowTitle(qs(presenter_.caption));
    ui->pnlCalc->setEnabled(presenter_.sourceOpened);
    const bool noise = ws_.state.NoiseControlsVisible;
    for (QWidget* w : {static_cast<QWidget*>(ui->s7), static_cast<QWidget*>(ui->edtNoise),
                       static_cast<QWidget*>(ui->cbxDelta)})
        w->setVisible(noise);
}

void TfrmMain::refreshChannel()
{
    const AnalysisState& s = ws_.state;
    ui->rbtnChannelL->setEnabled(s.LeftChannelEnabled);
    (s.UseLeftChannel && s.LeftChannelEnabled ? ui->rbtnChannelL : ui->rbtnChannelR)->setChecked(true);
}

void TfrmMain::refreshSensors()
{
    QSignalBlocker block(ui->lbxSensor);
    ui->lbxSensor->clear();
    for (const TSensor& s : ws_.sensors.sensors)
        ui->lbxSensor->addItem(qs(s.name));
    ui->lbxSensor->setCurrentIndex(ws_.sensors.ActiveSensorIndex);
    presenter_.newtonsEnabled = ws_.sensors.ActiveSensorIndex != 0;
    if (!presenter_.newtonsEnabled && presenter_.newtons)
        refresh(presenter_.UnitsChanged(false));
    ui->cbxN->setEnabled(presenter_.newtonsEnabled);
}

void TfrmMain::refreshUnits()
{
    const QSignalBlocker blockN(ui->cbxN), blockInvert(ui->cbxInvert);
    ui->cbxN->setChecked(presenter_.newtons);
    ui->cbxInvert->setChecked(presenter_.invert);
    ui->Chart1->setInverted(presenter_.invert);
    const QString unit = presenter_.newtons ? QStringLiteral("N") : QStringLiteral("Hz");
    for (QLabel* l : {ui->lblExt, ui->lblExt2, ui->lblMiddleLineUnit})
        l->setText(unit);
    ui->lblMiddleLine->setText(
        qs(MiddleLineText(presenter_.MiddleLineValue(), ws_.state.RoundDigits, decimalSeparator())));
}

void TfrmMain::refreshFlags()
{
    const MarkerFlags& f = presenter_.flags;
    const std::pair<bool, QPushButton*> captions[] = {
        {f.start, ui->s2}, {f.end, ui->s3}, {f.rest, ui->s4}, {f.restAfter, ui->s5}, {f.middle, ui->sMiddleLine}};
    for (const auto& [pressed, caption] : captions) {
        caption->setChecked(pressed);
        caption->setFocusPolicy(pressed ? Qt::NoFocus : Qt::StrongFocus);
    }
    ui->edtStartThrust->setEnabled(f.start);
    ui->edtEndThrust->setEnabled(f.end);
    ui->edtBaseLine->setEnabled(presenter_.RestEditable());
    ui->edtBaseLine2->setEnabled(f.restAfter);
    ui->pnlHist->setVisible(ws_.state.Hysteresis);
    ui->cbxZero->setChecked(ws_.state.ZeroCompensation);
    ui->edtFreqOffs->setEnabled(ws_.state.ZeroCompensation);
}

void TfrmMain::showResults()
{
    const ResultTexts r = presenter_.ShowResults(decimalSeparator());
    ui->lblImpSum->setText(qs(r.impSum));
    ui->lblImpUd->setText(qs(r.impUd));
    ui->lblThrustMax->setText(qs(r.thrustMax));
    ui->lblThrustTime->setText(qs(r.thrustTime));
    ui->lblWeight->setText(qs(r.weight));
    ui->lblMiddleThrust->setText(qs(r.middleThrust));
    const auto standard = presenter_.StandardFigureTexts(decimalSeparator());
    QLabel* const values[] = {ui->lblStdBurnTime, ui->lblStdImpulse, ui->lblStdAverage, ui->lblStdClass,
                              ui->lblStdDesignation};
    for (std::size_t i = 0; i < standard.size() && i < std::size(values); ++i)
        values[i]->setText(qs(standard[i].second));
    updateAnnotations();
}

void TfrmMain::updateAnnotations()
{
    ChartAnnotations a;
    a.newtons = presenter_.newtons;
    if (ui->cbxDate->isChecked())
        a.date = QStringLiteral("Дата: ") + locale().toString(ui->pkrData->date(), QLocale::ShortFormat).left(30);
    if (ui->cbxResult->isChecked())
        for (const std::string& line : AnnotationResults(presenter_.Results(decimalSeparator())))
            a.results.append(qs(line));
    if (ui->cbxStandard->isChecked())
        for (const auto& [caption, value] : presenter_.StandardFigureTexts(decimalSeparator()))
            a.results.append((qs(caption) + QStringLiteral(": ") + qs(value)).left(30));
    if (ui->cbxHintOnGraph->isChecked())
        for (const std::string& line : ws_.store.notes)
            a.notes.append(qs(line));
    a.author = qs(ws_.store.settings.authorName);
    ui->Chart1->setAnnotations(a);
}

void TfrmMain::RedrawChart()
{
    ShownSeries s = presenter_.BuildShownSeries();
    if (!s.values.empty()) {
        // The value axis turns with the units: falling frequencies, rising thrust.
        presenter_.invert = presenter_.InvertForUnits();
        const QSignalBlocker block(ui->cbxInvert);
        ui->cbxInvert->setChecked(presenter_.invert);
    }
    ui->Chart1->setData(s.step, s.first, std::move(s.values));
    ui->Chart1->setInverted(presenter_.invert);
    ui->Chart1->setDelta(std::move(s.up), std::move(s.down));
    drawTimeMarkers();
    drawRestLine();
    drawMiddleLine();
    ui->edtStartThrust->Refresh();
    ui->edtEndThrust->Refresh();
    ui->lblMiddleLine->setText(
        qs(MiddleLineText(presenter_.MiddleLineValue(), ws_.state.RoundDigits, decimalSeparator())));
    compare_->Refresh();
}

void TfrmMain::drawTimeMarkers()
{
    const double lo = ui->Chart1->lowestValue(), hi = ui->Chart1->highestValue();
    ui->Chart1->setMarker(ThrustChart::StartThrust, points(presenter_.StartMarker(lo, hi)));
    ui->Chart1->setMarker(ThrustChart::EndThrust, points(presenter_.EndMarker(lo, hi)));
}

void TfrmMain::drawRestLine()
{
    const RestPair pair = presenter_.RestLevels();
    ui->edtBaseLine->Value(pair.before);
    ui->edtBaseLine2->Value(pair.after);
    ui->Chart1->setMarker(ThrustChart::ZeroLine,
                          points(presenter_.RestLine(ui->Chart1->firstTime(), ui->Chart1->lastTime())));
}

void TfrmMain::drawMiddleLine()
{
    ui->Chart1->setMarker(ThrustChart::Middle, points(presenter_.MiddleLine()));
}

void TfrmMain::ApplyAppearance()
{
    ui->Chart1->applyLook(chartLookFrom(ws_.store.settings.chart, ws_.store.settings.grid));
    QPalette pal = palette();
    const QColor back = colorFromStored(ws_.store.settings.formColor);
    if (back.isValid())
        pal.setColor(QPalette::Window, back);
    setPalette(pal);
    setFont(fontFromRecord(ws_.store.settings.formFont));
    RedrawChart();
    updateAnnotations(); // the author's name may have changed
}

// ------------------------------------------------------------------------------------------ sources

void TfrmMain::OpenSource(const QString& name)
{
    refresh(presenter_.OpenSource(name.toStdString()));
    showLoadedView();
}

bool TfrmMain::loadProject(const QString& name)
{
    bool ok = false;
    refresh(presenter_.LoadProject(name.toStdString(), ok));
    showLoadedView();
    return ok;
}

// The window's part of a project just loaded: date, check boxes, axes.
void TfrmMain::showLoadedView()
{
    if (!presenter_.takeProjectApplied())
        return;
    const MainWindowView& v = presenter_.loadedView();
    ui->cbxDelta->setChecked(presenter_.showDelta);
    // A project saved without a test date (0, the calendar's origin in 1899) keeps the date shown.
    if (v.testDate > 0)
        ui->pkrData->setDate(dateOfDays(v.testDate));
    ui->cbxDate->setChecked(v.showDate);
    ui->cbxResult->setChecked(v.showResults);
    ApplyAppearance();
    if (!v.timeAxis.automatic)
        ui->Chart1->setTimeRange({v.timeAxis.min, v.timeAxis.max});
    if (!v.thrustAxis.automatic)
        ui->Chart1->setValueRange({v.thrustAxis.min, v.thrustAxis.max});
    presenter_.MarkSaved(windowPart());
}

bool TfrmMain::saveProject(const QString& name)
{
    const bool saved = presenter_.SaveProject(name.toStdString(), windowPart());
    if (saved)
        setWindowTitle(qs(presenter_.caption));
    return saved;
}

bool TfrmMain::saveProjectOrAsk()
{
    if (!ws_.store.projectFileName.empty())
        return saveProject(qs(ws_.store.projectFileName));
    const QString name = dialogs_.chooseFile(this, QStringLiteral("Сохранить проект"),
                                             QStringLiteral("Selvarondine Projects (*.proj)"),
                                             projectDialogInitialName(), true);
    return !name.isEmpty() && saveProject(name);
}

void TfrmMain::newProject()
{
    if (runner_.busy() || !confirmDiscardChanges())
        return;
    refresh(presenter_.NewProject());
    setWindowTitle(qs(presenter_.caption));
    presenter_.MarkSaved(windowPart());
}

bool TfrmMain::projectModified() const
{
    return presenter_.Modified(windowPart());
}

bool TfrmMain::confirmDiscardChanges()
{
    if (!projectModified())
        return true;
    switch (dialogs_.askYesNoCancel(this, QStringLiteral("Сохранить изменения в проекте?"))) {
    case 0:
        return saveProjectOrAsk();
    case 1:
        return true;
    default:
        return false;
    }
}

MainWindowView TfrmMain::windowPart() const
{
    MainWindowView v;
    v.testDate = static_cast<double>(kDateBase.daysTo(ui->pkrData->date()));
    v.showDate = ui->cbxDate->isChecked();
    v.showResults = ui->cbxResult->isChecked();
    const AxisSpan t = ui->Chart1->timeRange(), y = ui->Chart1->valueRange();
    v.timeAxis = {ui->Chart1->timeAutomatic(), t.max, t.min};
    v.thrustAxis = {ui->Chart1->valueAutomatic(), y.max, y.min};
    v.placement = capturePlacement(*this);
    return v;
}

QString TfrmMain::projectDialogInitialName() const
{
    if (!ws_.store.projectFileName.empty() && !ui->lblFileName->text().isEmpty())
        return qs(changeFileExt(ui->lblFileName->text().toStdString(), ".proj"));
    return qs(ws_.store.projectFileName);
}

// ------------------------------------------------------------------------------------------ settings

void TfrmMain::applySettingsLoad(const SettingsLoadResult& r)
{
    ApplyAppearance();
    ui->edtAccur->Refresh();
    refreshSensors();
    refreshChannel();
    if (r.applied)
        restorePlacement(*this, ws_.store.settings.mainPlacement);
}


// ------------------------------------------------------------------------------------------ the rest

void TfrmMain::timer1Timer()
{
    if (scale_)
        scale_->follow(ws_.progress.ProgressStage.load(), ws_.progress.ProgressFraction.load(),
                       qs(StageName(ws_.progress.ProgressStage.load())), this);
}

void TfrmMain::showError(const std::string& text)
{
    dialogs_.warning(this, windowMessage(text));
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (runner_.busy() || !confirmDiscardChanges()) {
        event->ignore();
        return;
    }
    ws_.session.SaveSettings(ws_.store.settingsFileName, capturePlacement(*this));
    QMainWindow::closeEvent(event);
}

void TfrmMain::wheelEvent(QWheelEvent* event)
{
    ui->Chart1->wheelTurn(event->angleDelta().y());
    event->accept();
}

// Leaving one of the main value fields commits it, typed in or not.
bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut)
        if (auto* edit = qobject_cast<TEditFloat*>(watched); edit && edit->isEnabled())
            edit->Commit();
    return QMainWindow::eventFilter(watched, event);
}

} // namespace selva
