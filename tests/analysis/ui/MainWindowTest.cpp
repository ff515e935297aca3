// The analysis window driven the way a user drives it, by its controls found by their object names, end
// to end; the rules behind each control are the presenter's and are tested in the core. Sources and the
// sensor library are generated here; message boxes and file dialogs are scripted.

#include "analysis/MotorFiles.h"
#include "analysis/ui/TfrmMain.h"
#include "analysis/ui/ThrustChart.h"
#include "controls/EditInt.h"
#include "sound/WaveSynth.h"
#include "store/ui/TfrmScale.h"
#include "support/FindControl.h"
#include "support/QtFiles.h"
#include "support/TestWorkspace.h"
#include "workspace/Workspace.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace selva;

namespace {

// A firing seen by the sensor of the library below (8700 Hz at rest, 8460 Hz at 80 N): 1 s at rest,
// 2 s at 80 N, 2 s at rest; 500 readings at 0.01 s.
QByteArray firingRecord()
{
    std::vector<double> readings(500, 8700.0);
    std::fill(readings.begin() + 100, readings.begin() + 300, 8460.0);
    return QByteArray::fromStdString(test::frqText(0.01, readings));
}

const QByteArray kSensors = "START\r\n1\t8700\t0\tStand\r\n1\t8460\t80\t\r\n\r\n";

void writeBytes(const QString& name, const QByteArray& bytes)
{
    QVERIFY(test::writeBytes(name, bytes));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void analysisSessionEndToEnd();
    void wavMeasurementCancelledAtAKnownPoint();
    void failedOpenKeepsSourceAndChannel();
    void menusOpenTheirWindows();
    void comparisonAndMotorFiles();

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
    std::unique_ptr<Workspace> ws;
    std::unique_ptr<TfrmMain> win;
    std::unique_ptr<TfrmScale> scale;
    QStringList messages;
    QStringList files;     // answers of the file dialogs, in order
    QStringList questions; // Yes/No/Cancel questions asked
    int saveAnswer = 1;    // their answer: 0 Yes, 1 No, 2 Cancel
    QStringList opened;    // windows shown modally
};

void MainWindowTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    writeBytes(path("firing.frq"), firingRecord());
    writeBytes(path("firing.sns"), kSensors);
    ws = std::make_unique<Workspace>();
    ws->store.defaultSettingsFileName = path("test.rsr").toStdString();
    messages.clear();
    files.clear();
    questions.clear();
    opened.clear();
    saveAnswer = 1;
    MainDialogs d;
    d.information = d.warning = [this](QWidget*, const QString& text) { messages.append(text); };
    d.question = [](QWidget*, const QString&) { return true; };
    d.askYesNoCancel = [this](QWidget*, const QString& text) {
        questions.append(text);
        return saveAnswer;
    };
    d.chooseFile = [this](QWidget*, const QString&, const QString&, const QString&, bool) {
        return files.isEmpty() ? QString() : files.takeFirst();
    };
    d.chooseFiles = [this](QWidget*, const QString&, const QString&) {
        const QStringList all = files;
        files.clear();
        return all;
    };
    d.output.chooseFile = [this](QWidget*, const SaveDialogRequest&) {
        return files.isEmpty() ? QString() : files.takeFirst();
    };
    d.output.error = [this](QWidget*, const QString& text) { messages.append(text); };
    d.output.exportOptions = [](QWidget*, const QString&, ExportOptions& o) {
        o.motor.diameterMm = 29;
        o.motor.lengthMm = 124;
        o.motor.propellantKg = 0.1;
        o.motor.totalKg = 0.2;
        return true;
    };
    d.exec = [this](QDialog& w) {
        opened.append(w.metaObject()->className());
        return int(QDialog::Rejected);
    };
    setEditErrorReporter([this](QWidget*, const QString& m) { messages.append(m); });
    win = std::make_unique<TfrmMain>(*ws, path("firing.sns").toStdString(), d);
    scale = std::make_unique<TfrmScale>(win.get());
    win->setProgressWindow(scale.get());
    win->resize(1100, 800);
    win->show();
}

void MainWindowTest::cleanup()
{
    scale.reset();
    win.reset();
    ws.reset();
    setEditErrorReporter({});
}

