// render: the chart of an analysis as the analysis window draws it, into a picture file or a printed page
// (PDF), without a display.
#include "app/cli/Commands.h"

#if SELVA_CLI_UI

#include "app/cli/AnalysisOptions.h"
#include "app/cli/CliText.h"
#include "app/cli/Session.h"

#include "analysis/ui/ChartOutput.h"
#include "analysis/ui/ChartPicture.h"
#include "analysis/ui/StoredLook.h"
#include "analysis/ui/ThrustPlot.h"
#include "common/AtomicFile.h"

#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QPrinter>
#include <QTemporaryDir>

#include <cmath>
#include <iostream>
#include <memory>

namespace selva::cli {

namespace {

struct RenderOptions {
    AnalysisOptions analysis;
    std::string picture;
    std::string page;
    int width = 1000;
    int height = 600;
    bool newtons = false;
    bool noResults = false;
};

QList<QPointF> points(const ChartLine& line)
{
    QList<QPointF> out;
    for (const ChartPoint& p : line)
        out.append(QPointF(p.x, p.y));
    return out;
}

// A stored test date (days since 30 December 1899) as the window's date edit shows it; today when the
// project has none.
QDate dateOfDays(double days)
{
    return days > 0 && days < 3.0e6 ? QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(days)))
                                    : QDate::currentDate();
}

// The chart filled as the analysis window fills it once the analysis is done (its chart redraw and
// annotations): the shown series, the markers, the rest and mean lines, the look of the settings, the
// result lines, a project's date and axes, the author's mark.
void fillPlot(ThrustPlot& plot, Session& s, const RenderOptions& o)
{
    MainPresenter& p = *s.presenter;
    plot.applyLook(chartLookFrom(s.store.settings.chart, s.store.settings.grid));

    ShownSeries shown = p.BuildShownSeries();
    if (!shown.values.empty())
        p.invert = p.InvertForUnits(); // falling frequencies, rising thrust
    plot.setData(shown.step, shown.first, std::move(shown.values));
    plot.setInverted(p.invert);
    plot.setDelta(std::move(shown.up), std::move(shown.down));
    plot.setMarker(ThrustPlot::StartThrust, points(p.StartMarker(plot.lowestValue(), plot.highestValue())));
    plot.setMarker(ThrustPlot::EndThrust, points(p.EndMarker(plot.lowestValue(), plot.highestValue())));
    plot.setMarker(ThrustPlot::ZeroLine, points(p.RestLine(plot.firstTime(), plot.lastTime())));
    plot.setMarker(ThrustPlot::Middle, points(p.MiddleLine()));

    const QLocale locale;
    const QString point = locale.decimalPoint();
    ChartAnnotations a;
    a.newtons = p.newtons;
    const MainWindowView* view = s.projectView ? &*s.projectView : nullptr;
    if (view && view->showDate)
        a.date = QStringLiteral("Дата: ") + locale.toString(dateOfDays(view->testDate), QLocale::ShortFormat).left(30);
    if (!o.noResults)
        for (const std::string& line : AnnotationResults(p.Results(point.isEmpty() ? '.' : point.at(0).toLatin1())))
            a.results.append(QString::fromStdString(line));
    a.author = QString::fromStdString(s.store.settings.authorName);
    plot.setAnnotations(a);
    if (view && !view->timeAxis.automatic)
        plot.setTimeRange({view->timeAxis.min, view->timeAxis.max});
    if (view && !view->thrustAxis.automatic)
        plot.setValueRange({view->thrustAxis.min, view->thrustAxis.max});
}

// The printed page on a PDF printer. The printer writes its file itself, so it writes into a temporary
// folder and the page is then saved into place as every file is.
bool printPdf(const ChartPainter& draw, const std::string& out, const QString& sourceLabel, QString& error)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        error = dir.errorString();
        return false;
    }
    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    if (!ChartPrinting::printPage(printer, draw, sourceLabel, QDateTime::currentDateTime(), &error))
        return false;
    QFile file(pdf);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    std::string message;
    if (!writeFileAtomically(out, file.readAll().toStdString(), &message)) {
        error = QString::fromStdString(message);
        return false;
    }
    return true;
}

// Qt's own chatter (a missing runtime folder, which offscreen drawing never uses) is not the tool's.
void qtMessage(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg || type == QtInfoMsg || text.startsWith(QStringLiteral("QStandardPaths:")))
        return;
    std::cerr << text.toStdString() << '\n';
}

int runRender(const RenderOptions& o)
{
    Session s;
    if (const int code = runAnalysis(s, o.analysis); code != kExitOk)
        return code;
    MainPresenter& p = *s.presenter;
    if (o.newtons) {
        if (!p.newtonsEnabled) {
            std::cerr << "The chart cannot be drawn in newtons: the sensor in use has no calibration\n";
            return kExitFailure;
        }
        p.UnitsChanged(true);
    }

    // No display is needed, nor used when there is one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(qtMessage);
    int argc = 1;
    char name[] = "selvarondine-cli";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);

    ThrustPlot plot;
    fillPlot(plot, s, o);
    const ChartPainter draw = [&plot](QPainter& painter, const QRectF& target) { plot.render(painter, target); };
    QString error;
    if (!o.picture.empty() &&
        !saveChartPicture(QFile::decodeName(o.picture.c_str()), draw, QSize(o.width, o.height), &error)) {
        std::cerr << "Невозможно записать файл " << escapeControls(o.picture) << ": " << error.toStdString() << '\n';
        return kExitFailure;
    }
    if (!o.page.empty() && !printPdf(draw, o.page, QString::fromStdString(s.sourceName), error)) {
        std::cerr << "Невозможно записать файл " << escapeControls(o.page) << ": " << error.toStdString() << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace

void registerRenderCommands(CLI::App& app, CommandList& commands)
{
    auto o = std::make_shared<RenderOptions>();
    CLI::App* sub = app.add_subcommand(
        "render", "Analyse a source and draw its chart as the analysis window shows it (series, markers, rest "
                  "line, results) into a picture, or compose the printed page as a PDF");
    sub->add_option("SOURCE", o->analysis.source, "a .frq frequency record, a WAV recording or a .proj project")
        ->required();
    sub->add_option("OUT", o->picture,
                    "the picture, in the format its extension asks for: .jpg/.jpeg, .wmf, .emf, .png, .svg, "
                    ".pdf, any other a BMP (replaced if it exists)");
    sub->add_option("--print-pdf", o->page, "compose the printed page (chart and footer) into this PDF file");
    sub->add_option("--width", o->width, "width of the picture in pixels (default 1000)")->check(CLI::Range(16, 8000));
    sub->add_option("--height", o->height, "height of the picture in pixels (default 600)")
        ->check(CLI::Range(16, 8000));
    sub->add_flag("--newtons", o->newtons, "the thrust in newtons (\"в ньютонах\") instead of the frequency");
    sub->add_flag("--no-results", o->noResults, "without the result lines over the chart");
    addAnalysisSettings(sub, o->analysis);
    commands.add(sub, [o, sub]() {
        collectGiven(sub, o->analysis);
        if (o->picture.empty() && o->page.empty()) {
            std::cerr << "Nothing to draw into: give OUT, --print-pdf or both\n";
            return kExitUsage;
        }
        return runRender(*o);
    });
}

} // namespace selva::cli

#else

namespace selva::cli {

// A build without the window layer has no chart painter: no render command.
void registerRenderCommands(CLI::App&, CommandList&) {}

} // namespace selva::cli

#endif
