#pragma once

#include "store/Records.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TfrmAutoRecSet;
}

namespace selva {

class SettingsStore;

// "Установки нахождения начала и конца тяги": the five thresholds of automatic recording, shared by the
// acquisition window and the sound window. The window edits a working copy of the settings record's
// auto-record block and stores it there only on "Установить" (exec() then returns Accepted);
// "Отказаться", Esc and closing store nothing.
class TfrmAutoRecSet : public QDialog {
    Q_OBJECT
public:
    // Takes its background colour and font from `parent` when one is given.
    explicit TfrmAutoRecSet(SettingsStore& store, QWidget* parent = nullptr);
    ~TfrmAutoRecSet() override;

    const TAutoRecordBlock& working() const { return working_; }

private:
    void btnOkClick();

    std::unique_ptr<Ui::TfrmAutoRecSet> ui;
    SettingsStore& store_;
    TAutoRecordBlock working_;
};

} // namespace selva
