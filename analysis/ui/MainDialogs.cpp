#include "analysis/ui/MainDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace selva {

MainDialogs MainDialogs::standard()
{
    MainDialogs d;
    d.information = [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, QStringLiteral("Selvarondine"), text);
    };
    d.warning = [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, QStringLiteral("Selvarondine"), text);
    };
    d.question = [](QWidget* parent, const QString& text) {
        return QMessageBox::question(parent, QStringLiteral("Selvarondine"), text) == QMessageBox::Yes;
    };
    d.askYesNoCancel = [](QWidget* parent, const QString& text) {
        const auto answer =
            QMessageBox::question(parent, QStringLiteral("Selvarondine"), text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
        return answer == QMessageBox::Yes ? 0 : answer == QMessageBox::No ? 1 : 2;
    };
    d.chooseFile = [](QWidget* parent, const QString& title, const QString& filter, const QString& initial,
                      bool save) {
        QFileDialog dlg(parent, title, initial, filter);
        dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        const QStringList filters = filter.split(QStringLiteral(";;"));
        if (!save && filters.size() > 1)
            dlg.selectNameFilter(filters.at(1)); // the source dialog starts on the sound files
        if (!initial.isEmpty())
            dlg.selectFile(initial);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first()
                                                                                 : QString();
    };
    d.chooseFiles = [](QWidget* parent, const QString& title, const QString& filter) {
        return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
    };
    d.exec = [](QDialog& dialog) { return dialog.exec(); };
    return d;
}

} // namespace selva
