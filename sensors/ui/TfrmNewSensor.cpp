#include "sensors/ui/TfrmNewSensor.h"

#include "ui_TfrmNewSensor.h"

#include "sensors/SensorLibrary.h"
#include "sensors/ui/DrawSensor.h"
#include "sensors/ui/TfrmEditSensor.h"
#include "sensors/ui/TfrmSensorCurve.h"
#include "store/SettingsStore.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPainter>

namespace selva {

namespace {

QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

QFileDialog* sensorFileDialog(QWidget* parent, const char* name, bool save)
{
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setNameFilters({QStringLiteral("Sensor data (*.sns)"), QStringLiteral("All files (*.*)")});
    dialog->setDefaultSuffix(QStringLiteral("sns"));
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The library's writer asks its own overwrite question.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    return dialog;
}

} // namespace

TfrmNewSensor::TfrmNewSensor(SensorLibrary& library, SettingsStore& store,
                             std::function<void()> activeSensorChanged, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmNewSensor>()), library_(library), store_(store),
      activeSensorChanged_(std::move(activeSensorChanged))
{
    ui->setupUi(this);
    applySettingsLook(this, store.settings);
    QPalette panel = ui->edtSensorFileName->palette();
    panel.setColor(QPalette::Base, palette().color(QPalette::Window));
    ui->edtSensorFileName->setPalette(panel);

    prompts_.message = [this](const std::string& text) {
        QMessageBox::information(this, QStringLiteral("Selvarondine"), qs(text));
    };
    prompts_.confirm = [this](const std::string& text) {
        return QMessageBox::question(this, QStringLiteral("Selvarondine"), qs(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    dlgOpenFile = sensorFileDialog(this, "dlgOpenFile", false);
    dlgSaveFile = sensorFileDialog(this, "dlgSaveFile", true);

    auto* grid = ui->sgrdSensors;
    grid->setColumnCount(1);
    grid->setColumnWidth(0, 200);
    grid->horizontalHeader()->setVisible(false);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(18);
    ui->imgCurve->setFixedImageSize(209, 161);

    connect(grid, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { sgrdSensorsSelect(row); });
    connect(grid, &QTableWidget::cellDoubleClicked, this, [this](int, int) { btnEditClick(); });
    connect(ui->btnLoadSensorFile, &QPushButton::clicked, this, &TfrmNewSensor::btnLoadSensorFileClick);
    connect(ui->btnSaveSensorFile, &QPushButton::clicked, this, [this] { btnSaveSensorFileClick(); });
    connect(ui->btnAdd, &QPushButton::clicked, this, &TfrmNewSensor::btnAddClick);
    connect(ui->btnEdit, &QPushButton::clicked, this, &TfrmNewSensor::btnEditClick);
    connect(ui->btnSetActive, &QPushButton::clicked, this, &TfrmNewSensor::btnSetActiveClick);
    connect(ui->btnDel, &QPushButton::clicked, this, &TfrmNewSensor::btnDelClick);
    connect(ui->btnExit, &QPushButton::clicked, this, &QDialog::close);
    connect(ui->imgCurve, &SensorImage::doubleClicked, this, &TfrmNewSensor::imgCurveDblClick);

    // Activation.
    ui->edtSensorFileName->setText(qs(library_.SensorFileName));
    FillGrid();
    selectRow(library_.ActiveSensorIndex);
}

TfrmNewSensor::~TfrmNewSensor() = default;

int TfrmNewSensor::currentRow() const
{
    return ui->sgrdSensors->currentRow();
}

void TfrmNewSensor::FillGrid()
{
    filling_ = true;
    auto* grid = ui->sgrdSensors;
    grid->setRowCount(library_.SensorCount());
    for (int i = 0; i < library_.SensorCount(); ++i) {
        QTableWidgetItem* item = grid->item(i, 0);
        if (!item) {
            item = new QTableWidgetItem;
            grid->setItem(i, 0, item);
        }
        item->setText(qs(library_.sensors[static_cast<std::size_t>(i)].name));
    }
    filling_ = false;
}

// Selects a row and shows its sensor's curve, whether or not the row changes.
void TfrmNewSensor::selectRow(int row)
{
    if (row < 0 || row >= library_.SensorCount())
        row = 0;
    filling_ = true;
    ui->sgrdSensors->setCurrentCell(row, 0);
    filling_ = false;
    sgrdSensorsSelect(row);
}

void TfrmNewSensor::sgrdSensorsSelect(int row)
{
    if (filling_ || row < 0 || row >= library_.SensorCount())
        return;
    SharedCurveCache().Invalidate();
    drawCurve(row);
}

void TfrmNewSensor::drawCurve(int row)
{
    QImage& image = ui->imgCurve->image();
    const CurveLook look = CurveLook::from(store_.settings.chart);
    // A sensor without a range draws nothing; the preview must then not go on showing the sensor of
    // the previous row under this one's name.
    image.fill(look.background);
    QPainter painter(&image);
    painter.setFont(font());
    DrawSensorCurve(painter, image.width(), image.height(),
                    library_.sensors[static_cast<std::size_t>(row)].calibration, true, -1, look);
    painter.end();
    ui->imgCurve->update();
}

void TfrmNewSensor::activeChanged()
{
    if (activeSensorChanged_)
        activeSensorChanged_();
}

bool TfrmNewSensor::askToSave()
{
    if (!library_.SensorsModified)
        return true;
    const auto answer = QMessageBox::question(this, QStringLiteral("Selvarondine"),
                                              QStringLiteral("Данные датчиков изменены.  Сохранить ?"),
                                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        return btnSaveSensorFileClick();
    if (answer == QMessageBox::No) {
        // The changes stay in memory; the next opening asks nothing.
        library_.SensorsModified = false;
        return true;
    }
    return false;
}

void TfrmNewSensor::reject()
{
    if (askToSave())
        QDialog::reject();
}

void TfrmNewSensor::btnLoadSensorFileClick()
{
    // Loading replaces the whole library: unsaved changes are offered for saving first.
    if (!askToSave())
        return;
    dlgOpenFile->setDirectory(QFileInfo(ui->edtSensorFileName->text()).absolutePath());
    if (dlgOpenFile->exec() != QDialog::Accepted || dlgOpenFile->selectedFiles().isEmpty())
        return;
    if (!library_.LoadSensorFile(dlgOpenFile->selectedFiles().first().toStdString(), true, prompts_))
        return;
    ui->edtSensorFileName->setText(qs(library_.SensorFileName));
    store_.project.SensorFileName = library_.SensorFileName;
    FillGrid();
    selectRow(library_.ActiveSensorIndex);
    // The default sensor is active now, with the points the file gave it.
    activeChanged();
}

bool TfrmNewSensor::btnSaveSensorFileClick()
{
    dlgSaveFile->selectFile(ui->edtSensorFileName->text());
    if (dlgSaveFile->exec() != QDialog::Accepted || dlgSaveFile->selectedFiles().isEmpty())
        return false;
    if (!library_.SaveSensorFile(dlgSaveFile->selectedFiles().first().toStdString(), prompts_))
        return false;
    ui->edtSensorFileName->setText(qs(library_.SensorFileName));
    return true;
}

void TfrmNewSensor::btnAddClick()
{
    const int index = library_.AddSensor(-1, "");
    if (!library_.EnsureDefaultPoints(index))
        return;
    // A new sensor is a change to save like any other.
    library_.SensorsModified = true;
    library_.FillSensorCombo();
    FillGrid();
    selectRow(index);
}

void TfrmNewSensor::btnEditClick()
{
    const int row = currentRow();
    if (row < 0 || row >= library_.SensorCount())
        return;
    {
        TfrmEditSensor editor(library_, row, store_, activeSensorChanged_, this);
        editor.exec();
    }
    FillGrid();
    selectRow(row);
}

void TfrmNewSensor::btnSetActiveClick()
{
    if (library_.SelectActiveSensor(currentRow())) {
        library_.FillSensorCombo();
        activeChanged();
    } else {
        selectRow(library_.ActiveSensorIndex);
    }
}

void TfrmNewSensor::btnDelClick()
{
    const int row = currentRow();
    if (row < 0 || row >= library_.SensorCount())
        return;
    if (row == 0) {
        QApplication::beep();
        return;
    }
    const QString question =
        QStringLiteral("Удалить датчик ") + ui->sgrdSensors->item(row, 0)->text() + QStringLiteral(" ?");
    if (QMessageBox::question(this, QStringLiteral("Selvarondine"), question,
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    const bool activeRemoved = library_.DeleteSensor(row);
    FillGrid();
    selectRow(row < library_.SensorCount() ? row : library_.SensorCount() - 1);
    library_.FillSensorCombo();
    if (activeRemoved)
        activeChanged();
}

void TfrmNewSensor::imgCurveDblClick()
{
    const int row = currentRow();
    if (row < 0 || row >= library_.SensorCount())
        return;
    {
        TfrmSensorCurve curve(library_.sensors[static_cast<std::size_t>(row)], -1, store_, this);
        curve.exec();
    }
    SharedCurveCache().Invalidate();
    drawCurve(row);
}

} // namespace selva
