#pragma once

#include <QString>

class QWidget;

namespace selva {

// At the start of the program: offers to keep each temporary recording ("wave_tmp_<n>.wav") that an
// earlier run left in `folder` (the current folder, where the sound window records, when empty) because
// it stopped while recording. Each is repaired so that it opens, then the user is asked whether to keep it
// (the save dialog "Сохранение файла" chooses where) or to delete it. Message boxes and the dialog are
// parented to `parent`.
void OfferLeftoverRecordingsAtStart(QWidget* parent, const QString& folder = {});

} // namespace selva
