// The analysis window driven the way a user drives it: by its controls, found by their object names.
// Sources and the sensor library are generated here; message boxes and file dialogs are scripted.

#include "analysis/FreqRecord.h"
#include "analysis/ui/TfrmMain.h"
#include "analysis/ui/ThrustChart.h"
#include "common/Progress.h"
#include "controls/EditInt.h"
#include "sensors/SensorLibrary.h"
#include "sound/Wave.h"
#include "sound/WaveSynth.h"
#include "store/SettingsStore.h"
#include "store/ui/TfrmScale.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include "support/FindControl.h"

#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <memory>

using namespace selva;

namespace {

// A firing seen by the sensor of the library below (8700 Hz at rest, 8460 Hz at 80 N): 1 s at rest,
// 2 s at 80 N, 2 s at rest; 500 readings at 0.01 s.
QByteArray firingRecord()
{
    QByteArray text = "FREQ\r\ntest\r\n500\r\n0.01\r\n---------------\r\nSTART\r\n";
    for (int i = 0; i < 500; ++i)
        text += (i >= 100 && i < 300 ? "8460.000" : "8700.000") + QByteArray("\r\n");
    return text;
}

const QByteArray kSensors = "START\r\n1\t8700\t0\tStand\r\n1\t8460\t80\t\r\n\r\n";

void writeBytes(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startsEmptyWithDefaults();
    void opensFrequencyRecordAndShowsResults();
    void sensorChoiceControlsNewtons();
    void unitsSwitchSeriesAndRestLineEditing();
    void stepIsCheckedAndCapped();
    void markersMoveAndClamp();
    void filterButtonRecalculates();
    void failedOpenKeepsAnalysis();
    void wavSourceShowsErrorsOnlyWhenAsked();
    void cancelledWavComputationKeepsPreviousAnalysis();
    void cancelledOpeningShowsNothingOfThePreviousSource();
    void companionProjectIsLoadedInstead();
    void mouseListAndPlaceholders();
    void projectNamesGetExtensionAndAbsolutePaths();
    void projectWithMissingSourceLeavesNoSource();
    void filterStateSurvivesProject();
    void damagedCompanionOpensTheSource();
    void channelButtonsFollowEveryOpen();
    void newProjectStartsAfresh();
    void unsavedChangesAreAskedAbout();

private:
    template <class T> T* find(const char* name) { return test::control<T>(win.get(), name); }
    QString path(const char* name) const { return dir->filePath(QString::fromLatin1(name)); }
    void openFile(const QString& name)
    {
        files.append(name);
        find<QPushButton>("btnFile")->click();
    }
    void commit(const char* editName, double value)
    {
        auto* edit = find<TEditFloat>(editName);
        QLocale locale;
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        edit->setText(locale.toString(value, 'g', 10));
        edit->setModified(true);
        edit->Commit();
    }
    void selectSensor(int index)
    {
        auto* combo = find<QComboBox>("lbxSensor");
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    ThrustChart* chart() { return find<ThrustChart>("Chart1"); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<AnalysisState> state;
    std::unique_ptr<SensorLibrary> sensors;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<TFreq> freq;
    std::unique_ptr<TWave> wave;
    std::unique_ptr<Progress> progress;
    std::unique_ptr<TfrmMain> win;
    std::unique_ptr<TfrmScale> scale;
    QStringList messages;
    QStringList files; // answers of the file dialogs, in order
    QStringList questions; // Yes/No/Cancel questions asked
    int saveAnswer = 1;    // their answer: 0 Yes, 1 No, 2 Cancel
};

void MainWindowTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    writeBytes(path("firing.frq"), firingRecord());
    writeBytes(path("firing.sns"), kSensors);
    state = std::make_unique<AnalysisState>();
    sensors = std::make_unique<SensorLibrary>();
    store = std::make_unique<SettingsStore>();
    store->defaultSettingsFileName = path("test.rsr").toStdString();
    freq = std::make_unique<TFreq>();
    wave = std::make_unique<TWave>();
    progress = std::make_unique<Progress>();
    messages.clear();
    files.clear();
    questions.clear();
    saveAnswer = 1;
    MainDialogs d;
    d.information = [this](QWidget*, const QString& text) { messages.append(text); };
    d.warning = [this](QWidget*, const QString& text) { messages.append(text); };
    d.question = [](QWidget*, const QString&) { return true; };
    d.askYesNoCancel = [this](QWidget*, const QString& text) {
        questions.append(text);
        return saveAnswer;
    };
    d.chooseFile = [this](QWidget*, const QString&, const QString&, const QString&, bool) {
        return files.isEmpty() ? QString() : files.takeFirst();
    };
    d.exec = [](QDialog&) { return int(QDialog::Rejected); };
    setEditErrorReporter([this](QWidget*, const QString& m) { messages.append(m); });
    win = std::make_unique<TfrmMain>(MainContext{*state, *sensors, *store, *freq, *wave, *progress},
                                     path("firing.sns").toStdString(), d);
    scale = std::make_unique<TfrmScale>(win.get());
    win->setProgressWindow(scale.get());
    win->resize(1100, 800);
    win->show();
}

void MainWindowTest::cleanup()
{
    scale.reset();
    win.reset();
    setEditErrorReporter({});
}

void MainWindowTest::startsEmptyWithDefaults()
{
    QCOMPARE(sensors->SensorCount(), 2); // the default sensor and "Stand"
    QCOMPARE(find<QComboBox>("lbxSensor")->count(), 2);
    QVERIFY(!find<QCheckBox>("cbxN")->isEnabled());
    QVERIFY(!find<QWidget>("pnlCalc")->isEnabled());
    QVERIFY(find<QRadioButton>("rbtnChannelR")->isChecked());
    QCOMPARE(find<QLabel>("lblExt")->text(), QString("Hz"));
    QCOMPARE(state->AnalysisStep, 0.01);
    QVERIFY(find<QCheckBox>("cbxMouse")->isChecked());
    QVERIFY(!find<QWidget>("pnlHist")->isVisible());
    QCOMPARE(find<QPushButton>("btnCalc")->text(), QString("Расчет"));
    QCOMPARE(find<QAction>("nCom")->text(), QString("Работа с COM-портом"));
    QVERIFY(find<QTimer>("Timer1") != nullptr);
    // Closing saves the 601-byte settings file.
    win->close();
    QCOMPARE(QFileInfo(path("test.rsr")).size(), qint64(601));
}

void MainWindowTest::opensFrequencyRecordAndShowsResults()
{
    openFile(path("firing.frq"));
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
    QCOMPARE(find<QLabel>("lblFileName")->text(), path("firing.frq"));
    QCOMPARE(find<QLabel>("lblInfo")->text(), QString("FREQ  Mono 100 Hz 500 records 5.00 Sec"));
    QVERIFY(find<QWidget>("pnlCalc")->isEnabled());
    QVERIFY(win->windowTitle().endsWith("firing.proj") || win->windowTitle().endsWith("firing.frq"));
    QCOMPARE(state->PointCount, 500u);
    QCOMPARE(chart()->dataCount(), std::size_t(500));
    QCOMPARE(chart()->lowestValue(), 8460.0);
    QVERIFY(std::fabs(state->StartTime - 1.0) < 0.02 && std::fabs(state->EndTime - 3.0) < 0.02);
    QCOMPARE(find<QLabel>("lblThrustTime")->text(), QLocale().toString(state->ThrustTime, 'g', 5));
    QVERIFY(find<QCheckBox>("cbxInvert")->isChecked()); // the frequency falls during the firing
    QVERIFY(chart()->valueAxis()->isReverse());
    // The default sensor: no thrust, no impulse.
    QCOMPARE(find<QLabel>("lblImpSum")->text(), QString("0"));
}

void MainWindowTest::sensorChoiceControlsNewtons()
{
    openFile(path("firing.frq"));
    selectSensor(1);
    auto* cbxN = find<QCheckBox>("cbxN");
    QVERIFY(cbxN->isEnabled());
    cbxN->click();
    QCOMPARE(find<QLabel>("lblExt")->text(), QString("N"));
    QCOMPARE(find<QLabel>("lblMiddleLineUnit")->text(), QString("N"));
    QVERIFY(std::fabs(chart()->highestValue() - 80) < 1e-6);
    QVERIFY(!find<QCheckBox>("cbxInvert")->isChecked()); // thrust rises
    // About 80 N for 2 s.
    const double impulse = QLocale().toDouble(find<QLabel>("lblImpSum")->text());
    QVERIFY2(std::fabs(impulse - 160) < 4, qPrintable(find<QLabel>("lblImpSum")->text()));
    QCOMPARE(find<QLabel>("lblThrustMax")->text(), QString("80"));

    selectSensor(0); // the default sensor clears and disables newtons
    QVERIFY(!cbxN->isChecked());
    QVERIFY(!cbxN->isEnabled());
    QCOMPARE(find<QLabel>("lblExt")->text(), QString("Hz"));
    QCOMPARE(chart()->lowestValue(), 8460.0);
}

void MainWindowTest::unitsSwitchSeriesAndRestLineEditing()
{
    openFile(path("firing.frq"));
    auto* s4 = find<QPushButton>("s4");
    auto* edit = find<TEditFloat>("edtBaseLine");
    QVERIFY(!edit->isEnabled());
    s4->click();
    QVERIFY(edit->isEnabled() && s4->isChecked());
    QCOMPARE(chart()->series(ThrustChart::ZeroLine)->count(), 2);
    commit("edtBaseLine", 8690);
    QCOMPARE(state->RestFreq, 8690.0);
    QCOMPARE(chart()->series(ThrustChart::ZeroLine)->at(0).y(), 8690.0);

    selectSensor(1);
    find<QCheckBox>("cbxN")->click();
    QVERIFY(!edit->isEnabled()); // the rest line is edited in hertz only
    s4->click();
    s4->click();
    QVERIFY(!edit->isEnabled());
    find<QCheckBox>("cbxN")->click();
    QVERIFY(edit->isEnabled());
}

void MainWindowTest::stepIsCheckedAndCapped()
{
    openFile(path("firing.frq"));
    commit("edtAccur", 0); // below the record's step: refused and said so, the field shows the step again
    QCOMPARE(state->AnalysisStep, 0.01);
    QCOMPARE(find<TEditFloat>("edtAccur")->text(), QLocale().toString(0.01));
    QCOMPARE(state->PointCount, 500u);
    QTRY_COMPARE(messages.size(), 1);
    QVERIFY(messages.takeFirst().startsWith("Шаг меньше допустимого"));
    // The same through the record's project: its source opened without a reset keeps the record's limit.
    files.append(path("firing.proj"));
    find<QAction>("nSaveProjectAs")->trigger();
    openFile(path("firing.frq"));
    commit("edtAccur", 0.001);
    QCOMPARE(state->AnalysisStep, 0.01);
    QCOMPARE(state->PointCount, 500u);
    QTRY_COMPARE(messages.size(), 1);
    QVERIFY(messages.takeFirst().startsWith("Шаг меньше допустимого"));
    commit("edtAccur", 0.02);
    QCOMPARE(state->AnalysisStep, 0.02);
    QVERIFY(state->PointCount == 250u || state->PointCount == 249u); // 500 x 0.01f / 0.02, truncated
    QCOMPARE(chart()->dataCount(), std::size_t(state->PointCount));
    commit("edtAccur", 3); // a tenth of the 5 s record at most
    QCOMPARE(state->AnalysisStep, 0.5);
    QCOMPARE(find<TEditFloat>("edtAccur")->text(), QLocale().toString(0.5));
}

void MainWindowTest::markersMoveAndClamp()
{
    openFile(path("firing.frq"));
    // Shown after every analysis; the caption only makes the value editable.
    QCOMPARE(chart()->series(ThrustChart::StartThrust)->count(), 2);
    QCOMPARE(chart()->series(ThrustChart::EndThrust)->count(), 2);
    QCOMPARE(chart()->series(ThrustChart::ZeroLine)->count(), 2);
    auto* s2 = find<QPushButton>("s2");
    QVERIFY(!find<TEditFloat>("edtStartThrust")->isEnabled());
    s2->click();
    QVERIFY(find<TEditFloat>("edtStartThrust")->isEnabled());
    QCOMPARE(s2->focusPolicy(), Qt::NoFocus);
    const QList<QPointF> marker = chart()->series(ThrustChart::StartThrust)->points();
    QCOMPARE(marker.size(), 2);
    QCOMPARE(marker[0], QPointF(state->StartTime, 8460));
    QCOMPARE(marker[1], QPointF(state->StartTime, 8700));
    commit("edtStartThrust", 1.5);
    QCOMPARE(chart()->series(ThrustChart::StartThrust)->at(0).x(), 1.5);
    commit("edtStartThrust", -2); // becomes 0, which is "not set": no marker
    QCOMPARE(state->StartTime, 0.0);
    QCOMPARE(chart()->series(ThrustChart::StartThrust)->count(), 0);

    find<QPushButton>("s3")->click();
    commit("edtEndThrust", 99);
    QCOMPARE(state->EndTime, state->RecordDuration);
    QCOMPARE(find<TEditFloat>("edtEndThrust")->text(), QLocale().toString(5));
    commit("edtStartThrust", 4);
    commit("edtEndThrust", 2); // an end before the start draws no end marker
    QCOMPARE(chart()->series(ThrustChart::EndThrust)->count(), 0);
    s2->click();
    QCOMPARE(chart()->series(ThrustChart::StartThrust)->count(), 2);
    QVERIFY(!find<TEditFloat>("edtStartThrust")->isEnabled());
}

void MainWindowTest::filterButtonRecalculates()
{
    openFile(path("firing.frq"));
    const double before = state->FreqData[100];
    find<QToolButton>("sbtnFilerOn")->click();
    QVERIFY(state->FilterOn);
    QVERIFY(state->FreqData[100] != before); // the edge is smoothed
    find<QToolButton>("sbtnFilerOn")->click();
    QCOMPARE(state->FreqData[100], before);
}

void MainWindowTest::failedOpenKeepsAnalysis()
{
    openFile(path("firing.frq"));
    const std::uint32_t points = state->PointCount;
    writeBytes(path("bad.frq"), "NOTFREQ\r\n");
    openFile(path("bad.frq"));
    QCOMPARE(messages, QStringList{"Ошибка открытия файла " + path("bad.frq")});
    QCOMPARE(find<QLabel>("lblFileName")->text(), path("firing.frq"));
    QCOMPARE(state->PointCount, points);
    QCOMPARE(chart()->dataCount(), std::size_t(points));
}

void MainWindowTest::wavSourceShowsErrorsOnlyWhenAsked()
{
    WaveSynthOptions o;
    o.durationSeconds = 3;
    o.sampleRate = 22050;
    o.noiseAmplitude = 300;
    WriteSynthWave(path("firing.wav").toStdString(), o,
                   [](double t) { return t >= 1 && t < 2 ? 8460.0 : 8700.0; });
    openFile(path("firing.wav"));
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
    QVERIFY(find<QLabel>("lblInfo")->text().startsWith("WAV  "));
    QCOMPARE(state->PointCount, 300u);
    QVERIFY(std::fabs(state->FreqData[150] - 8460) < 5);
    QVERIFY(!scale->isVisible()); // shown only while the measurement runs
    selectSensor(1);
    auto* delta = find<QCheckBox>("cbxDelta");
    QVERIFY(delta->isVisibleTo(find<QWidget>("pnlHist"))); // a WAV source has errors to show
    QVERIFY(!find<QLabel>("lblImpSum")->text().contains("+/-"));
    delta->click();
    QVERIFY(find<QLabel>("lblImpSum")->text().contains("+/-"));
    QVERIFY(find<QLabel>("lblThrustMax")->text().contains("+/-"));
    QVERIFY(!find<QLabel>("lblThrustTime")->text().contains("+/-"));
    QCOMPARE(chart()->fullPoints(ThrustChart::DeltaUp).size(), qsizetype(300));
    delta->click();
    QVERIFY(!find<QLabel>("lblImpSum")->text().contains("+/-"));
    QVERIFY(chart()->fullPoints(ThrustChart::DeltaUp).isEmpty());
}

void MainWindowTest::cancelledWavComputationKeepsPreviousAnalysis()
{
    // Eight minutes of 8-bit sound: long enough (20 MB) for the measurement to be seen and cancelled.
    WaveSynthOptions o;
    o.durationSeconds = 480;
    o.bitsPerSample = 8;
    WriteSynthWave(path("long.wav").toStdString(), o,
                   [](double t) { return t >= 100 && t < 200 ? 8460.0 : 8700.0; });
    openFile(path("long.wav"));
    QCOMPARE(state->PointCount, 48000u);
    const double start = state->StartTime;
    // Press "Закрыть" on the progress window as soon as the measurement is under way. (The window itself
    // appears on the first tick of Timer1 that sees the measurement, which a quick machine may finish
    // before; the button works the same.)
    QTimer poll;
    bool pressed = false;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!pressed && progress->ProgressStage.load() == 1 && progress->ProgressFraction.load() > 0) {
            pressed = true;
            scale->findChild<QPushButton*>("btnClose")->click();
        }
    });
    poll.start(1);
    commit("edtAccur", 0.02);
    poll.stop();
    if (!pressed)
        QSKIP("the measurement finished before it could be cancelled");
    QCOMPARE(state->PointCount, 48000u);
    QCOMPARE(state->AnalysisStep, 0.01);
    QCOMPARE(find<TEditFloat>("edtAccur")->text(), QLocale().toString(0.01));
    QCOMPARE(state->StartTime, start);
    QVERIFY(!scale->isVisible());
    QCOMPARE(chart()->dataCount(), std::size_t(48000));
}

