#pragma once

// The analysis window: the source, the sensor and the channel, the step, the start and end of thrust and
// the rest line, hertz or newtons, the results and the chart. Its rules are MainPresenter's (core): each
// control calls the presenter and shows anew what the call returns. The computation runs through
// RecalcRunner so that a long WAV measurement does not freeze the window.
//
// UI thread only.

#include "analysis/ui/ChartOutput.h"
#include "analysis/ui/RecalcRunner.h"
#include "workspace/MainPresenter.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QDialog;
class QTimer;

namespace Ui {
class TfrmMain;
}

namespace selva {

class SerialPortTable;
struct SoundModule;
class TEditFloat;
class TfrmScale;
class Workspace;

// The window's modal interactions, replaceable so that tests never block on a dialog.
struct MainDialogs {
    // An information message with an OK button.
    std::function<void(QWidget* parent, const QString& text)> information;
    // An error the user can act on: the warning icon, an OK button.
    std::function<void(QWidget* parent, const QString& text)> warning;
    // A Yes/No question; true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> question;
    // A Yes/No/Cancel question; 0 Yes, 1 No, 2 Cancel (also on Escape).
    std::function<int(QWidget* parent, const QString& text)> askYesNoCancel;
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
    // Creates the window: binds the edits, resets and loads the sensor library `sensorFile`, loads the
    // settings. The workspace's prompts become the window's message boxes.
    TfrmMain(Workspace& workspace, const std::string& sensorFile, MainDialogs dialogs = MainDialogs::standard(),
             QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The progress window, created after this one.
    void setProgressWindow(TfrmScale* scale);
    // Opens what the command line names: its ".proj" companion when one exists, else the file itself.
    void openFromCommandLine(const QString& name);

    // Opens a source (its project, when one lies beside it) and runs the whole analysis.
    void OpenSource(const QString& name);
    bool loadProject(const QString& name);
    // Saves the project; false (after the message) when it could not be written.
    bool saveProject(const QString& name);
    void newProject();
    bool projectModified() const;

    // Shows the series and markers anew ("Освежить картинку").
    void RedrawChart();

    MainPresenter& presenter() { return presenter_; }
    RecalcRunner& runner() { return runner_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectControls();
    void connectMenu();
    // Shows anew what a rule of the presenter changed.
    void refresh(ShowSet what);
    void refreshSource();
    void refreshChannel();
    void refreshSensors();
    void refreshUnits();
    void refreshFlags();
    void showResults();
    void updateAnnotations();
    void drawStartMarker();
    void drawEndMarker();
    void drawRestLine();
    void drawMiddleLine();
    void ApplyAppearance();
    void applySettingsLoad(const SettingsLoadResult& r);
    void applyPlacement(const TWindowPlacement& p);
    TWindowPlacement currentPlacement() const;
    MainWindowView windowPart() const;
    void showLoadedView();
    QString projectDialogInitialName() const;
    bool saveProjectOrAsk();
    bool confirmDiscardChanges();
    void toggle(Marker which, QWidget* caption, TEditFloat* edit);
    void timer1Timer();
    void showError(const std::string& text);
    void openImageSettings();
    void openSeriesOptions();
    void openSensorList();
    void openLogger();
    void openSound();
    char decimalSeparator() const;

    std::unique_ptr<Ui::TfrmMain> ui;
    Workspace& ws_;
    MainDialogs dialogs_;
    MainPresenter presenter_;
    RecalcRunner runner_;
    QTimer* Timer1 = nullptr;
    TfrmScale* scale_ = nullptr;
    ChartPrinting printing_;                 // the printer and its setup, for the whole run
    std::unique_ptr<SerialPortTable> ports_; // the serial ports, for the whole run (made when first used)
    std::unique_ptr<SoundModule> sound_;      // the sound rings and choices, for the whole run
    int lastStage_ = 0;
};

} // namespace selva
