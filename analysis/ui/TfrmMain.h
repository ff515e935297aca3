#pragma once

// The analysis window: the source, the sensor and the channel, the step, the start and end of thrust and
// the rest line, hertz or newtons, the results and the chart. Every control re-runs the stages of the
// thrust computation its change needs and redraws the chart. What is shown is computed by MainPresenter;
// the computation itself is ThrustAnalysis's, run through RecalcRunner so that a long WAV measurement
// does not freeze the window.
//
// UI thread only.

#include "analysis/ThrustAnalysis.h"
#include "analysis/ui/ChartOutput.h"
#include "analysis/ui/MainPresenter.h"
#include "analysis/ui/RecalcRunner.h"
#include "store/ProjectSession.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QDialog;
class QTimer;

namespace Ui {
class TfrmMain;
}

namespace selva {

class SensorLibrary;
class SerialPortTable;
class SettingsStore;
class TEditFloat;
class TFreq;
class TWave;
class TfrmScale;

// What the window runs on; all created once in main.
struct MainContext {
    AnalysisState& state;
    SensorLibrary& sensors;
    SettingsStore& store;
    TFreq& freq;
    TWave& wave;
    Progress& progress;
};

// The window's modal interactions, replaceable so that tests never block on a dialog.
struct MainDialogs {
    // An information message with an OK button.
    std::function<void(QWidget* parent, const QString& text)> information;
    // An error the user can act on: the warning icon, an OK button.
    std::function<void(QWidget* parent, const QString& text)> warning;
    // A Yes/No/Cancel question; 0 Yes, 1 No, 2 Cancel (also on Escape).
    std::function<int(QWidget* parent, const QString& text)> askYesNoCancel;
    // A Yes/No question; true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> question;
    // A file name from an open (save false) or save dialog; empty when cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& filter,
                          const QString& initial, bool save)>
        chooseFile;
    // Shows a modal child window and returns its result (QDialog::exec by default).
    std::function<int(QDialog& dialog)> exec;
    // The export and picture dialogs and their error messages.
    OutputDialogs output;

    static MainDialogs standard();
};

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // Creates the window: binds the edits, resets and loads the sensor library, loads the settings.
    // `sensorFile` is the library read at start (see main).
    TfrmMain(MainContext context, const std::string& sensorFile,
             MainDialogs dialogs = MainDialogs::standard(), QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The progress window, created after this one.
    void setProgressWindow(TfrmScale* scale);
    // Opens what the command line names: its ".proj" companion when one exists, else the file itself.
    void openFromCommandLine(const QString& name);

    // Opens a source and runs the whole analysis; false (after the message) when it cannot be opened.
    bool OpenSource(const QString& name, bool reset);
    void ShowResults();
    void RedrawChart();
    void ApplyAppearance();
    // Loads a project; false when it could not be read (missing or damaged, `damaged` tells which).
    bool loadProject(const QString& name, bool* damaged = nullptr);
    // Saves the project; false (after the message) when it could not be written. A name without an
    // extension gets ".proj".
    bool saveProject(const QString& name);
    // "Новый проект": no source, no project, a fresh analysis with the current sensor library.
    void newProject();
    // Whether the analysis or its notes changed since the project was last saved, loaded or started.
    bool projectModified() const;

    const MarkerFlags& markerFlags() const { return flags_; }
    bool sourceOpened() const { return sourceOpened_; }
    double MiddleLineValue() const { return middleLineValue_; }
    ProjectSession& session() { return session_; }
    RecalcRunner& runner() { return runner_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bindEdits();
    void connectControls();
    void connectMenu();
    bool recalculate(bool prepare, bool detectTimes, bool detectLevels, bool compensate, bool convert);
    void fullRecalculation();
    void drawStartMarker();
    void drawEndMarker();
    void drawRestLine();
    void drawMiddleLine();
    void updateAnnotations();
    void setNewtonsAvailable(bool available);
    void applyUnits();
    void toggleMarker(bool& flag, QWidget* caption, TEditFloat* edit, bool editable);
    void afterSensorChange();
    void fillSensorCombo();
    void applySettingsLoad(const SettingsLoadResult& r);
    void applyProjectLoad(const ProjectLoadResult& r);
    void applyPlacement(const TWindowPlacement& p);
    TWindowPlacement currentPlacement() const;
    void refreshChannelButtons();
    void setSourceLabels(const QString& name, const QString& info);
    void showNoSource();
    void markSaved();
    QByteArray projectSnapshot() const;
    // Asks "Сохранить изменения в проекте?" when there is something to save; false when the user
    // cancels (or a save he asked for failed): the action that asked must not go on.
    bool confirmDiscardChanges();
    bool saveProjectOrAsk();
    void openWithCompanion(const QString& name);
    MainWindowView captureView() const;
    QString projectDialogInitialName() const;
    void timer1Timer();
    void notAvailable();
    void openImageSettings();
    void openSeriesOptions();
    void openSensorList();
    void openLogger();
    void showError(const QString& text);
    void showError(const std::string& text);

    std::unique_ptr<Ui::TfrmMain> ui;
    AnalysisState& state_;
    SensorLibrary& sensors_;
    SettingsStore& store_;
    Progress& progress_;
    MainDialogs dialogs_;
    ThrustAnalysis analysis_;
    ProjectSession session_;
    RecalcRunner runner_;
    QTimer* Timer1 = nullptr;
    ChartPrinting printing_; // the printer and its setup, for the whole run
    std::unique_ptr<SerialPortTable> ports_; // the serial ports, for the whole run (made when first used)
    TfrmScale* scale_ = nullptr;

    MarkerFlags flags_;
    bool sourceOpened_ = false;
    int lastStage_ = 0;
    double middleLineValue_ = 0;
    double viewSpan_ = 10;
    double restNetAfter_ = 0; // the net "after" level the rest-line edit shows in newtons
    double builtStep_ = 0;    // the step the series were last built with
    QByteArray savedSnapshot_; // the project as last saved, loaded or started (see projectModified)
};

} // namespace selva
