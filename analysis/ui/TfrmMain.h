#pragma once

// The analysis window: the source, the sensor and the channel, the step, the start and end of thrust and
// the rest line, hertz or newtons, the results and the chart. Its rules are MainPresenter's (core): each
// control calls the presenter and shows anew what the call returns. The computation runs through
// RecalcRunner so that a long WAV measurement does not freeze the window.
//
// UI thread only.

#include "analysis/ui/ChildWindows.h"
#include "analysis/ui/MainDialogs.h"
#include "analysis/ui/RecalcRunner.h"
#include "workspace/MainPresenter.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QTimer;

namespace Ui {
class TfrmMain;
}

namespace selva {

class CompareController;
class TEditFloat;
class TfrmScale;
class Workspace;

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
    // Opens a source (its project, when one lies beside it; a project when it is one) and runs the whole
    // analysis: the command line, the source dialog and finished recordings come here.
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
    void drawTimeMarkers();
    void drawRestLine();
    void drawMiddleLine();
    void ApplyAppearance();
    void applySettingsLoad(const SettingsLoadResult& r);
    MainWindowView windowPart() const;
    void showLoadedView();
    QString projectDialogInitialName() const;
    bool saveProjectOrAsk();
    bool confirmDiscardChanges();
    void toggle(Marker which, QWidget* caption, TEditFloat* edit);
    void timer1Timer();
    void showError(const std::string& text);
    char decimalSeparator() const;

    std::unique_ptr<Ui::TfrmMain> ui;
    Workspace& ws_;
    MainDialogs dialogs_;
    MainPresenter presenter_;
    RecalcRunner runner_;
    QTimer* Timer1 = nullptr;
    TfrmScale* scale_ = nullptr;
    ChartPrinting printing_;                 // the printer and its setup, for the whole run
    ChildWindows windows_;
    CompareController* compare_ = nullptr; // a child of the window
};

} // namespace selva
