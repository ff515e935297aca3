#pragma once

// The about window: the program's version and credits.

#include <QDialog>

#include <memory>

namespace Ui {
class TfrmAbout;
}

namespace selva {

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
    ~TfrmAbout() override;

private:
    std::unique_ptr<Ui::TfrmAbout> ui;
};

} // namespace selva
