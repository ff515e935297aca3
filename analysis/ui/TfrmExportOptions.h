#pragma once

// The options of "Экспорт результатов" for a motor file (".eng", ".rse": the motor's data, every point or
// at most 32) or a table (".csv": the decimal separator). The motor's data are checked as the writers
// check them before the window closes, so a refusal is said while the fields can still be corrected.

#include "analysis/ui/ChartOutput.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;

namespace selva {

class TfrmExportOptions : public QDialog {
    Q_OBJECT
public:
    // `extension`: "eng", "rse" or "csv".
    TfrmExportOptions(const QString& extension, const ExportOptions& options, QWidget* parent = nullptr);

    ExportOptions options() const;

    void accept() override;

private:
    QString extension_;
    ExportOptions options_;
    QLineEdit* edtCode = nullptr;
    QDoubleSpinBox* edtDiameter = nullptr;
    QDoubleSpinBox* edtLength = nullptr;
    QLineEdit* edtDelays = nullptr;
    QDoubleSpinBox* edtPropellant = nullptr;
    QDoubleSpinBox* edtTotal = nullptr;
    QLineEdit* edtManufacturer = nullptr;
    QComboBox* cbxType = nullptr;
    QCheckBox* cbxFullResolution = nullptr;
    QCheckBox* cbxDecimalComma = nullptr;
};

} // namespace selva
