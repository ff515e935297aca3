#include "analysis/ui/TfrmMain.h"

#include "ui_TfrmMain.h"

#include "analysis/ui/StoredLook.h"
#include "analysis/ui/TfrmCalcSet.h"
#include "analysis/ui/TfrmFilterSet.h"
#include "analysis/ui/WindowMessages.h"
#include "logger/io/SerialPortTable.h"
#include "common/Error.h"
#include "common/Format.h"
#include "sensors/SensorLibrary.h"
#include "store/SettingsStore.h"
#include "store/ui/TfrmAbout.h"
#include "store/ui/TfrmAddHint.h"
#include "store/ui/TfrmScale.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

namespace selva {

namespace {

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}
std::string ss(const QString& s)
{
    return s.toStdString();
}

// Days since 30 December 1899 (the stored test date) and back.
const QDate kDateBase(1899, 12, 30);
QDate dateOfDays(double days)
{
    return std::isfinite(days) && std::fabs(days) < 3.0e6
               ? kDateBase.addDays(static_cast<qint64>(std::floor(days)))
               : QDate::currentDate();
}
double daysOfDate(const QDate& d)
{
    return static_cast<double>(kDateBase.daysTo(d));
}

} // namespace

MainDialogs MainDialogs::standard()
{
    MainDialogs d;
    d.information = [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, QStringLiteral("Selvarondine"), text);
    };
    d.warning = [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, QStringLiteral("Selvarondine"), text);
    };
    d.question = [](QWidget* parent, const QString& text) {
        return QMessageBox::question(parent, QStringLiteral("Selvarondine"), text) == QMessageBox::Yes;
    };
    d.askYesNoCancel = [](QWidget* parent, const QString& text) {
        const auto answer =
            QMessageBox::question(parent, QStringLiteral("Selvarondine"), text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        return answer == QMessageBox::Yes ? 0 : answer == QMessageBox::No ? 1 : 2;
    };
    d.chooseFile = [](QWidget* parent, const QString& title, const QString& filter, const QString& initial,
                      bool save) {
        QFileDialog dlg(parent, title, initial, filter);
        dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        const QStringList filters = filter.split(QStringLiteral(";;"));
        if (!save && filters.size() > 1)
            dlg.selectNameFilter(filters.at(1)); // the source dialog starts on the sound files
        if (!initial.isEmpty())
            dlg.selectFile(initial);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first()
                                                                                 : QString();
    };
    d.exec = [](QDialog& dialog) { return dialog.exec(); };
    return d;
}

TfrmMain::TfrmMain(MainContext c, const std::string& sensorFile, MainDialogs dialogs, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfrmMain>()), state_(c.state), sensors_(c.sensors),
      store_(c.store), progress_(c.progress), dialogs_(std::move(dialogs)),
      analysis_(c.state, c.sensors, c.freq, c.wave, c.progress),
      session_(c.store, c.state, c.sensors, analysis_),
      runner_(c.state, analysis_, c.sensors, c.freq, c.wave, c.progress)
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

    // Window creation: the whole record in view, a step of 0.01, today's date.
    viewSpan_ = state_.RecordDuration;
    state_.AnalysisStep = 0.01;
    state_.ViewFrom = 0;
    state_.ViewTo = static_cast<float>(state_.RecordDuration);
    ui->pkrData->setDate(QDate::currentDate());
    // Long names and descriptions are cut at the panel's edge (the whole text is the tool tip), never
    // wrapped over the controls below them or widening the window.
    for (QLabel* label : {ui->lblFileName, ui->lblInfo}) {
        label->setWordWrap(false);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    bindEdits();
    applyUnits();

    const UserPrompts prompts{[this](const std::string& text) { showError(text); },
                              [this](const std::string& text) { return dialogs_.question(this, qs(text)); }};
    session_.prompts = prompts;
    session_.recalculate = [this](bool a, bool b, bool d, bool e, bool f) {
        return recalculate(a, b, d, e, f);
    };
    session_.onProjectLoaded = [this](const ProjectLoadResult& r) { applyProjectLoad(r); };
    session_.connectAnalysis();
    analysis_.ProjectNotes = &store_.notes;
    sensors_.onFillSensorCombo = [this] { fillSensorCombo(); };

    connectControls();
    connectMenu();
    for (QWidget* w : {static_cast<QWidget*>(ui->edtAccur), static_cast<QWidget*>(ui->edtStartThrust),
                       static_cast<QWidget*>(ui->edtEndThrust), static_cast<QWidget*>(ui->edtBaseLine),
                       static_cast<QWidget*>(ui->edtFreqOffs)})
        w->installEventFilter(this);

    // The sensor library, silently, then the settings.
    sensors_.ResetSensorLibrary();
    sensors_.LoadSensorFile(sensorFile, false, prompts);
    applySettingsLoad(session_.LoadSettings(store_.settingsFileName));
    // The chart is not animated: see ThrustPlot.
    markSaved();
}

