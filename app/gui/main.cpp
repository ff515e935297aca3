// The window program: creates the records, the shared record and recording buffers, the analysis state
// and the sensor library, the analysis window and the progress window, and opens the source named on the
// command line.

#include "analysis/AnalysisState.h"
#include "analysis/FreqRecord.h"
#include "analysis/ui/TfrmMain.h"
#include "common/Format.h"
#include "logger/ui/RecordingDialogs.h"
#include "common/Progress.h"
#include "sensors/SensorLibrary.h"
#include "sound/Wave.h"
#include "store/SettingsStore.h"
#include "store/ui/TfrmScale.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>
#include <QTimer>

namespace {

// The settings file is the program's name with ".rsr", next to the program. When the program's folder is
// not writable (installed for all users) it lives in the user's configuration folder instead, so that
// the settings still survive the run.
QString settingsFileName()
{
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString name = exe.completeBaseName() + QStringLiteral(".rsr");
    const QFileInfo dir(exe.absolutePath());
    const QString beside = exe.absoluteDir().filePath(name);
    if (dir.isWritable() && (!QFileInfo::exists(beside) || QFileInfo(beside).isWritable()))
        return beside;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return QDir(config).filePath(name);
}

// The sensor library read at start: the one named like the source on the command line (its name with
// ".sns") when that file exists, otherwise the program's default library "Selvarondine.sns" beside the
// settings file. The library named in the settings (or in a project) is loaded afterwards when it exists.
QString sensorFileName(const QStringList& args, const QString& settingsFile)
{
    if (args.size() > 1) {
        const QFileInfo source(args.at(1));
        const QString beside =
            source.absoluteDir().filePath(source.completeBaseName() + QStringLiteral(".sns"));
        if (QFileInfo::exists(beside))
            return beside;
    }
    return QFileInfo(settingsFile).absoluteDir().filePath(QStringLiteral("Selvarondine.sns"));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Selvarondine"));
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    // The program speaks Russian whatever the user's locale: Qt's own dialogs and buttons too. Numbers
    // still follow the user's locale.
    QTranslator qtRussian;
    if (qtRussian.load(QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtRussian);

    selva::SettingsStore store; // both records at their defaults, no notes
    store.defaultSettingsFileName = settingsFileName().toStdString();
    selva::TWave wave;
    selva::TFreq freq;
    selva::AnalysisState state;
    selva::SensorLibrary sensors;
    selva::Progress progress;

    const QStringList args = QCoreApplication::arguments();
    selva::TfrmMain frmMain(
        {state, sensors, store, freq, wave, progress},
        sensorFileName(args, QString::fromStdString(store.defaultSettingsFileName)).toStdString());
    selva::TfrmScale frmScale(&frmMain);
    frmMain.setProgressWindow(&frmScale);
    frmMain.show();
    QTimer::singleShot(0, &frmMain, [&frmMain, &store, args] {
        if (args.size() > 1)
            frmMain.openFromCommandLine(args.at(1));
        // A recording the data logger left behind when the program ended during it.
        selva::offerLeftoverRecordings(&frmMain, selva::widenSingle(store.settings.logger.accur),
                                       [&frmMain](const QString& frq) { frmMain.OpenSource(frq, true); });
    });
    return app.exec();
}
