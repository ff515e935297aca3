#include "logger/ui/RecordingDialogs.h"

#include "logger/LoggerRecorder.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include <cstdio>

namespace selva {

QString recordingFolder()
{
    const QString current = QDir::currentPath();
    if (QFileInfo(current).isWritable())
        return current;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(data);
    return data;
}

SaveNamePrompts recordingPrompts(QWidget* parent)
{
    SaveNamePrompts p;
    p.confirm = [parent](const std::string& question) {
        return QMessageBox::question(parent, QStringLiteral("Ошибка записи"),
                                     QString::fromStdString(question),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    p.chooseName = [parent](const std::string& proposed) -> std::optional<std::string> {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(QStringLiteral("Data file (*.frq)"));
        dialog.setDefaultSuffix(QStringLiteral("frq"));
        const QFileInfo info(QString::fromStdString(proposed));
        dialog.setDirectory(info.absolutePath());
        if (!info.fileName().isEmpty())
            dialog.selectFile(info.fileName());
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst().toStdString();
    };
    p.tell = [parent](const std::string& text) {
        QMessageBox::information(parent, QStringLiteral("Получение данных"), QString::fromStdString(text));
    };
    return p;
}

void offerLeftoverRecordings(QWidget* parent, double step,
                             const std::function<void(const QString&)>& openSource, const QString& folder)
{
    const SaveNamePrompts prompts = recordingPrompts(parent);
    for (const LeftoverRecording& left : findLeftoverRecordings(folder.toStdString())) {
        if (left.readings == 0) {
            std::remove(left.fileName.c_str());
            continue;
        }
        QMessageBox box(
            QMessageBox::Question, QStringLiteral("Получение данных"),
            QStringLiteral("Найдена незавершенная запись %1 (%2 отсчетов). Преобразовать ее в файл "
                           "частот?")
                .arg(QString::fromStdString(left.fileName), QLocale().toString(qulonglong(left.readings))),
            QMessageBox::Yes | QMessageBox::No, parent);
        QPushButton* remove = box.addButton(QStringLiteral("Удалить"), QMessageBox::DestructiveRole);
        box.exec();
        if (box.clickedButton() == remove) {
            std::remove(left.fileName.c_str());
            continue;
        }
        if (box.standardButton(box.clickedButton()) != QMessageBox::Yes)
            continue;
        FinishedRecording rec;
        rec.tempFile = left.fileName;
        rec.readings = left.readings;
        rec.step = step;
        const std::string proposed =
            QFileInfo(QString::fromStdString(left.fileName)).absolutePath().toStdString();
        const SavedRecording saved = saveRecording(rec, std::string(), proposed, prompts);
        if (!saved.ok)
            prompts.tell(saved.error);
        else if (openSource)
            openSource(QString::fromStdString(saved.fileName));
    }
}

} // namespace selva