TfrmMain::~TfrmMain()
{
    sensors_.onFillSensorCombo = nullptr;
}

void TfrmMain::setProgressWindow(TfrmScale* scale)
{
    scale_ = scale;
    runner_.inputAllowedWindow = scale;
    if (scale)
        connect(scale, &TfrmScale::cancelRequested, this, [this] { progress_.cancel = true; });
}

void TfrmMain::bindEdits()
{
    ui->edtStartThrust->setDigits(2);
    ui->edtEndThrust->setDigits(2);
    ui->edtAccur->setDigits(5);
    ui->edtFreqOffs->setDigits(2);
    for (TEditFloat* e : {ui->edtStartThrust, ui->edtEndThrust, ui->edtAccur, ui->edtFreqOffs,
                          ui->edtBaseLine, ui->edtBaseLine2})
        e->setPrecision(10);
    ui->edtStartThrust->Value(&state_.StartTime);
    ui->edtEndThrust->Value(&state_.EndTime);
    ui->edtAccur->Value(&state_.AnalysisStep);
    ui->edtNoise->Value(&state_.NoiseLsb);
    ui->edtFreqOffs->Value(&state_.ZeroOffset);
    ui->edtBaseLine->setDigits(state_.RoundDigits);
    ui->edtBaseLine2->setDigits(state_.RoundDigits);
    for (TEditFloat* e : {ui->edtStartThrust, ui->edtEndThrust, ui->edtBaseLine, ui->edtBaseLine2})
        e->setEnabled(false);
}

bool TfrmMain::recalculate(bool prepare, bool detectTimes, bool detectLevels, bool compensate, bool convert)
{
    try {
        const bool done = runner_.run(prepare, detectTimes, detectLevels, compensate, convert);
        if (done && prepare)
            builtStep_ = state_.AnalysisStep;
        return done;
    } catch (const std::exception& e) {
        showError(std::string(e.what()));
        return false;
    }
}

void TfrmMain::fullRecalculation()
{
    recalculate(true, true, true, true, true);
    ShowResults();
    RedrawChart();
}