void MainWindowTest::cancelledOpeningShowsNothingOfThePreviousSource()
{
    openFile(path("firing.frq"));
    QCOMPARE(state->PointCount, 500u);
    WaveSynthOptions o;
    o.durationSeconds = 480;
    o.bitsPerSample = 8;
    WriteSynthWave(path("long.wav").toStdString(), o, [](double) { return 8700.0; });
    QTimer poll;
    bool pressed = false;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (!pressed && progress->ProgressStage.load() == 1 && progress->ProgressFraction.load() > 0) {
            pressed = true;
            scale->findChild<QPushButton*>("btnClose")->click();
        }
    });
    poll.start(1);
    openFile(path("long.wav"));
    poll.stop();
    if (!pressed)
        QSKIP("the measurement finished before it could be cancelled");
    // The new recording is the source, not yet measured: nothing of the record it replaced is shown.
    QCOMPARE(find<QLabel>("lblFileName")->text(), path("long.wav"));
    QCOMPARE(state->PointCount, 0u);
    QCOMPARE(chart()->dataCount(), std::size_t(0));
    QCOMPARE(state->TotalImpulse, 0.0f);
}

void MainWindowTest::companionProjectIsLoadedInstead()
{
    openFile(path("firing.frq"));
    find<QPushButton>("s2")->click();
    commit("edtStartThrust", 1.25);
    files.append(path("firing.proj"));
    find<QAction>("nSaveProjectAs")->trigger();
    QVERIFY(QFileInfo::exists(path("firing.proj")));
    commit("edtStartThrust", 2.5);
    openFile(path("firing.frq")); // its project comes back with the stored start
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
    QCOMPARE(state->StartTime, 1.25);
    QVERIFY(find<QPushButton>("s2")->isChecked());
    QCOMPARE(find<QLabel>("lblFileName")->text(), path("firing.frq"));
    QVERIFY(win->windowTitle().endsWith("firing.proj"));
}

