#include "analysis/ui/TfrmExportOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace selva {

namespace {

QDoubleSpinBox* spin(const char* name, double max, int decimals, double value, QWidget* parent)
{
    auto* s = new QDoubleSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(0, max);
    s->setDecimals(decimals);
    s->setValue(value);
    return s;
}

QLineEdit* line(const char* name, const std::string& text, QWidget* parent)
{
    auto* e = new QLineEdit(QString::fromStdString(text), parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

} // namespace

// Built in code: a form of a few fields that differ with the file's kind.
TfrmExportOptions::TfrmExportOptions(const QString& extension, const ExportOptions& options, QWidget* parent)
    : QDialog(parent), extension_(extension), options_(options)
{
    setObjectName(QStringLiteral("TfrmExportOptions"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    if (extension == QLatin1String("csv")) {
        setWindowTitle(QStringLiteral("Экспорт таблицы"));
        cbxDecimalComma = new QCheckBox(QStringLiteral("Десятичная запятая (поля через точку с запятой)"), this);
        cbxDecimalComma->setObjectName(QStringLiteral("cbxDecimalComma"));
        cbxDecimalComma->setChecked(options.decimalComma);
        form->addRow(cbxDecimalComma);
    } else {
        setWindowTitle(QStringLiteral("Данные двигателя"));
        const MotorData& m = options.motor;
        edtCode = line("edtCode", m.code, this);
        edtCode->setPlaceholderText(QStringLiteral("по результатам, например G80"));
        form->addRow(QStringLiteral("Обозначение"), edtCode);
        form->addRow(QStringLiteral("Диаметр, мм"), edtDiameter = spin("edtDiameter", 10000, 1, m.diameterMm, this));
        form->addRow(QStringLiteral("Длина, мм"), edtLength = spin("edtLength", 100000, 1, m.lengthMm, this));
        form->addRow(QStringLiteral("Замедления, с"), edtDelays = line("edtDelays", m.delays, this));
        form->addRow(QStringLiteral("Масса топлива, кг (0 — вес заряда)"),
                     edtPropellant = spin("edtPropellant", 10000, 4, m.propellantKg, this));
        form->addRow(QStringLiteral("Полная масса, кг"), edtTotal = spin("edtTotal", 10000, 4, m.totalKg, this));
        form->addRow(QStringLiteral("Изготовитель"), edtManufacturer = line("edtManufacturer", m.manufacturer, this));
        if (extension == QLatin1String("rse")) {
            cbxType = new QComboBox(this);
            cbxType->setObjectName(QStringLiteral("cbxType"));
            cbxType->addItems({QStringLiteral("single-use"), QStringLiteral("reloadable"), QStringLiteral("hybrid")});
            cbxType->setCurrentText(QString::fromStdString(m.type));
            form->addRow(QStringLiteral("Тип"), cbxType);
        }
        cbxFullResolution = new QCheckBox(QStringLiteral("Все точки кривой (иначе не больше 32)"), this);
        cbxFullResolution->setObjectName(QStringLiteral("cbxFullResolution"));
        cbxFullResolution->setChecked(options.fullResolution);
        form->addRow(cbxFullResolution);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

ExportOptions TfrmExportOptions::options() const
{
    ExportOptions o = options_;
    if (cbxDecimalComma)
        o.decimalComma = cbxDecimalComma->isChecked();
    if (edtCode) {
        o.motor.code = edtCode->text().trimmed().toStdString();
        o.motor.diameterMm = edtDiameter->value();
        o.motor.lengthMm = edtLength->value();
        o.motor.delays = edtDelays->text().trimmed().toStdString();
        o.motor.propellantKg = edtPropellant->value();
        o.motor.totalKg = edtTotal->value();
        o.motor.manufacturer = edtManufacturer->text().trimmed().toStdString();
        if (cbxType)
            o.motor.type = cbxType->currentText().toStdString();
        o.fullResolution = cbxFullResolution->isChecked();
    }
    return o;
}

void TfrmExportOptions::accept()
{
    if (edtCode) {
        const std::string wrong = CheckMotorData(options().motor);
        if (!wrong.empty()) {
            QMessageBox::warning(this, windowTitle(), QString::fromStdString(wrong));
            return;
        }
    }
    QDialog::accept();
}

} // namespace selva