bool TfrmMain::OpenSource(const QString& name, bool reset)
{
    std::string description;
    bool opened = false;
    const std::uint8_t previousKind = state_.SourceKind;
    QString error = QStringLiteral("Ошибка открытия файла ") + name;
    try {
        opened = analysis_.OpenSourceFile(ss(name), reset, state_.SourceKind, description);
    } catch (const std::exception& e) {
        error = windowMessage(e.what());
    }
    if (!opened) {
        // The previous source stays the source, unless the failed file took its place in the shared
        // buffer: a recording that failed to open leaves no recording behind.
        const std::string ext = fileExtUpper(ss(name));
        const bool waveTried = ext != ".FRQ" && ext != ".PROJ";
        if (state_.SourceKind == SourceNone && !(waveTried && previousKind == SourceWave))
            state_.SourceKind = previousKind;
        refreshChannelButtons();
        dialogs_.warning(this, error);
        return false;
    }
    // A project opened as a source has been applied, its own source opened and computed, by the
    // project loader; computing again here would re-detect the times and rest lines it stores.
    if (fileExtUpper(ss(name)) == ".PROJ")
        return true;
    setSourceLabels(name, qs(description));
    setWindowTitle(qs(session_.SourceOpened(ss(name))));
    ui->edtAccur->Refresh();
    refreshChannelButtons();
    ui->s7->setVisible(state_.NoiseControlsVisible);
    ui->edtNoise->setVisible(state_.NoiseControlsVisible);
    ui->cbxDelta->setVisible(state_.NoiseControlsVisible);
    analysis_.ResetViewToSource();
    viewSpan_ = state_.ViewTo;
    ui->pnlCalc->setEnabled(true);
    if (!recalculate(true, true, true, true, true)) {
        // Cancelled while the new source was measured: the series still belong to the source it
        // replaced, and must not be shown under this one's name. It stays open, unmeasured;
        // "Пересчитать" measures it.
        state_.PointCount = 0;
        for (auto* series : {&state_.FreqData, &state_.FreqError, &state_.ThrustData, &state_.ThrustError,
                             &state_.ThrustNet})
            series->clear();
    }
    ShowResults();
    sourceOpened_ = true;
    ui->Chart1->setTimeAutomatic();
    ui->Chart1->setValueAutomatic();
    RedrawChart();
    markSaved();
    return true;
}

void TfrmMain::openFromCommandLine(const QString& name)
{
    openWithCompanion(name);
}

// A source with a project of the same name beside it opens as that project; a damaged project is said
// to be damaged, and the source itself is opened.
void TfrmMain::openWithCompanion(const QString& name)
{
    const QString project = qs(changeFileExt(ss(name), ".proj"));
    if (project != name && QFileInfo(project).isFile()) {
        bool damaged = false;
        if (loadProject(project, &damaged))
            return;
        if (!damaged)
            return; // read but its source failed: the project's own messages said why
    } else if (fileExtUpper(ss(name)) == ".PROJ") {
        loadProject(name);
        return;
    }
    OpenSource(name, true);
}

void TfrmMain::ShowResults()
{
    analysis_.ComputeResults();
    const ResultTexts r = resultTexts(state_, ui->cbxDelta->isChecked(), locale());
    ui->lblImpSum->setText(r.impSum);
    ui->lblImpUd->setText(r.impUd);
    ui->lblThrustMax->setText(r.thrustMax);
    ui->lblThrustTime->setText(r.thrustTime);
    ui->lblWeight->setText(r.weight);
    ui->lblMiddleThrust->setText(r.middleThrust);
    updateAnnotations();
}

void TfrmMain::updateAnnotations()
{
    ChartAnnotations a;
    a.newtons = ui->cbxN->isChecked();
    if (ui->cbxDate->isChecked())
        a.date = annotationDate(ui->pkrData->date(), locale());
    if (ui->cbxResult->isChecked())
        a.results = annotationResults({ui->lblImpSum->text(), ui->lblImpUd->text(), ui->lblThrustTime->text(),
                                       ui->lblThrustMax->text(), ui->lblMiddleThrust->text(), QString()});
    if (ui->cbxHintOnGraph->isChecked())
        for (const std::string& line : store_.notes)
            a.notes.append(qs(line));
    a.author = qs(store_.settings.authorName);
    ui->Chart1->setAnnotations(a);
}

void TfrmMain::RedrawChart()
{
    const bool newtons = ui->cbxN->isChecked();
    ShownSeries s = buildShownSeries(state_, newtons, ui->cbxDelta->isChecked(), state_.ViewFrom, viewSpan_);
    if (!s.values.empty())
        ui->cbxInvert->setChecked(invertFor(state_, newtons));
    ui->Chart1->setData(s.step, s.first, std::move(s.values));
    ui->Chart1->setInverted(ui->cbxInvert->isChecked());
    ui->Chart1->setDelta(std::move(s.up), std::move(s.down));
    middleLineValue_ = middleLineValue(state_, newtons);
    drawStartMarker();
    drawEndMarker();
    drawRestLine();
    drawMiddleLine();
    ui->edtStartThrust->Refresh();
    ui->edtEndThrust->Refresh();
    ui->edtBaseLine->Refresh();
    ui->edtBaseLine2->Refresh();
    ui->lblMiddleLine->setText(middleLineText(middleLineValue_, state_.RoundDigits, locale()));
}