void MainWindowTest::mouseListAndPlaceholders()
{
    openFile(path("firing.frq"));
    auto* list = find<QListWidget>("lbxMouse");
    const QPoint p = chart()->chart()->plotArea().center().toPoint();
    QTest::mouseDClick(chart()->viewport(), Qt::LeftButton, Qt::NoModifier, p);
    QCOMPARE(list->count(), 1);
    QVERIFY(list->item(0)->text().contains("    "));
    QVERIFY(list->item(0)->text().size() <= 40);
    find<QPushButton>("btnMouse")->click();
    QCOMPARE(list->count(), 0);
    find<QCheckBox>("cbxMouse")->click();
    QVERIFY(!find<QWidget>("pnlMouse")->isVisible());

    find<QAction>("nSound")->trigger();
    QCOMPARE(messages.size(), 1); // the windows of later versions say so instead of doing nothing

    // Navigation buttons move the time axis; "Показать весь график" makes both automatic again.
    find<QToolButton>("sbHIn")->click();
    QVERIFY(!chart()->timeAutomatic());
    find<QToolButton>("btnSee")->click();
    QVERIFY(chart()->timeAutomatic() && chart()->valueAutomatic());
}

void MainWindowTest::projectNamesGetExtensionAndAbsolutePaths()
{
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir->path());
    openFile("firing.frq"); // named relative to the working folder
    QDir(dir->path()).mkdir("projects");
    files.append(path("projects/run")); // typed without an extension
    find<QAction>("nSaveProjectAs")->trigger();
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
    QVERIFY(QFileInfo::exists(path("projects/run.proj")));
    QCOMPARE(QString::fromStdString(store->projectFileName), path("projects/run.proj"));
    // Saved in another folder than its source, it still finds the source from anywhere.
    QDir::setCurrent(QDir::rootPath());
    QVERIFY(win->loadProject(path("projects/run.proj")));
    QDir::setCurrent(cwd);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
    QCOMPARE(state->PointCount, 500u);
    QCOMPARE(QString::fromStdString(store->project.sourceFileName), path("firing.frq"));
    QVERIFY(QFileInfo(QString::fromStdString(store->project.SensorFileName)).isAbsolute());
}

