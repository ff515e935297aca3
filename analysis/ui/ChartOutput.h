#pragma once

// The analysis window's four ways out for the analysis: "Экспорт результатов", "Сохранить картинку",
// "Печать" and "Настройка принтера ...". They read the analysis and draw the chart through the window's
// chart painter and change neither. The dialogs are replaceable so that tests never wait on a modal one.
//
// UI thread only.

#include "analysis/MotorFiles.h"
#include "analysis/ui/ChartPicture.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QPrinter;
class QWidget;

namespace selva {

struct AnalysisState;

// How a save dialog is to be prepared.
struct SaveDialogRequest {
    QString title;
    QString initialName;   // proposed file, with its folder when there is one
    QStringList filters;   // "Частота (*.frq)" ...
    int filterIndex = 1;   // 1-based, of `filters`
    QString defaultSuffix; // without the point, added to a name typed without extension
    bool confirmOverwrite = true;
};
// The chosen file name, empty when the dialog was cancelled.
using SaveFileChooser = std::function<QString(QWidget* parent, const SaveDialogRequest& request)>;
SaveFileChooser standardSaveFileChooser();

// Shows a message of a failed export, save or print.
using OutputMessage = std::function<void(QWidget* parent, const QString& text)>;
OutputMessage standardOutputMessage();

// The options of a motor file (".eng", ".rse": the motor's data, every point or at most 32) or of a table
// (".csv": a decimal comma and semicolons between fields), asked before the file is written; false when
// cancelled. `extension` is "eng", "rse" or "csv".
struct ExportOptions {
    MotorData motor;
    bool fullResolution = false;
    bool decimalComma = false;
};
using ExportOptionsAsker = std::function<bool(QWidget* parent, const QString& extension, ExportOptions& options)>;
ExportOptionsAsker standardExportOptionsAsker();

struct OutputDialogs {
    SaveFileChooser chooseFile = standardSaveFileChooser();
    OutputMessage error = standardOutputMessage();
    ExportOptionsAsker exportOptions = standardExportOptionsAsker();
};

// What the motor files and tables need beyond the series: whether the thrust is in newtons (a sensor
// with a calibration), the test date for their comments, and the file that remembers the motor's data
// between exports.
struct MotorExportSource {
    SaveOptions save; // the rules of every file written here (Workspace::SaveOptionsFor(SaveWhat::Export))
    bool calibrated = false;
    double testDate = 0; // days since 30 December 1899
    std::string motorDataFile;
};

// "Экспорт результатов": nothing without points. The kind follows "в ньютонах" (`showNewtons`) and stays
// so whichever of the two series filters the user picks; the dialog proposes the source's name with the
// kind's extension, beside the source when its folder exists. A name ending in ".eng", ".rse" or ".csv"
// writes that motor file or table instead (with `motor`; without it they are not offered), after asking
// its options. A failed write is reported. Returns the file written, or an empty string.
QString exportResults(QWidget* parent, const AnalysisState& state, bool showNewtons,
                      const QString& sourceLabel, const OutputDialogs& dialogs = {},
                      const MotorExportSource* motor = nullptr);

// The picture formats of the save dialog, the first (JPEG) proposed.
QStringList pictureDialogFilters();

// "Сохранить картинку": "Сохранение графика в файле", proposing "<source name>.jpg"; the chart of
// `size` pixels in the format the chosen extension asks for. Returns the file written, or an empty string.
QString savePicture(QWidget* parent, const ChartPainter& draw, QSize size, const QString& sourceLabel,
                    const OutputDialogs& dialogs = {}, const SaveOptions& save = {});

// The printer of "Печать" and "Настройка принтера ...", kept by the window for the whole run so that the
// setup applies to later printing. "Печать" prints one page, the chart with the footer line; the
// chart alone is not printed as a job of its own before it.
class ChartPrinting {
public:
    ChartPrinting();
    ~ChartPrinting();

    QPrinter& printer() { return *printer_; }

    // "Настройка принтера ...": the page setup dialog. True when confirmed.
    bool setup(QWidget* parent);
    // "Печать": the print dialog (one page), then the page. True when a page was printed.
    bool print(QWidget* parent, const ChartPainter& draw, const QString& sourceLabel,
               const OutputMessage& error = standardOutputMessage());

    // The page on any printer, without a dialog, the footer dated `when`. False with a message in
    // `error` when the printer cannot start.
    static bool printPage(QPrinter& printer, const ChartPainter& draw, const QString& sourceLabel,
                          const QDateTime& when, QString* error = nullptr);

private:
    std::unique_ptr<QPrinter> printer_;
};

} // namespace selva