// The start and end of thrust and the rest line are shown whenever the chart has data, so that the user
// always sees where the results were taken; the toggled captions decide only what may be edited.
void TfrmMain::drawStartMarker()
{
    const bool shown = ui->Chart1->hasData();
    ui->Chart1->setMarker(
        ThrustChart::StartThrust,
        startMarkerPoints(state_, shown, ui->Chart1->lowestValue(), ui->Chart1->highestValue()));
}

void TfrmMain::drawEndMarker()
{
    const bool shown = ui->Chart1->hasData();
    ui->Chart1->setMarker(
        ThrustChart::EndThrust,
        endMarkerPoints(state_, shown, ui->Chart1->lowestValue(), ui->Chart1->highestValue()));
}

void TfrmMain::drawRestLine()
{
    const RestPair pair = restLevels(state_, ui->cbxN->isChecked(), restNetAfter_);
    ui->edtBaseLine->Value(pair.before);
    ui->edtBaseLine2->Value(pair.after);
    MarkerFlags shown = flags_;
    shown.rest = ui->Chart1->hasData();
    ui->Chart1->setMarker(ThrustChart::ZeroLine,
                          restLinePoints(state_, shown, *pair.before, *pair.after, ui->Chart1->firstTime(),
                                         ui->Chart1->lastTime()));
}

void TfrmMain::drawMiddleLine()
{
    ui->Chart1->setMarker(ThrustChart::Middle,
                          middleLinePoints(state_, flags_.middle && ui->Chart1->hasData(), middleLineValue_));
}

void TfrmMain::ApplyAppearance()
{
    ui->Chart1->applyLook(chartLookFrom(store_.settings.chart, store_.settings.grid));
    QPalette pal = palette();
    const QColor back = colorFromStored(store_.settings.formColor);
    if (back.isValid())
        pal.setColor(QPalette::Window, back);
    setPalette(pal);
    setFont(fontFromRecord(store_.settings.formFont));
    RedrawChart();
    updateAnnotations(); // the author's name may have changed
}

void TfrmMain::setNewtonsAvailable(bool available)
{
    if (!available)
        ui->cbxN->setChecked(false); // runs the units change when it was checked
    ui->cbxN->setEnabled(available);
}

void TfrmMain::applyUnits()
{
    const bool newtons = ui->cbxN->isChecked();
    const QString unit = newtons ? QStringLiteral("N") : QStringLiteral("Hz");
    ui->edtBaseLine->setEnabled(!newtons && flags_.rest);
    ui->lblExt->setText(unit);
    ui->lblExt2->setText(unit);
    ui->lblMiddleLineUnit->setText(unit);
    ui->cbxInvert->setChecked(invertFor(state_, newtons));
    middleLineValue_ = newtons ? state_.MeanThrust : state_.MeanFreq;
    ui->lblMiddleLine->setText(middleLineText(middleLineValue_, state_.RoundDigits, locale()));
    RedrawChart();
    updateAnnotations();
}

void TfrmMain::toggleMarker(bool& flag, QWidget* caption, TEditFloat* edit, bool editable)
{
    flag = !flag;
    if (auto* button = qobject_cast<QAbstractButton*>(caption))
        button->setChecked(flag);
    caption->setFocusPolicy(flag ? Qt::NoFocus : Qt::StrongFocus);
    edit->setEnabled(flag && editable);
    if (flag && editable)
        edit->setFocus();
}