void MainWindowTest::projectWithMissingSourceLeavesNoSource()
{
    writeBytes(path("gone.frq"), firingRecord());
    openFile(path("gone.frq"));
    files.append(path("gone.proj"));
    find<QAction>("nSaveProjectAs")->trigger();
    QFile::remove(path("gone.frq"));
    openFile(path("firing.frq"));
    QVERIFY(win->loadProject(path("gone.proj")));
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(path("gone.frq")), qPrintable(messages[0])); // which file is missing
    // The cleared source, not half of the project over the previous one.
    QCOMPARE(find<QLabel>("lblFileName")->text(), QString());
    QCOMPARE(state->PointCount, 0u);
    QVERIFY(!chart()->hasData());
    QCOMPARE(chart()->series(ThrustChart::StartThrust)->count(), 0);
    QVERIFY(chart()->timeAutomatic() && chart()->valueAutomatic());
    QCOMPARE(find<QLabel>("lblImpSum")->text(), QString("0"));
}

void MainWindowTest::filterStateSurvivesProject()
{
    openFile(path("firing.frq"));
    selectSensor(1);
    find<QToolButton>("sbtnFilerOn")->click();
    const QString impulse = find<QLabel>("lblImpSum")->text();
    files.append(path("filtered.proj"));
    find<QAction>("nSaveProjectAs")->trigger();
    find<QToolButton>("sbtnFilerOn")->click(); // off again before the reload
    QVERIFY(!state->FilterOn);
    QVERIFY(win->loadProject(path("filtered.proj")));
    QVERIFY(state->FilterOn);
    QVERIFY(find<QToolButton>("sbtnFilerOn")->isChecked());
    QCOMPARE(find<QLabel>("lblImpSum")->text(), impulse);
}

