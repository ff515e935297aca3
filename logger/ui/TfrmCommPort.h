#pragma once

#include "store/Records.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>

namespace Ui {
class TfrmCommPort;
}

namespace selva {

class SerialPortTable;
class SettingsStore;

// The port settings window: which serial port the logger is on, its line settings and the five
// time-outs. It shows the chosen port's current settings, edits a working copy, and stores it only on
// "Принять настройки" (into the settings record's logger block, copied into the project record's, and
// written to the port). "Выйти" closes it; on closing all ports are closed, and a port that was open
// when the window was created is opened again (exclusively, as acquisition had it).
class TfrmCommPort : public QDialog {
    Q_OBJECT
public:
    // Caption: the caption of `parent`'s top window followed by " (Set COM port)". Takes its colour and
    // font from `parent` when one is given.
    TfrmCommPort(SettingsStore& store, SerialPortTable& ports, QWidget* parent = nullptr);
    ~TfrmCommPort() override;

    // Shows a failure; the default is an information message box. Tests replace it.
    std::function<void(const QString& caption, const QString& text)> showMessage;

    const TDcb& workingDcb() const { return dcb_; }

    void done(int result) override;

private:
    void fillPorts();
    void cbxPortsActivated(int index);
    void btnAddPortClick();
    void btnSaveClick();
    void ShowPortSettings();
    bool openShared(int index);
    void clearPanel();
    void closePorts();

    std::unique_ptr<Ui::TfrmCommPort> ui;
    SettingsStore& store_;
    SerialPortTable& ports_;
    TDcb dcb_;
    // The five time-outs as the fields edit them (signed: a negative value is refused).
    std::array<std::int32_t, 5> timeouts_{};
    int storedIndex_ = -1;
    bool wasOpen_ = false;
    int reopenIndex_ = -1;
    bool closed_ = false;
};

} // namespace selva