void TfrmMain::afterSensorChange()
{
    setNewtonsAvailable(sensors_.ActiveSensorIndex != 0);
    analysis_.CompensateZero();
    ui->edtFreqOffs->Refresh();
    analysis_.ConvertToThrust(true);
    ShowResults();
    if (ui->cbxN->isChecked()) {
        ui->cbxInvert->setChecked(!state_.ThrustRising);
        RedrawChart();
    }
    drawRestLine();
}

void TfrmMain::fillSensorCombo()
{
    QSignalBlocker block(ui->lbxSensor);
    ui->lbxSensor->clear();
    for (const TSensor& s : sensors_.sensors)
        ui->lbxSensor->addItem(qs(s.name));
    ui->lbxSensor->setCurrentIndex(sensors_.ActiveSensorIndex);
}

QString TfrmMain::projectDialogInitialName() const
{
    if (!store_.projectFileName.empty() && !ui->lblFileName->text().isEmpty())
        return qs(changeFileExt(ss(ui->lblFileName->text()), ".proj"));
    return qs(store_.projectFileName);
}

bool TfrmMain::loadProject(const QString& name, bool* damaged)
{
    const ProjectLoadResult r = session_.LoadProject(ss(name));
    if (r.applied && !session_.onProjectLoaded)
        applyProjectLoad(r);
    if (damaged)
        *damaged = r.damaged;
    return r.ok;
}

bool TfrmMain::saveProject(const QString& name)
{
    // "test" is saved as "test.proj": a project under another name would later be taken for a recording.
    QString fileName = name;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".proj");
    try {
        setWindowTitle(qs(session_.SaveProject(ss(fileName), captureView())));
    } catch (const std::exception& e) {
        showError(std::string(e.what()));
        return false;
    }
    markSaved();
    return true;
}

bool TfrmMain::saveProjectOrAsk()
{
    if (!store_.projectFileName.empty())
        return saveProject(qs(store_.projectFileName));
    const QString name = dialogs_.chooseFile(this, QStringLiteral("Сохранить проект"),
                                             QStringLiteral("Selvarondine Projects (*.proj)"),
                                             projectDialogInitialName(), true);
    return !name.isEmpty() && saveProject(name);
}