void MainWindowTest::damagedCompanionOpensTheSource()
{
    writeBytes(path("firing.proj"), "SELVARONDINE PROJECT v.1.50 damaged");
    openFile(path("firing.frq"));
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains("поврежден"), qPrintable(messages[0]));
    QCOMPARE(find<QLabel>("lblFileName")->text(), path("firing.frq"));
    QCOMPARE(state->PointCount, 500u);
}

void MainWindowTest::channelButtonsFollowEveryOpen()
{
    WaveSynthOptions o;
    o.durationSeconds = 2;
    o.sampleRate = 8000;
    o.channels = 2;
    WriteSynthWave(path("stereo.wav").toStdString(), o, [](double) { return 1000.0; });
    openFile(path("stereo.wav"));
    auto* left = find<QRadioButton>("rbtnChannelL");
    QVERIFY(left->isEnabled());
    left->click();
    QVERIFY(state->UseLeftChannel);
    writeBytes(path("bad.frq"), "NOTFREQ\r\n");
    openFile(path("bad.frq"));
    QCOMPARE(messages.size(), 1);
    QVERIFY(state->UseLeftChannel && left->isChecked() && left->isEnabled()); // the recording stays
    openFile(path("firing.frq"));
    QVERIFY(!state->UseLeftChannel && !left->isChecked() && !left->isEnabled());
}