void MainWindowTest::analysisSessionEndToEnd()
{
    QVERIFY(!find<QWidget>("pnlCalc")->isEnabled());
    QVERIFY(!find<QCheckBox>("cbxN")->isEnabled());
    openFile(path("firing.frq"));
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
    QCOMPARE(find<QLabel>("lblFileName")->text(), path("firing.frq"));
    QCOMPARE(find<QLabel>("lblInfo")->text(), QString("FREQ  Mono 100 Hz 500 records 5.00 Sec"));
    QVERIFY(find<QWidget>("pnlCalc")->isEnabled());
    QCOMPARE(chart()->dataCount(), std::size_t(500));
    QVERIFY(chart()->valueAxis()->isReverse());                      // the frequency falls during the firing
    QCOMPARE(chart()->series(ThrustChart::StartThrust)->count(), 2); // the markers show at once

    // Newtons through the sensor; the rest line is then not editable.
    selectSensor(1);
    find<QCheckBox>("cbxN")->click();
    QCOMPARE(find<QLabel>("lblExt")->text(), QString("N"));
    QVERIFY(std::fabs(chart()->highestValue() - 80) < 1e-6);
    QVERIFY(!chart()->valueAxis()->isReverse());
    const double impulse = QLocale().toDouble(find<QLabel>("lblImpSum")->text());
    QVERIFY2(std::fabs(impulse - 160) < 4, qPrintable(find<QLabel>("lblImpSum")->text()));
    find<QPushButton>("s4")->click();
    QVERIFY(!find<TEditFloat>("edtBaseLine")->isEnabled());

    // The start edited by hand; a step below the record's refused, with the reason.
    find<QPushButton>("s2")->click();
    QVERIFY(find<TEditFloat>("edtStartThrust")->isEnabled());
    commit("edtStartThrust", 1.5);
    QCOMPARE(chart()->series(ThrustChart::StartThrust)->at(0).x(), 1.5);
    commit("edtAccur", 0.001);
    QCOMPARE(find<TEditFloat>("edtAccur")->text(), QLocale().toString(0.01));
    QTRY_COMPARE(messages.size(), 1);
    QVERIFY(messages.takeFirst().startsWith("Шаг меньше допустимого"));

    // "+" twice halves the time axis twice; "Показать весь график" shows it all again.
    find<QToolButton>("sbHIn")->click();
    find<QToolButton>("sbHIn")->click();
    QVERIFY(std::fabs(chart()->timeRange().span() - 4.99 / 4) < 1e-6);
    find<QToolButton>("btnSee")->click();
    QVERIFY(chart()->timeAutomatic() && chart()->valueAutomatic());

    // A double click reads the values out.
    const QPoint p = chart()->plot().plotArea().center().toPoint();
    QTest::mouseDClick(chart()->viewport(), Qt::LeftButton, Qt::NoModifier, p);
    QCOMPARE(find<QListWidget>("lbxMouse")->count(), 1);

    // Closing asks about the unsaved start; Cancel keeps the window, Yes saves as the source's project.
    saveAnswer = 2;
    QVERIFY(!win->close());
    QCOMPARE(questions, QStringList{"Сохранить изменения в проекте?"});
    saveAnswer = 0;
    QVERIFY(win->close());
    QVERIFY(QFileInfo::exists(path("firing.proj")));
    QCOMPARE(QFileInfo(path("test.rsr")).size(), qint64(601));

    // The project comes back with its start, newtons and the window's own choices.
    win->show();
    openFile(path("firing.frq"));
    QCOMPARE(ws->state.StartTime, 1.5);
    QVERIFY(find<QPushButton>("s2")->isChecked());
    QVERIFY(find<QCheckBox>("cbxN")->isChecked());
    QVERIFY(win->windowTitle().endsWith("firing.proj"));
}

// The recording is measured on a worker; "Закрыть" of the progress window, pressed while it runs (here:
// as it starts, so that a fast machine cannot finish first), leaves the previous analysis.
void MainWindowTest::wavMeasurementCancelledAtAKnownPoint()
{
    WaveSynthOptions o;
    o.durationSeconds = 20;
    o.bitsPerSample = 8;
    WriteSynthWave(path("long.wav").toStdString(), o,
                   [](double t) { return t >= 5 && t < 10 ? 8460.0 : 8700.0; });
    openFile(path("long.wav"));
    QCOMPARE(ws->state.PointCount, 2000u);
    const double start = ws->state.StartTime;
    win->runner().onWorkerStarted = [this] { ws->progress.cancel = true; };
    commit("edtAccur", 0.02);
    QCOMPARE(ws->state.PointCount, 2000u);
    QCOMPARE(ws->state.AnalysisStep, 0.01);
    QCOMPARE(find<TEditFloat>("edtAccur")->text(), QLocale().toString(0.01));
    QCOMPARE(ws->state.StartTime, start);
    QVERIFY(!scale->isVisible());

    // Cancelled while a new source is measured: it stays open unmeasured, nothing of the old one shown.
    openFile(path("firing.frq"));
    QCOMPARE(ws->state.PointCount, 500u);
    openFile(path("long.wav"));
    QCOMPARE(find<QLabel>("lblFileName")->text(), path("long.wav"));
    QCOMPARE(ws->state.PointCount, 0u);
    QCOMPARE(chart()->dataCount(), std::size_t(0));
    win->runner().onWorkerStarted = nullptr;
    find<QPushButton>("btnDraw")->click();
    QCOMPARE(ws->state.PointCount, 2000u);
}