// What a save would write, less what is not the analysis: the window's placement and the axes the user
// zoomed (kept in the file, but a zoom is not a change worth a question).
QByteArray TfrmMain::projectSnapshot() const
{
    TProjectRecord p = session_.CaptureProject(captureView());
    p.mainPlacement = {};
    p.thrustAxisMax = p.thrustAxisMin = p.timeAxisMax = p.timeAxisMin = 0;
    const ProjectBytes bytes = encodeProjectRecord(p);
    QByteArray out(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    for (const std::string& line : store_.notes)
        out += QByteArray::fromStdString(line) + '\n';
    return out;
}

void TfrmMain::markSaved()
{
    savedSnapshot_ = projectSnapshot();
}

bool TfrmMain::projectModified() const
{
    return (sourceOpened_ || !store_.notes.empty()) && projectSnapshot() != savedSnapshot_;
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

void TfrmMain::newProject()
{
    if (runner_.busy() || !confirmDiscardChanges())
        return;
    // The window as at start, with the sensor library and the settings it has now.
    state_.SourceKind = SourceNone;
    state_.StartTime = state_.EndTime = 0;
    state_.RestFreq = state_.RestFreqAfter = state_.RestThrust = state_.RestThrustAfter = 0;
    state_.ZeroOffset = 0;
    state_.LeftChannelEnabled = true;
    state_.UseLeftChannel = false;
    // Both records at their defaults, no notes, no project name; the program's own settings stay.
    const TSettingsRecord settings = store_.settings;
    const std::string settingsFile = store_.settingsFileName;
    const bool projectLoaded = store_.projectLoaded;
    store_.Initialise();
    store_.settings = settings;
    store_.settingsFileName = settingsFile;
    store_.projectLoaded = projectLoaded;
    store_.CopySettingsToProject();
    setWindowTitle(QStringLiteral("Расчет параметров тяги по данным частотного датчика"));
    showNoSource();
    ui->edtFreqOffs->Refresh();
    markSaved();
}

// The "no source" state: no name, no series, no results, the whole (empty) chart.
void TfrmMain::showNoSource()
{
    state_.SourceKind = SourceNone;
    state_.PointCount = 0;
    for (auto* series : {&state_.FreqData, &state_.FreqError, &state_.ThrustData, &state_.ThrustError,
                         &state_.ThrustNet})
        series->clear();
    sourceOpened_ = false;
    setSourceLabels(QString(), QString());
    refreshChannelButtons();
    ui->pnlCalc->setEnabled(false);
    ShowResults();
    ui->Chart1->setTimeAutomatic();
    ui->Chart1->setValueAutomatic();
    RedrawChart();
}

void TfrmMain::setSourceLabels(const QString& name, const QString& info)
{
    ui->lblFileName->setText(name);
    ui->lblFileName->setToolTip(name);
    ui->lblInfo->setText(info);
    ui->lblInfo->setToolTip(info);
}

void TfrmMain::refreshChannelButtons()
{
    ui->rbtnChannelL->setEnabled(state_.LeftChannelEnabled);
    (state_.UseLeftChannel && state_.LeftChannelEnabled ? ui->rbtnChannelL : ui->rbtnChannelR)->setChecked(true);
}

MainWindowView TfrmMain::captureView() const
{
    MainWindowView v;
    v.invert = ui->cbxInvert->isChecked();
    v.showNewtons = ui->cbxN->isChecked();
    v.newtonsEnabled = ui->cbxN->isEnabled();
    v.showDelta = ui->cbxDelta->isChecked();
    v.testDate = daysOfDate(ui->pkrData->date());
    v.showDate = ui->cbxDate->isChecked();
    v.showResults = ui->cbxResult->isChecked();
    v.startByHand = flags_.start;
    v.endByHand = flags_.end;
    v.restByHand = flags_.rest;
    const AxisSpan t = ui->Chart1->timeRange(), y = ui->Chart1->valueRange();
    v.timeAxis = {ui->Chart1->timeAutomatic(), t.max, t.min};
    v.thrustAxis = {ui->Chart1->valueAutomatic(), y.max, y.min};
    v.placement = currentPlacement();
    return v;
}

void TfrmMain::applyProjectLoad(const ProjectLoadResult& r)
{
    if (!r.applied)
        return;
    setWindowTitle(qs(r.caption));
    ApplyAppearance();
    ui->edtAccur->Refresh();
    ui->edtFreqOffs->Refresh();
    fillSensorCombo();
    refreshChannelButtons();
    ui->sbtnFilerOn->setChecked(state_.FilterOn);
    const MainWindowView& v = r.view;
    ui->cbxN->setEnabled(v.newtonsEnabled);
    ui->cbxN->setChecked(v.showNewtons && v.newtonsEnabled);
    ui->cbxDelta->setChecked(v.showDelta);
    // A project saved without a test date (0, the calendar's origin in 1899) keeps the date shown.
    if (v.testDate > 0)
        ui->pkrData->setDate(dateOfDays(v.testDate));
    ui->cbxDate->setChecked(v.showDate);
    ui->cbxResult->setChecked(v.showResults);
    ui->cbxZero->setChecked(state_.ZeroCompensation);
    // The offset edit follows its check box.
    ui->edtFreqOffs->setEnabled(state_.ZeroCompensation);
    const std::pair<bool, std::pair<bool*, QPushButton*>> marks[] = {{v.startByHand, {&flags_.start, ui->s2}},
                                                                     {v.endByHand, {&flags_.end, ui->s3}},
                                                                     {v.restByHand, {&flags_.rest, ui->s4}}};
    for (const auto& [byHand, target] : marks) {
        *target.first = byHand;
        target.second->setChecked(byHand);
        target.second->setFocusPolicy(byHand ? Qt::NoFocus : Qt::StrongFocus);
    }
    ui->edtStartThrust->setEnabled(flags_.start);
    ui->edtEndThrust->setEnabled(flags_.end);
    ui->pnlHist->setVisible(state_.Hysteresis);
    if (!r.sourceOpened) {
        // The source could not be found or read (the messages said which): the project's settings are
        // in force, the source is cleared.
        showNoSource();
        markSaved();
        return;
    }
    setSourceLabels(qs(store_.project.sourceFileName), qs(r.sourceDescription));
    viewSpan_ = state_.ViewTo;
    ui->pnlCalc->setEnabled(true);
    sourceOpened_ = true;
    ui->cbxInvert->setChecked(v.invert);
    applyUnits();
    ShowResults();
    RedrawChart();
    markSaved();
    if (v.timeAxis.automatic)
        ui->Chart1->setTimeAutomatic();
    else
        ui->Chart1->setTimeRange({v.timeAxis.min, v.timeAxis.max});
    if (v.thrustAxis.automatic)
        ui->Chart1->setValueAutomatic();
    else
        ui->Chart1->setValueRange({v.thrustAxis.min, v.thrustAxis.max});
}

void TfrmMain::applySettingsLoad(const SettingsLoadResult& r)
{
    ApplyAppearance();
    ui->edtAccur->Refresh();
    fillSensorCombo();
    setNewtonsAvailable(r.newtonsEnabled);
    refreshChannelButtons();
    if (r.applied)
        applyPlacement(store_.settings.mainPlacement);
}

// A placement is the window's outer top-left corner (its frame) and the size of its inside, both as Qt
// sets them with move() and resize(), so that what is stored at exit is exactly what the next start
// restores. A maximised window stores where it goes back to.
TWindowPlacement TfrmMain::currentPlacement() const
{
    const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    const QPoint frameOffset = geometry().topLeft() - frameGeometry().topLeft();
    const QPoint corner = normal.topLeft() - frameOffset;
    return {corner.y(), corner.x(), normal.width(), normal.height()};
}

void TfrmMain::applyPlacement(const TWindowPlacement& p)
{
    if (p.isEmpty())
        return;
    QRect r(p.left, p.top, p.width > 0 ? p.width : width(), p.height > 0 ? p.height : height());
    // A window restored where no screen is now (a monitor unplugged, a smaller desktop) comes back on the
    // primary screen: its title bar must be reachable.
    const QRect titleBar(r.left(), r.top(), r.width(), 30);
    bool visible = false;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect hit = screen->availableGeometry().intersected(titleBar);
        visible |= hit.width() >= 100 && hit.height() >= 10;
    }
    if (const QScreen* primary = QGuiApplication::primaryScreen(); !visible && primary) {
        const QRect area = primary->availableGeometry();
        r.setSize(r.size().boundedTo(area.size() - QSize(40, 60)));
        r.moveTopLeft(area.topLeft() + QPoint(20, 20));
    }
    move(r.topLeft());
    resize(r.size());
}

void TfrmMain::timer1Timer()
{
    if (!scale_)
        return;
    const int stage = progress_.ProgressStage.load();
    const double fraction = progress_.ProgressFraction.load();
    const int percent = static_cast<int>(roundHalfEven(fraction * 100));
    if (scale_->isVisible()) {
        if (stage != lastStage_) {
            scale_->setAction(stageName(stage));
            lastStage_ = stage;
        }
        scale_->setPercent(percent);
    } else if (stage == 1 && fraction < 0.5) {
        scale_->setAction(stageName(stage));
        scale_->setPercent(percent);
        scale_->showOver(this);
        lastStage_ = 1;
    }
}

void TfrmMain::notAvailable()
{
    dialogs_.information(this, QStringLiteral("Эта функция пока недоступна."));
}

void TfrmMain::showError(const QString& text)
{
    dialogs_.warning(this, text);
}

void TfrmMain::showError(const std::string& text)
{
    showError(windowMessage(text));
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (runner_.busy() || !confirmDiscardChanges()) {
        event->ignore();
        return;
    }
    session_.SaveSettings(store_.settingsFileName, currentPlacement());
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
