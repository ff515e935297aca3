#pragma once

// The progress window: the name of the running stage and how far it got. It lives for the whole run;
// the analysis window shows it while a long computation runs and hides it at the end. "Закрыть" (or
// closing the window) asks the computation to stop.

#include <QDialog>

#include <memory>

namespace Ui {
class TfrmScale;
}

namespace selva {

class TfrmScale : public QDialog {
    Q_OBJECT
public:
    explicit TfrmScale(QWidget* parent = nullptr);
    ~TfrmScale() override;

    void setAction(const QString& text);
    QString action() const;
    // 0 to 100; values outside are clamped.
    void setPercent(int percent);
    int percent() const;
    // Centres the window on `owner` (when given) and shows it without taking the focus from it.
    void showOver(QWidget* owner);
    // A tick of the analysis window's timer while a computation runs: a shown window follows the stage
    // and fraction; a hidden one appears over `owner` while a WAV measurement (stage 1) is in its first
    // half, so that short computations never flash it.
    void follow(int stage, double fraction, const QString& stageName, QWidget* owner);

signals:
    // "Закрыть" pressed or the window closed by the user.
    void cancelRequested();

protected:
    // "Закрыть", Esc and the window's close button all end here.
    void reject() override;

private:
    std::unique_ptr<Ui::TfrmScale> ui;
    int lastStage_ = 0;
};

} // namespace selva
