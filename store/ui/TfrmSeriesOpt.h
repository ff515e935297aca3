#pragma once

#include "store/Records.h"
#include "store/ui/AppearanceDialogs.h"

#include <QDialog>
#include <QList>

#include <memory>

namespace Ui {
class TfrmSeriesOpt;
}

namespace selva {

class ColorSample;
class SettingsStore;

// "Selvarondine - параметры графика": colours, styles and widths of the chart's lines and dots and the
// colours of its axes, texts, grids and background. The window edits a working copy of the chart
// appearance block of the settings; "Установить" stores it (closing with QDialog::Accepted, after which
// the main window applies the appearance), "Отказ", Esc and closing store nothing.
//
// The window takes the stored window colour and font. On creation the colour dialog's custom colour
// slots receive the stored chart colours, so they can be picked again.
class TfrmSeriesOpt : public QDialog {
    Q_OBJECT
public:
    TfrmSeriesOpt(SettingsStore& store, QWidget* parent = nullptr,
                  AppearanceDialogs dialogs = AppearanceDialogs::standard());
    ~TfrmSeriesOpt() override;

    const TChartAppearance& workingCopy() const { return work_; }

    // The colours of the custom colour slots, in the order of the window's samples: data line, dots,
    // error lines, base lines, axes, texts, grid, minor grid, background.
    static QList<QColor> customColors(const TChartAppearance& chart);

private:
    void showValues();
    void bindSample(ColorSample* sample, TColor& field);
    void btnOkClick();

    std::unique_ptr<Ui::TfrmSeriesOpt> ui;
    SettingsStore& store_;
    AppearanceDialogs dialogs_;
    TChartAppearance work_;
};

} // namespace selva