void MainWindowTest::newProjectStartsAfresh()
{
    openFile(path("firing.frq"));
    files.append(path("firing.proj"));
    find<QAction>("nSaveProjectAs")->trigger();
    store->notes = {"note"};
    find<QAction>("nNewProject")->trigger();
    QCOMPARE(questions.size(), 1); // the notes changed since the save
    QCOMPARE(state->PointCount, 0u);
    QVERIFY(!chart()->hasData());
    QCOMPARE(find<QLabel>("lblFileName")->text(), QString());
    QVERIFY(store->projectFileName.empty());
    QVERIFY(store->notes.empty());
    QCOMPARE(sensors->SensorCount(), 2); // the library stays
    QVERIFY(!win->projectModified());
}

void MainWindowTest::unsavedChangesAreAskedAbout()
{
    openFile(path("firing.frq"));
    QVERIFY(!win->projectModified());
    win->close(); // nothing changed: closes without a question
    QVERIFY(questions.isEmpty());
    win->show();
    find<QPushButton>("s2")->click();
    commit("edtStartThrust", 1.5);
    QVERIFY(win->projectModified());
    saveAnswer = 2; // Cancel: the window stays
    QVERIFY(!win->close());
    QCOMPARE(questions, QStringList{"Сохранить изменения в проекте?"});
    saveAnswer = 0; // Yes: saved as the source's project, then closed
    QVERIFY(!QFileInfo::exists(path("firing.proj")));
    QVERIFY(win->close());
    QVERIFY(QFileInfo::exists(path("firing.proj")));
    QVERIFY(!win->projectModified());
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
