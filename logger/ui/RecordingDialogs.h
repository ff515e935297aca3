#pragma once

#include "logger/RecordingFiles.h"

#include <QString>

#include <functional>

class QWidget;

namespace selva {

class SettingsStore;

// The folder where the acquisition window creates its temporary recordings and where bare output names
// live: the current folder when it can be written, else the program's data folder of the user.
QString recordingFolder();

// The acquisition window's way of asking: Yes/No boxes captioned "Ошибка записи", the save dialog for
// frequency records ("Data file (*.frq)", asking before it replaces a file), information boxes.
SaveNamePrompts recordingPrompts(QWidget* parent);

// To be called once at program start, before the acquisition window is first opened: temporary
// recordings left in `folder` by a run that ended while recording are offered for conversion, one by one
// ("Да" converts and opens the record through `openSource`, "Нет" keeps the file for the next start,
// "Удалить" deletes it). Empty ones are deleted without a question. `step` is the time between readings
// the records get (the logger block's "Точность").
void offerLeftoverRecordings(QWidget* parent, double step,
                             const std::function<void(const QString&)>& openSource,
                             const QString& folder = recordingFolder());

} // namespace selva
