#pragma once

#include "logger/LoggerLink.h"
#include "logger/LoggerRecorder.h"
#include "logger/RecordingFiles.h"

#include <QDialog>

#include <deque>
#include <functional>
#include <memory>

namespace Ui {
class TfrmData;
}

class QTimer;

namespace selva {

class SerialPortTable;
class SettingsStore;
class TStatusPanel;
class TEditFloat;
class TEditInt;
class TEditStr;

// "Получение данных": the data logger's live readings, its status, the arm, fire and stop commands, and
// the recording of a firing by hand ("Запись") or automatically ("AUTO"). A finished recording becomes a
// frequency record that is handed to `openSource` (the analysis window opens it).
//
// The window holds no logic of its own beyond its handlers: the recording is LoggerRecorder's, the port
// and the reader are SerialPortTable's, and the reader's values come through the LoggerLink. Everything
// here runs on the user-interface thread; the reader thread never waits for it.
class TfrmData : public QDialog {
    Q_OBJECT
public:
    using OpenSource = std::function<void(const QString& frqFile)>;

    TfrmData(SettingsStore& store, SerialPortTable& ports, OpenSource openSource, QWidget* parent = nullptr);
    ~TfrmData() override;

    // How the window asks and tells (message boxes and the save dialog unless replaced, as tests do).
    SaveNamePrompts prompts;
    // Where temporary recordings go and bare output names live (recordingFolder() unless set).
    void setRecordingFolder(const QString& folder);

    const LoggerRecorder& recorder() const { return recorder_; }
    const LoggerLink& link() const { return link_; }
    // The text of a status bar panel (0 to 6).
    QString panelText(int panel) const;
    const TStatusPanel* panel(int index) const { return panels_[static_cast<std::size_t>(index)]; }

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void rbtnSourceClick();
    void btnTuneClick();
    void btnSetClick();
    void cbxShowClick(bool checked);
    void btnCommandClick(unsigned char command);
    void sbtnASClick();
    void sbtnRecClick();
    void btnFileClick();
    void edtFileCommit(TEditStr* sender, std::string* value, bool& canCommit);
    void tmrShowTimer();
    void tmrInfoTimer();

    void DisplayOn();
    void DisplayOff();
    void configureRecorder();
    void redrawPlot(bool clear);
    void showPortText();
    void updateControls();
    void refreshStatus();
    void portLost();
    void saveFinished();
    void finish();
    std::string outputPath() const;
    QString shownName(const QString& path) const;

    std::unique_ptr<Ui::TfrmData> ui;
    SettingsStore& store_;
    SerialPortTable& ports_;
    OpenSource openSource_;
    LoggerLink link_;
    LoggerRecorder recorder_;
    QTimer* tmrShow_ = nullptr;
    QTimer* tmrInfo_ = nullptr;
    std::array<TStatusPanel*, 7> panels_{};
    std::string outputName_; // edtFile
    std::int32_t hPoints_ = 5, vPoints_ = 5;
    QString folder_;
    std::deque<FinishedRecording> toSave_;
    bool busy_ = false;   // a display tick is running
    bool saving_ = false; // finished recordings are being converted
    bool finished_ = false;
};

} // namespace selva
