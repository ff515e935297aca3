#include "sound/ui/LeftoverRecordings.h"

#include "sound/RecordingFiles.h"

#include <QFileDialog>
#include <QMessageBox>

namespace selva {

void OfferLeftoverRecordingsAtStart(QWidget* parent, const QString& folder)
{
    const QString title = QStringLiteral("Selvarondine - sound source");
    RecordingPrompts prompts;
    prompts.confirm = [&](const std::string& question) {
        return QMessageBox::question(parent, title, QString::fromStdString(question),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    prompts.askOverwrite = [&](const std::string& question) {
        return QMessageBox::question(parent, QStringLiteral("Ошибка записи"),
                                     QString::fromStdString(question),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    prompts.chooseSaveName = [&](const std::string& dir, const std::string& name) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Сохранение файла"),
                                            QString::fromStdString(dir + "/" + name),
                                            QStringLiteral("Wave audio (*.wav)"))
            .toStdString();
    };
    prompts.tell = [&](const std::string& text) {
        QMessageBox::warning(parent, title, QString::fromStdString(text));
    };
    OfferLeftoverRecordings(folder.toStdString(), prompts);
}

} // namespace selva