void MainWindowTest::failedOpenKeepsSourceAndChannel()
{
    WaveSynthOptions o;
    o.durationSeconds = 2;
    o.sampleRate = 8000;
    o.channels = 2;
    WriteSynthWave(path("stereo.wav").toStdString(), o, [](double) { return 1000.0; });
    openFile(path("stereo.wav"));
    auto* left = find<QRadioButton>("rbtnChannelL");
    left->click();
    QVERIFY(ws->state.UseLeftChannel);
    writeBytes(path("bad.frq"), "NOTFREQ\r\n");
    openFile(path("bad.frq"));
    QCOMPARE(messages, QStringList{"Ошибка открытия файла " + path("bad.frq")});
    QCOMPARE(find<QLabel>("lblFileName")->text(), path("stereo.wav"));
    QVERIFY(ws->state.UseLeftChannel && left->isChecked() && left->isEnabled());
    QCOMPARE(chart()->dataCount(), std::size_t(ws->state.PointCount));
}

void MainWindowTest::menusOpenTheirWindows()
{
    openFile(path("firing.frq"));
    for (const char* action : {"nSensor", "nCom", "nSound", "nImageSet", "nAbout"})
        find<QAction>(action)->trigger();
    QCOMPARE(opened, (QStringList{"selva::TfrmNewSensor", "selva::TfrmData", "selva::TfrmSound",
                                  "selva::TfrmImageSet", "selva::TfrmAbout"}));
    files.append(path("fresh"));
    find<QAction>("nSaveProjectAs")->trigger();
    QVERIFY(QFileInfo::exists(path("fresh.proj"))); // a name typed without an extension gets ".proj"
    find<QAction>("nNewProject")->trigger();
    QCOMPARE(find<QLabel>("lblFileName")->text(), QString());
    QVERIFY(!chart()->hasData());
    QVERIFY(!find<QWidget>("pnlCalc")->isEnabled());
}

// "Сравнить с ...": a second test over the chart (in newtons) and in the table; the motor files of
// "Экспорт результатов" read back with the analysis's impulse.
void MainWindowTest::comparisonAndMotorFiles()
{
    QByteArray weaker = firingRecord();
    weaker.replace("8460.000", "8580.000"); // 40 N instead of 80
    writeBytes(path("weaker.frq"), weaker);
    openFile(path("firing.frq"));
    selectSensor(1);
    find<QCheckBox>("cbxN")->click();
    files = QStringList{path("weaker.frq")};
    find<QAction>("nCompare")->trigger();
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
    auto* table = win->findChild<QTableWidget*>("grdCompare");
    QVERIFY(table && table->isVisible());
    QCOMPARE(table->rowCount(), 4); // the analysis, the other test, mean, deviation
    QCOMPARE(chart()->plot().overlays().size(), std::size_t(1));
    const QList<QPointF>& curve = chart()->plot().overlays().front().points;
    const double top =
        std::max_element(curve.begin(), curve.end(), [](auto a, auto b) { return a.y() < b.y(); })->y();
    QVERIFY2(std::fabs(top - 40) < 1, qPrintable(QString::number(top)));
    find<QPushButton>("btnCompareClear")->click();
    QVERIFY(chart()->plot().overlays().empty());

    for (const char* name : {"run.eng", "run.rse", "run.csv"}) {
        files.append(path(name));
        find<QAction>("nExport")->trigger();
        QVERIFY2(QFileInfo(path(name)).size() > 100, qPrintable(name + messages.join('|')));
    }
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
    const std::vector<EngMotor> motors = ReadEngFile(path("run.eng").toStdString());
    QCOMPARE(motors.size(), std::size_t(1));
    QVERIFY(std::fabs(MotorFileImpulse(motors.front().points) - ws->state.TotalImpulse) <
            0.01 * ws->state.TotalImpulse);
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
