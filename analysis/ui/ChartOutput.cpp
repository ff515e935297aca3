#include "analysis/ui/ChartOutput.h"

#include "analysis/AnalysisState.h"
#include "analysis/CsvExport.h"
#include "analysis/ResultsExport.h"
#include "analysis/ui/TfrmExportOptions.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>

namespace selva {

namespace {

// The proposed file beside the source when the source's folder exists (the label may name a folder of
// another machine, as "C:\test\run1.wav" does here).
QString besideSource(const QString& sourceLabel, const QString& fileName)
{
    const QFileInfo source(sourceLabel);
    if (!sourceLabel.isEmpty() && source.isAbsolute() && source.dir().exists())
        return source.dir().filePath(fileName);
    return fileName;
}

QString sourceBaseName(const QString& sourceLabel)
{
    const QString name = sourceLabel.section(QRegularExpression(QStringLiteral("[/\\\\]")), -1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

QString exportMotorFile(QWidget* parent, const AnalysisState& state, const QString& sourceLabel,
                        const QString& chosen, const QString& ext, const MotorExportSource& source,
                        const OutputDialogs& dialogs);

} // namespace

ExportOptionsAsker standardExportOptionsAsker()
{
    return [](QWidget* parent, const QString& extension, ExportOptions& options) {
        TfrmExportOptions dlg(extension, options, parent);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        options = dlg.options();
        return true;
    };
}

SaveFileChooser standardSaveFileChooser()
{
    return [](QWidget* parent, const SaveDialogRequest& r) {
        QFileDialog dialog(parent, r.title);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters(r.filters);
        if (r.filterIndex >= 1 && r.filterIndex <= r.filters.size())
            dialog.selectNameFilter(r.filters[r.filterIndex - 1]);
        dialog.setDefaultSuffix(r.defaultSuffix);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
        dialog.setOption(QFileDialog::ReadOnly, false);
        const QFileInfo initial(r.initialName);
        if (initial.isAbsolute())
            dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.fileName());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
}

OutputMessage standardOutputMessage()
{
    return [](QWidget* parent, const QString& text) { QMessageBox::critical(parent, QString(), text); };
}

QString exportResults(QWidget* parent, const AnalysisState& state, bool showNewtons,
                      const QString& sourceLabel, const OutputDialogs& dialogs, const MotorExportSource* motor)
{
    if (state.PointCount == 0)
        return QString();
    const ExportKind kind = ExportKindFor(showNewtons);
    SaveDialogRequest r;
    r.title = QStringLiteral("Экспорт результатов");
    r.initialName =
        besideSource(sourceLabel, QString::fromStdString(ExportFileName(sourceLabel.toStdString(), kind)));
    r.filters = {QStringLiteral("Частота (*.frq)"), QStringLiteral("Тяга (*.trt)")};
    if (motor)
        r.filters << QStringLiteral("Двигатель RASP (*.eng)") << QStringLiteral("Двигатель RockSim (*.rse)")
                  << QStringLiteral("Таблица CSV (*.csv)");
    r.filterIndex = ExportFilterIndex(kind);
    r.defaultSuffix = QString::fromLatin1(ExportExtension(kind) + 1);
    r.confirmOverwrite = false;
    const QString chosen = dialogs.chooseFile(parent, r);
    if (chosen.isEmpty())
        return QString();
    const QString ext = QFileInfo(chosen).suffix().toLower();
    if (motor && (ext == QLatin1String("eng") || ext == QLatin1String("rse") || ext == QLatin1String("csv")))
        return exportMotorFile(parent, state, sourceLabel, chosen, ext, *motor, dialogs);
    const std::string target = ExportTargetName(QFile::encodeName(chosen).toStdString(), kind);
    std::string error;
    if (!WriteResultsExport(target, state, kind, sourceLabel.toStdString(), &error,
                            motor ? motor->save : SaveOptions{})) {
        dialogs.error(parent, QString::fromStdString(error));
        return QString();
    }
    return QFile::decodeName(QByteArray::fromStdString(target));
}

namespace {

QString exportMotorFile(QWidget* parent, const AnalysisState& state, const QString& sourceLabel,
                        const QString& chosen, const QString& ext, const MotorExportSource& source,
                        const OutputDialogs& dialogs)
{
    ExportOptions options;
    options.motor = LoadMotorData(source.motorDataFile);
    options.decimalComma = QLocale().decimalPoint() == QStringLiteral(",");
    if (!dialogs.exportOptions(parent, ext, options))
        return QString();
    const std::string target = QFile::encodeName(chosen).toStdString();
    std::string error;
    bool written = false;
    if (ext == QLatin1String("csv")) {
        written = WriteCsvFile(target, state, CsvFormatFor(options.decimalComma), &error, source.save);
    } else {
        const MotorExportInfo info{sourceLabel.toStdString(), source.testDate};
        const CurveExportOptions curve{options.fullResolution, 32};
        written = ext == QLatin1String("eng")
                      ? WriteEngFile(target, state, source.calibrated, options.motor, curve, info, &error, source.save)
                      : WriteRseFile(target, state, source.calibrated, options.motor, curve, info, &error,
                                     source.save);
        // The motor's data are remembered for the next export, whatever became of this one.
        if (!source.motorDataFile.empty())
            SaveMotorData(source.motorDataFile, options.motor);
    }
    if (!written) {
        dialogs.error(parent, QString::fromStdString(error));
        return QString();
    }
    return chosen;
}

} // namespace

QStringList pictureDialogFilters()
{
    return {QStringLiteral("Рисунок JPEG (*.jpg *.jpeg)"),  QStringLiteral("Метафайл Windows (*.wmf)"),
            QStringLiteral("Расширенный метафайл (*.emf)"), QStringLiteral("Рисунок PNG (*.png)"),
            QStringLiteral("Рисунок SVG (*.svg)"),          QStringLiteral("Документ PDF (*.pdf)"),
            QStringLiteral("Точечный рисунок (*.bmp)")};
}

QString savePicture(QWidget* parent, const ChartPainter& draw, QSize size, const QString& sourceLabel,
                    const OutputDialogs& dialogs, const SaveOptions& save)
{
    SaveDialogRequest r;
    r.title = QStringLiteral("Сохранение графика в файле");
    const QString base = sourceBaseName(sourceLabel);
    r.initialName = base.isEmpty() ? QString() : besideSource(sourceLabel, base + QStringLiteral(".jpg"));
    r.filters = pictureDialogFilters();
    r.filterIndex = 1;
    r.defaultSuffix = QStringLiteral("jpg");
    r.confirmOverwrite = true;
    QString chosen = dialogs.chooseFile(parent, r);
    if (chosen.isEmpty())
        return QString();
    if (QFileInfo(chosen).suffix().isEmpty())
        chosen += QStringLiteral(".jpg");
    QString error;
    if (!saveChartPicture(chosen, draw, size, &error, save)) {
        dialogs.error(parent, error);
        return QString();
    }
    return chosen;
}

ChartPrinting::ChartPrinting() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {}

ChartPrinting::~ChartPrinting() = default;

bool ChartPrinting::setup(QWidget* parent)
{
    QPageSetupDialog dialog(printer_.get(), parent);
    return dialog.exec() == QDialog::Accepted;
}

bool ChartPrinting::print(QWidget* parent, const ChartPainter& draw, const QString& sourceLabel,
                          const OutputMessage& error)
{
    QPrintDialog dialog(printer_.get(), parent);
    // One page at most.
    dialog.setMinMax(1, 1);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    QString message;
    if (printPage(*printer_, draw, sourceLabel, QDateTime::currentDateTime(), &message))
        return true;
    error(parent, message);
    return false;
}

bool ChartPrinting::printPage(QPrinter& printer, const ChartPainter& draw, const QString& sourceLabel,
                              const QDateTime& when, QString* error)
{
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (error)
            *error = QStringLiteral("Невозможно начать печать на принтере ") + printer.printerName();
        return false;
    }
    // The printable area in device pixels; the painter's origin is its top left corner.
    const QSize page(printer.width(), printer.height());
    composePrintedPage(painter, page, draw, printFooter(sourceLabel, when, QLocale()));
    return painter.end();
}

} // namespace selva
