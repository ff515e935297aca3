// The window program: the workspace (records, the record and recording buffers, the analysis state and
// the sensor library), the analysis window and the progress window; it opens the source named on the
// command line.

#include "analysis/ui/TfrmMain.h"
#include "common/Format.h"
#include "logger/ui/RecordingDialogs.h"
#include "sound/ui/LeftoverRecordings.h"
#include "store/ui/TfrmScale.h"
#include "workspace/Workspace.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

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

    selva::Workspace workspace; // both records at their defaults, no notes
    workspace.store.defaultSettingsFileName =
        selva::Workspace::DefaultSettingsFile(QCoreApplication::applicationDirPath().toStdString());
    const QStringList args = QCoreApplication::arguments();
    const std::string source = args.size() > 1 ? args.at(1).toStdString() : std::string();

    selva::TfrmMain frmMain(workspace,
                            selva::Workspace::LibraryAtStart(source, workspace.store.defaultSettingsFileName));
    selva::TfrmScale frmScale(&frmMain);
    frmMain.setProgressWindow(&frmScale);
    frmMain.show();
    QTimer::singleShot(0, &frmMain, [&frmMain, &workspace, args] {
        if (args.size() > 1)
            frmMain.openFromCommandLine(args.at(1));
        // Recordings the sound window and the data logger left behind when the program ended during them.
        selva::OfferLeftoverRecordingsAtStart(&frmMain);
        selva::offerLeftoverRecordings(&frmMain, selva::widenSingle(workspace.store.settings.logger.accur),
                                       [&frmMain](const QString& frq) { frmMain.OpenSource(frq); });
    });
    return app.exec();
}
